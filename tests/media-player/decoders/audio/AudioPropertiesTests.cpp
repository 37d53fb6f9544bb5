#include "media-player/decoders/audio/AudioProperties.h"

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "AudioDecoderTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "support/ScratchFolder.h"

namespace quillon {
namespace {

using namespace platform;

// The standard user defaults of this test process live in a folder of its own, so that the
// user's real preferences are neither read nor written.
const test::ScratchFolder configurationFolder("quillon-audio-tests");
const bool privateConfigurationDirectory =
    setenv("XDG_CONFIG_HOME", configurationFolder.path().c_str(), 1) == 0;

AVChannelLayout layoutFromMask(std::uint64_t mask) {
    AVChannelLayout layout{};
    av_channel_layout_from_mask(&layout, mask);
    return layout;
}

TEST(AudioPropertiesTests, describesPlanarFloatStereoAsInterleavedFloat) {
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    const AudioProperties properties(AV_SAMPLE_FMT_FLTP, 48000, stereo, 0);
    EXPECT_EQ(properties.audioFormatFlags, 17u);
    EXPECT_TRUE(properties.needsConversionToInterleaved);
    EXPECT_EQ(properties.bytesPerSample, 4);
    EXPECT_EQ(properties.bitsPerSample, 32);
    EXPECT_EQ(properties.bufferLevelProperties,
              (AudioProperties::BufferLevelProperties{48000, 2, AV_CH_LAYOUT_STEREO}));

    const AudioStreamBasicDescription interleaved = properties.makeStreamBasicDescription(true);
    EXPECT_EQ(interleaved.mFormatID, kAudioFormatLinearPCM);
    EXPECT_EQ(interleaved.mFormatFlags, 17u);
    EXPECT_EQ(interleaved.mBytesPerFrame, 8u);
    EXPECT_EQ(interleaved.mBytesPerPacket, 8u);
    EXPECT_EQ(interleaved.mFramesPerPacket, 1u);
    EXPECT_EQ(interleaved.mChannelsPerFrame, 2u);
    EXPECT_EQ(interleaved.mBitsPerChannel, 32u);
    const AudioStreamBasicDescription planar = properties.makeStreamBasicDescription(false);
    EXPECT_EQ(planar.mFormatFlags, 49u);
    EXPECT_EQ(planar.mBytesPerFrame, 4u);
    EXPECT_TRUE(AudioStreamBasicDescriptionIsValid(interleaved));
    EXPECT_TRUE(AudioStreamBasicDescriptionIsValid(planar));
}

TEST(AudioPropertiesTests, mapsSampleFormatsToFlagsAndRefusesOthers) {
    // One of each kind: unsigned, signed, float; packed and planar.
    EXPECT_EQ(AudioProperties::makeAudioFormatFlags(AV_SAMPLE_FMT_U8), 16u);
    EXPECT_EQ(AudioProperties::makeAudioFormatFlags(AV_SAMPLE_FMT_S64), 20u);
    EXPECT_EQ(AudioProperties::makeAudioFormatFlags(AV_SAMPLE_FMT_DBL), 17u);
    EXPECT_EQ(AudioProperties::makeAudioFormatFlags(AV_SAMPLE_FMT_U8P), 48u);
    EXPECT_EQ(AudioProperties::makeAudioFormatFlags(AV_SAMPLE_FMT_S16P), 52u);
    ScopedLogCapture log;
    EXPECT_EQ(
        [] {
            try {
                AudioProperties::makeAudioFormatFlags(AV_SAMPLE_FMT_NB);
            } catch (const FFmpegError& error) {
                return error;
            }
            return FFmpegError::eof();
        }(),
        FFmpegError::unknownSampleFormat(AV_SAMPLE_FMT_NB));
    EXPECT_TRUE(log.contains("Could not initialize AudioFormatFlags: Unknown sample format"));

    // Significant bits come from the decoder when it knows them (24-bit FLAC in 32-bit words).
    const AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    EXPECT_EQ(AudioProperties(AV_SAMPLE_FMT_S32, 96000, mono, 24).bitsPerSample, 24);
    EXPECT_THROW(AudioProperties(AV_SAMPLE_FMT_NONE, 48000, mono, 0), FFmpegError);
}

FFmpegError layoutError(std::uint64_t layout, std::intptr_t channels) {
    try {
        AudioProperties::channelLayout(layout, channels);
    } catch (const FFmpegError& error) {
        return error;
    }
    ADD_FAILURE() << "layout " << layout << " with " << channels << " channels was accepted";
    return FFmpegError::eof();
}

TEST(AudioPropertiesTests, choosesTheLayoutTagOfAnFFmpegLayout) {
    using Properties = AudioProperties;
    {
        ScopedLogCapture log;
        EXPECT_EQ(Properties::channelLayout(0, 6), kAudioChannelLayoutTag_MPEG_5_1_A);
        EXPECT_TRUE(log.contains(
            "FFmpeg did not provide a channel layout, so using the default standard layout for 6 "
            "channels: " +
            std::to_string(kAudioChannelLayoutTag_MPEG_5_1_A) + "."));
    }
    EXPECT_EQ(Properties::channelLayout(0, 8), kAudioChannelLayoutTag_MPEG_7_1_C);
    EXPECT_EQ(layoutError(0, 9), FFmpegError::unsupportedChannelCount(9));

    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_MONO, 1), kAudioChannelLayoutTag_Mono);
    EXPECT_EQ(Properties::channelLayout(AV_CH_FRONT_LEFT, 1), kAudioChannelLayoutTag_Mono);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_STEREO, 2), kAudioChannelLayoutTag_Stereo);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_2POINT1, 3), kAudioChannelLayoutTag_DVD_4);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_SURROUND, 3),
              kAudioChannelLayoutTag_MPEG_3_0_A);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_QUAD, 4), kAudioChannelLayoutTag_ITU_2_2);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_5POINT1_BACK, 6),
              kAudioChannelLayoutTag_MPEG_5_1_A);
    // Side surrounds stand in for the back ones.
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_5POINT1, 6),
              kAudioChannelLayoutTag_MPEG_5_1_A);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_6POINT1_BACK, 7),
              kAudioChannelLayoutTag_MPEG_6_1_A);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_7POINT1, 8),
              kAudioChannelLayoutTag_MPEG_7_1_C);
    EXPECT_EQ(Properties::channelLayout(AV_CH_LAYOUT_7POINT1_WIDE_BACK, 8),
              kAudioChannelLayoutTag_MPEG_7_1_A);

    EXPECT_EQ(layoutError(AV_CH_LAYOUT_STEREO_DOWNMIX, 2),
              FFmpegError::unexpectedChannelType(AV_CH_STEREO_LEFT));
    EXPECT_EQ(layoutError(AV_CH_LAYOUT_STEREO, 3),
              FFmpegError::channelLayoutDoesNotMatchChannelCount(AV_CH_LAYOUT_STEREO, 3));
    // Six channels that no six-channel tag holds.
    EXPECT_EQ(layoutError(AV_CH_LAYOUT_6POINT0_FRONT, 6),
              FFmpegError::unsupportedChannelLayout(AV_CH_LAYOUT_6POINT0_FRONT));
    // More channels than any tag has.
    EXPECT_EQ(layoutError(AV_CH_LAYOUT_HEXADECAGONAL, 16),
              FFmpegError::unsupportedChannelLayout(AV_CH_LAYOUT_HEXADECAGONAL));
}

