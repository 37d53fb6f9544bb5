// How FFmpeg channel masks become Core Audio layout tags: AudioProperties::channelLayout and
// matchChannelLayout.

#include <algorithm>
#include <array>
#include <bit>
#include <initializer_list>
#include <limits>
#include <vector>

#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "platform/coreaudio/AudioChannelLabel.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

using namespace platform;

AudioChannelLayoutTag defaultLayoutTag(std::intptr_t channelCount) {
    switch (channelCount) {
        case 1:
            return kAudioChannelLayoutTag_Mono;
        case 2:
            return kAudioChannelLayoutTag_Stereo;
        case 3:
            return kAudioChannelLayoutTag_DVD_4;
        case 4:
            return kAudioChannelLayoutTag_ITU_2_2;
        case 5:
            return kAudioChannelLayoutTag_MPEG_5_0_A;
        case 6:
            return kAudioChannelLayoutTag_MPEG_5_1_A;
        case 7:
            return kAudioChannelLayoutTag_MPEG_6_1_A;
        case 8:
            return kAudioChannelLayoutTag_MPEG_7_1_C;
        default:
            return 0;
    }
}

constexpr AudioChannelLabel L = kAudioChannelLabel_Left;
constexpr AudioChannelLabel R = kAudioChannelLabel_Right;
constexpr AudioChannelLabel C = kAudioChannelLabel_Center;
constexpr AudioChannelLabel LFE = kAudioChannelLabel_LFEScreen;
constexpr AudioChannelLabel Ls = kAudioChannelLabel_LeftSurround;
constexpr AudioChannelLabel Rs = kAudioChannelLabel_RightSurround;
constexpr AudioChannelLabel Lc = kAudioChannelLabel_LeftCenter;
constexpr AudioChannelLabel Rc = kAudioChannelLabel_RightCenter;
constexpr AudioChannelLabel Cs = kAudioChannelLabel_CenterSurround;
constexpr AudioChannelLabel Rls = kAudioChannelLabel_RearSurroundLeft;
constexpr AudioChannelLabel Rrs = kAudioChannelLabel_RearSurroundRight;

struct KnownLayout {
    AudioChannelLayoutTag tag;
    std::vector<AudioChannelLabel> labels;
};

// The layouts a mask may become, each with its channels in the order of the tag.
const std::vector<KnownLayout>& knownLayouts() {
    static const std::vector<KnownLayout> layouts{
        {kAudioChannelLayoutTag_Mono, {C}},
        {kAudioChannelLayoutTag_AC3_1_0_1, {C, LFE}},
        {kAudioChannelLayoutTag_Stereo, {L, R}},
        {kAudioChannelLayoutTag_ITU_2_1, {L, R, Cs}},
        {kAudioChannelLayoutTag_ITU_2_2, {L, R, Ls, Rs}},
        {kAudioChannelLayoutTag_DVD_4, {L, R, LFE}},
        {kAudioChannelLayoutTag_DVD_5, {L, R, LFE, Cs}},
        {kAudioChannelLayoutTag_DVD_6, {L, R, LFE, Ls, Rs}},
        {kAudioChannelLayoutTag_MPEG_3_0_A, {L, R, C}},
        {kAudioChannelLayoutTag_MPEG_4_0_A, {L, R, C, Cs}},
        {kAudioChannelLayoutTag_MPEG_5_0_A, {L, R, C, Ls, Rs}},
        {kAudioChannelLayoutTag_DVD_10, {L, R, C, LFE}},
        {kAudioChannelLayoutTag_DVD_11, {L, R, C, LFE, Cs}},
        {kAudioChannelLayoutTag_MPEG_5_1_A, {L, R, C, LFE, Ls, Rs}},
        {kAudioChannelLayoutTag_MPEG_6_1_A, {L, R, C, LFE, Ls, Rs, Cs}},
        {kAudioChannelLayoutTag_MPEG_7_1_A, {L, R, C, LFE, Ls, Rs, Lc, Rc}},
        {kAudioChannelLayoutTag_MPEG_7_1_C, {L, R, C, LFE, Ls, Rs, Rls, Rrs}},
    };
    return layouts;
}

// Labels that may stand in for each other when a layout is matched.
const std::vector<std::vector<AudioChannelLabel>>& equivalenceGroups() {
    static const std::vector<std::vector<AudioChannelLabel>> groups{
        {L, Lc, kAudioChannelLabel_VerticalHeightLeft},
        {R, Rc, kAudioChannelLabel_VerticalHeightRight},
        {C, Lc, Rc, kAudioChannelLabel_VerticalHeightCenter},
        {LFE, kAudioChannelLabel_LFE2},
        {Ls, kAudioChannelLabel_LeftSurroundDirect, kAudioChannelLabel_TopBackLeft, Rls,
         kAudioChannelLabel_LeftWide},
        {Rs, kAudioChannelLabel_RightSurroundDirect, kAudioChannelLabel_TopBackRight, Rrs,
         kAudioChannelLabel_RightWide},
        {Cs, kAudioChannelLabel_TopCenterSurround, kAudioChannelLabel_TopBackCenter,
         kAudioChannelLabel_CenterSurroundDirect},
    };
    return groups;
}

