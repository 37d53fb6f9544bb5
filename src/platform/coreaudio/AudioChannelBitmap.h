#pragma once

#include <cstdint>

namespace platform {

// A set of speakers, one bit each; a layout that uses a bitmap carries its channels in the
// order of the bits, lowest first.
using AudioChannelBitmap = std::uint32_t;

inline constexpr AudioChannelBitmap kAudioChannelBit_Left = 1u << 0;
inline constexpr AudioChannelBitmap kAudioChannelBit_Right = 1u << 1;
inline constexpr AudioChannelBitmap kAudioChannelBit_Center = 1u << 2;
inline constexpr AudioChannelBitmap kAudioChannelBit_LFEScreen = 1u << 3;
inline constexpr AudioChannelBitmap kAudioChannelBit_LeftSurround = 1u << 4;
inline constexpr AudioChannelBitmap kAudioChannelBit_RightSurround = 1u << 5;
inline constexpr AudioChannelBitmap kAudioChannelBit_LeftCenter = 1u << 6;
inline constexpr AudioChannelBitmap kAudioChannelBit_RightCenter = 1u << 7;
inline constexpr AudioChannelBitmap kAudioChannelBit_CenterSurround = 1u << 8;
inline constexpr AudioChannelBitmap kAudioChannelBit_LeftSurroundDirect = 1u << 9;
inline constexpr AudioChannelBitmap kAudioChannelBit_RightSurroundDirect = 1u << 10;
inline constexpr AudioChannelBitmap kAudioChannelBit_TopCenterSurround = 1u << 11;
inline constexpr AudioChannelBitmap kAudioChannelBit_VerticalHeightLeft = 1u << 12;
inline constexpr AudioChannelBitmap kAudioChannelBit_VerticalHeightCenter = 1u << 13;
inline constexpr AudioChannelBitmap kAudioChannelBit_VerticalHeightRight = 1u << 14;
inline constexpr AudioChannelBitmap kAudioChannelBit_TopBackLeft = 1u << 15;
inline constexpr AudioChannelBitmap kAudioChannelBit_TopBackCenter = 1u << 16;
inline constexpr AudioChannelBitmap kAudioChannelBit_TopBackRight = 1u << 17;

inline constexpr AudioChannelBitmap kAudioChannelBit_LeftTopFront =
    kAudioChannelBit_VerticalHeightLeft;
inline constexpr AudioChannelBitmap kAudioChannelBit_CenterTopFront =
    kAudioChannelBit_VerticalHeightCenter;
inline constexpr AudioChannelBitmap kAudioChannelBit_RightTopFront =
    kAudioChannelBit_VerticalHeightRight;
inline constexpr AudioChannelBitmap kAudioChannelBit_LeftTopMiddle = 1u << 21;
inline constexpr AudioChannelBitmap kAudioChannelBit_CenterTopMiddle =
    kAudioChannelBit_TopCenterSurround;
inline constexpr AudioChannelBitmap kAudioChannelBit_RightTopMiddle = 1u << 23;
inline constexpr AudioChannelBitmap kAudioChannelBit_LeftTopRear = 1u << 24;
inline constexpr AudioChannelBitmap kAudioChannelBit_CenterTopRear = 1u << 25;
inline constexpr AudioChannelBitmap kAudioChannelBit_RightTopRear = 1u << 26;

}  // namespace platform
