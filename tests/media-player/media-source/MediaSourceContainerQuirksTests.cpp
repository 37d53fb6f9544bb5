// Opening files whose containers behave unlike the everyday ones: late first timestamps, raw
// elementary streams that cannot be sought, transport streams whose streams start late. The
// files are made here with the ffmpeg tool.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

extern "C" {
#include <libavutil/log.h>
}

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coremedia/CMTime.h"

using namespace quillon;
using namespace quillon::test;
using platform::CMTime;

namespace {

namespace fs = std::filesystem;

class MediaSourceContainerQuirks : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = (fs::temp_directory_path() / "quillon-container-quirks-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = new fs::path(pattern);
    }

    static void TearDownTestSuite() {
        std::error_code error;
        fs::remove_all(*directory_, error);
        delete directory_;
        directory_ = nullptr;
    }

    // Runs ffmpeg with `arguments` to write `name` in the suite's folder; its path.
    static std::string make(const std::string& name, const std::string& arguments) {
        const fs::path path = *directory_ / name;
        if (!fs::exists(path)) {
            const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " +
                                        arguments + " '" + path.string() + "'";
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
        return path.string();
    }

    static std::shared_ptr<MediaSource> open(const std::string& path,
                                             CMTime fallbackDuration = platform::kCMTimeInvalid,
                                             bool requiresDuration = true) {
        return MediaSource::make(platform::URL::fileURL(path), fallbackDuration, requiresDuration);
    }

    static inline fs::path* directory_ = nullptr;
};

constexpr const char* kThreeSecondsOfVideoAndAudio =
    "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=f=440:r=48000 -t 3 -c:v libx264 "
    "-c:a aac";

TEST_F(MediaSourceContainerQuirks, DurationIsMeasuredFromTheStartTimeInEveryContainer) {
    for (const char* extension : {"mkv", "mp4", "ts"}) {
        const std::string late =
            make(std::string("late.") + extension,
                 std::string(kThreeSecondsOfVideoAndAudio) + " -output_ts_offset 10");
        const auto source = open(late);
        const double start = platform::CMTimeGetSeconds(source->startTime());
        const double duration = platform::CMTimeGetSeconds(source->duration());
        // The transport stream adds its mux delay to the start; Matroska and MP4 start the
        // audio a little early for the encoder's priming.
        EXPECT_GE(start, 9.9) << extension;
        EXPECT_LT(start, 12) << extension;
        EXPECT_GE(duration, 2.9) << extension;
        EXPECT_LE(duration, 3.2) << extension;

        const std::string onTime =
            make(std::string("on-time.") + extension, kThreeSecondsOfVideoAndAudio);
        const auto control = open(onTime);
        EXPECT_LT(platform::CMTimeGetSeconds(control->startTime()), 2) << extension;
        EXPECT_GE(platform::CMTimeGetSeconds(control->duration()), 2.9) << extension;
        EXPECT_LE(platform::CMTimeGetSeconds(control->duration()), 3.2) << extension;
    }
}

// A raw stream has no timestamps to seek by and no duration. Given a duration, it opens, and
// its packets come from the very first on; seeking it later fails as an error, not a crash.
TEST_F(MediaSourceContainerQuirks, ARawVideoStreamOpensAtItsStartAndFailsLaterSeeksCleanly) {
    const std::string path =
        make("raw.h264", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v libx264");
    const auto source = open(path, platform::CMTimeMake(1, 1), false);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    const auto& video = source->videoTracks().front();

    int packets = 0;
    bool firstIsKeyFrame = false;
    while (auto read = readVisualPacket(*source, video, {})) {
        if (packets++ == 0) {
            firstIsKeyFrame = (read->packet->avPacket().flags & AV_PKT_FLAG_KEY) != 0;
        }
    }
    EXPECT_EQ(packets, 25);
    EXPECT_TRUE(firstIsKeyFrame);

    EXPECT_THROW(seekVisualTracks(*source, video, {}, platform::CMTimeMake(1, 2)), FFmpegError);

    // Through the loading path a raw stream still fails, for having no duration.
    const auto outcome = loadAndWait(platform::URL::fileURL(path));
    ASSERT_EQ(outcome.failureCount, 1);
    EXPECT_EQ(outcome.error->kind(), MediaSourceLoadError::Kind::failedToReadMediaDuration);
}

// A raw audio stream states a duration (from its bit rate) but no start time: it loads, and
// reads from its first packet.
TEST_F(MediaSourceContainerQuirks, ARawAudioStreamLoadsAndReadsFromItsFirstPacket) {
    const std::string path = make("raw.aac", "-f lavfi -i sine=r=48000:duration=2 -c:a aac");
    const auto outcome = loadAndWait(platform::URL::fileURL(path));
    ASSERT_EQ(outcome.completionCount, 1);
    const auto& source = *outcome.source;
    ASSERT_EQ(source.audioTracks().size(), 1u);
    PacketRef first = readAudioPacketOnQueue(source, *source.audioTracks().front());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->avPacket().pos, 0);
}

std::atomic<int> seekbackWarnings{0};

void countSeekbackWarnings(void* object, int level, const char* format, va_list arguments) {
    if (format != nullptr && std::strstr(format, "seekback") != nullptr) {
        ++seekbackWarnings;
    }
    av_log_default_callback(object, level, format, arguments);
}

// Megabytes of pictures before the audio's first packet: found only when probing reads past
// FFmpeg's usual bound, which must not make the demuxer try to keep all of it for seeking back.
TEST_F(MediaSourceContainerQuirks, ATransportStreamsLateAudioIsFoundWithoutAnUnboundedSeekback) {
    const std::string path =
        make("late-audio.ts",
             "-f lavfi -i testsrc2=size=640x360:rate=25:duration=10 -itsoffset 8 -f lavfi -i "
             "sine=f=440:r=48000:duration=2 -map 0 -map 1 -c:v mpeg2video -q:v 2 -g 1 -c:a mp2");
    ASSERT_GT(fs::file_size(path), 6'000'000u);

    seekbackWarnings = 0;
    av_log_set_callback(countSeekbackWarnings);
    std::shared_ptr<MediaSource> source;
    EXPECT_NO_THROW(source = open(path));
    av_log_set_callback(av_log_default_callback);
    EXPECT_EQ(seekbackWarnings.load(), 0);

    ASSERT_TRUE(source);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    ASSERT_EQ(source->audioTracks().size(), 1u);
    const auto& properties = source->audioTracks().front()->decoder()->audioProperties();
    EXPECT_EQ(properties.bufferLevelProperties.sampleRate, 48000);
    EXPECT_EQ(properties.bufferLevelProperties.channelCount, 1);
}

}  // namespace
