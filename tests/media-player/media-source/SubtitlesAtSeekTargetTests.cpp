// A cue that began long before a seek target is still on screen there: the visual seek hands
// it over with the packets it read, whatever the key frame the seek lands on.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coremedia/CMTime.h"
#include "support/LongCueMedia.h"

using namespace quillon;
using namespace quillon::test;
using platform::CMTime;
using platform::CMTimeMake;

namespace {

struct Container {
    const char* extension;
    const char* subtitleCodec;
};

class SubtitlesAtSeekTarget : public ::testing::TestWithParam<Container> {
protected:
    void SetUp() override {
        source = MediaSource::make(
            platform::URL::fileURL(media.make(GetParam().extension, GetParam().subtitleCodec)),
            platform::kCMTimeInvalid, true);
        ASSERT_EQ(source->videoTracks().size(), 1u);
        ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);
    }

    // What the visual provider's seek decodes of the subtitles track, and of that what matters
    // at the target.
    std::vector<SubtitlesFrame> framesAfterSeek(double seconds) {
        const auto& subtitles = source->embeddedSubtitlesTracks().front();
        const std::shared_ptr<SubtitlesTrack> tracks[] = {subtitles};
        const CMTime target = CMTimeMake(static_cast<std::int64_t>(seconds * 1000), 1000);
        PacketsByTrack packets =
            seekVisualTracks(*source, source->videoTracks().front(), tracks, target);
        EXPECT_FALSE(packets.packets(*source->videoTracks().front()).empty());
        subtitles->decoder()->flush();
        std::vector<SubtitlesFrame> decoded;
        for (const PacketRef& packet : packets.takePackets(*subtitles)) {
            for (SubtitlesFrame& frame : subtitles->decoder()->decode(*packet)) {
                decoded.push_back(std::move(frame));
            }
        }
        const auto chosen = subtitlesFrames(target, decoded);
        return chosen ? std::vector<SubtitlesFrame>(chosen->begin(), chosen->end())
                      : std::vector<SubtitlesFrame>{};
    }

    LongCueMedia media;
    std::shared_ptr<MediaSource> source;
};

TEST_P(SubtitlesAtSeekTarget, ACueBegunLongBeforeTheTargetIsHandedOverOnce) {
    const CMTime longCueStart = CMTimeMake(1, 1);
    const CMTime longCueEnd = CMTimeMake(30, 1);
    // Well past every key frame and the ten seconds the seek's own reference looks back.
    for (const double target : {14.0, 29.5, 2.5, 14.0}) {
        SCOPED_TRACE(target);
        const std::vector<SubtitlesFrame> frames = framesAfterSeek(target);
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames.front().startTime, longCueStart);
        EXPECT_EQ(frames.front().endTime, longCueEnd);
        std::size_t longCues = 0;
        for (const SubtitlesFrame& frame : frames) {
            longCues += frame.startTime == longCueStart;
        }
        EXPECT_EQ(longCues, 1u) << "the look-back and the seek's read met the cue both";
    }
    // Between the cues nothing is on screen; the next cue is what follows.
    const std::vector<SubtitlesFrame> between = framesAfterSeek(31);
    if (!between.empty()) {
        EXPECT_EQ(between.front().startTime, CMTimeMake(32, 1));
    }
    const std::vector<SubtitlesFrame> onNext = framesAfterSeek(33);
    ASSERT_FALSE(onNext.empty());
    EXPECT_EQ(onNext.front().startTime, CMTimeMake(32, 1));
}

INSTANTIATE_TEST_SUITE_P(Containers, SubtitlesAtSeekTarget,
                         ::testing::Values(Container{"mkv", "srt"}, Container{"mkv", "ass"},
                                           Container{"mp4", "mov_text"}),
                         [](const ::testing::TestParamInfo<Container>& info) {
                             return std::string(info.param.extension) + "_" +
                                    info.param.subtitleCodec;
                         });

}  // namespace
