#include "media-player/decoders/video/HardwareDecoding.h"

#include <filesystem>
#include <mutex>
#include <optional>
#include <set>

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegLog.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

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

namespace {

// What the process has learnt of this machine's devices. Trying a type that is not there costs
// a library load and, without this, a screenful of failures for every video opened.
struct DeviceProbe {
    std::mutex mutex;
    std::set<AVHWDeviceType> unavailableTypes;
    bool failureLogged = false;
};

// Whether the machine has a device that a hardware decoder could use: a DRM render or card
// node, or the NVIDIA driver's control node.
bool hasVideoDeviceNodes() {
    std::error_code error;
    return std::filesystem::exists("/dev/dri", error) ||
           std::filesystem::exists("/dev/nvidiactl", error);
}

DeviceProbe& deviceProbe() {
    static platform::NeverDestroyed<DeviceProbe> probe;
    return probe.get();
}

}  // namespace

AVBufferRefPointer makeHardwareDeviceContext(const AVCodec& codec,
                                             std::initializer_list<AVHWDeviceType> deviceTypes) {
    const std::vector<AVHWDeviceType> types = deviceTypesWithConfiguration(codec, deviceTypes);
    if (types.empty()) {
        return nullptr;
    }
    installFFmpegLogCallback();
    DeviceProbe& probe = deviceProbe();
    // Decoders made at the same time on two queues wait for one probe rather than both trying.
    const std::lock_guard lock(probe.mutex);
    std::optional<FFmpegError> lastError;
    for (AVHWDeviceType type : types) {
        if (probe.unavailableTypes.contains(type)) {
            continue;
        }
        AVBufferRef* device = nullptr;
        std::int32_t result = 0;
        {
            // A missing device is this machine's normal state, not a fault: FFmpeg's reasons and
            // the failed call are folded into the one line below.
            const ScopedFFmpegLogSilence silence;
            result = runFFmpegCall(
                true, [&] { return av_hwdevice_ctx_create(&device, type, nullptr, nullptr, 0); });
        }
        if (result >= 0 && device != nullptr) {
            return AVBufferRefPointer(device);
        }
        probe.unavailableTypes.insert(type);
        lastError = FFmpegError(result);
    }
    if (!probe.failureLogged && lastError) {
        probe.failureLogged = true;
        // Without a device node there is no hardware to use, and the software decoder is what
        // such a machine always runs.
        platform::log(
            hasVideoDeviceNodes() ? platform::LogLevel::warning : platform::LogLevel::debug,
            "Failed to initialize VideoToolbox FFmpeg context: {}.", lastError->description());
    }
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
