// Transport streams as broadcasts and cameras record them: pictures reordered (B-frames), long
// groups of pictures, and no index, so that a seek lands wherever a packet's decoding time says.

#include <gtest/gtest.h>

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "media-player/MediaPlayerTestSupport.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

namespace fs = std::filesystem;

struct VideoCodec {
    const char* name;
    const char* encoding;
};

void PrintTo(const VideoCodec& codec, std::ostream* stream) {
    *stream << codec.name;
}

constexpr int kFrameCount = 150;

// Six seconds at 25 pictures a second, a key frame every four seconds and up to three B-frames
// between the others, with AAC sound, in a transport stream. Written once per process and codec.
std::string transportStreamPath(const VideoCodec& codec) {
    const fs::path path =
        fs::temp_directory_path() /
        ("quillon-bframes-" + std::string(codec.name) + "-" + std::to_string(::getpid()) + ".ts");
    if (!fs::exists(path)) {
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i "
            "testsrc=size=160x90:rate=25:duration=6 -f lavfi -i sine=f=440:duration=6 " +
            std::string(codec.encoding) + " -g 100 -bf 3 -c:a aac -f mpegts '" + path.string() +
            "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        static const bool removesAtExit = [] {
            std::atexit([] {
                std::error_code error;
                for (const auto& entry : fs::directory_iterator(fs::temp_directory_path(), error)) {
                    const std::string name = entry.path().filename().string();
                    if (name.starts_with("quillon-bframes-") &&
                        name.ends_with("-" + std::to_string(::getpid()) + ".ts")) {
                        fs::remove(entry.path(), error);
                    }
                }
            });
            return true;
        }();
        (void)removesAtExit;
    }
    return path.string();
}

class MediaPlayerTransportStreamTest : public MediaPlayerTest,
                                       public ::testing::WithParamInterface<VideoCodec> {
protected:
    void SetUp() override {
        const auto media =
            MediaSource::make(URL::fileURL(transportStreamPath(GetParam())), kCMTimeInvalid, true);
        makePlayer(media, videoAndAudio(*media));
    }

    // A media time on the file's time line, which the renderers see.
    CMTime fileTime(CMTime mediaTime) const { return CMTimeAdd(source->startTime(), mediaTime); }

    template <typename Renderer>
    void expectFirstBufferCovers(const Renderer& renderer, CMTime target, const char* what) {
        ASSERT_TRUE(eventually([&] { return !renderer->record.buffersSinceLastFlush().empty(); }))
            << what;
        const auto first = renderer->record.buffersSinceLastFlush().front();
        EXPECT_LE(CMTimeCompare(first.presentationTime, fileTime(target)), 0)
            << what << " at " << CMTimeGetSeconds(target) << " starts at "
            << CMTimeGetSeconds(first.presentationTime);
        EXPECT_GT(CMTimeCompare(first.end(), fileTime(target)), 0)
            << what << " at " << CMTimeGetSeconds(target) << " ends at "
            << CMTimeGetSeconds(first.end());
    }

    // Plays on in small steps until the player stops at the end, each time waiting until the
    // pictures are ahead of the clock again or the video has been read to its end.
    void playToTheEnd() {
        onQueue([&] { player->play(); });
        while (synchronizerRate() > 0) {
            clock->advanceSeconds(0.1);
            settle();
            ASSERT_TRUE(eventually([&] {
                const auto pictures = layer->record.buffersSinceLastFlush();
                return !layer->record.isRequesting() ||
                       (!pictures.empty() &&
                        CMTimeCompare(pictures.back().end(), fileTime(currentTime())) > 0);
            }));
        }
    }
};

TEST_P(MediaPlayerTransportStreamTest, PlaysEveryPictureFromTheFirstToTheLastWithSound) {
    playToTheEnd();
    EXPECT_EQ(currentTime(), player->duration());

    const auto pictures = layer->record.buffersSinceLastFlush();
    ASSERT_EQ(pictures.size(), static_cast<std::size_t>(kFrameCount));
    // The first picture is the file's first, shown from the start on.
    EXPECT_LT(CMTimeCompare(pictures.front().presentationTime, fileTime(seconds(0.04))), 0)
        << CMTimeGetSeconds(pictures.front().presentationTime);
    for (std::size_t i = 1; i < pictures.size(); ++i) {
        ASSERT_GT(CMTimeCompare(pictures[i].presentationTime, pictures[i - 1].presentationTime), 0)
            << i;
    }

    const auto sound = audioRenderer->record.buffersSinceLastFlush();
    ASSERT_FALSE(sound.empty());
    EXPECT_LE(CMTimeCompare(sound.front().presentationTime, fileTime(kCMTimeZero)), 0);
    EXPECT_GE(CMTimeCompare(sound.back().end(), fileTime(seconds(5.9))), 0)
        << CMTimeGetSeconds(sound.back().end());
}

// The key frames lie at the start and four seconds on: each target lies inside a group of
// pictures, where the search lands on a packet after its key frame; the last one just before the
// second key frame.
TEST_P(MediaPlayerTransportStreamTest, ASeekShowsThePictureAndPlaysTheSoundAtTheTarget) {
    for (double target : {3.0, 5.5, 1.0, 4.0}) {
        SCOPED_TRACE(target);
        seekAndWait(seconds(target));
        EXPECT_EQ(currentTime(), seconds(target));
        expectFirstBufferCovers(layer, seconds(target), "picture");
        expectFirstBufferCovers(audioRenderer, seconds(target), "sound");
    }
    // The pictures start a little after the sound: back at zero, the first one is shown.
    seekAndWait(kCMTimeZero);
    ASSERT_TRUE(eventually([&] { return !layer->record.buffersSinceLastFlush().empty(); }));
    EXPECT_LT(CMTimeCompare(layer->record.buffersSinceLastFlush().front().presentationTime,
                            fileTime(seconds(0.04))),
              0);
    expectFirstBufferCovers(audioRenderer, kCMTimeZero, "sound");
}

INSTANTIATE_TEST_SUITE_P(
    BFrames, MediaPlayerTransportStreamTest,
    ::testing::Values(VideoCodec{"H264", "-c:v libx264 -preset veryfast -threads 1"},
                      VideoCodec{"HEVC",
                                 "-c:v libx265 -preset veryfast -x265-params "
                                 "log-level=error:pools=1:frame-threads=1"},
                      VideoCodec{"MPEG2", "-c:v mpeg2video"}),
    [](const ::testing::TestParamInfo<VideoCodec>& info) { return std::string(info.param.name); });

}  // namespace
