#pragma once

#include "platform/foundation/NeverDestroyed.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "platform/corefoundation/CFBase.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/corevideo/CVBuffer.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelFormatLayout.h"
#include "platform/corevideo/CVPixelFormatType.h"
#include "platform/corevideo/CVReturn.h"
#include "platform/graphics/CGGeometry.h"

namespace platform {

using CVPixelBufferLockFlags = CVOptionFlags;
inline constexpr CVPixelBufferLockFlags kCVPixelBufferLock_ReadOnly = 0x00000001;

// Pixel-buffer attribute keys.
inline const std::string& kCVPixelBufferPixelFormatTypeKey =
    platform::neverDestroyedString("PixelFormatType");
inline const std::string& kCVPixelBufferWidthKey = platform::neverDestroyedString("Width");
inline const std::string& kCVPixelBufferHeightKey = platform::neverDestroyedString("Height");
inline const std::string& kCVPixelBufferExtendedPixelsLeftKey =
    platform::neverDestroyedString("ExtendedPixelsLeft");
inline const std::string& kCVPixelBufferExtendedPixelsTopKey =
    platform::neverDestroyedString("ExtendedPixelsTop");
inline const std::string& kCVPixelBufferExtendedPixelsRightKey =
    platform::neverDestroyedString("ExtendedPixelsRight");
inline const std::string& kCVPixelBufferExtendedPixelsBottomKey =
    platform::neverDestroyedString("ExtendedPixelsBottom");
inline const std::string& kCVPixelBufferBytesPerRowAlignmentKey =
    platform::neverDestroyedString("BytesPerRowAlignment");
inline const std::string& kCVPixelBufferPlaneAlignmentKey =
    platform::neverDestroyedString("PlaneAlignment");
// Accepted for the callers' sake; buffers live in ordinary memory here.
inline const std::string& kCVPixelBufferIOSurfacePropertiesKey =
    platform::neverDestroyedString("IOSurfaceProperties");
inline const std::string& kCVPixelBufferIOSurfaceCoreAnimationCompatibilityKey =
    platform::neverDestroyedString("IOSurfaceCoreAnimationCompatibility");
inline const std::string& kCVPixelBufferMetalCompatibilityKey =
    platform::neverDestroyedString("MetalCompatibility");
inline const std::string& kCVPixelBufferOpenGLCompatibilityKey =
    platform::neverDestroyedString("OpenGLCompatibility");
inline const std::string& kCVPixelBufferCGImageCompatibilityKey =
    platform::neverDestroyedString("CGImageCompatibility");
inline const std::string& kCVPixelBufferCGBitmapContextCompatibilityKey =
    platform::neverDestroyedString("CGBitmapContextCompatibility");

// Rows are at least this aligned unless kCVPixelBufferBytesPerRowAlignmentKey asks for more, and
// planes start on this boundary unless kCVPixelBufferPlaneAlignmentKey asks for more.
inline constexpr std::size_t kCVPixelBufferDefaultBytesPerRowAlignment = 16;
inline constexpr std::size_t kCVPixelBufferDefaultPlaneAlignment = 64;

// Where a buffer's planes lie in its memory. Computed once per buffer (or once per pool).
struct CVPixelBufferGeometry {
    struct Plane {
        std::size_t width = 0;
        std::size_t height = 0;
        std::size_t bytesPerRow = 0;
        // Of the first visible pixel, from the start of the buffer's memory.
        std::size_t baseOffset = 0;
    };

    std::size_t width = 0;
    std::size_t height = 0;
    OSType pixelFormat = 0;
    const CVPixelFormatLayout* layout = nullptr;
    std::size_t extendedLeft = 0;
    std::size_t extendedRight = 0;
    std::size_t extendedTop = 0;
    std::size_t extendedBottom = 0;
    std::size_t planeCount = 0;
    std::array<Plane, 4> planes{};
    std::size_t dataSize = 0;
    std::size_t memoryAlignment = kCVPixelBufferDefaultPlaneAlignment;
};

// The geometry of a width × height buffer of pixelFormat under the attributes' alignment and
// extended-pixel keys (attributes may be null); kCVReturnSuccess or the reason it cannot be made.
CVReturn CVPixelBufferComputeGeometry(std::size_t width, std::size_t height, OSType pixelFormat,
                                      const CFDictionary* attributes,
                                      CVPixelBufferGeometry* geometry);

// An image in memory: one block of planes laid out by its pixel format, plus attachments.
class CVPixelBuffer final : public CVBuffer {
public:
    // Allocates the memory of a buffer of that geometry; null when it cannot be had.
    static std::unique_ptr<CVPixelBuffer> make(const CVPixelBufferGeometry& geometry);