TEST(AudioPropertiesTests, reportsAChannelMaskOnlyForChannelsInNativeOrder) {
    EXPECT_EQ(nativeChannelMask(layoutFromMask(AV_CH_LAYOUT_5POINT1)), AV_CH_LAYOUT_5POINT1);
    AVChannelLayout unspecified{};
    av_channel_layout_default(&unspecified, 3);
    unspecified.order = AV_CHANNEL_ORDER_UNSPEC;
    EXPECT_EQ(nativeChannelMask(unspecified), 0u);

    AVChannelLayout custom = test::customLayout({AV_CHAN_FRONT_LEFT, AV_CHAN_FRONT_RIGHT});
    EXPECT_EQ(nativeChannelMask(custom), AV_CH_LAYOUT_STEREO);
    std::swap(custom.u.map[0].id, custom.u.map[1].id);
    EXPECT_EQ(nativeChannelMask(custom), std::nullopt);
    av_channel_layout_uninit(&custom);
}

class SpatializationTests : public ::testing::Test {
protected:
    static bool marked(std::uint64_t mask, int channels) {
        AVChannelLayout layout = layoutFromMask(mask);
        EXPECT_EQ(layout.nb_channels, channels);
        const AudioProperties properties(AV_SAMPLE_FMT_FLTP, 48000, layout, 0);
        const CMAudioFormatDescriptionRef description = properties.makeAudioFormatDescription();
        const CFValue* value = CMFormatDescriptionGetExtension(description, QLEnableSpatialization);
        return value != nullptr && CFValueEqual(*value, CFValue(true));
    }

