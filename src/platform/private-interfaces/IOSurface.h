#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/corevideo/CVPixelBuffer.h"

namespace platform {

using kern_return_t = int;
inline constexpr kern_return_t KERN_SUCCESS = 0;

// A shared picture surface of the window server (IOSurface). Pixel buffers here live in ordinary
// memory, so on this system no pixel buffer has one; stand-ins in tests make them.
class IOSurface {
public:
    explicit IOSurface(std::uint32_t surfaceID) : surfaceID_(surfaceID) {}
    std::uint32_t surfaceID() const { return surfaceID_; }

private:
    std::uint32_t surfaceID_;
};

using IOSurfaceRef = std::shared_ptr<IOSurface>;

using CVPixelBufferGetIOSurfaceFunction = std::function<IOSurfaceRef(const CVPixelBufferRef&)>;
// The private setter of a surface's YCbCr matrix (a code point of ITU-T H.273).
using IOSurfaceSetYCbCrMatrixFunction = std::function<kern_return_t(IOSurfaceRef, std::uint32_t)>;

// The surface behind a pixel buffer, or null (always null on this system).
IOSurfaceRef CVPixelBufferGetIOSurface(const CVPixelBufferRef& pixelBuffer);

// The ITU-T H.273 matrix code point of a kCVImageBufferYCbCrMatrixKey value: 1 for BT.709, 6 for
// BT.601, 7 for SMPTE 240M, 9 for BT.2020, 2 (unspecified) for anything else.
int CVYCbCrMatrixGetIntegerCodePointForString(const std::string& yCbCrMatrixString);

}  // namespace platform
