#include "platform/videotoolbox/SwscaleFormat.h"

#include <variant>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/corevideo/CVImageBuffer.h"

namespace platform {

std::optional<int> swscalePixelFormat(OSType pixelFormat) {
    switch (pixelFormat) {
        case kCVPixelFormatType_24RGB:
            return AV_PIX_FMT_RGB24;
        case kCVPixelFormatType_32ARGB:
            return AV_PIX_FMT_ARGB;
        case kCVPixelFormatType_32BGRA:
            return AV_PIX_FMT_BGRA;
        case kCVPixelFormatType_422YpCbCr8:
            return AV_PIX_FMT_UYVY422;
        case kCVPixelFormatType_422YpCbCr8_yuvs:
        case kCVPixelFormatType_422YpCbCr8FullRange:
            return AV_PIX_FMT_YUYV422;
        case kCVPixelFormatType_420YpCbCr8Planar:
        case kCVPixelFormatType_420YpCbCr8PlanarFullRange:
            return AV_PIX_FMT_YUV420P;
        case kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange:
        case kCVPixelFormatType_420YpCbCr8BiPlanarFullRange:
            return AV_PIX_FMT_NV12;
        case kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange:
        case kCVPixelFormatType_420YpCbCr10BiPlanarFullRange:
            return AV_PIX_FMT_P010LE;
        case kCVPixelFormatType_422YpCbCr10BiPlanarVideoRange:
        case kCVPixelFormatType_422YpCbCr10BiPlanarFullRange:
            return AV_PIX_FMT_P210LE;
        case kCVPixelFormatType_OneComponent8:
            return AV_PIX_FMT_GRAY8;
        case kCVPixelFormatType_OneComponent32Float:
            return AV_PIX_FMT_GRAYF32LE;
        case kCVPixelFormatType_4444AYpCbCr16:
            return AV_PIX_FMT_AYUV64LE;
        default:
            return std::nullopt;
    }
}

int swscaleRange(const CVPixelBuffer& buffer) {
    const CVPixelFormatLayout* layout = buffer.geometry().layout;
    return layout->componentRange == CVPixelFormatComponentRange::video ? 0 : 1;
}

std::optional<int> swscaleColorspaceOfMatrix(const std::string& matrix) {
    if (matrix == kCVImageBufferYCbCrMatrix_ITU_R_709_2 ||
        matrix == kCVImageBufferYCbCrMatrix_P3_D65) {
        return SWS_CS_ITU709;
    }
    if (matrix == kCVImageBufferYCbCrMatrix_ITU_R_601_4) {
        return SWS_CS_ITU601;
    }
    if (matrix == kCVImageBufferYCbCrMatrix_SMPTE_240M_1995) {
        return SWS_CS_SMPTE240M;
    }
    if (matrix == kCVImageBufferYCbCrMatrix_ITU_R_2020) {
        return SWS_CS_BT2020;
    }
    return std::nullopt;
}

std::optional<int> swscaleAttachedColorspace(const CVPixelBuffer& buffer) {
    if (auto value = buffer.attachment(kCVImageBufferYCbCrMatrixKey, nullptr)) {
        if (const auto* matrix = std::get_if<std::string>(&*value)) {
            return swscaleColorspaceOfMatrix(*matrix);
        }
    }
    return std::nullopt;
}

int swscaleColorspace(const CVPixelBuffer& buffer) {
    if (auto attached = swscaleAttachedColorspace(buffer)) {
        return *attached;
    }
    return buffer.width() >= 1280 || buffer.height() >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
}

}  // namespace platform
