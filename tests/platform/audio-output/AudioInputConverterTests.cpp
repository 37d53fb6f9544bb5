#include <gtest/gtest.h>

extern "C" {
#include <libavutil/channel_layout.h>
}

#include "platform/audio-output/AudioInputConverter.h"
#include "support/AudioBufferFactory.h"

namespace {

using quillon::test::AudioBufferFactory;

// Each input channel carries its own constant level, so an output channel tells which input
// channel reached it.
double levelOfChannel(int channel) { return 0.1 * (channel + 1); }

TEST(AudioInputConverterTests, SevenPointOneKeepsEverySpeakerInPlace) {
    // The tag's order is L R C LFE Ls Rs Rls Rrs: its surround pair stands at the sides and its
    // rear surround pair at the back.
    const platform::AudioSinkFormat output{48000, 8, AV_CH_LAYOUT_7POINT1};
    platform::AudioInputConverter converter(output);
    const auto buffer = AudioBufferFactory::make(
        0, 480, [](std::int64_t, int channel) { return levelOfChannel(channel); }, 48000, 8,
        platform::kAudioChannelLayoutTag_MPEG_7_1_C);
    const auto chunk = converter.convert(buffer, {});
    ASSERT_TRUE(chunk.has_value());
    ASSERT_GE(chunk->frameCount(8), 100);

    // FFmpeg's 7.1 order is FL FR FC LFE BL BR SL SR.
    const int expectedInputChannel[8] = {0, 1, 2, 3, 6, 7, 4, 5};
    const float* frame = chunk->samples.data() + 50 * 8;  // clear of any resampler ramp
    for (int channel = 0; channel < 8; ++channel) {
        EXPECT_NEAR(frame[channel], levelOfChannel(expectedInputChannel[channel]), 1e-3)
            << "output channel " << channel;
    }
}

TEST(AudioInputConverterTests, FivePointOneSurroundStaysAtTheBack) {
    // Without a rear pair the surround pair is FFmpeg's back pair, as 5.1 files label it.
    const platform::AudioSinkFormat output{48000, 6, AV_CH_LAYOUT_5POINT1_BACK};
    platform::AudioInputConverter converter(output);
    const auto buffer = AudioBufferFactory::make(
        0, 480, [](std::int64_t, int channel) { return levelOfChannel(channel); }, 48000, 6,
        platform::kAudioChannelLayoutTag_MPEG_5_1_A);
    const auto chunk = converter.convert(buffer, {});
    ASSERT_TRUE(chunk.has_value());
    const float* frame = chunk->samples.data() + 50 * 6;
    for (int channel = 0; channel < 6; ++channel) {
        EXPECT_NEAR(frame[channel], levelOfChannel(channel), 1e-3) << "output channel " << channel;
    }
}

}  // namespace
