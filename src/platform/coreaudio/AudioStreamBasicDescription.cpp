#include "platform/coreaudio/AudioStreamBasicDescription.h"

#include <cmath>

#include <fmt/format.h>

namespace platform {

bool AudioStreamBasicDescriptionIsValid(const AudioStreamBasicDescription& description) {
    if (description.mFormatID == 0 || !(description.mSampleRate > 0) ||
        !std::isfinite(description.mSampleRate) || description.mChannelsPerFrame == 0) {
        return false;
    }
    if (description.mFormatID != kAudioFormatLinearPCM) {
        return true;
    }
    if (description.mFramesPerPacket != 1 || description.mBytesPerFrame == 0 ||
        description.mBytesPerPacket != description.mBytesPerFrame) {
        return false;
    }
    const bool nonInterleaved = (description.mFormatFlags & kAudioFormatFlagIsNonInterleaved) != 0;
    const std::uint64_t channelsInFrame = nonInterleaved ? 1 : description.mChannelsPerFrame;
    return std::uint64_t{description.mBitsPerChannel} * channelsInFrame <=
           std::uint64_t{description.mBytesPerFrame} * 8;
}

std::string AudioStreamBasicDescriptionCopyDescription(
    const AudioStreamBasicDescription& description) {
    return fmt::format("{} Hz, '{}', flags {:#x}, {} ch, {} bits, {} bytes/frame",
                       description.mSampleRate, fourCharCodeString(description.mFormatID),
                       description.mFormatFlags, description.mChannelsPerFrame,
                       description.mBitsPerChannel, description.mBytesPerFrame);
}

}  // namespace platform
