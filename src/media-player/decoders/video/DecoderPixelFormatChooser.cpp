#include "media-player/decoders/video/DecoderPixelFormatChooser.h"

#include <bitset>

extern "C" {
#include <libavutil/hwcontext.h>
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/PixelFormats.h"

namespace quillon {

namespace {

bool isHardwareFormat(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr && (descriptor->flags & AV_PIX_FMT_FLAG_HWACCEL) != 0;
}

}  // namespace

AVPixelFormat chooseDecoderPixelFormat(const AVPixelFormat* offeredFormats,
                                       AVPixelFormat hardwarePixelFormat) {
    const bool hardwareAllowed = hardwarePixelFormat != AV_PIX_FMT_NONE;
    std::bitset<AV_PIX_FMT_NB> candidates;
    AVPixelFormat lastSoftwareFormat = AV_PIX_FMT_NONE;
    for (const AVPixelFormat* format = offeredFormats;
         format != nullptr && *format != AV_PIX_FMT_NONE; ++format) {
        if (*format < 0 || *format >= AV_PIX_FMT_NB) {
            continue;
        }
        if (isHardwareFormat(*format)) {
            if (hardwareAllowed) {
                candidates.set(*format);
            }
            continue;
        }
        candidates.set(*format);
        lastSoftwareFormat = *format;
    }
    if (hardwareAllowed && candidates.test(hardwarePixelFormat)) {
        return hardwarePixelFormat;
    }
    for (AVPixelFormat preferred : preferredFFmpegPixelFormats()) {
        if (candidates.test(preferred)) {
            return preferred;
        }
    }
    return lastSoftwareFormat;
}

AVPixelFormat hardwarePixelFormat(const AVCodecContext& context) {
    if (context.hw_device_ctx == nullptr || context.codec == nullptr) {
        return AV_PIX_FMT_NONE;
    }
    const auto* device = reinterpret_cast<const AVHWDeviceContext*>(context.hw_device_ctx->data);
    for (int index = 0;; ++index) {
        const AVCodecHWConfig* configuration = avcodec_get_hw_config(context.codec, index);
        if (configuration == nullptr) {
            return AV_PIX_FMT_NONE;
        }
        if (configuration->device_type == device->type &&
            (configuration->methods & AV_CODEC_HW_CONFIG_METHOD_HW_DEVICE_CTX) != 0) {
            return configuration->pix_fmt;
        }
    }
}

AVPixelFormat chooseSoftwareDecoderPixelFormat(AVCodecContext*,
                                               const AVPixelFormat* offeredFormats) {
    return chooseDecoderPixelFormat(offeredFormats, AV_PIX_FMT_NONE);
}

AVPixelFormat chooseHardwareDecoderPixelFormat(AVCodecContext* context,
                                               const AVPixelFormat* offeredFormats) {
    return chooseDecoderPixelFormat(
        offeredFormats, context != nullptr ? hardwarePixelFormat(*context) : AV_PIX_FMT_NONE);
}

}  // namespace quillon
