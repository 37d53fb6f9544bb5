// Files that state no duration: a live WebM recording (no Duration element, no cues) and raw
// H.264, HEVC and MPEG-2 video streams, written by the ffmpeg tool to a pipe the way a recorder
// or a capture writes them. They open with a duration found by reading, play to their end, and
// seek. Small files are read whole when they open; larger ones have their end read, or their
// duration estimated from the bit rate and settled once their end is read.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdarg>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/log.h>
}

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/NotificationCenter.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

namespace fs = std::filesystem;

class MediaSourceUnstatedDuration : public FFmpegWrittenMediaTest<MediaSourceUnstatedDuration> {
protected:
    // Runs ffmpeg with `arguments`, which end in the output format, writing to its standard
    // output, into `name` in the suite's folder; its path.
    static std::string writeThroughPipe(const std::string& name, const std::string& arguments) {
        return writeWithFFmpeg(name, arguments, true);
    }

    static std::shared_ptr<MediaSource> load(const std::string& path) {
        const LoadOutcome outcome = loadAndWait(URL::fileURL(path));
        EXPECT_EQ(outcome.completionCount, 1)
            << path << ": " << (outcome.error ? outcome.error->failureReason().value_or("") : "");
        return outcome.source;
    }
};

constexpr const char* kThreeSeconds = "-f lavfi -i testsrc2=size=160x90:rate=25:duration=3 ";

struct PipeFile {
    const char* name;
    const char* arguments;
};

// Three seconds each, 75 pictures with a key frame every second (every half second for MPEG-2).
const PipeFile kSmallFiles[] = {
    {"live.webm",
     "-f lavfi -i testsrc2=size=160x90:rate=25:duration=3 -f lavfi -i sine=r=48000:duration=3 "
     "-c:v libvpx -g 25 -c:a libopus -f webm -live 1"},
    {"raw.h264", "-f lavfi -i testsrc2=size=160x90:rate=25:duration=3 -c:v libx264 -g 25 -f h264"},
    {"raw.hevc",
     "-f lavfi -i testsrc2=size=160x90:rate=25:duration=3 -c:v libx265 "
     "-x265-params log-level=none:keyint=25 -f hevc"},
    {"raw.m2v",
     "-f lavfi -i testsrc2=size=160x90:rate=25:duration=3 -c:v mpeg2video -g 12 -bf 2 "
     "-f mpeg2video"},
};

// Every picture of `first` (what a seek returned) and then of what the visual context reads
// to the end, in the order given out.
std::vector<CMSampleBufferRef> decodeToEnd(const MediaSource& source,
                                           std::span<const PacketRef> first = {}) {
    const auto& video = source.videoTracks().at(0);
    std::vector<CMSampleBufferRef> pictures;
    video->decoder()->flush();
    CoreMediaCompatibleDecodeSession session(
        video->decoder(), [&](CMSampleBufferRef buffer) { pictures.push_back(buffer); });
    for (const PacketRef& packet : first) {
        session.decode(*packet);
    }
    while (auto read = readVisualPacket(source, video, {})) {
        session.decode(*read->packet);
    }
    session.drain();
    return pictures;
}

CMTime endOf(const CMSampleBufferRef& buffer) {
    return CMTimeAdd(CMSampleBufferGetPresentationTimeStamp(buffer),
                     CMSampleBufferGetDuration(buffer));
}

double seconds(CMTime time) {
    return CMTimeGetSeconds(time);
}

TEST_F(MediaSourceUnstatedDuration, FilesWrittenToAPipeOpenWithTheirDurationAndPlayToTheirEnd) {
    for (const PipeFile& file : kSmallFiles) {
        SCOPED_TRACE(file.name);
        const auto source = load(writeThroughPipe(file.name, file.arguments));
        ASSERT_TRUE(source);
        // Read whole when opening: the duration is exact, and it is where playing ends.
        EXPECT_TRUE(source->isDurationFinal());
        EXPECT_NEAR(seconds(source->duration()), 3.0, 0.03);

        const std::vector<CMSampleBufferRef> pictures = decodeToEnd(*source);
        ASSERT_EQ(pictures.size(), 75u);
        // The recording's sound starts a little early, for the encoder's priming.
        const CMTime start = source->startTime();
        EXPECT_NEAR(seconds(CMSampleBufferGetPresentationTimeStamp(pictures.front())),
                    seconds(start), 0.02);
        for (std::size_t index = 1; index < pictures.size(); ++index) {
            ASSERT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(pictures[index]),
                                    endOf(pictures[index - 1])),
                      0)
                << "picture " << index;
        }
        EXPECT_NEAR(seconds(endOf(pictures.back())), seconds(start) + 3.0, 0.02);
        EXPECT_LE(CMTimeCompare(endOf(pictures.back()), CMTimeAdd(start, source->duration())), 0);
    }
}

