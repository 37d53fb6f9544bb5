#include "platform/coremedia/CMVideoFormatDescription.h"

#include <limits>

namespace platform {

OSStatus CMVideoFormatDescriptionCreate(CMVideoCodecType codecType, std::int32_t width,
                                        std::int32_t height, const CFDictionaryRef& extensions,
                                        CMVideoFormatDescriptionRef* formatDescriptionOut) {
    if (formatDescriptionOut == nullptr || width < 0 || height < 0) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    *formatDescriptionOut = std::make_shared<const CMFormatDescription>(
        kCMMediaType_Video, codecType, extensions, std::nullopt,
        CMFormatDescription::VideoFormat{{width, height}});
    return noErr;
}

OSStatus CMVideoFormatDescriptionCreateForImageBuffer(
    const CVImageBufferRef& imageBuffer, CMVideoFormatDescriptionRef* formatDescriptionOut) {
    if (!imageBuffer || formatDescriptionOut == nullptr) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    constexpr auto maximum = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (imageBuffer->width() > maximum || imageBuffer->height() > maximum) {
        return kCMFormatDescriptionError_InvalidParameter;
    }
    return CMVideoFormatDescriptionCreate(
        imageBuffer->pixelFormatType(), static_cast<std::int32_t>(imageBuffer->width()),
        static_cast<std::int32_t>(imageBuffer->height()),
        imageBuffer->copyAttachments(kCVAttachmentMode_ShouldPropagate), formatDescriptionOut);
}

CMVideoDimensions CMVideoFormatDescriptionGetDimensions(
    const CMVideoFormatDescriptionRef& videoDescription) {
    if (!videoDescription || !videoDescription->video()) {
        return {};
    }
    return videoDescription->video()->dimensions;
}

CMVideoCodecType CMVideoFormatDescriptionGetCodecType(
    const CMVideoFormatDescriptionRef& videoDescription) {
    return videoDescription && videoDescription->video() ? videoDescription->mediaSubType() : 0;
}

bool CMVideoFormatDescriptionMatchesImageBuffer(const CMVideoFormatDescriptionRef& videoDescription,
                                                const CVImageBufferRef& imageBuffer) {
    if (!videoDescription || !imageBuffer || !videoDescription->video()) {
        return false;
    }
    CMVideoFormatDescriptionRef current;
    if (CMVideoFormatDescriptionCreateForImageBuffer(imageBuffer, &current) != noErr) {
        return false;
    }
    return CMFormatDescriptionEqual(videoDescription, current);
}

}  // namespace platform
