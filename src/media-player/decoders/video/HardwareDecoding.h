#pragma once

#include <initializer_list>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/hwcontext.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

// The hardware decoding interfaces tried, in order.
inline constexpr std::initializer_list<AVHWDeviceType> hardwareDeviceTypes = {
    AV_HWDEVICE_TYPE_VAAPI, AV_HWDEVICE_TYPE_CUDA};

// Of deviceTypes, in their order, those for which the codec has a configuration that decodes on
// a device context. On a device of any other type libavcodec would decode in software inside a
// context that is taken for a hardware one.
std::vector<AVHWDeviceType> deviceTypesWithConfiguration(
    const AVCodec& codec, std::initializer_list<AVHWDeviceType> deviceTypes = hardwareDeviceTypes);

// A device context of the first of the codec's device types (deviceTypesWithConfiguration) that
// can be opened on this machine; null when none opens, and decoding then runs on the software
// decoder only. A type that failed to open once is not tried again in this process. The first
// time that no device opens, "Failed to initialize VideoToolbox FFmpeg context: <the last
// error>." is logged, and nothing else: FFmpeg's own lines about the failed tries are dropped.
// A codec without a configuration for any of the types gets null at once, with nothing opened
// and nothing logged. Never throws; safe from any thread.
AVBufferRefPointer makeHardwareDeviceContext(
    const AVCodec& codec, std::initializer_list<AVHWDeviceType> deviceTypes = hardwareDeviceTypes);

// Whether the frame's picture lies in a hardware device's memory rather than in its data planes.
bool isHardwareFrame(const AVFrame& frame);

// Copies a hardware frame's picture into system memory: into destination, whose buffers are kept
// from the previous call when the format and size have not changed. Only the picture is copied
// (format, width, height, planes); timing, colour and side data stay with the hardware frame.
// Throws FFmpegError after logging the failed call.
void transferHardwareFrame(const AVFrame& hardwareFrame, AVFrame& destination);

}  // namespace quillon