// The target's picture is the one a plain decode from the start shows there, for targets on a
// key frame, between key frames and in the last second.
TEST_F(MediaSourceUnstatedDuration, ASeekShowsThePictureThatPlayingShowsThere) {
    for (const PipeFile& file : kSmallFiles) {
        SCOPED_TRACE(file.name);
        const auto source = load(writeThroughPipe(file.name, file.arguments));
        ASSERT_TRUE(source);
        const auto& video = source->videoTracks().at(0);
        const auto key = [](const CMSampleBufferRef& buffer) {
            return CMTimeConvertScale(CMSampleBufferGetPresentationTimeStamp(buffer), 1000000)
                .value;
        };
        std::map<std::int64_t, CMSampleBufferRef> plain;
        for (const CMSampleBufferRef& buffer : decodeToEnd(*source)) {
            plain.emplace(key(buffer), buffer);
        }
        ASSERT_EQ(plain.size(), 75u);

        for (const std::int64_t milliseconds : {1000, 1500, 2770}) {
            SCOPED_TRACE(testing::Message() << milliseconds << " ms");
            const CMTime target = CMTimeAdd(source->startTime(), CMTimeMake(milliseconds, 1000));
            std::optional<CMSampleBufferRef> shown;
            video->decoder()->flush();
            CoreMediaCompatibleDecodeSession session(video->decoder(), [&](CMSampleBufferRef b) {
                if (!shown && CMTimeCompare(target, endOf(b)) < 0) {
                    shown = b;
                }
            });
            const PacketsByTrack packets = seekVisualTracks(*source, video, {}, target);
            for (const PacketRef& packet : packets.packets(*video)) {
                session.decode(*packet);
            }
            while (!shown) {
                auto read = readVisualPacket(*source, video, {});
                if (!read) {
                    session.drain();
                    break;
                }
                session.decode(*read->packet);
            }
            ASSERT_TRUE(shown);
            EXPECT_LE(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(*shown), target), 0);
            const auto expected = plain.find(key(*shown));
            ASSERT_NE(expected, plain.end());
            EXPECT_TRUE(samePixels(CMSampleBufferGetImageBuffer(*shown),
                                   CMSampleBufferGetImageBuffer(expected->second)));
        }
    }
}

