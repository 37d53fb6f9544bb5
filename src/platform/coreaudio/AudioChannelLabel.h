#pragma once

#include <cstdint>

namespace platform {

// The speaker (or role) one channel is meant for.
using AudioChannelLabel = std::uint32_t;

inline constexpr AudioChannelLabel kAudioChannelLabel_Unknown = 0xFFFFFFFFu;
inline constexpr AudioChannelLabel kAudioChannelLabel_Unused = 0;
inline constexpr AudioChannelLabel kAudioChannelLabel_UseCoordinates = 100;

inline constexpr AudioChannelLabel kAudioChannelLabel_Left = 1;
inline constexpr AudioChannelLabel kAudioChannelLabel_Right = 2;
inline constexpr AudioChannelLabel kAudioChannelLabel_Center = 3;
inline constexpr AudioChannelLabel kAudioChannelLabel_LFEScreen = 4;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftSurround = 5;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightSurround = 6;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftCenter = 7;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightCenter = 8;
inline constexpr AudioChannelLabel kAudioChannelLabel_CenterSurround = 9;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftSurroundDirect = 10;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightSurroundDirect = 11;
inline constexpr AudioChannelLabel kAudioChannelLabel_TopCenterSurround = 12;
inline constexpr AudioChannelLabel kAudioChannelLabel_VerticalHeightLeft = 13;
inline constexpr AudioChannelLabel kAudioChannelLabel_VerticalHeightCenter = 14;
inline constexpr AudioChannelLabel kAudioChannelLabel_VerticalHeightRight = 15;
inline constexpr AudioChannelLabel kAudioChannelLabel_TopBackLeft = 16;
inline constexpr AudioChannelLabel kAudioChannelLabel_TopBackCenter = 17;
inline constexpr AudioChannelLabel kAudioChannelLabel_TopBackRight = 18;

inline constexpr AudioChannelLabel kAudioChannelLabel_RearSurroundLeft = 33;
inline constexpr AudioChannelLabel kAudioChannelLabel_RearSurroundRight = 34;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftWide = 35;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightWide = 36;
inline constexpr AudioChannelLabel kAudioChannelLabel_LFE2 = 37;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftTotal = 38;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightTotal = 39;
inline constexpr AudioChannelLabel kAudioChannelLabel_HearingImpaired = 40;
inline constexpr AudioChannelLabel kAudioChannelLabel_Narration = 41;
inline constexpr AudioChannelLabel kAudioChannelLabel_Mono = 42;
inline constexpr AudioChannelLabel kAudioChannelLabel_DialogCentricMix = 43;
inline constexpr AudioChannelLabel kAudioChannelLabel_CenterSurroundDirect = 44;
inline constexpr AudioChannelLabel kAudioChannelLabel_Haptic = 45;

inline constexpr AudioChannelLabel kAudioChannelLabel_LeftTopFront =
    kAudioChannelLabel_VerticalHeightLeft;
inline constexpr AudioChannelLabel kAudioChannelLabel_CenterTopFront =
    kAudioChannelLabel_VerticalHeightCenter;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightTopFront =
    kAudioChannelLabel_VerticalHeightRight;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftTopMiddle = 49;
inline constexpr AudioChannelLabel kAudioChannelLabel_CenterTopMiddle =
    kAudioChannelLabel_TopCenterSurround;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightTopMiddle = 51;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftTopRear = 52;
inline constexpr AudioChannelLabel kAudioChannelLabel_CenterTopRear = 53;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightTopRear = 54;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftSideSurround = 55;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightSideSurround = 56;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftBottom = 57;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightBottom = 58;
inline constexpr AudioChannelLabel kAudioChannelLabel_CenterBottom = 59;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftTopSurround = 60;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightTopSurround = 61;
inline constexpr AudioChannelLabel kAudioChannelLabel_LFE3 = 62;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftBackSurround = 63;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightBackSurround = 64;
inline constexpr AudioChannelLabel kAudioChannelLabel_LeftEdgeOfScreen = 65;
inline constexpr AudioChannelLabel kAudioChannelLabel_RightEdgeOfScreen = 66;

inline constexpr AudioChannelLabel kAudioChannelLabel_Ambisonic_W = 200;
inline constexpr AudioChannelLabel kAudioChannelLabel_Ambisonic_X = 201;
inline constexpr AudioChannelLabel kAudioChannelLabel_Ambisonic_Y = 202;
inline constexpr AudioChannelLabel kAudioChannelLabel_Ambisonic_Z = 203;
inline constexpr AudioChannelLabel kAudioChannelLabel_MS_Mid = 204;
inline constexpr AudioChannelLabel kAudioChannelLabel_MS_Side = 205;
inline constexpr AudioChannelLabel kAudioChannelLabel_XY_X = 206;
inline constexpr AudioChannelLabel kAudioChannelLabel_XY_Y = 207;
inline constexpr AudioChannelLabel kAudioChannelLabel_BinauralLeft = 208;
inline constexpr AudioChannelLabel kAudioChannelLabel_BinauralRight = 209;

inline constexpr AudioChannelLabel kAudioChannelLabel_HeadphonesLeft = 301;
inline constexpr AudioChannelLabel kAudioChannelLabel_HeadphonesRight = 302;
inline constexpr AudioChannelLabel kAudioChannelLabel_ClickTrack = 304;
inline constexpr AudioChannelLabel kAudioChannelLabel_ForeignLanguage = 305;

inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete = 400;
// Numbered discrete channels: kAudioChannelLabel_Discrete_0 | n (n up to 65535).
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_0 = (1u << 16) | 0;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_1 = (1u << 16) | 1;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_2 = (1u << 16) | 2;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_3 = (1u << 16) | 3;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_4 = (1u << 16) | 4;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_5 = (1u << 16) | 5;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_6 = (1u << 16) | 6;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_7 = (1u << 16) | 7;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_8 = (1u << 16) | 8;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_9 = (1u << 16) | 9;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_10 = (1u << 16) | 10;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_11 = (1u << 16) | 11;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_12 = (1u << 16) | 12;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_13 = (1u << 16) | 13;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_14 = (1u << 16) | 14;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_15 = (1u << 16) | 15;
inline constexpr AudioChannelLabel kAudioChannelLabel_Discrete_65535 = (1u << 16) | 65535;

inline constexpr AudioChannelLabel kAudioChannelLabel_HOA_ACN = 500;
// Numbered ambisonic components: kAudioChannelLabel_HOA_ACN_0 | n.
inline constexpr AudioChannelLabel kAudioChannelLabel_HOA_ACN_0 = (2u << 16) | 0;

}  // namespace platform
