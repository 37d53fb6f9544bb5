#pragma once

#include <cstdint>
#include <string>

#include "platform/corefoundation/CFBase.h"

namespace platform {

using AudioFormatID = std::uint32_t;
using AudioFormatFlags = std::uint32_t;

inline constexpr AudioFormatID kAudioFormatLinearPCM = fourCharCode("lpcm");

// Format flags. The linear-PCM names are the same bits under the names the PCM code uses.
inline constexpr AudioFormatFlags kAudioFormatFlagIsFloat = 1u << 0;
inline constexpr AudioFormatFlags kAudioFormatFlagIsBigEndian = 1u << 1;
inline constexpr AudioFormatFlags kAudioFormatFlagIsSignedInteger = 1u << 2;
inline constexpr AudioFormatFlags kAudioFormatFlagIsPacked = 1u << 3;
inline constexpr AudioFormatFlags kAudioFormatFlagIsAlignedHigh = 1u << 4;
inline constexpr AudioFormatFlags kAudioFormatFlagIsNonInterleaved = 1u << 5;
inline constexpr AudioFormatFlags kAudioFormatFlagIsNonMixable = 1u << 6;
inline constexpr AudioFormatFlags kAudioFormatFlagsAreAllClear = 0x80000000u;

inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsFloat = kAudioFormatFlagIsFloat;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsBigEndian = kAudioFormatFlagIsBigEndian;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsSignedInteger =
    kAudioFormatFlagIsSignedInteger;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsPacked = kAudioFormatFlagIsPacked;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsAlignedHigh = kAudioFormatFlagIsAlignedHigh;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsNonInterleaved =
    kAudioFormatFlagIsNonInterleaved;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagIsNonMixable = kAudioFormatFlagIsNonMixable;
inline constexpr AudioFormatFlags kLinearPCMFormatFlagsAreAllClear = kAudioFormatFlagsAreAllClear;

// Every machine we build for is little-endian, so native order sets no endian bit.
inline constexpr AudioFormatFlags kAudioFormatFlagsNativeEndian = 0;
inline constexpr AudioFormatFlags kAudioFormatFlagsNativeFloatPacked =
    kAudioFormatFlagIsFloat | kAudioFormatFlagsNativeEndian | kAudioFormatFlagIsPacked;

// The format of one audio stream: for linear PCM, how a frame (one sample of every channel) is
// laid out. Packets of linear PCM are single frames, so mBytesPerPacket equals mBytesPerFrame
// and mFramesPerPacket is 1. With kAudioFormatFlagIsNonInterleaved set every channel lives in a
// buffer of its own and the byte counts describe one channel.
struct AudioStreamBasicDescription {
    double mSampleRate = 0;
    AudioFormatID mFormatID = 0;
    AudioFormatFlags mFormatFlags = 0;
    std::uint32_t mBytesPerPacket = 0;
    std::uint32_t mFramesPerPacket = 0;
    std::uint32_t mBytesPerFrame = 0;
    std::uint32_t mChannelsPerFrame = 0;
    std::uint32_t mBitsPerChannel = 0;
    std::uint32_t mReserved = 0;

    friend bool operator==(const AudioStreamBasicDescription&,
                           const AudioStreamBasicDescription&) = default;
};

// Whether the description is complete enough to interpret data with: a format, a positive
// sample rate and at least one channel; for linear PCM also one frame per packet and byte counts
// that agree (packet = frame, frame large enough for its channels and bits).
bool AudioStreamBasicDescriptionIsValid(const AudioStreamBasicDescription& description);

// For logs: "48000 Hz, 'lpcm', flags 0x9, 2 ch, 32 bits, 8 bytes/frame".
std::string AudioStreamBasicDescriptionCopyDescription(
    const AudioStreamBasicDescription& description);

}  // namespace platform
