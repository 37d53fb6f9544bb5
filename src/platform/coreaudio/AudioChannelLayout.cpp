#include "platform/coreaudio/AudioChannelLayout.h"

#include <bit>

#include <fmt/format.h>

namespace platform {

namespace {

using Labels = std::vector<AudioChannelLabel>;

// Short names as the channel orders are usually written.
constexpr AudioChannelLabel L = kAudioChannelLabel_Left;
constexpr AudioChannelLabel R = kAudioChannelLabel_Right;
constexpr AudioChannelLabel C = kAudioChannelLabel_Center;
constexpr AudioChannelLabel LFE = kAudioChannelLabel_LFEScreen;
constexpr AudioChannelLabel LFE2 = kAudioChannelLabel_LFE2;
constexpr AudioChannelLabel Ls = kAudioChannelLabel_LeftSurround;
constexpr AudioChannelLabel Rs = kAudioChannelLabel_RightSurround;
constexpr AudioChannelLabel Lc = kAudioChannelLabel_LeftCenter;
constexpr AudioChannelLabel Rc = kAudioChannelLabel_RightCenter;
constexpr AudioChannelLabel Cs = kAudioChannelLabel_CenterSurround;
constexpr AudioChannelLabel Lsd = kAudioChannelLabel_LeftSurroundDirect;
constexpr AudioChannelLabel Rsd = kAudioChannelLabel_RightSurroundDirect;
constexpr AudioChannelLabel Csd = kAudioChannelLabel_CenterSurroundDirect;
constexpr AudioChannelLabel Ts = kAudioChannelLabel_TopCenterSurround;
constexpr AudioChannelLabel Vhl = kAudioChannelLabel_VerticalHeightLeft;
constexpr AudioChannelLabel Vhc = kAudioChannelLabel_VerticalHeightCenter;
constexpr AudioChannelLabel Vhr = kAudioChannelLabel_VerticalHeightRight;
constexpr AudioChannelLabel Rls = kAudioChannelLabel_RearSurroundLeft;
constexpr AudioChannelLabel Rrs = kAudioChannelLabel_RearSurroundRight;
constexpr AudioChannelLabel Lw = kAudioChannelLabel_LeftWide;
constexpr AudioChannelLabel Rw = kAudioChannelLabel_RightWide;
constexpr AudioChannelLabel Lt = kAudioChannelLabel_LeftTotal;
constexpr AudioChannelLabel Rt = kAudioChannelLabel_RightTotal;
constexpr AudioChannelLabel Ltr = kAudioChannelLabel_LeftTopRear;
constexpr AudioChannelLabel Rtr = kAudioChannelLabel_RightTopRear;
constexpr AudioChannelLabel HI = kAudioChannelLabel_HearingImpaired;
constexpr AudioChannelLabel VI = kAudioChannelLabel_Narration;
constexpr AudioChannelLabel Haptic = kAudioChannelLabel_Haptic;

// Layouts whose order is fixed by their tag. A switch rather than a table: the compiler then
// refuses a tag listed twice (aliases share values, so only one name of each value appears).
std::optional<Labels> namedLayoutLabels(AudioChannelLayoutTag tag) {
    switch (tag) {
        case kAudioChannelLayoutTag_Mono:
            return Labels{C};
        case kAudioChannelLayoutTag_Stereo:
        case kAudioChannelLayoutTag_StereoHeadphones:
        case kAudioChannelLayoutTag_Binaural:
            return Labels{L, R};
        case kAudioChannelLayoutTag_MatrixStereo:
            return Labels{Lt, Rt};
        case kAudioChannelLayoutTag_MidSide:
            return Labels{kAudioChannelLabel_MS_Mid, kAudioChannelLabel_MS_Side};
        case kAudioChannelLayoutTag_XY:
            return Labels{kAudioChannelLabel_XY_X, kAudioChannelLabel_XY_Y};
        case kAudioChannelLayoutTag_Ambisonic_B_Format:
            return Labels{kAudioChannelLabel_Ambisonic_W, kAudioChannelLabel_Ambisonic_X,
                          kAudioChannelLabel_Ambisonic_Y, kAudioChannelLabel_Ambisonic_Z};
        case kAudioChannelLayoutTag_Quadraphonic:
            return Labels{L, R, Ls, Rs};
        case kAudioChannelLayoutTag_Pentagonal:
            return Labels{L, R, Rls, Rrs, C};
        case kAudioChannelLayoutTag_Hexagonal:
            return Labels{L, R, Rls, Rrs, C, Cs};
        case kAudioChannelLayoutTag_Octagonal:
            return Labels{L, R, Rls, Rrs, C, Cs, Ls, Rs};
        case kAudioChannelLayoutTag_Cube:
            return Labels{L, R, Ls, Rs, Vhl, Vhr, Ltr, Rtr};

        case kAudioChannelLayoutTag_MPEG_3_0_A:
            return Labels{L, R, C};
        case kAudioChannelLayoutTag_MPEG_3_0_B:
            return Labels{C, L, R};
        case kAudioChannelLayoutTag_MPEG_4_0_A:
            return Labels{L, R, C, Cs};
        case kAudioChannelLayoutTag_MPEG_4_0_B:
            return Labels{C, L, R, Cs};
        case kAudioChannelLayoutTag_MPEG_5_0_A:
            return Labels{L, R, C, Ls, Rs};
        case kAudioChannelLayoutTag_MPEG_5_0_B:
            return Labels{L, R, Ls, Rs, C};
        case kAudioChannelLayoutTag_MPEG_5_0_C:
            return Labels{L, C, R, Ls, Rs};
        case kAudioChannelLayoutTag_MPEG_5_0_D:
            return Labels{C, L, R, Ls, Rs};
        case kAudioChannelLayoutTag_MPEG_5_1_A:
            return Labels{L, R, C, LFE, Ls, Rs};
        case kAudioChannelLayoutTag_MPEG_5_1_B:
            return Labels{L, R, Ls, Rs, C, LFE};
        case kAudioChannelLayoutTag_MPEG_5_1_C:
            return Labels{L, C, R, Ls, Rs, LFE};
        case kAudioChannelLayoutTag_MPEG_5_1_D:
            return Labels{C, L, R, Ls, Rs, LFE};
        case kAudioChannelLayoutTag_MPEG_6_1_A:
            return Labels{L, R, C, LFE, Ls, Rs, Cs};
        case kAudioChannelLayoutTag_MPEG_7_1_A:
            return Labels{L, R, C, LFE, Ls, Rs, Lc, Rc};
        case kAudioChannelLayoutTag_MPEG_7_1_B:
            return Labels{C, Lc, Rc, L, R, Ls, Rs, LFE};
        case kAudioChannelLayoutTag_MPEG_7_1_C:
            return Labels{L, R, C, LFE, Ls, Rs, Rls, Rrs};
        case kAudioChannelLayoutTag_Emagic_Default_7_1:
            return Labels{L, R, Ls, Rs, C, LFE, Lc, Rc};
        case kAudioChannelLayoutTag_SMPTE_DTV:
            return Labels{L, R, C, LFE, Ls, Rs, Lt, Rt};

        case kAudioChannelLayoutTag_ITU_2_1:
            return Labels{L, R, Cs};
        case kAudioChannelLayoutTag_ITU_2_2:
            return Labels{L, R, Ls, Rs};

        case kAudioChannelLayoutTag_DVD_4:
            return Labels{L, R, LFE};
        case kAudioChannelLayoutTag_DVD_5:
            return Labels{L, R, LFE, Cs};
        case kAudioChannelLayoutTag_DVD_6:
            return Labels{L, R, LFE, Ls, Rs};
        case kAudioChannelLayoutTag_DVD_10:
            return Labels{L, R, C, LFE};
        case kAudioChannelLayoutTag_DVD_11:
            return Labels{L, R, C, LFE, Cs};
        case kAudioChannelLayoutTag_DVD_18:
            return Labels{L, R, Ls, Rs, LFE};

        case kAudioChannelLayoutTag_AudioUnit_6_0:
            return Labels{L, R, Ls, Rs, C, Cs};
        case kAudioChannelLayoutTag_AudioUnit_7_0:
            return Labels{L, R, Ls, Rs, C, Rls, Rrs};
        case kAudioChannelLayoutTag_AudioUnit_7_0_Front:
            return Labels{L, R, Ls, Rs, C, Lc, Rc};

        case kAudioChannelLayoutTag_AAC_6_0:
            return Labels{C, L, R, Ls, Rs, Cs};
        case kAudioChannelLayoutTag_AAC_6_1:
            return Labels{C, L, R, Ls, Rs, Cs, LFE};
        case kAudioChannelLayoutTag_AAC_7_0:
            return Labels{C, L, R, Ls, Rs, Rls, Rrs};
        case kAudioChannelLayoutTag_AAC_7_1_B:
            return Labels{C, L, R, Ls, Rs, Rls, Rrs, LFE};
        case kAudioChannelLayoutTag_AAC_7_1_C:
            return Labels{C, L, R, Ls, Rs, LFE, Vhl, Vhr};
        case kAudioChannelLayoutTag_AAC_Octagonal:
            return Labels{C, L, R, Ls, Rs, Rls, Rrs, Cs};

        case kAudioChannelLayoutTag_TMH_10_2_std:
            return Labels{L, R, C, Vhc, Lsd, Rsd, Ls, Rs, Vhl, Vhr, Lw, Rw, Csd, Cs, LFE, LFE2};
        case kAudioChannelLayoutTag_TMH_10_2_full:
            return Labels{L,  R,   C,  Vhc, Lsd,  Rsd, Ls, Rs, Vhl, Vhr,   Lw,
                          Rw, Csd, Cs, LFE, LFE2, Lc,  Rc, HI, VI,  Haptic};

        case kAudioChannelLayoutTag_AC3_1_0_1:
            return Labels{C, LFE};
        case kAudioChannelLayoutTag_AC3_3_0:
            return Labels{L, C, R};
        case kAudioChannelLayoutTag_AC3_3_1:
            return Labels{L, C, R, Cs};
        case kAudioChannelLayoutTag_AC3_3_0_1:
            return Labels{L, C, R, LFE};
        case kAudioChannelLayoutTag_AC3_2_1_1:
            return Labels{L, R, Cs, LFE};
        case kAudioChannelLayoutTag_AC3_3_1_1:
            return Labels{L, C, R, Cs, LFE};

        case kAudioChannelLayoutTag_EAC_6_0_A:
            return Labels{L, C, R, Ls, Rs, Cs};
        case kAudioChannelLayoutTag_EAC_7_0_A:
            return Labels{L, C, R, Ls, Rs, Rls, Rrs};
        case kAudioChannelLayoutTag_EAC3_6_1_A:
            return Labels{L, C, R, Ls, Rs, LFE, Cs};
        case kAudioChannelLayoutTag_EAC3_6_1_B:
            return Labels{L, C, R, Ls, Rs, LFE, Ts};
        case kAudioChannelLayoutTag_EAC3_6_1_C:
            return Labels{L, C, R, Ls, Rs, LFE, Vhc};
        case kAudioChannelLayoutTag_EAC3_7_1_A:
            return Labels{L, C, R, Ls, Rs, LFE, Rls, Rrs};
        case kAudioChannelLayoutTag_EAC3_7_1_B:
            return Labels{L, C, R, Ls, Rs, LFE, Lc, Rc};
        case kAudioChannelLayoutTag_EAC3_7_1_C:
            return Labels{L, C, R, Ls, Rs, LFE, Lsd, Rsd};
        case kAudioChannelLayoutTag_EAC3_7_1_D:
            return Labels{L, C, R, Ls, Rs, LFE, Lw, Rw};
        case kAudioChannelLayoutTag_EAC3_7_1_E:
            return Labels{L, C, R, Ls, Rs, LFE, Vhl, Vhr};
        case kAudioChannelLayoutTag_EAC3_7_1_F:
            return Labels{L, C, R, Ls, Rs, LFE, Cs, Ts};
        case kAudioChannelLayoutTag_EAC3_7_1_G:
            return Labels{L, C, R, Ls, Rs, LFE, Cs, Vhc};
        case kAudioChannelLayoutTag_EAC3_7_1_H:
            return Labels{L, C, R, Ls, Rs, LFE, Ts, Vhc};

        case kAudioChannelLayoutTag_DTS_3_1:
            return Labels{C, L, R, LFE};
        case kAudioChannelLayoutTag_DTS_4_1:
            return Labels{C, L, R, Cs, LFE};
        case kAudioChannelLayoutTag_DTS_6_0_A:
            return Labels{Lc, Rc, L, R, Ls, Rs};
        case kAudioChannelLayoutTag_DTS_6_0_B:
            return Labels{C, L, R, Rls, Rrs, Ts};
        case kAudioChannelLayoutTag_DTS_6_0_C:
            return Labels{C, Cs, L, R, Rls, Rrs};
        case kAudioChannelLayoutTag_DTS_6_1_A:
            return Labels{Lc, Rc, L, R, Ls, Rs, LFE};
        case kAudioChannelLayoutTag_DTS_6_1_B:
            return Labels{C, L, R, Rls, Rrs, Ts, LFE};
        case kAudioChannelLayoutTag_DTS_6_1_C:
            return Labels{C, Cs, L, R, Rls, Rrs, LFE};
        case kAudioChannelLayoutTag_DTS_6_1_D:
            return Labels{C, L, R, Ls, Rs, LFE, Cs};
        case kAudioChannelLayoutTag_DTS_7_0:
            return Labels{Lc, C, Rc, L, R, Ls, Rs};
        case kAudioChannelLayoutTag_DTS_7_1:
            return Labels{Lc, C, Rc, L, R, Ls, Rs, LFE};
        case kAudioChannelLayoutTag_DTS_8_0_A:
            return Labels{Lc, Rc, L, R, Ls, Rs, Rls, Rrs};
        case kAudioChannelLayoutTag_DTS_8_0_B:
            return Labels{Lc, C, Rc, L, R, Ls, Cs, Rs};
        case kAudioChannelLayoutTag_DTS_8_1_A:
            return Labels{Lc, Rc, L, R, Ls, Rs, Rls, Rrs, LFE};
        case kAudioChannelLayoutTag_DTS_8_1_B:
            return Labels{Lc, C, Rc, L, R, Ls, Cs, Rs, LFE};

        case kAudioChannelLayoutTag_WAVE_4_0_B:
            return Labels{L, R, Rls, Rrs};
        case kAudioChannelLayoutTag_WAVE_5_0_B:
            return Labels{L, R, C, Rls, Rrs};
        case kAudioChannelLayoutTag_WAVE_5_1_B:
            return Labels{L, R, C, LFE, Rls, Rrs};
        case kAudioChannelLayoutTag_WAVE_6_1:
            return Labels{L, R, C, LFE, Cs, Ls, Rs};
        case kAudioChannelLayoutTag_WAVE_7_1:
            return Labels{L, R, C, LFE, Rls, Rrs, Ls, Rs};
        default:
            return std::nullopt;
    }
}

// Labels of the numbered families: count channels labelled base | 0 … base | count - 1.
Labels numberedLabels(AudioChannelLabel base, std::uint32_t count) {
    Labels labels;
    labels.reserve(count);
    for (std::uint32_t index = 0; index < count; ++index) {
        labels.push_back(base | index);
    }
    return labels;
}

AudioChannelLabel labelOfBit(unsigned bit) {
    if (bit <= 17) {
        // The first eighteen bits follow the first eighteen labels.
        return static_cast<AudioChannelLabel>(bit + 1);
    }
    switch (AudioChannelBitmap{1} << bit) {
        case kAudioChannelBit_LeftTopMiddle:
            return kAudioChannelLabel_LeftTopMiddle;
        case kAudioChannelBit_RightTopMiddle:
            return kAudioChannelLabel_RightTopMiddle;
        case kAudioChannelBit_LeftTopRear:
            return kAudioChannelLabel_LeftTopRear;
        case kAudioChannelBit_CenterTopRear:
            return kAudioChannelLabel_CenterTopRear;
        case kAudioChannelBit_RightTopRear:
            return kAudioChannelLabel_RightTopRear;
        default:
            return kAudioChannelLabel_Unknown;
    }
}

}  // namespace

AudioChannelLayout AudioChannelLayout::withLabels(const std::vector<AudioChannelLabel>& labels) {
    AudioChannelLayout layout;
    layout.mChannelDescriptions.reserve(labels.size());
    for (AudioChannelLabel label : labels) {
        layout.mChannelDescriptions.push_back({label, kAudioChannelFlags_AllOff, {}});
    }
    return layout;
}

std::uint32_t AudioChannelLayoutGetNumberOfChannels(const AudioChannelLayout& layout) {
    switch (layout.mChannelLayoutTag) {
        case kAudioChannelLayoutTag_UseChannelDescriptions:
            return layout.mNumberChannelDescriptions();
        case kAudioChannelLayoutTag_UseChannelBitmap:
            return static_cast<std::uint32_t>(std::popcount(layout.mChannelBitmap));
        default:
            return AudioChannelLayoutTag_GetNumberOfChannels(layout.mChannelLayoutTag);
    }
}

std::optional<std::vector<AudioChannelLabel>> AudioChannelLayoutTagCopyChannelLabels(
    AudioChannelLayoutTag tag) {
    const std::uint32_t count = AudioChannelLayoutTag_GetNumberOfChannels(tag);
    switch (tag & 0xFFFF0000u) {
        case kAudioChannelLayoutTag_DiscreteInOrder:
            return numberedLabels(kAudioChannelLabel_Discrete_0, count);
        case kAudioChannelLayoutTag_HOA_ACN_SN3D:
        case kAudioChannelLayoutTag_HOA_ACN_N3D:
            return numberedLabels(kAudioChannelLabel_HOA_ACN_0, count);
        case kAudioChannelLayoutTag_Unknown:
            return Labels(count, kAudioChannelLabel_Unknown);
        default:
            return namedLayoutLabels(tag);
    }
}

std::optional<std::vector<AudioChannelLabel>> AudioChannelBitmapCopyChannelLabels(
    AudioChannelBitmap bitmap) {
    Labels labels;
    for (unsigned bit = 0; bit < 32; ++bit) {
        if ((bitmap & (AudioChannelBitmap{1} << bit)) == 0) {
            continue;
        }
        const AudioChannelLabel label = labelOfBit(bit);
        if (label == kAudioChannelLabel_Unknown) {
            return std::nullopt;
        }
        labels.push_back(label);
    }
    return labels;
}

std::optional<std::vector<AudioChannelLabel>> AudioChannelLayoutCopyChannelLabels(
    const AudioChannelLayout& layout) {
    switch (layout.mChannelLayoutTag) {
        case kAudioChannelLayoutTag_UseChannelDescriptions: {
            Labels labels;
            labels.reserve(layout.mChannelDescriptions.size());
            for (const auto& description : layout.mChannelDescriptions) {
                labels.push_back(description.mChannelLabel);
            }
            return labels;
        }
        case kAudioChannelLayoutTag_UseChannelBitmap:
            return AudioChannelBitmapCopyChannelLabels(layout.mChannelBitmap);
        default:
            return AudioChannelLayoutTagCopyChannelLabels(layout.mChannelLayoutTag);
    }
}

std::string AudioChannelLayoutCopyDescription(const AudioChannelLayout& layout) {
    switch (layout.mChannelLayoutTag) {
        case kAudioChannelLayoutTag_UseChannelDescriptions:
            return fmt::format("{} descriptions", layout.mChannelDescriptions.size());
        case kAudioChannelLayoutTag_UseChannelBitmap:
            return fmt::format("bitmap {:#x} ({} ch)", layout.mChannelBitmap,
                               AudioChannelLayoutGetNumberOfChannels(layout));
        default:
            return fmt::format("tag {} ({} ch)", layout.mChannelLayoutTag,
                               AudioChannelLayoutGetNumberOfChannels(layout));
    }
}

}  // namespace platform
