// Every decoded channel must come out on the channel of the layout tag that stands for its
// speaker position, whatever FFmpeg's order and whichever tag the layout matches.

#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AudioDecoderTestSupport.h"
#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/coreaudio/AudioChannelLayout.h"
#include "platform/coremedia/CMBlockBuffer.h"
#include "support/TestMedia.h"

namespace quillon {
namespace {

using namespace platform;
using test::makeAudioFrame;
using test::SyntheticStream;

// The label of the speaker an FFmpeg channel feeds. A back channel is a rear surround when the
// layout also has side channels (7.1), and the surround otherwise (5.1 from the back).
AudioChannelLabel labelOfPosition(AVChannel channel, std::uint64_t mask) {
    switch (channel) {
        case AV_CHAN_FRONT_LEFT:
            return kAudioChannelLabel_Left;
        case AV_CHAN_FRONT_RIGHT:
            return kAudioChannelLabel_Right;
        case AV_CHAN_FRONT_CENTER:
            return kAudioChannelLabel_Center;
        case AV_CHAN_LOW_FREQUENCY:
            return kAudioChannelLabel_LFEScreen;
        case AV_CHAN_FRONT_LEFT_OF_CENTER:
            return kAudioChannelLabel_LeftCenter;
        case AV_CHAN_FRONT_RIGHT_OF_CENTER:
            return kAudioChannelLabel_RightCenter;
        case AV_CHAN_BACK_CENTER:
            return kAudioChannelLabel_CenterSurround;
        case AV_CHAN_SIDE_LEFT:
            return kAudioChannelLabel_LeftSurround;
        case AV_CHAN_SIDE_RIGHT:
            return kAudioChannelLabel_RightSurround;
        case AV_CHAN_BACK_LEFT:
            return (mask & AV_CH_SIDE_LEFT) != 0 ? kAudioChannelLabel_RearSurroundLeft
                                                 : kAudioChannelLabel_LeftSurround;
        case AV_CHAN_BACK_RIGHT:
            return (mask & AV_CH_SIDE_RIGHT) != 0 ? kAudioChannelLabel_RearSurroundRight
                                                  : kAudioChannelLabel_RightSurround;
        default:
            return kAudioChannelLabel_Unknown;
    }
}

AVChannelLayout layoutOfMask(std::uint64_t mask) {
    AVChannelLayout layout{};
    EXPECT_EQ(av_channel_layout_from_mask(&layout, mask), 0);
    return layout;
}

std::vector<AudioChannelLabel> tagLabels(const CMSampleBufferRef& buffer) {
    const auto labels = AudioChannelLayoutTagCopyChannelLabels(test::layoutTagOf(buffer));
    return labels.value_or(std::vector<AudioChannelLabel>{});
}

// The labels that the buffer's channels should carry, given the FFmpeg channel (as an index
// in the layout) found on each.
std::vector<AudioChannelLabel> expectedLabels(const AVChannelLayout& layout,
                                              const std::vector<int>& sourceOfChannel) {
    std::vector<AudioChannelLabel> labels;
    for (const int source : sourceOfChannel) {
        labels.push_back(labelOfPosition(
            av_channel_layout_channel_from_index(&layout, static_cast<unsigned>(source)),
            layout.u.mask));
    }
    return labels;
}

struct PlacementCase {
    const char* name;
    std::uint64_t mask;
    AVSampleFormat format;
};

void PrintTo(const PlacementCase& placement, std::ostream* out) {
    *out << placement.name;
}

class ChannelPlacementTests : public ::testing::TestWithParam<PlacementCase> {};

// Frames whose every sample of channel c holds the byte c + 1, so each output channel tells
// which FFmpeg channel it came from.
TEST_P(ChannelPlacementTests, eachChannelLandsOnTheTagChannelOfItsPosition) {
    const PlacementCase& placement = GetParam();
    const AVChannelLayout layout = layoutOfMask(placement.mask);
    SyntheticStream stream(AV_CODEC_ID_PCM_S16LE, 48000, layout, {1, 48000});
    FFmpegAudioDecoder decoder(stream.stream());
    // A second at once: the buffer leaves with this frame.
    AVFramePointer frame = makeAudioFrame(placement.format, 48000, layout, 48000, 0);
    const CMSampleBufferRef buffer = decoder.processDecodedFrame(*frame);
    ASSERT_TRUE(buffer);

    const std::vector<std::uint8_t> bytes = test::sampleBytes({buffer});
    const int sampleSize = av_get_bytes_per_sample(placement.format);
    const int channels = layout.nb_channels;
    ASSERT_EQ(bytes.size(), std::size_t(48000) * channels * sampleSize);
    std::vector<int> sourceOfChannel;
    for (int channel = 0; channel < channels; ++channel) {
        sourceOfChannel.push_back(bytes[std::size_t(channel) * sampleSize] - 1);
        // The same source on every sample, the last frame included.
        EXPECT_EQ(bytes[bytes.size() - std::size_t(channels - channel) * sampleSize],
                  bytes[std::size_t(channel) * sampleSize]);
    }
    EXPECT_EQ(tagLabels(buffer), expectedLabels(layout, sourceOfChannel))
        << "tag " << test::layoutTagOf(buffer);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ChannelPlacementTests,
    ::testing::Values(
        // Side and back pairs together: the tag's surround pair comes before its rear pair,
        // FFmpeg's back pair before its side pair.
        PlacementCase{"seven_one_packed", AV_CH_LAYOUT_7POINT1, AV_SAMPLE_FMT_S16},
        PlacementCase{"seven_one_planar", AV_CH_LAYOUT_7POINT1, AV_SAMPLE_FMT_FLTP},
        // The back centre, last in the tag, sits before the side pair in FFmpeg's order.
        PlacementCase{"six_one_packed", AV_CH_LAYOUT_6POINT1, AV_SAMPLE_FMT_S32},
        PlacementCase{"six_one_planar", AV_CH_LAYOUT_6POINT1, AV_SAMPLE_FMT_S16P},
        // Front centre pair before the side pair in FFmpeg's order, after it in the tag's.
        PlacementCase{"seven_one_wide_side", AV_CH_LAYOUT_7POINT1_WIDE, AV_SAMPLE_FMT_FLT},
        // Orders that agree already.
        PlacementCase{"five_one_side", AV_CH_LAYOUT_5POINT1, AV_SAMPLE_FMT_S16},
        PlacementCase{"five_one_back", AV_CH_LAYOUT_5POINT1_BACK, AV_SAMPLE_FMT_FLTP},
        PlacementCase{"seven_one_wide_back", AV_CH_LAYOUT_7POINT1_WIDE_BACK, AV_SAMPLE_FMT_S16},
        PlacementCase{"quad_back", AV_CH_LAYOUT_QUAD, AV_SAMPLE_FMT_S16}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return info.param.name; });

TEST(ChannelOrder, isEmptyWhenFFmpegsOrderIsTheTagsOrThereIsNoOrderToGoBy) {
    EXPECT_TRUE(AudioProperties::channelOrder(AV_CH_LAYOUT_STEREO, 2).empty());
    EXPECT_TRUE(AudioProperties::channelOrder(AV_CH_LAYOUT_5POINT1, 6).empty());
    // FFmpeg gives no layout: the default tag is taken as the channels' order.
    EXPECT_TRUE(AudioProperties::channelOrder(0, 8).empty());
    EXPECT_EQ(AudioProperties::channelOrder(AV_CH_LAYOUT_7POINT1, 8),
              (std::vector<int>{0, 1, 2, 3, 6, 7, 4, 5}));
    // The tag stays the one that the matching has always chosen.
    EXPECT_EQ(AudioProperties::matchChannelLayout(AV_CH_LAYOUT_7POINT1, 8),
              kAudioChannelLayoutTag_MPEG_7_1_C);
    EXPECT_THROW(AudioProperties::channelOrder(AV_CH_LAYOUT_7POINT0, 7), FFmpegError);
}

constexpr const char* exitTimeMatchVariable = "QUILLON_TEST_MATCH_LAYOUTS_AT_EXIT";
// 7.1 is reordered for its tag; 5.1 from the back matches its tag's surrounds only as equivalents.
struct ExitTimeMatch {
    std::uint64_t mask;
    int channels;
    AudioChannelLayoutTag tag = 0;
    std::array<int, 8> order{};
    std::size_t orderSize = 0;
};
std::array<ExitTimeMatch, 2> exitTimeMatches{
    {{AV_CH_LAYOUT_7POINT1, 8}, {AV_CH_LAYOUT_5POINT1_BACK, 6}}};

bool matchesAsBefore(const ExitTimeMatch& match) {
    const std::vector<int> order = AudioProperties::channelOrder(match.mask, match.channels);
    return AudioProperties::matchChannelLayout(match.mask, match.channels) == match.tag &&
           std::equal(order.begin(), order.end(), match.order.begin(),
                      match.order.begin() + static_cast<std::ptrdiff_t>(match.orderSize));
}

// A decoder made on a worker thread while the process exits: run from an exit handler registered
// before the layout tables were first built, so it runs after exit destroyed whatever they had
// registered.
void matchLayoutsAfterStaticsAreGone() {
    for (const ExitTimeMatch& match : exitTimeMatches) {
        if (!matchesAsBefore(match)) {
            std::_Exit(3);
        }
    }
}

const bool exitTimeMatchRegistered = [] {
    return std::getenv(exitTimeMatchVariable) != nullptr &&
           std::atexit(matchLayoutsAfterStaticsAreGone) == 0;
}();

TEST(ChannelOrderDeathTest, LayoutsStillMatchWhileTheProcessExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The child runs the program again, from its start, with the handler in place.
    setenv(exitTimeMatchVariable, "1", 1);
    EXPECT_EXIT(
        {
            if (!exitTimeMatchRegistered) {
                std::_Exit(2);
            }
            for (ExitTimeMatch& match : exitTimeMatches) {
                match.tag = AudioProperties::matchChannelLayout(match.mask, match.channels);
                const std::vector<int> order =
                    AudioProperties::channelOrder(match.mask, match.channels);
                match.orderSize = std::min(order.size(), match.order.size());
                std::copy_n(order.begin(), match.orderSize, match.order.begin());
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv(exitTimeMatchVariable);
}

// The frequency among the candidates that is loudest on one channel of interleaved s16.
int loudestTone(const std::vector<std::uint8_t>& bytes, int channels, int channel,
                const std::vector<double>& frequencies, double sampleRate) {
    const std::size_t frames = std::min<std::size_t>(bytes.size() / (2u * channels), 9600);
    int loudest = -1;
    double loudestPower = 0;
    for (std::size_t candidate = 0; candidate < frequencies.size(); ++candidate) {
        // Goertzel's single-bin transform.
        const double coefficient =
            2 * std::cos(2 * std::numbers::pi * frequencies[candidate] / sampleRate);
        double previous = 0;
        double beforePrevious = 0;
        for (std::size_t frame = 0; frame < frames; ++frame) {
            std::int16_t sample;
            std::memcpy(&sample, bytes.data() + (frame * channels + channel) * 2, 2);
            const double current = sample + coefficient * previous - beforePrevious;
            beforePrevious = previous;
            previous = current;
        }
        const double power = previous * previous + beforePrevious * beforePrevious -
                             coefficient * previous * beforePrevious;
        if (power > loudestPower) {
            loudestPower = power;
            loudest = static_cast<int>(candidate);
        }
    }
    return loudest;
}

// The generated 7.1 files carry a tone of 330 + 110 × c Hz on FFmpeg's channel c.
class SevenOneToneTests : public ::testing::TestWithParam<const char*> {};

TEST_P(SevenOneToneTests, eachTonePlaysOnTheChannelOfItsSpeaker) {
    const test::DecodedAudio decoded = test::decodeWholeFile(test::mediaPath(GetParam()));
    ASSERT_FALSE(decoded.sampleBuffers.empty());
    const CMSampleBufferRef& buffer = decoded.sampleBuffers.front();
    ASSERT_EQ(decoded.decoder->audioProperties().bytesPerSample, 2);

    const AVChannelLayout layout = AV_CHANNEL_LAYOUT_7POINT1;
    std::vector<double> frequencies;
    for (int channel = 0; channel < 8; ++channel) {
        frequencies.push_back(330 + 110 * channel);
    }
    const std::vector<std::uint8_t> bytes = test::sampleBytes({buffer});
    std::vector<int> sourceOfChannel;
    for (int channel = 0; channel < 8; ++channel) {
        sourceOfChannel.push_back(loudestTone(bytes, 8, channel, frequencies, 48000));
    }
    EXPECT_EQ(tagLabels(buffer), expectedLabels(layout, sourceOfChannel));
}

INSTANTIATE_TEST_SUITE_P(GeneratedFiles, SevenOneToneTests,
                         ::testing::Values("flac-7.1.flac", "pcm-s16le-7.1.wav"));

}  // namespace
}  // namespace quillon