// A recorder that stopped right after its header left tracks without a single packet: there is
// no duration to find, and nothing stays open.
TEST_F(MediaSourceUnstatedDuration, ARecordingWithoutPacketsFailsForWantOfADuration) {
    const std::string recording = writeThroughPipe(kSmallFiles[0].name, kSmallFiles[0].arguments);
    const fs::path headerOnly = *directory_ / "header-only.webm";
    {
        std::ifstream in(recording, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        // Up to the first cluster's identifier, as the header parse ends there.
        const std::size_t cluster = bytes.find("\x1F\x43\xB6\x75");
        ASSERT_NE(cluster, std::string::npos);
        std::ofstream(headerOnly, std::ios::binary) << bytes.substr(0, cluster + 4);
    }
    const LoadOutcome outcome = loadAndWait(URL::fileURL(headerOnly.string()));
    EXPECT_EQ(outcome.completionCount, 0);
    ASSERT_EQ(outcome.failureCount, 1);
    EXPECT_EQ(outcome.error->kind(), MediaSourceLoadError::Kind::failedToReadMediaDuration);
    EXPECT_FALSE(processHasFileOpen(headerOnly.string()));
}

std::atomic<int> demuxerErrors{0};

void countDemuxerErrors(void* object, int level, const char* format, va_list arguments) {
    const AVClass* const* objectClass = static_cast<const AVClass* const*>(object);
    if (level <= AV_LOG_ERROR && objectClass != nullptr && *objectClass != nullptr &&
        std::string_view((*objectClass)->class_name) == "AVFormatContext") {
        ++demuxerErrors;
    }
    av_log_default_callback(object, level, format, arguments);
}

// Too large to be read whole: its end is read, from the start of a cluster so that the demuxer
// has nothing to complain about, and gives the exact duration. (A live Matroska recording reads
// like a live WebM one; its pictures here are quick to make in bulk.)
TEST_F(MediaSourceUnstatedDuration, ALargeLiveRecordingIsTimedByItsLastPackets) {
    const std::string path = writeThroughPipe(
        "large-live.mkv",
        "-f lavfi -i testsrc2=size=640x360:rate=25:duration=2,noise=alls=80:allf=t -f lavfi -i "
        "sine=r=48000:duration=2 -c:v mjpeg -q:v 2 -c:a libopus -f matroska -live 1");
    ASSERT_GT(fs::file_size(path), std::uintmax_t{8} << 20);

    demuxerErrors = 0;
    av_log_set_callback(countDemuxerErrors);
    const auto source = load(path);
    av_log_set_callback(av_log_default_callback);
    ASSERT_TRUE(source);
    EXPECT_EQ(demuxerErrors.load(), 0);
    EXPECT_TRUE(source->isDurationFinal());
    // From the sound's early start to its end.
    EXPECT_NEAR(seconds(source->duration()), 2.021, 0.001);
}

// Larger than what is read when it opens, and its start and end hold more bytes per second than
// its middle: the estimate from the bit rate falls short. Played from the start, the duration
// grows past the estimate and settles exactly at the end; a seek far beyond what was read lands
// by position.
TEST_F(MediaSourceUnstatedDuration, ALargeRawStreamIsEstimatedAndSettlesWhereItsEndIsRead) {
    const std::string path = writeThroughPipe("large.h264",
                                              "-f lavfi -i "
                                              "'testsrc2=size=320x240:rate=25:duration=8,noise="
                                              "alls=80:allf=t:enable=not(between(t\\,2\\,6))' "
                                              "-c:v libx264 -preset ultrafast -qp 5 -g 25 -f h264");
    const auto size = static_cast<double>(fs::file_size(path));
    ASSERT_GT(size, 12 << 20);

    const auto source = load(path);
    ASSERT_TRUE(source);
    EXPECT_FALSE(source->isDurationFinal());
    const double estimate = seconds(source->duration());
    EXPECT_GT(estimate, 2.0);
    EXPECT_LT(estimate, 6.0);

    std::atomic<int> changes{0};
    const ObserverToken observation = NotificationCenter::defaultCenter().addObserver(
        MediaSource::durationDidChangeNotification, source.get(),
        [&](const Notification&) { ++changes; });

    // Seeking to a time far beyond what was read goes by the estimate's share of the bytes.
    const auto& video = source->videoTracks().at(0);
    const PacketsByTrack landing =
        seekVisualTracks(*source, video, {}, CMTimeMakeWithSeconds(estimate / 2, 1000));
    ASSERT_FALSE(landing.packets(*video).empty());
    const AVPacket& first = landing.packets(*video).front()->avPacket();
    EXPECT_TRUE(first.flags & AV_PKT_FLAG_KEY);
    EXPECT_NEAR(static_cast<double>(first.pos) / size, 0.5, 0.1);

    // Played from the start, the pictures run past the estimate, and the end settles it.
    const PacketsByTrack start = seekVisualTracks(*source, video, {}, kCMTimeZero);
    const std::vector<CMSampleBufferRef> pictures = decodeToEnd(*source, start.packets(*video));
    ASSERT_EQ(pictures.size(), 200u);
    EXPECT_EQ(seconds(CMSampleBufferGetPresentationTimeStamp(pictures.front())), 0.0);
    EXPECT_EQ(seconds(endOf(pictures.back())), 8.0);
    EXPECT_TRUE(source->isDurationFinal());
    EXPECT_EQ(seconds(source->duration()), 8.0);
    EXPECT_GE(changes.load(), 2);  // grown past the estimate, then final
}

}  // namespace
