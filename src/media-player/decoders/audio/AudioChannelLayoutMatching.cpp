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
#include "platform/foundation/NeverDestroyed.h"

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
// Both tables are read by decoders made on worker threads, which may still run while the process
// exits: they are never destroyed.
const std::vector<KnownLayout>& knownLayouts() {
    static platform::NeverDestroyed<std::vector<KnownLayout>> layouts{
        std::initializer_list<KnownLayout>{
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
        }};
    return layouts.get();
}

// Labels that may stand in for each other when a layout is matched.
const std::vector<std::vector<AudioChannelLabel>>& equivalenceGroups() {
    static platform::NeverDestroyed<std::vector<std::vector<AudioChannelLabel>>> groups{
        std::initializer_list<std::vector<AudioChannelLabel>>{
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
        }};
    return groups.get();
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

// One FFmpeg channel of a mask: its Core Audio label and its index in FFmpeg's order.
struct LabelledChannel {
    AudioChannelLabel label;
    int index;
};

// FFmpeg's back and side pairs both map onto the surround labels. Alone, either pair is the
// surround pair (5.1 has one or the other). Together, as in every 7.1 arrangement, the side
// channels are the surround pair and the back channels the rear surround pair; labelled the
// other way round, the tag would put each pair where the other belongs. Rear surround labels
// already taken (FFmpeg's direct surround channels) keep the plain mapping.
void relabelSideAndBackPairs(std::uint64_t mask, std::vector<LabelledChannel>& channels) {
    const auto relabel = [&](std::uint64_t side, std::uint64_t back, std::uint64_t direct,
                             AudioChannelLabel surround, AudioChannelLabel rearSurround) {
        if ((mask & side) == 0 || (mask & back) == 0 || (mask & direct) != 0) {
            return;
        }
        const int sideIndex = std::popcount(mask & (side - 1));
        const int backIndex = std::popcount(mask & (back - 1));
        for (LabelledChannel& channel : channels) {
            if (channel.index == sideIndex) {
                channel.label = surround;
            } else if (channel.index == backIndex) {
                channel.label = rearSurround;
            }
        }
    };
    relabel(AV_CH_SIDE_LEFT, AV_CH_BACK_LEFT, AV_CH_SURROUND_DIRECT_LEFT, Ls, Rls);
    relabel(AV_CH_SIDE_RIGHT, AV_CH_BACK_RIGHT, AV_CH_SURROUND_DIRECT_RIGHT, Rs, Rrs);
}

// The FFmpeg channel that fills each of the tag's channels, in the tag's order, or none when
// some label has neither itself nor an equivalent left among the channels. The channels are
// sorted by label, so the equivalent taken is always the one with the lowest label.
std::optional<std::vector<LabelledChannel>> assignChannels(const KnownLayout& layout,
                                                           std::vector<LabelledChannel> remaining,
                                                           int& substitutions) {
    substitutions = 0;
    std::vector<LabelledChannel> assigned;
    assigned.reserve(layout.labels.size());
    for (AudioChannelLabel label : layout.labels) {
        auto found = std::find_if(
            remaining.begin(), remaining.end(),
            [label](const LabelledChannel& channel) { return channel.label == label; });
        if (found == remaining.end()) {
            found = std::find_if(remaining.begin(), remaining.end(),
                                 [label](const LabelledChannel& channel) {
                                     return areEquivalent(label, channel.label);
                                 });
            if (found == remaining.end()) {
                return std::nullopt;
            }
            ++substitutions;
        }
        assigned.push_back(*found);
        remaining.erase(found);
    }
    return assigned;
}

struct LayoutMatch {
    AudioChannelLayoutTag tag = 0;
    // The index of the FFmpeg channel that fills each of the tag's channels; empty when FFmpeg
    // gives no layout.
    std::vector<int> sourceChannels;
};

LayoutMatch matchLayout(std::uint64_t ffmpegChannelLayout, std::intptr_t channelCount) {
    if (ffmpegChannelLayout == 0) {
        const AudioChannelLayoutTag tag = defaultLayoutTag(channelCount);
        if (tag == 0) {
            throw FFmpegError::unsupportedChannelCount(channelCount);
        }
        return {tag, {}};
    }

    std::vector<LabelledChannel> channels;
    for (int bit = 0; bit < 64; ++bit) {
        if ((ffmpegChannelLayout & (std::uint64_t{1} << bit)) == 0) {
            continue;
        }
        const AudioChannelLabel label = labelOfChannelBit(bit);
        if (label == 0) {
            throw FFmpegError::unexpectedChannelType(std::uint64_t{1} << bit);
        }
        channels.push_back({label, static_cast<int>(channels.size())});
    }
    if (static_cast<std::intptr_t>(channels.size()) != channelCount) {
        throw FFmpegError::channelLayoutDoesNotMatchChannelCount(ffmpegChannelLayout, channelCount);
    }
    relabelSideAndBackPairs(ffmpegChannelLayout, channels);
    std::sort(channels.begin(), channels.end(),
              [](const LabelledChannel& a, const LabelledChannel& b) { return a.label < b.label; });

    int fewestSubstitutions = std::numeric_limits<int>::max();
    std::vector<LayoutMatch> best;
    for (const KnownLayout& layout : knownLayouts()) {
        if (static_cast<std::intptr_t>(layout.labels.size()) != channelCount) {
            continue;
        }
        int substitutions = 0;
        const auto assigned = assignChannels(layout, channels, substitutions);
        if (!assigned) {
            continue;
        }
        if (substitutions < fewestSubstitutions) {
            fewestSubstitutions = substitutions;
            best.clear();
        }
        if (substitutions == fewestSubstitutions) {
            LayoutMatch match{layout.tag, {}};
            for (const LabelledChannel& channel : *assigned) {
                match.sourceChannels.push_back(channel.index);
            }
            best.push_back(std::move(match));
        }
    }
    if (best.size() == 1) {
        return best.front();
    }
    if (best.empty() && channelCount == 1) {
        return {kAudioChannelLayoutTag_Mono, {0}};
    }
    throw FFmpegError::unsupportedChannelLayout(ffmpegChannelLayout);
}

}  // namespace

AudioChannelLayoutTag AudioProperties::matchChannelLayout(std::uint64_t ffmpegChannelLayout,
                                                          std::intptr_t channelCount) {
    return matchLayout(ffmpegChannelLayout, channelCount).tag;
}

std::vector<int> AudioProperties::channelOrder(std::uint64_t ffmpegChannelLayout,
                                               std::intptr_t channelCount) {
    std::vector<int> order = matchLayout(ffmpegChannelLayout, channelCount).sourceChannels;
    if (std::is_sorted(order.begin(), order.end())) {
        // Each channel is where the tag has it already.
        order.clear();
    }
    return order;
}

AudioChannelLayoutTag AudioProperties::channelLayout(std::uint64_t ffmpegChannelLayout,
                                                     std::intptr_t channelCount) {
    const AudioChannelLayoutTag tag = matchChannelLayout(ffmpegChannelLayout, channelCount);
    if (ffmpegChannelLayout == 0) {
        platform::logInfo(
            "FFmpeg did not provide a channel layout, so using the default standard layout for "
            "{} channels: {}.",
            channelCount, tag);
    }
    return tag;
}

}  // namespace quillon
