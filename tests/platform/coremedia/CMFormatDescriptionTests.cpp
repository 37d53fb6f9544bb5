#include <gtest/gtest.h>

#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/coremedia/CMFormatDescription.h"

using namespace platform;

namespace {

AudioStreamBasicDescription pcm(std::uint32_t channels) {
    return {48000,
            kAudioFormatLinearPCM,
            kAudioFormatFlagIsFloat,
            4 * channels,
            1,
            4 * channels,
            channels,
            32,
            0};
}

CMAudioFormatDescriptionRef makeAudio(const AudioStreamBasicDescription& asbd,
                                      const AudioChannelLayout& layout,
                                      CFDictionaryRef extensions = nullptr) {
    CMAudioFormatDescriptionRef description;
    EXPECT_EQ(CMAudioFormatDescriptionCreate(&asbd, kAudioChannelLayoutStructByteSize, &layout, 0,
                                             nullptr, extensions, &description),
              noErr);
    return description;
}

}  // namespace

TEST(CMFormatDescription, AudioDescriptionRoundTripsItsFormatLayoutAndExtensions) {
    const auto asbd = pcm(6);
    const auto layout = AudioChannelLayout::withTag(kAudioChannelLayoutTag_MPEG_5_1_A);
    auto extensions =
        std::make_shared<const CFDictionary>(CFDictionary{{"QLEnableSpatialization", true}});
    const auto description = makeAudio(asbd, layout, extensions);

    EXPECT_EQ(CMFormatDescriptionGetMediaType(description), kCMMediaType_Audio);
    EXPECT_EQ(CMFormatDescriptionGetMediaType(description), fourCharCode("soun"));
    EXPECT_EQ(CMFormatDescriptionGetMediaSubType(description), kAudioFormatLinearPCM);
    ASSERT_NE(CMAudioFormatDescriptionGetStreamBasicDescription(description), nullptr);
    EXPECT_EQ(*CMAudioFormatDescriptionGetStreamBasicDescription(description), asbd);

    std::size_t layoutSize = 0;
    const AudioChannelLayout* storedLayout =
        CMAudioFormatDescriptionGetChannelLayout(description, &layoutSize);
    ASSERT_NE(storedLayout, nullptr);
    EXPECT_EQ(*storedLayout, layout);
    EXPECT_EQ(layoutSize, 32u);

    const CFValue* spatialization =
        CMFormatDescriptionGetExtension(description, "QLEnableSpatialization");
    ASSERT_NE(spatialization, nullptr);
    EXPECT_TRUE(CFValueEqual(*spatialization, CFValue(true)));
    EXPECT_EQ(CMFormatDescriptionGetExtension(description, "Missing"), nullptr);
    EXPECT_EQ(*CMFormatDescriptionGetExtensions(description), *extensions);

    std::size_t cookieSize = 1;
    EXPECT_EQ(CMAudioFormatDescriptionGetMagicCookie(description, &cookieSize), nullptr);
    EXPECT_EQ(cookieSize, 0u);
}

TEST(CMFormatDescription, AudioDescriptionKeepsAMagicCookieAndADescriptionLayout) {
    const auto asbd = pcm(2);
    const auto layout =
        AudioChannelLayout::withLabels({kAudioChannelLabel_Right, kAudioChannelLabel_Left});
    const std::uint8_t cookie[] = {1, 2, 3};
    CMAudioFormatDescriptionRef description;
    ASSERT_EQ(CMAudioFormatDescriptionCreate(&asbd, AudioChannelLayoutByteSize(layout), &layout,
                                             sizeof cookie, cookie, nullptr, &description),
              noErr);
    std::size_t cookieSize = 0;
    const auto* stored = static_cast<const std::uint8_t*>(
        CMAudioFormatDescriptionGetMagicCookie(description, &cookieSize));
    ASSERT_EQ(cookieSize, 3u);
    EXPECT_EQ(stored[2], 3);
    std::size_t layoutSize = 0;
    EXPECT_EQ(
        CMAudioFormatDescriptionGetChannelLayout(description, &layoutSize)->mChannelDescriptions,
        layout.mChannelDescriptions);
    EXPECT_EQ(layoutSize, 52u);
    EXPECT_EQ(CMFormatDescriptionGetExtensions(description), nullptr);
}

