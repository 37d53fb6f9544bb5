#pragma once

#include <cstdint>

namespace platform {

// A layout tag names a speaker arrangement and, for most tags, the order of its channels. The
// high 16 bits identify the layout, the low 16 bits hold its channel count, so the count of any
// tag can be read without knowing the tag. Several names share one value where two families
// describe the same arrangement in the same order.
using AudioChannelLayoutTag = std::uint32_t;

constexpr AudioChannelLayoutTag audioChannelLayoutTag(std::uint32_t layoutId,
                                                      std::uint32_t channelCount) {
    return (layoutId << 16) | channelCount;
}

// The count in the low 16 bits: 0 for the tags that defer to the bitmap or the descriptions.
constexpr std::uint32_t AudioChannelLayoutTag_GetNumberOfChannels(AudioChannelLayoutTag tag) {
    return tag & 0xFFFFu;
}

// The layout is given by its channel descriptions, or by its bitmap.
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelDescriptions = 0;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_UseChannelBitmap =
    audioChannelLayoutTag(1, 0);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Mono = audioChannelLayoutTag(100, 1);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Stereo =
    audioChannelLayoutTag(101, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_StereoHeadphones =
    audioChannelLayoutTag(102, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MatrixStereo =
    audioChannelLayoutTag(103, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MidSide =
    audioChannelLayoutTag(104, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_XY = audioChannelLayoutTag(105, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Binaural =
    audioChannelLayoutTag(106, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Ambisonic_B_Format =
    audioChannelLayoutTag(107, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Quadraphonic =
    audioChannelLayoutTag(108, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Pentagonal =
    audioChannelLayoutTag(109, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Hexagonal =
    audioChannelLayoutTag(110, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Octagonal =
    audioChannelLayoutTag(111, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Cube = audioChannelLayoutTag(112, 8);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_1_0 =
    kAudioChannelLayoutTag_Mono;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_2_0 =
    kAudioChannelLayoutTag_Stereo;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_3_0_A =
    audioChannelLayoutTag(113, 3);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_3_0_B =
    audioChannelLayoutTag(114, 3);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_4_0_A =
    audioChannelLayoutTag(115, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_4_0_B =
    audioChannelLayoutTag(116, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_0_A =
    audioChannelLayoutTag(117, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_0_B =
    audioChannelLayoutTag(118, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_0_C =
    audioChannelLayoutTag(119, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_0_D =
    audioChannelLayoutTag(120, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_1_A =
    audioChannelLayoutTag(121, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_1_B =
    audioChannelLayoutTag(122, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_1_C =
    audioChannelLayoutTag(123, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_5_1_D =
    audioChannelLayoutTag(124, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_6_1_A =
    audioChannelLayoutTag(125, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_7_1_A =
    audioChannelLayoutTag(126, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_7_1_B =
    audioChannelLayoutTag(127, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_MPEG_7_1_C =
    audioChannelLayoutTag(128, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Emagic_Default_7_1 =
    audioChannelLayoutTag(129, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_SMPTE_DTV =
    audioChannelLayoutTag(130, 8);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_1_0 = kAudioChannelLayoutTag_Mono;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_2_0 =
    kAudioChannelLayoutTag_Stereo;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_2_1 =
    audioChannelLayoutTag(131, 3);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_2_2 =
    audioChannelLayoutTag(132, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_3_0 =
    kAudioChannelLayoutTag_MPEG_3_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_3_1 =
    kAudioChannelLayoutTag_MPEG_4_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_3_2 =
    kAudioChannelLayoutTag_MPEG_5_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_3_2_1 =
    kAudioChannelLayoutTag_MPEG_5_1_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_ITU_3_4_1 =
    kAudioChannelLayoutTag_MPEG_7_1_C;

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_0 = kAudioChannelLayoutTag_Mono;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_1 = kAudioChannelLayoutTag_Stereo;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_2 =
    kAudioChannelLayoutTag_ITU_2_1;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_3 =
    kAudioChannelLayoutTag_ITU_2_2;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_4 = audioChannelLayoutTag(133, 3);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_5 = audioChannelLayoutTag(134, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_6 = audioChannelLayoutTag(135, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_7 =
    kAudioChannelLayoutTag_MPEG_3_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_8 =
    kAudioChannelLayoutTag_MPEG_4_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_9 =
    kAudioChannelLayoutTag_MPEG_5_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_10 =
    audioChannelLayoutTag(136, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_11 =
    audioChannelLayoutTag(137, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_12 =
    kAudioChannelLayoutTag_MPEG_5_1_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_13 = kAudioChannelLayoutTag_DVD_8;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_14 = kAudioChannelLayoutTag_DVD_9;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_15 =
    kAudioChannelLayoutTag_DVD_10;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_16 =
    kAudioChannelLayoutTag_DVD_11;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_17 =
    kAudioChannelLayoutTag_DVD_12;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_18 =
    audioChannelLayoutTag(138, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_19 =
    kAudioChannelLayoutTag_MPEG_5_0_B;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DVD_20 =
    kAudioChannelLayoutTag_MPEG_5_1_B;

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_4 =
    kAudioChannelLayoutTag_Quadraphonic;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_5 =
    kAudioChannelLayoutTag_Pentagonal;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_6 =
    kAudioChannelLayoutTag_Hexagonal;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_8 =
    kAudioChannelLayoutTag_Octagonal;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_5_0 =
    kAudioChannelLayoutTag_MPEG_5_0_B;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_6_0 =
    audioChannelLayoutTag(139, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_7_0 =
    audioChannelLayoutTag(140, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_7_0_Front =
    audioChannelLayoutTag(148, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_5_1 =
    kAudioChannelLayoutTag_MPEG_5_1_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_6_1 =
    kAudioChannelLayoutTag_MPEG_6_1_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_7_1 =
    kAudioChannelLayoutTag_MPEG_7_1_C;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AudioUnit_7_1_Front =
    kAudioChannelLayoutTag_MPEG_7_1_A;

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_3_0 =
    kAudioChannelLayoutTag_MPEG_3_0_B;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_Quadraphonic =
    kAudioChannelLayoutTag_Quadraphonic;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_4_0 =
    kAudioChannelLayoutTag_MPEG_4_0_B;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_5_0 =
    kAudioChannelLayoutTag_MPEG_5_0_D;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_5_1 =
    kAudioChannelLayoutTag_MPEG_5_1_D;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_6_0 =
    audioChannelLayoutTag(141, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_6_1 =
    audioChannelLayoutTag(142, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_7_0 =
    audioChannelLayoutTag(143, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_7_1 =
    kAudioChannelLayoutTag_MPEG_7_1_B;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_7_1_B =
    audioChannelLayoutTag(183, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_7_1_C =
    audioChannelLayoutTag(184, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AAC_Octagonal =
    audioChannelLayoutTag(144, 8);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_TMH_10_2_std =
    audioChannelLayoutTag(145, 16);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_TMH_10_2_full =
    audioChannelLayoutTag(146, 21);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AC3_1_0_1 =
    audioChannelLayoutTag(149, 2);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AC3_3_0 =
    audioChannelLayoutTag(150, 3);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AC3_3_1 =
    audioChannelLayoutTag(151, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AC3_3_0_1 =
    audioChannelLayoutTag(152, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AC3_2_1_1 =
    audioChannelLayoutTag(153, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_AC3_3_1_1 =
    audioChannelLayoutTag(154, 5);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC_6_0_A =
    audioChannelLayoutTag(155, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC_7_0_A =
    audioChannelLayoutTag(156, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_6_1_A =
    audioChannelLayoutTag(157, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_6_1_B =
    audioChannelLayoutTag(158, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_6_1_C =
    audioChannelLayoutTag(159, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_A =
    audioChannelLayoutTag(160, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_B =
    audioChannelLayoutTag(161, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_C =
    audioChannelLayoutTag(162, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_D =
    audioChannelLayoutTag(163, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_E =
    audioChannelLayoutTag(164, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_F =
    audioChannelLayoutTag(165, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_G =
    audioChannelLayoutTag(166, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EAC3_7_1_H =
    audioChannelLayoutTag(167, 8);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_3_1 =
    audioChannelLayoutTag(168, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_4_1 =
    audioChannelLayoutTag(169, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_0_A =
    audioChannelLayoutTag(170, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_0_B =
    audioChannelLayoutTag(171, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_0_C =
    audioChannelLayoutTag(172, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_1_A =
    audioChannelLayoutTag(173, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_1_B =
    audioChannelLayoutTag(174, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_1_C =
    audioChannelLayoutTag(175, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_7_0 =
    audioChannelLayoutTag(176, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_7_1 =
    audioChannelLayoutTag(177, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_8_0_A =
    audioChannelLayoutTag(178, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_8_0_B =
    audioChannelLayoutTag(179, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_8_1_A =
    audioChannelLayoutTag(180, 9);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_8_1_B =
    audioChannelLayoutTag(181, 9);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DTS_6_1_D =
    audioChannelLayoutTag(182, 7);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_2_1 =
    kAudioChannelLayoutTag_DVD_4;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_3_0 =
    kAudioChannelLayoutTag_MPEG_3_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_4_0_A =
    kAudioChannelLayoutTag_ITU_2_2;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_4_0_B =
    audioChannelLayoutTag(185, 4);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_5_0_A =
    kAudioChannelLayoutTag_MPEG_5_0_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_5_0_B =
    audioChannelLayoutTag(186, 5);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_5_1_A =
    kAudioChannelLayoutTag_MPEG_5_1_A;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_5_1_B =
    audioChannelLayoutTag(187, 6);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_6_1 =
    audioChannelLayoutTag(188, 7);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_WAVE_7_1 =
    audioChannelLayoutTag(189, 8);

// Higher-order ambisonics: OR the channel count into these.
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_HOA_ACN_SN3D =
    audioChannelLayoutTag(190, 0);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_HOA_ACN_N3D =
    audioChannelLayoutTag(191, 0);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Atmos_7_1_4 =
    audioChannelLayoutTag(192, 12);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Atmos_9_1_6 =
    audioChannelLayoutTag(193, 16);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Atmos_5_1_2 =
    audioChannelLayoutTag(194, 8);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Atmos_5_1_4 =
    audioChannelLayoutTag(195, 10);
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Atmos_7_1_2 =
    audioChannelLayoutTag(196, 10);

// N channels in their stored order with no assigned speakers: OR the channel count into it.
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_DiscreteInOrder =
    audioChannelLayoutTag(147, 0);

inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_BeginReserved = 0xF0000000u;
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_EndReserved = 0xFFFEFFFFu;
// A layout of unknown arrangement: OR the channel count into it.
inline constexpr AudioChannelLayoutTag kAudioChannelLayoutTag_Unknown = 0xFFFF0000u;

}  // namespace platform
