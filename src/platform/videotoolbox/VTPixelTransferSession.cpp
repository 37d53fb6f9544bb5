#include "platform/videotoolbox/VTPixelTransferSession.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/corevideo/CVImageBuffer.h"

namespace platform {

namespace {

// The FFmpeg layout of a pixel format whose memory matches it exactly; none for the formats that
// libswscale has no layout for.
std::optional<AVPixelFormat> ffmpegPixelFormat(OSType pixelFormat) {
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

// 1 for full range (JPEG), 0 for video range (MPEG). Formats without a range (RGB, grey) use
// every code value.
int rangeOf(const CVPixelBuffer& buffer) {
    const CVPixelFormatLayout* layout = buffer.geometry().layout;
    return layout->componentRange == CVPixelFormatComponentRange::video ? 0 : 1;
}

std::optional<int> colorspaceOfMatrix(const std::string& matrix) {
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

std::optional<int> attachedColorspace(const CVPixelBuffer& buffer) {
    if (auto value = buffer.attachment(kCVImageBufferYCbCrMatrixKey, nullptr)) {
        if (const auto* matrix = std::get_if<std::string>(&*value)) {
            return colorspaceOfMatrix(*matrix);
        }
    }
    return std::nullopt;
}

int defaultColorspace(const CVPixelBuffer& buffer) {
    return buffer.width() >= 1280 || buffer.height() >= 720 ? SWS_CS_ITU709 : SWS_CS_ITU601;
}

struct PlanePointers {
    std::array<std::uint8_t*, 4> data{};
    std::array<int, 4> linesize{};
};

PlanePointers planePointers(const CVPixelBuffer& buffer) {
    PlanePointers pointers;
    const CVPixelBufferGeometry& g = buffer.geometry();
    for (std::size_t plane = 0; plane < g.planeCount && plane < 4; ++plane) {
        pointers.data[plane] = buffer.baseAddressOfPlane(plane);
        pointers.linesize[plane] = static_cast<int>(g.planes[plane].bytesPerRow);
    }
    return pointers;
}

// Same format and size: the visible rows of each plane, as they are.
void copyPlanes(const CVPixelBuffer& source, const CVPixelBuffer& destination) {
    const CVPixelBufferGeometry& from = source.geometry();
    const CVPixelBufferGeometry& to = destination.geometry();
    for (std::size_t plane = 0; plane < from.planeCount; ++plane) {
        const CVPixelFormatPlaneLayout& layout = from.layout->planes[plane];
        const std::size_t rowBytes = (from.planes[plane].width + layout.blockWidth - 1) /
                                     layout.blockWidth * layout.bytesPerBlock();
        const std::uint8_t* in = source.baseAddressOfPlane(plane);
        std::uint8_t* out = destination.baseAddressOfPlane(plane);
        for (std::size_t row = 0; row < from.planes[plane].height; ++row) {
            std::memcpy(out + row * to.planes[plane].bytesPerRow,
                        in + row * from.planes[plane].bytesPerRow, rowBytes);
        }
    }
}

// Holds a buffer's base address locked for the length of a transfer.
class BaseAddressLock {
public:
    BaseAddressLock(CVPixelBuffer& buffer, CVPixelBufferLockFlags flags)
        : buffer_(buffer), flags_(flags), status_(buffer.lockBaseAddress(flags)) {}
    ~BaseAddressLock() {
        if (status_ == kCVReturnSuccess) {
            buffer_.unlockBaseAddress(flags_);
        }
    }
    BaseAddressLock(const BaseAddressLock&) = delete;
    BaseAddressLock& operator=(const BaseAddressLock&) = delete;

    CVReturn status() const { return status_; }

private:
    CVPixelBuffer& buffer_;
    CVPixelBufferLockFlags flags_;
    CVReturn status_;
};

}  // namespace

VTPixelTransferSession::VTPixelTransferSession() = default;

VTPixelTransferSession::~VTPixelTransferSession() {
    releaseContext();
}

void VTPixelTransferSession::releaseContext() {
    sws_freeContext(context_);
    context_ = nullptr;
    contextKey_ = {};
}

void VTPixelTransferSession::invalidate() {
    std::lock_guard lock(mutex_);
    invalidated_ = true;
    releaseContext();
}

OSStatus VTPixelTransferSession::transferImage(const CVPixelBufferRef& source,
                                               const CVPixelBufferRef& destination) {
    if (!source || !destination) {
        return kVTParameterErr;
    }
    std::lock_guard lock(mutex_);
    if (invalidated_) {
        return kVTInvalidSessionErr;
    }
    if (source == destination) {
        return kVTParameterErr;
    }
    BaseAddressLock sourceLock(*source, kCVPixelBufferLock_ReadOnly);
    if (sourceLock.status() != kCVReturnSuccess) {
        return sourceLock.status();
    }
    BaseAddressLock destinationLock(*destination, 0);
    if (destinationLock.status() != kCVReturnSuccess) {
        return destinationLock.status();
    }
    if (source->pixelFormatType() == destination->pixelFormatType() &&
        source->width() == destination->width() && source->height() == destination->height()) {
        copyPlanes(*source, *destination);
        return noErr;
    }
    return convert(source, destination);
}

OSStatus VTPixelTransferSession::convert(const CVPixelBufferRef& source,
                                         const CVPixelBufferRef& destination) {
    const auto sourceFormat = ffmpegPixelFormat(source->pixelFormatType());
    const auto destinationFormat = ffmpegPixelFormat(destination->pixelFormatType());
    if (!sourceFormat || !destinationFormat || !sws_isSupportedInput(*sourceFormat) ||
        !sws_isSupportedOutput(*destinationFormat)) {
        return kVTPixelTransferNotSupportedErr;
    }
    const int sourceColorspace = attachedColorspace(*source).value_or(defaultColorspace(*source));
    ConversionKey key;
    key.sourceFormat = *sourceFormat;
    key.sourceWidth = static_cast<int>(source->width());
    key.sourceHeight = static_cast<int>(source->height());
    key.destinationFormat = *destinationFormat;
    key.destinationWidth = static_cast<int>(destination->width());
    key.destinationHeight = static_cast<int>(destination->height());
    key.sourceColorspace = sourceColorspace;
    key.sourceRange = rangeOf(*source);
    key.destinationColorspace = attachedColorspace(*destination).value_or(sourceColorspace);
    key.destinationRange = rangeOf(*destination);
    if (OSStatus status = prepareContext(key); status != noErr) {
        return status;
    }
    const PlanePointers in = planePointers(*source);
    const PlanePointers out = planePointers(*destination);
    const int rows = sws_scale(context_, in.data.data(), in.linesize.data(), 0, key.sourceHeight,
                               out.data.data(), out.linesize.data());
    return rows > 0 ? noErr : kVTPixelTransferNotSupportedErr;
}

OSStatus VTPixelTransferSession::prepareContext(const ConversionKey& key) {
    if (context_ != nullptr && key == contextKey_) {
        return noErr;
    }
    releaseContext();
    // Bilinear only matters when the size changes; accurate rounding keeps the colour conversion
    // exact rather than the fast table approximation.
    context_ =
        sws_getContext(key.sourceWidth, key.sourceHeight,
                       static_cast<AVPixelFormat>(key.sourceFormat), key.destinationWidth,
                       key.destinationHeight, static_cast<AVPixelFormat>(key.destinationFormat),
                       SWS_BILINEAR | SWS_ACCURATE_RND, nullptr, nullptr, nullptr);
    if (context_ == nullptr) {
        return kVTAllocationFailedErr;
    }
    // Only YCbCr↔RGB conversions use the matrices; for the others the ranges still apply and the
    // call's "not supported" answer means nothing to worry about.
    sws_setColorspaceDetails(context_, sws_getCoefficients(key.sourceColorspace), key.sourceRange,
                             sws_getCoefficients(key.destinationColorspace), key.destinationRange,
                             0, 1 << 16, 1 << 16);
    contextKey_ = key;
    return noErr;
}

OSStatus VTPixelTransferSessionCreate(VTPixelTransferSessionRef* pixelTransferSessionOut) {
    if (pixelTransferSessionOut == nullptr) {
        return kVTParameterErr;
    }
    *pixelTransferSessionOut = std::make_shared<VTPixelTransferSession>();
    return noErr;
}

OSStatus VTPixelTransferSessionTransferImage(const VTPixelTransferSessionRef& session,
                                             const CVPixelBufferRef& sourceBuffer,
                                             const CVPixelBufferRef& destinationBuffer) {
    if (!session) {
        return kVTParameterErr;
    }
    return session->transferImage(sourceBuffer, destinationBuffer);
}

void VTPixelTransferSessionInvalidate(const VTPixelTransferSessionRef& session) {
    if (session) {
        session->invalidate();
    }
}

}  // namespace platform
