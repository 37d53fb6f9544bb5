#include "media-player/decoders/video/HardwareDecoding.h"

#include <optional>

#include "media-player/decoders/common/FFmpegCall.h"
#include "platform/foundation/Log.h"

namespace quillon {

std::vector<AVHWDeviceType> deviceTypesWithConfiguration(
    const AVCodec& codec, std::initializer_list<AVHWDeviceType> deviceTypes) {
    std::vector<AVHWDeviceType> types;
    for (AVHWDeviceType type : deviceTypes) {
        for (int index = 0;; ++index) {
            const AVCodecHWConfig* configuration = avcodec_get_hw_config(&codec, index);
            if (configuration == nullptr) {
                break;
            }
            if (configuration->device_type == type &&
                (configuration->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) != 0) {
                types.push_back(type);
                break;
            }
        }
    }
    return types;
}

AVBufferRefPointer makeHardwareDeviceContext(const AVCodec& codec,
                                             std::initializer_list<AVHWDeviceType> deviceTypes) {
    constexpr const char* function = "makeHardwareDeviceContext()";
    const std::vector<AVHWDeviceType> types = deviceTypesWithConfiguration(codec, deviceTypes);
    if (types.empty()) {
        return nullptr;
    }
    std::optional<FFmpegError> lastError;
    for (AVHWDeviceType type : types) {
        AVBufferRef* device = nullptr;
        const std::int32_t result = runFFmpegCall(
            true, [&] { return av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0); });
        if (result >= 0 && device != nullptr) {
            return AVBufferRefPointer(device);
        }
        lastError = FFmpegError(result);
        logFFmpegFailure(*lastError, CallSite(function));
    }
    platform::log("Failed to initialize VideoToolbox FFmpeg context: {}.",
                  lastError ? lastError->description() : ffmpegErrorString(AVERROR(ENOSYS)));
    return nullptr;
}

bool isHardwareFrame(const AVFrame& frame) {
    return frame.hw_frames_ctx != nullptr;
}

void transferHardwareFrame(const AVFrame& hardwareFrame, AVFrame& destination) {
    constexpr const char* function = "transferHardwareFrame(_:into:)";
    const auto* frames =
        reinterpret_cast<const AVHWFramesContext*>(hardwareFrame.hw_frames_ctx->data);
    if (destination.buf[0] == nullptr || destination.format != frames->sw_format ||
        destination.width != hardwareFrame.width || destination.height != hardwareFrame.height) {
        av_frame_unref(&destination);
        destination.format = frames->sw_format;
        destination.width = hardwareFrame.width;
        destination.height = hardwareFrame.height;
        performFFmpegCall({}, false, CallSite(function),
                          [&] { return av_frame_get_buffer(&destination, 0); });
    }
    performFFmpegCall({}, false, CallSite(function),
                      [&] { return av_hwframe_transfer_data(&destination, &hardwareFrame, 0); });
}

}  // namespace quillon
