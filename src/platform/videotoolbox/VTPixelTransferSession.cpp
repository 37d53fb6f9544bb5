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
#include "platform/videotoolbox/SwscaleFormat.h"

namespace platform {

namespace {

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
    const auto sourceFormat = swscalePixelFormat(source->pixelFormatType());
    const auto destinationFormat = swscalePixelFormat(destination->pixelFormatType());
    if (!sourceFormat || !destinationFormat ||
        !sws_isSupportedInput(static_cast<AVPixelFormat>(*sourceFormat)) ||
        !sws_isSupportedOutput(static_cast<AVPixelFormat>(*destinationFormat))) {
        return kVTPixelTransferNotSupportedErr;
    }
    const int sourceColorspace = swscaleColorspace(*source);
    ConversionKey key;
    key.sourceFormat = *sourceFormat;
    key.sourceWidth = static_cast<int>(source->width());
    key.sourceHeight = static_cast<int>(source->height());
    key.destinationFormat = *destinationFormat;
    key.destinationWidth = static_cast<int>(destination->width());
    key.destinationHeight = static_cast<int>(destination->height());
    key.sourceColorspace = sourceColorspace;
    key.sourceRange = swscaleRange(*source);
    key.destinationColorspace = swscaleAttachedColorspace(*destination).value_or(sourceColorspace);
    key.destinationRange = swscaleRange(*destination);
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