    const CVPixelBufferGeometry& geometry() const { return geometry_; }
    std::size_t width() const { return geometry_.width; }
    std::size_t height() const { return geometry_.height; }
    OSType pixelFormatType() const { return geometry_.pixelFormat; }
    bool isPlanar() const { return geometry_.layout->planar; }
    std::size_t planeCount() const { return isPlanar() ? geometry_.planeCount : 0; }
    std::uint8_t* baseAddressOfPlane(std::size_t plane) const;
    std::size_t dataSize() const { return geometry_.dataSize; }

    CVReturn lockBaseAddress(CVPixelBufferLockFlags flags);
    CVReturn unlockBaseAddress(CVPixelBufferLockFlags flags);
    bool isLocked() const;

    std::string description() const override;

private:
    friend class CVPixelBufferPool;
    struct FreeMemory {
        void operator()(std::uint8_t* memory) const { std::free(memory); }
    };

    CVPixelBuffer(const CVPixelBufferGeometry& geometry,
                  std::unique_ptr<std::uint8_t, FreeMemory> memory);
    // Back to the state of a new buffer before a pool hands it out again.
    void prepareForReuse(CFDictionaryRef propagated, CFDictionaryRef notPropagated);

    CVPixelBufferGeometry geometry_;
    std::unique_ptr<std::uint8_t, FreeMemory> memory_;
    mutable std::mutex lockMutex_;
    int readOnlyLockCount_ = 0;
    int writableLockCount_ = 0;
};

using CVPixelBufferRef = std::shared_ptr<CVPixelBuffer>;
using CVImageBufferRef = CVPixelBufferRef;

// Makes a buffer with the attributes' alignment, extended pixels and initial attachments
// (kCVBufferPropagatedAttachmentsKey, kCVBufferNonPropagatedAttachmentsKey); attributes may be
// null.
CVReturn CVPixelBufferCreate(std::size_t width, std::size_t height, OSType pixelFormatType,
                             const CFDictionaryRef& pixelBufferAttributes,
                             CVPixelBufferRef* pixelBufferOut);

std::size_t CVPixelBufferGetWidth(const CVPixelBufferRef& pixelBuffer);
std::size_t CVPixelBufferGetHeight(const CVPixelBufferRef& pixelBuffer);
OSType CVPixelBufferGetPixelFormatType(const CVPixelBufferRef& pixelBuffer);
bool CVPixelBufferIsPlanar(const CVPixelBufferRef& pixelBuffer);
// 0 for a buffer that is not planar.
std::size_t CVPixelBufferGetPlaneCount(const CVPixelBufferRef& pixelBuffer);
// For a planar buffer, those of its first plane.
void* CVPixelBufferGetBaseAddress(const CVPixelBufferRef& pixelBuffer);
std::size_t CVPixelBufferGetBytesPerRow(const CVPixelBufferRef& pixelBuffer);
// 0 or null for a plane the buffer does not have, and for any plane of a buffer that is not
// planar.
void* CVPixelBufferGetBaseAddressOfPlane(const CVPixelBufferRef& pixelBuffer, std::size_t plane);
std::size_t CVPixelBufferGetBytesPerRowOfPlane(const CVPixelBufferRef& pixelBuffer,
                                               std::size_t plane);
std::size_t CVPixelBufferGetWidthOfPlane(const CVPixelBufferRef& pixelBuffer, std::size_t plane);
std::size_t CVPixelBufferGetHeightOfPlane(const CVPixelBufferRef& pixelBuffer, std::size_t plane);
std::size_t CVPixelBufferGetDataSize(const CVPixelBufferRef& pixelBuffer);
void CVPixelBufferGetExtendedPixels(const CVPixelBufferRef& pixelBuffer,
                                    std::size_t* extraColumnsOnLeft,
                                    std::size_t* extraColumnsOnRight, std::size_t* extraRowsOnTop,
                                    std::size_t* extraRowsOnBottom);

// Locks nest; each lock is undone by an unlock with the same flags. Unlocking a buffer that
// holds no lock of that kind returns kCVReturnError.
CVReturn CVPixelBufferLockBaseAddress(const CVPixelBufferRef& pixelBuffer,
                                      CVPixelBufferLockFlags lockFlags);
CVReturn CVPixelBufferUnlockBaseAddress(const CVPixelBufferRef& pixelBuffer,
                                        CVPixelBufferLockFlags unlockFlags);

CGSize CVImageBufferGetEncodedSize(const CVImageBufferRef& imageBuffer);
// The kCVImageBufferDisplayDimensionsKey attachment when present, else the encoded size.
CGSize CVImageBufferGetDisplaySize(const CVImageBufferRef& imageBuffer);
CGRect CVImageBufferGetCleanRect(const CVImageBufferRef& imageBuffer);
// The kCVImageBufferCGColorSpaceKey attachment.
CGColorSpaceRef CVImageBufferGetColorSpace(const CVImageBufferRef& imageBuffer);

}  // namespace platform
