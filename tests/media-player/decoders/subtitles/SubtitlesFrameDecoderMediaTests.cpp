#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "SubtitlesTestSupport.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "support/TestMedia.h"

namespace quillon {
namespace {

using namespace subtitlestest;

struct ExpectedFrame {
    double start;
    double end;
    std::string text;
};

void expectFrames(const std::vector<SubtitlesFrame>& frames,
                  const std::vector<ExpectedFrame>& expected) {
    ASSERT_EQ(frames.size(), expected.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        EXPECT_DOUBLE_EQ(seconds(frames[i].startTime), expected[i].start);
        EXPECT_DOUBLE_EQ(seconds(frames[i].endTime), expected[i].end);
        if (expected[i].text.empty()) {
            EXPECT_EQ(frames[i].subtitles.kind(), Subtitles::Kind::clearPreviousSubtitles);
        } else {
            EXPECT_EQ(plainText(frames[i].subtitles), expected[i].text);
        }
    }
}

TEST(SubtitlesFrameDecoderMediaTests, SubRipInMatroskaGivesCueTimesAndTextWithoutMarkup) {
    const std::vector<SubtitlesFrame> frames =
        decodeAllFrames(test::mediaPath("subtitles-srt.mkv"));
    // libavcodec's SubRip decoder supplies an ASS header, so the cues come out formatted.
    ASSERT_FALSE(frames.empty());
    EXPECT_EQ(frames[0].subtitles.kind(), Subtitles::Kind::formattedText);
    expectFrames(frames, {
                             {0.2, 1.2, "First cue, plain text."},
                             {0.8, 1.8, "Overlapping cue on\ntwo lines"},
                             {2.0, 2.9, "Yellow – ümlauts, 日本語"},
                         });
}

TEST(SubtitlesFrameDecoderMediaTests, TwoQueuesDecodingOneTrackAtOnceEachGetTheirCues) {
    // A track moved from one subtitles position to the other is decoded by the new position's
    // queue while the old one may still be finishing a packet: each call must see the decoder
    // to itself (under AddressSanitizer an unserialized decoder loses or reuses the cues' memory).
    SubtitlesFile first(test::mediaPath("subtitles-srt.mkv"));
    SubtitlesFile second(test::mediaPath("subtitles-srt.mkv"));
    FFmpegSubtitlesFrameDecoder decoder(*first.stream);
    const std::vector<std::string> texts = {
        "First cue, plain text.", "Overlapping cue on\ntwo lines", "Yellow – ümlauts, 日本語"};
    std::atomic<int> wrong{0};
    const auto decodeRepeatedly = [&](std::vector<PacketRef> packets) {
        for (int round = 0; round < 200; ++round) {
            for (std::size_t index = 0; index < packets.size() && index < texts.size(); ++index) {
                const std::vector<SubtitlesFrame> frames = decoder.decode(*packets[index]);
                if (frames.size() != 1 || plainText(frames[0].subtitles) != texts[index]) {
                    ++wrong;
                }
            }
        }
    };
    std::thread other(decodeRepeatedly, second.readSubtitlePackets());
    decodeRepeatedly(first.readSubtitlePackets());
    other.join();
    EXPECT_EQ(wrong.load(), 0);
}

TEST(SubtitlesFrameDecoderMediaTests, ASSInMatroskaGivesEveryDialogueButNoComment) {
    const std::vector<SubtitlesFrame> frames =
        decodeAllFrames(test::mediaPath("subtitles-ass.mkv"));
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].subtitles.kind(), Subtitles::Kind::formattedText);
    EXPECT_DOUBLE_EQ(seconds(frames[0].startTime), 0.2);
    EXPECT_DOUBLE_EQ(seconds(frames[0].endTime), 1.2);
    EXPECT_EQ(plainText(frames[0].subtitles), "Bold and italic\nsecond line");
    EXPECT_DOUBLE_EQ(seconds(frames[1].startTime), 0.8);
    EXPECT_EQ(plainText(frames[1].subtitles), "red back to style, half alpha");
    EXPECT_DOUBLE_EQ(seconds(frames[2].startTime), 1.2);
    EXPECT_DOUBLE_EQ(seconds(frames[2].endTime), 2.2);
    EXPECT_DOUBLE_EQ(seconds(frames[3].startTime), 2.0);
    EXPECT_DOUBLE_EQ(seconds(frames[3].endTime), 2.9);
    EXPECT_EQ(plainText(frames[3].subtitles), "Thick border, deep shadow then Top style");
}

std::vector<ExpectedFrame> webVTTFrames() {
    return {
        {0.2, 1.2, "Bold and italic"},
        {0.8, 1.8, "Overlapping voice cue\nsecond line"},
        {2.0, 2.9, "Yellow class – ümlauts, 日本語"},
    };
}

TEST(SubtitlesFrameDecoderMediaTests, WebVTTInMatroskaAndWebMGiveTheSameCues) {
    expectFrames(decodeAllFrames(test::mediaPath("subtitles-webvtt.mkv")), webVTTFrames());
    expectFrames(decodeAllFrames(test::mediaPath("subtitles-webvtt.webm")), webVTTFrames());
}

TEST(SubtitlesFrameDecoderMediaTests, MovTextGivesCuesAndNoFramesForEmptySamples) {
    // 3GPP text cannot overlap: the muxer cuts the first cue where the second begins and fills
    // the gaps with empty samples, which libavcodec decodes to nothing.
    expectFrames(decodeAllFrames(test::mediaPath("subtitles-mov-text.mp4")),
                 {
                     {0.2, 0.8, "First cue, plain text."},
                     {0.8, 1.8, "Overlapping cue on\ntwo lines"},
                     {2.0, 2.9, "Yellow – ümlauts, 日本語"},
                 });
}

}  // namespace
}  // namespace quillon
