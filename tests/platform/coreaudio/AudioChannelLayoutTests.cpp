#include <gtest/gtest.h>

#include "platform/coreaudio/AudioChannelLayout.h"

using namespace platform;

namespace {
using Labels = std::vector<AudioChannelLabel>;
}

TEST(AudioChannelLayoutTag, ValuesCarryTheirChannelCountInTheLowBits) {
    // The numbers other code and logs rely on.
    EXPECT_EQ(kAudioChannelLayoutTag_Mono, 6553601u);
    EXPECT_EQ(kAudioChannelLayoutTag_Stereo, 6619138u);
    EXPECT_EQ(kAudioChannelLayoutTag_Binaural, 6946818u);
    EXPECT_EQ(kAudioChannelLayoutTag_MPEG_5_1_A, 7929862u);
    EXPECT_EQ(kAudioChannelLayoutTag_MPEG_7_1_C, 8388616u);
    EXPECT_EQ(kAudioChannelLayoutTag_DVD_4, 8716291u);
    EXPECT_EQ(kAudioChannelLayoutTag_WAVE_7_1, (189u << 16) | 8);
    EXPECT_EQ(kAudioChannelLayoutTag_Unknown, 0xFFFF0000u);

    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_Mono), 1u);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_ITU_2_2), 4u);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_MPEG_6_1_A), 7u);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_DTS_8_1_B), 9u);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_TMH_10_2_full), 21u);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_DiscreteInOrder | 5),
              5u);
    EXPECT_EQ(AudioChannelLayoutTag_GetNumberOfChannels(kAudioChannelLayoutTag_UseChannelBitmap),
              0u);
}

TEST(AudioChannelLayoutTag, EveryKnownOrderHasAsManyLabelsAsTheTagHasChannels) {
    int known = 0;
    for (std::uint32_t layoutId = 100; layoutId < 200; ++layoutId) {
        for (std::uint32_t channels = 1; channels <= 24; ++channels) {
            const AudioChannelLayoutTag tag = audioChannelLayoutTag(layoutId, channels);
            if (const auto labels = AudioChannelLayoutTagCopyChannelLabels(tag)) {
                ++known;
                EXPECT_EQ(labels->size(), channels) << "tag " << tag;
            }
        }
    }
    EXPECT_GT(known, 80);
}

TEST(AudioChannelLayoutTag, LabelsOfSurroundLayoutsFollowTheirOrder) {
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_MPEG_5_1_A),
              (Labels{kAudioChannelLabel_Left, kAudioChannelLabel_Right, kAudioChannelLabel_Center,
                      kAudioChannelLabel_LFEScreen, kAudioChannelLabel_LeftSurround,
                      kAudioChannelLabel_RightSurround}));
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_MPEG_5_1_D),
              (Labels{kAudioChannelLabel_Center, kAudioChannelLabel_Left, kAudioChannelLabel_Right,
                      kAudioChannelLabel_LeftSurround, kAudioChannelLabel_RightSurround,
                      kAudioChannelLabel_LFEScreen}));
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_MPEG_7_1_C),
              (Labels{kAudioChannelLabel_Left, kAudioChannelLabel_Right, kAudioChannelLabel_Center,
                      kAudioChannelLabel_LFEScreen, kAudioChannelLabel_LeftSurround,
                      kAudioChannelLabel_RightSurround, kAudioChannelLabel_RearSurroundLeft,
                      kAudioChannelLabel_RearSurroundRight}));
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_MPEG_7_1_A),
              (Labels{kAudioChannelLabel_Left, kAudioChannelLabel_Right, kAudioChannelLabel_Center,
                      kAudioChannelLabel_LFEScreen, kAudioChannelLabel_LeftSurround,
                      kAudioChannelLabel_RightSurround, kAudioChannelLabel_LeftCenter,
                      kAudioChannelLabel_RightCenter}));
    // Aliases name the same order.
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_AudioUnit_7_1),
              AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_MPEG_7_1_C));
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_Mono),
              Labels{kAudioChannelLabel_Center});
}

TEST(AudioChannelLayoutTag, NumberedFamiliesAndUnknownOrders) {
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_DiscreteInOrder | 3),
              (Labels{kAudioChannelLabel_Discrete_0, kAudioChannelLabel_Discrete_1,
                      kAudioChannelLabel_Discrete_2}));
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_Unknown | 2),
              (Labels{kAudioChannelLabel_Unknown, kAudioChannelLabel_Unknown}));
    // Known tags whose order is not recorded, and tags that defer to other fields.
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_Atmos_7_1_4),
              std::nullopt);
    EXPECT_EQ(AudioChannelLayoutTagCopyChannelLabels(kAudioChannelLayoutTag_UseChannelBitmap),
              std::nullopt);
}

TEST(AudioChannelLayout, BitmapLayoutsListTheirSpeakersInBitOrder) {
    const auto layout = AudioChannelLayout::withBitmap(
        kAudioChannelBit_RightTopMiddle | kAudioChannelBit_Left | kAudioChannelBit_Right |
        kAudioChannelBit_LFEScreen | kAudioChannelBit_TopBackRight);
    EXPECT_EQ(AudioChannelLayoutGetNumberOfChannels(layout), 5u);
    EXPECT_EQ(
        AudioChannelLayoutCopyChannelLabels(layout),
        (Labels{kAudioChannelLabel_Left, kAudioChannelLabel_Right, kAudioChannelLabel_LFEScreen,
                kAudioChannelLabel_TopBackRight, kAudioChannelLabel_RightTopMiddle}));
    // Bit 18 names no speaker.
    EXPECT_EQ(AudioChannelBitmapCopyChannelLabels(kAudioChannelBit_Left | (1u << 18)),
              std::nullopt);
}

TEST(AudioChannelLayout, DescriptionLayoutsAndTheirByteSize) {
    const auto layout = AudioChannelLayout::withLabels(
        {kAudioChannelLabel_Right, kAudioChannelLabel_Left, kAudioChannelLabel_Mono});
    EXPECT_EQ(AudioChannelLayoutGetNumberOfChannels(layout), 3u);
    EXPECT_EQ(AudioChannelLayoutCopyChannelLabels(layout),
              (Labels{kAudioChannelLabel_Right, kAudioChannelLabel_Left, kAudioChannelLabel_Mono}));
    EXPECT_EQ(AudioChannelLayoutByteSize(layout), 72u);
    EXPECT_EQ(
        AudioChannelLayoutByteSize(AudioChannelLayout::withTag(kAudioChannelLayoutTag_Stereo)),
        12u);
    EXPECT_EQ(kAudioChannelLayoutStructByteSize, 32u);
}