    void TearDown() override { UserDefaults::standard().removeObject(QPAllowAudioSpatialization); }
};

TEST_F(SpatializationTests, asksForSpatializationOnlyWhereTheSystemNeedsAskingAndTheUserAllows) {
    UserDefaults::standard().set(true, QPAllowAudioSpatialization);
    {
        ProcessInfo::ScopedOverride system({OperatingSystem::macOS, {11, 6, 0}, "", false});
        EXPECT_TRUE(marked(AV_CH_LAYOUT_5POINT1, 6));
        EXPECT_TRUE(marked(AV_CH_LAYOUT_SURROUND, 3));
        EXPECT_FALSE(marked(AV_CH_LAYOUT_STEREO, 2));
        EXPECT_FALSE(marked(AV_CH_LAYOUT_MONO, 1));
        UserDefaults::standard().set(false, QPAllowAudioSpatialization);
        EXPECT_FALSE(marked(AV_CH_LAYOUT_5POINT1, 6));
        UserDefaults::standard().set(true, QPAllowAudioSpatialization);
    }
    for (const NSOperatingSystemVersion version :
         {NSOperatingSystemVersion{11, 3, 9}, NSOperatingSystemVersion{12, 0, 0}}) {
        ProcessInfo::ScopedOverride system({OperatingSystem::macOS, version, "", false});
        EXPECT_FALSE(marked(AV_CH_LAYOUT_5POINT1, 6));
    }
    // This system, whatever its kernel's version numbers.
    EXPECT_FALSE(ProcessInfo::processInfo()->isMacOS());
    EXPECT_FALSE(marked(AV_CH_LAYOUT_5POINT1, 6));
    EXPECT_FALSE(marked(AV_CH_LAYOUT_7POINT1, 8));
}

TEST(AudioPropertiesTests, describesTheFormatWithItsLayoutTag) {
    const AVChannelLayout layout = layoutFromMask(AV_CH_LAYOUT_5POINT1);
    const AudioProperties properties(AV_SAMPLE_FMT_S16, 44100, layout, 0);
    const CMAudioFormatDescriptionRef description = properties.makeAudioFormatDescription();
    std::size_t layoutSize = 0;
    const AudioChannelLayout* channelLayout =
        CMAudioFormatDescriptionGetChannelLayout(description, &layoutSize);
    ASSERT_NE(channelLayout, nullptr);
    EXPECT_EQ(layoutSize, 32u);
    EXPECT_EQ(*channelLayout, AudioChannelLayout::withTag(kAudioChannelLayoutTag_MPEG_5_1_A));
    EXPECT_EQ(*CMAudioFormatDescriptionGetStreamBasicDescription(description),
              properties.makeStreamBasicDescription(true));

    // A description every second must not log the default-layout line every second.
    AVChannelLayout unspecified{};
    unspecified.order = AV_CHANNEL_ORDER_UNSPEC;
    unspecified.nb_channels = 2;
    const AudioProperties noLayout(AV_SAMPLE_FMT_S16, 44100, unspecified, 0);
    ScopedLogCapture log;
    for (int second = 0; second < 3; ++second) {
        const AudioProperties copy = noLayout;
        EXPECT_NE(copy.makeAudioFormatDescription(), nullptr);
    }
    EXPECT_EQ(log.lines().size(), 1u);
}

}  // namespace
}  // namespace quillon