bool areEquivalent(AudioChannelLabel a, AudioChannelLabel b) {
    if (a == b) {
        return false;
    }
    for (const auto& group : equivalenceGroups()) {
        const bool hasA = std::find(group.begin(), group.end(), a) != group.end();
        const bool hasB = std::find(group.begin(), group.end(), b) != group.end();
        if (hasA && hasB) {
            return true;
        }
    }
    return false;
}

// The Core Audio label of one FFmpeg channel bit, or 0 for a bit with none.
AudioChannelLabel labelOfChannelBit(int bit) {
    const std::uint64_t channel = std::uint64_t{1} << bit;
    if (bit <= 17) {
        // Front left … top back right are numbered alike on both sides.
        return static_cast<AudioChannelLabel>(bit + 1);
    }
    switch (channel) {
        case AV_CH_WIDE_LEFT:
            return kAudioChannelLabel_LeftWide;
        case AV_CH_WIDE_RIGHT:
            return kAudioChannelLabel_RightWide;
        case AV_CH_SURROUND_DIRECT_LEFT:
            return kAudioChannelLabel_RearSurroundLeft;
        case AV_CH_SURROUND_DIRECT_RIGHT:
            return kAudioChannelLabel_RearSurroundRight;
        case AV_CH_LOW_FREQUENCY_2:
            return kAudioChannelLabel_LFE2;
        default:
            return 0;
    }
}

// The number of substitutions that match the tag's labels to the set, or none when some label
// has neither itself nor an equivalent left in the set. The set is sorted, so the equivalent
// removed is always the one with the lowest label.
std::optional<int> substitutionsToMatch(const KnownLayout& layout,
                                        std::vector<AudioChannelLabel> remaining) {
    int substitutions = 0;
    for (AudioChannelLabel label : layout.labels) {
        auto found = std::find(remaining.begin(), remaining.end(), label);
        if (found == remaining.end()) {
            found = std::find_if(
                remaining.begin(), remaining.end(),
                [label](AudioChannelLabel other) { return areEquivalent(label, other); });
            if (found == remaining.end()) {
                return std::nullopt;
            }
            ++substitutions;
        }
        remaining.erase(found);
    }
    return substitutions;
}

}  // namespace

AudioChannelLayoutTag AudioProperties::matchChannelLayout(std::uint64_t ffmpegChannelLayout,
                                                          std::intptr_t channelCount) {
    if (ffmpegChannelLayout == 0) {
        const AudioChannelLayoutTag tag = defaultLayoutTag(channelCount);
        if (tag == 0) {
            throw FFmpegError::unsupportedChannelCount(channelCount);
        }
        return tag;
    }

    std::vector<AudioChannelLabel> labels;
    for (int bit = 0; bit < 64; ++bit) {
        if ((ffmpegChannelLayout & (std::uint64_t{1} << bit)) == 0) {
            continue;
        }
        const AudioChannelLabel label = labelOfChannelBit(bit);
        if (label == 0) {
            throw FFmpegError::unexpectedChannelType(std::uint64_t{1} << bit);
        }
        labels.push_back(label);
    }
    if (static_cast<std::intptr_t>(labels.size()) != channelCount) {
        throw FFmpegError::channelLayoutDoesNotMatchChannelCount(ffmpegChannelLayout, channelCount);
    }
    std::sort(labels.begin(), labels.end());

    int fewestSubstitutions = std::numeric_limits<int>::max();
    std::vector<AudioChannelLayoutTag> best;
    for (const KnownLayout& layout : knownLayouts()) {
        if (static_cast<std::intptr_t>(layout.labels.size()) != channelCount) {
            continue;
        }
        const std::optional<int> substitutions = substitutionsToMatch(layout, labels);
        if (!substitutions) {
            continue;
        }
        if (*substitutions < fewestSubstitutions) {
            fewestSubstitutions = *substitutions;
            best.clear();
        }
        if (*substitutions == fewestSubstitutions) {
            best.push_back(layout.tag);
        }
    }
    if (best.size() == 1) {
        return best.front();
    }
    if (best.empty() && channelCount == 1) {
        return kAudioChannelLayoutTag_Mono;
    }
    throw FFmpegError::unsupportedChannelLayout(ffmpegChannelLayout);
}

AudioChannelLayoutTag AudioProperties::channelLayout(std::uint64_t ffmpegChannelLayout,
                                                     std::intptr_t channelCount) {
    const AudioChannelLayoutTag tag = matchChannelLayout(ffmpegChannelLayout, channelCount);
    if (ffmpegChannelLayout == 0) {
        platform::log(
            "FFmpeg did not provide a channel layout, so using the default standard layout for "
            "{} channels: {}.",
            channelCount, tag);
    }
    return tag;
}

}  // namespace quillon
