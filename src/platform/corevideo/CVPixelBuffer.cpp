#include "platform/corevideo/CVPixelBuffer.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include <sys/mman.h>

#include <fmt/format.h>

namespace platform {

namespace {

// Larger pictures than this are refused rather than risking overflow in the plane arithmetic.
constexpr std::size_t maximumDimension = 1 << 15;

// A page of the kernel's transparent huge pages. A UHD picture takes 3,000 to 6,000 faults of
// ordinary pages when first touched, which cost far more CPU than the decoding of the frame; in
// huge pages it takes a handful.
constexpr std::size_t hugePageSize = std::size_t{2} << 20;

// Memory of `size` bytes aligned to `alignment`; a large block is aligned to huge pages and
// offered to the kernel for them (a hint only: it works without).
std::uint8_t* allocatePixelMemory(std::size_t alignment, std::size_t size) {
    if (size < hugePageSize) {
        return static_cast<std::uint8_t*>(std::aligned_alloc(alignment, size));
    }
    void* memory = nullptr;
    if (posix_memalign(&memory, std::max(alignment, hugePageSize), size) != 0) {
        return nullptr;
    }
    madvise(memory, size / hugePageSize * hugePageSize, MADV_HUGEPAGE);
    return static_cast<std::uint8_t*>(memory);
}

std::size_t ceilDiv(std::size_t value, std::size_t divisor) {
    return (value + divisor - 1) / divisor;
}

std::optional<std::size_t> roundUp(std::size_t value, std::size_t multiple) {
    const std::size_t remainder = value % multiple;
    if (remainder == 0) {
        return value;
    }
    std::size_t result = 0;
    if (__builtin_add_overflow(value, multiple - remainder, &result)) {
        return std::nullopt;
    }
    return result;
}

bool isPowerOfTwo(std::size_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// A non-negative count from the attributes: absent keys keep the fallback, anything else that is
// not a non-negative number makes the attributes invalid.
bool readCount(const CFDictionary* attributes, const std::string& key, std::size_t& value) {
    if (attributes == nullptr) {
        return true;
    }
    const CFValue* entry = attributes->find(key);
    if (entry == nullptr) {
        return true;
    }
    if (const auto* integer = std::get_if<std::int64_t>(entry)) {
        if (*integer < 0 || static_cast<std::uint64_t>(*integer) > maximumDimension * 16) {
            return false;
        }
        value = static_cast<std::size_t>(*integer);
        return true;
    }
    if (const auto* real = std::get_if<double>(entry)) {
        if (!(*real >= 0) || *real > static_cast<double>(maximumDimension * 16)) {
            return false;
        }
        value = static_cast<std::size_t>(*real);
        return true;
    }
    return false;
}

}  // namespace

CVReturn CVPixelBufferComputeGeometry(std::size_t width, std::size_t height, OSType pixelFormat,
                                      const CFDictionary* attributes,
                                      CVPixelBufferGeometry* geometry) {
    const CVPixelFormatLayout* layout = CVPixelFormatLayoutForType(pixelFormat);
    if (layout == nullptr) {
        return kCVReturnInvalidPixelFormat;
    }
    if (width == 0 || height == 0 || width > maximumDimension || height > maximumDimension) {
        return kCVReturnInvalidSize;
    }
    std::size_t rowAlignment = kCVPixelBufferDefaultBytesPerRowAlignment;
    std::size_t planeAlignment = kCVPixelBufferDefaultPlaneAlignment;
    CVPixelBufferGeometry g;
    if (!readCount(attributes, kCVPixelBufferBytesPerRowAlignmentKey, rowAlignment) ||
        !readCount(attributes, kCVPixelBufferPlaneAlignmentKey, planeAlignment) ||
        !readCount(attributes, kCVPixelBufferExtendedPixelsLeftKey, g.extendedLeft) ||
        !readCount(attributes, kCVPixelBufferExtendedPixelsRightKey, g.extendedRight) ||
        !readCount(attributes, kCVPixelBufferExtendedPixelsTopKey, g.extendedTop) ||
        !readCount(attributes, kCVPixelBufferExtendedPixelsBottomKey, g.extendedBottom)) {
        return kCVReturnInvalidPixelBufferAttributes;
    }
    // An alignment is a minimum: smaller requests get the default.
    rowAlignment = std::max(rowAlignment, kCVPixelBufferDefaultBytesPerRowAlignment);
    planeAlignment = std::max(planeAlignment, kCVPixelBufferDefaultBytesPerRowAlignment);
    if (!isPowerOfTwo(planeAlignment) || rowAlignment > 4096 || planeAlignment > 4096) {
        return kCVReturnInvalidPixelBufferAttributes;
    }
    if (g.extendedLeft > maximumDimension || g.extendedRight > maximumDimension ||
        g.extendedTop > maximumDimension || g.extendedBottom > maximumDimension) {
        return kCVReturnInvalidSize;
    }

    g.width = width;
    g.height = height;
    g.pixelFormat = pixelFormat;
    g.layout = layout;
    g.planeCount = layout->planes.size();
    g.memoryAlignment = planeAlignment;
    const std::size_t paddedWidth = g.extendedLeft + width + g.extendedRight;
    const std::size_t paddedHeight = g.extendedTop + height + g.extendedBottom;

    std::size_t cursor = 0;
    for (std::size_t index = 0; index < layout->planes.size(); ++index) {
        const CVPixelFormatPlaneLayout& planeLayout = layout->planes[index];
        const std::size_t hs = planeLayout.horizontalSubsampling;
        const std::size_t vs = planeLayout.verticalSubsampling;
        const std::size_t bytesPerBlock = planeLayout.bytesPerBlock();
        const std::size_t blocks =
            *roundUp(ceilDiv(ceilDiv(paddedWidth, hs), planeLayout.blockWidth),
                     layout->blockHorizontalAlignment);
        const auto bytesPerRow = roundUp(blocks * bytesPerBlock, rowAlignment);
        const auto planeStart = roundUp(cursor, planeAlignment);
        if (!bytesPerRow || !planeStart) {
            return kCVReturnInvalidSize;
        }
        CVPixelBufferGeometry::Plane& plane = g.planes[index];
        plane.width = ceilDiv(width, hs);
        plane.height = ceilDiv(height, vs);
        plane.bytesPerRow = *bytesPerRow;
        plane.baseOffset = *planeStart + (g.extendedTop / vs) * plane.bytesPerRow +
                           (g.extendedLeft / hs / planeLayout.blockWidth) * bytesPerBlock;
        std::size_t planeSize = 0;
        if (__builtin_mul_overflow(plane.bytesPerRow, ceilDiv(paddedHeight, vs), &planeSize) ||
            __builtin_add_overflow(*planeStart, planeSize, &cursor)) {
            return kCVReturnInvalidSize;
        }
    }
    // Slack after the last plane: vector code reading whole registers at the end of the last
    // row stays inside the allocation. Decoders that write into the buffer read up to a
    // register's width plus 16 bytes past a plane.
    constexpr std::size_t minimumSlack = 128;
    const auto dataSize = roundUp(cursor + std::max(planeAlignment, minimumSlack), planeAlignment);
    if (!dataSize) {
        return kCVReturnInvalidSize;
    }
    g.dataSize = *dataSize;
    *geometry = g;
    return kCVReturnSuccess;
}

std::unique_ptr<CVPixelBuffer> CVPixelBuffer::make(const CVPixelBufferGeometry& geometry) {
    std::uint8_t* memory = allocatePixelMemory(geometry.memoryAlignment, geometry.dataSize);
    if (memory == nullptr) {
        return nullptr;
    }
    // Padding and extended pixels start out defined, so that copying whole rows never reads
    // indeterminate bytes.
    std::memset(memory, 0, geometry.dataSize);
    return std::unique_ptr<CVPixelBuffer>(
        new CVPixelBuffer(geometry, std::unique_ptr<std::uint8_t, FreeMemory>(memory)));
}

CVPixelBuffer::CVPixelBuffer(const CVPixelBufferGeometry& geometry,
                             std::unique_ptr<std::uint8_t, FreeMemory> memory)
    : geometry_(geometry), memory_(std::move(memory)) {}

std::uint8_t* CVPixelBuffer::baseAddressOfPlane(std::size_t plane) const {
    if (plane >= geometry_.planeCount) {
        return nullptr;
    }
    return memory_.get() + geometry_.planes[plane].baseOffset;
}

CVReturn CVPixelBuffer::lockBaseAddress(CVPixelBufferLockFlags flags) {
    if ((flags & ~kCVPixelBufferLock_ReadOnly) != 0) {
        return kCVReturnInvalidArgument;
    }
    std::lock_guard lock(lockMutex_);
    ++((flags & kCVPixelBufferLock_ReadOnly) ? readOnlyLockCount_ : writableLockCount_);
    return kCVReturnSuccess;
}

CVReturn CVPixelBuffer::unlockBaseAddress(CVPixelBufferLockFlags flags) {
    if ((flags & ~kCVPixelBufferLock_ReadOnly) != 0) {
        return kCVReturnInvalidArgument;
    }
    std::lock_guard lock(lockMutex_);
    int& count = (flags & kCVPixelBufferLock_ReadOnly) ? readOnlyLockCount_ : writableLockCount_;
    if (count == 0) {
        return kCVReturnError;
    }
    --count;
    return kCVReturnSuccess;
}

bool CVPixelBuffer::isLocked() const {
    std::lock_guard lock(lockMutex_);
    return readOnlyLockCount_ + writableLockCount_ > 0;
}

void CVPixelBuffer::prepareForReuse(CFDictionaryRef propagated, CFDictionaryRef notPropagated) {
    resetAttachments(std::move(propagated), std::move(notPropagated));
    std::lock_guard lock(lockMutex_);
    readOnlyLockCount_ = 0;
    writableLockCount_ = 0;
}

std::string CVPixelBuffer::description() const {
    return fmt::format("<CVPixelBuffer {}x{} '{}', {} plane(s)>", geometry_.width, geometry_.height,
                       fourCharCodeString(geometry_.pixelFormat), geometry_.planeCount);
}

CVReturn CVPixelBufferCreate(std::size_t width, std::size_t height, OSType pixelFormatType,
                             const CFDictionaryRef& pixelBufferAttributes,
                             CVPixelBufferRef* pixelBufferOut) {
    if (pixelBufferOut == nullptr) {
        return kCVReturnInvalidArgument;
    }
    *pixelBufferOut = nullptr;
    CVPixelBufferGeometry geometry;
    if (CVReturn status = CVPixelBufferComputeGeometry(width, height, pixelFormatType,
                                                       pixelBufferAttributes.get(), &geometry);
        status != kCVReturnSuccess) {
        return status;
    }
    std::unique_ptr<CVPixelBuffer> buffer = CVPixelBuffer::make(geometry);
    if (!buffer) {
        return kCVReturnAllocationFailed;
    }
    if (pixelBufferAttributes) {
        CFDictionaryRef propagated =
            pixelBufferAttributes->dictionaryValue(kCVBufferPropagatedAttachmentsKey);
        CFDictionaryRef notPropagated =
            pixelBufferAttributes->dictionaryValue(kCVBufferNonPropagatedAttachmentsKey);
        if (propagated) {
            buffer->setAttachments(*propagated, kCVAttachmentMode_ShouldPropagate);
        }
        if (notPropagated) {
            buffer->setAttachments(*notPropagated, kCVAttachmentMode_ShouldNotPropagate);
        }
    }
    *pixelBufferOut = CVPixelBufferRef(std::move(buffer));
    return kCVReturnSuccess;
}

std::size_t CVPixelBufferGetWidth(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->width() : 0;
}

std::size_t CVPixelBufferGetHeight(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->height() : 0;
}

OSType CVPixelBufferGetPixelFormatType(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->pixelFormatType() : 0;
}

bool CVPixelBufferIsPlanar(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer && pixelBuffer->isPlanar();
}

std::size_t CVPixelBufferGetPlaneCount(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->planeCount() : 0;
}

void* CVPixelBufferGetBaseAddress(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->baseAddressOfPlane(0) : nullptr;
}

std::size_t CVPixelBufferGetBytesPerRow(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->geometry().planes[0].bytesPerRow : 0;
}

void* CVPixelBufferGetBaseAddressOfPlane(const CVPixelBufferRef& pixelBuffer, std::size_t plane) {
    if (!pixelBuffer || plane >= pixelBuffer->planeCount()) {
        return nullptr;
    }
    return pixelBuffer->baseAddressOfPlane(plane);
}

std::size_t CVPixelBufferGetBytesPerRowOfPlane(const CVPixelBufferRef& pixelBuffer,
                                               std::size_t plane) {
    if (!pixelBuffer || plane >= pixelBuffer->planeCount()) {
        return 0;
    }
    return pixelBuffer->geometry().planes[plane].bytesPerRow;
}

std::size_t CVPixelBufferGetWidthOfPlane(const CVPixelBufferRef& pixelBuffer, std::size_t plane) {
    if (!pixelBuffer || plane >= pixelBuffer->planeCount()) {
        return 0;
    }
    return pixelBuffer->geometry().planes[plane].width;
}

std::size_t CVPixelBufferGetHeightOfPlane(const CVPixelBufferRef& pixelBuffer, std::size_t plane) {
    if (!pixelBuffer || plane >= pixelBuffer->planeCount()) {
        return 0;
    }
    return pixelBuffer->geometry().planes[plane].height;
}

std::size_t CVPixelBufferGetDataSize(const CVPixelBufferRef& pixelBuffer) {
    return pixelBuffer ? pixelBuffer->dataSize() : 0;
}

void CVPixelBufferGetExtendedPixels(const CVPixelBufferRef& pixelBuffer,
                                    std::size_t* extraColumnsOnLeft,
                                    std::size_t* extraColumnsOnRight, std::size_t* extraRowsOnTop,
                                    std::size_t* extraRowsOnBottom) {
    const CVPixelBufferGeometry empty;
    const CVPixelBufferGeometry& g = pixelBuffer ? pixelBuffer->geometry() : empty;
    if (extraColumnsOnLeft != nullptr) {
        *extraColumnsOnLeft = g.extendedLeft;
    }
    if (extraColumnsOnRight != nullptr) {
        *extraColumnsOnRight = g.extendedRight;
    }
    if (extraRowsOnTop != nullptr) {
        *extraRowsOnTop = g.extendedTop;
    }
    if (extraRowsOnBottom != nullptr) {
        *extraRowsOnBottom = g.extendedBottom;
    }
}

CVReturn CVPixelBufferLockBaseAddress(const CVPixelBufferRef& pixelBuffer,
                                      CVPixelBufferLockFlags lockFlags) {
    return pixelBuffer ? pixelBuffer->lockBaseAddress(lockFlags) : kCVReturnInvalidArgument;
}

CVReturn CVPixelBufferUnlockBaseAddress(const CVPixelBufferRef& pixelBuffer,
                                        CVPixelBufferLockFlags unlockFlags) {
    return pixelBuffer ? pixelBuffer->unlockBaseAddress(unlockFlags) : kCVReturnInvalidArgument;
}

CGSize CVImageBufferGetEncodedSize(const CVImageBufferRef& imageBuffer) {
    if (!imageBuffer) {
        return CGSizeZero;
    }
    return {static_cast<CGFloat>(imageBuffer->width()),
            static_cast<CGFloat>(imageBuffer->height())};
}

CGSize CVImageBufferGetDisplaySize(const CVImageBufferRef& imageBuffer) {
    if (!imageBuffer) {
        return CGSizeZero;
    }
    if (auto value = imageBuffer->attachment(kCVImageBufferDisplayDimensionsKey, nullptr)) {
        if (const auto* dimensions = std::get_if<CFDictionaryRef>(&*value);
            dimensions && *dimensions) {
            const auto width = (*dimensions)->doubleValue(kCVImageBufferDisplayWidthKey);
            const auto height = (*dimensions)->doubleValue(kCVImageBufferDisplayHeightKey);
            if (width && height) {
                return {*width, *height};
            }
        }
    }
    return CVImageBufferGetEncodedSize(imageBuffer);
}

CGRect CVImageBufferGetCleanRect(const CVImageBufferRef& imageBuffer) {
    const CGSize size = CVImageBufferGetEncodedSize(imageBuffer);
    return {{0, 0}, size};
}

CGColorSpaceRef CVImageBufferGetColorSpace(const CVImageBufferRef& imageBuffer) {
    if (!imageBuffer) {
        return nullptr;
    }
    if (auto value = imageBuffer->attachment(kCVImageBufferCGColorSpaceKey, nullptr)) {
        if (const auto* object = std::get_if<CFObjectRef>(&*value)) {
            return std::dynamic_pointer_cast<const CGColorSpace>(*object);
        }
    }
    return nullptr;
}

}  // namespace platform