TEST(CMFormatDescription, AudioDescriptionRefusesInconsistentArguments) {
    const auto stereo = pcm(2);
    const auto stereoLayout = AudioChannelLayout::withTag(kAudioChannelLayoutTag_Stereo);
    CMAudioFormatDescriptionRef description;

    const auto surround = AudioChannelLayout::withTag(kAudioChannelLayoutTag_MPEG_5_1_A);
    EXPECT_EQ(
        CMAudioFormatDescriptionCreate(&stereo, 32, &surround, 0, nullptr, nullptr, &description),
        kCMFormatDescriptionError_InvalidParameter);
    // Three descriptions need 72 bytes.
    const auto listed = AudioChannelLayout::withLabels(
        {kAudioChannelLabel_Left, kAudioChannelLabel_Right, kAudioChannelLabel_Center});
    auto threeChannels = pcm(3);
    EXPECT_EQ(CMAudioFormatDescriptionCreate(&threeChannels, 32, &listed, 0, nullptr, nullptr,
                                             &description),
              kCMFormatDescriptionError_InvalidParameter);
    EXPECT_EQ(CMAudioFormatDescriptionCreate(&threeChannels, 72, &listed, 0, nullptr, nullptr,
                                             &description),
              noErr);
    EXPECT_EQ(
        CMAudioFormatDescriptionCreate(&stereo, 32, nullptr, 0, nullptr, nullptr, &description),
        kCMFormatDescriptionError_InvalidParameter);
    auto broken = stereo;
    broken.mBytesPerFrame = 4;
    EXPECT_EQ(CMAudioFormatDescriptionCreate(&broken, 32, &stereoLayout, 0, nullptr, nullptr,
                                             &description),
              kCMFormatDescriptionError_InvalidParameter);
    EXPECT_EQ(
        CMAudioFormatDescriptionCreate(nullptr, 0, nullptr, 0, nullptr, nullptr, &description),
        kCMFormatDescriptionError_InvalidParameter);
    // A discrete layout without a count says nothing about the channels.
    const auto discrete = AudioChannelLayout::withTag(kAudioChannelLayoutTag_DiscreteInOrder);
    EXPECT_EQ(
        CMAudioFormatDescriptionCreate(&stereo, 32, &discrete, 0, nullptr, nullptr, &description),
        noErr);
}

TEST(CMFormatDescription, EqualityComparesContentAndTreatsEmptyExtensionsAsNone) {
    const auto asbd = pcm(2);
    const auto layout = AudioChannelLayout::withTag(kAudioChannelLayoutTag_Stereo);
    const auto plain = makeAudio(asbd, layout);
    const auto again = makeAudio(asbd, layout, std::make_shared<const CFDictionary>());
    const auto marked = makeAudio(
        asbd, layout, std::make_shared<const CFDictionary>(CFDictionary{{"key", std::int64_t{1}}}));
    const auto otherLayout =
        makeAudio(asbd, AudioChannelLayout::withTag(kAudioChannelLayoutTag_Binaural));

    EXPECT_NE(plain, again);
    EXPECT_TRUE(CMFormatDescriptionEqual(plain, again));
    EXPECT_FALSE(CMFormatDescriptionEqual(plain, marked));
    EXPECT_FALSE(CMFormatDescriptionEqual(plain, otherLayout));
    EXPECT_FALSE(CMFormatDescriptionEqual(plain, nullptr));
    EXPECT_TRUE(CMFormatDescriptionEqual(nullptr, nullptr));
}

TEST(CMFormatDescription, GenericDescriptionsCarryTheirMediaType) {
    CMFormatDescriptionRef subtitles;
    ASSERT_EQ(
        CMFormatDescriptionCreate(kCMMediaType_Subtitle, fourCharCode("tx3g"), nullptr, &subtitles),
        noErr);
    EXPECT_EQ(CMFormatDescriptionGetMediaType(subtitles), fourCharCode("sbtl"));
    EXPECT_EQ(CMAudioFormatDescriptionGetStreamBasicDescription(subtitles), nullptr);
    EXPECT_EQ(CMFormatDescriptionGetMediaType(nullptr), 0u);
    EXPECT_EQ(kCMMediaType_Video, fourCharCode("vide"));
}
