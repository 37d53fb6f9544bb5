#include "media-player/renderers/QLSampleBufferDisplayLayer.h"

#include <string>

#include "platform/corevideo/CVImageBuffer.h"
#include "platform/private-interfaces/IOSurface.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"

namespace quillon {

namespace {

void copyBT2020MatrixToSurface(const platform::CMSampleBufferRef& sampleBuffer) {
    const platform::CVPixelBufferRef pixelBuffer =
        platform::CMSampleBufferGetImageBuffer(sampleBuffer);
    if (!pixelBuffer) {
        return;
    }
    const platform::IOSurfaceRef surface = platform::CVPixelBufferGetIOSurface(pixelBuffer);
    if (!surface) {
        return;
    }
    const auto matrix =
        platform::CVBufferGetAttachment(pixelBuffer, platform::kCVImageBufferYCbCrMatrixKey);
    if (!matrix) {
        return;
    }
    const auto* matrixString = std::get_if<std::string>(&*matrix);
    if (matrixString == nullptr ||
        *matrixString != platform::kCVImageBufferYCbCrMatrix_ITU_R_2020) {
        return;
    }
    // Whether the surface took it changes nothing: the frame is queued either way.
    (void)QLIOSurfaceSetYCbCrMatrix(
        surface, static_cast<std::uint32_t>(
                     platform::CVYCbCrMatrixGetIntegerCodePointForString(*matrixString)));
}

}  // namespace

void QLSampleBufferDisplayLayer::enqueueSampleBuffer(
    const platform::CMSampleBufferRef& sampleBuffer) {
    copyBT2020MatrixToSurface(sampleBuffer);
    platform::AVSampleBufferDisplayLayer::enqueueSampleBuffer(sampleBuffer);
}

}  // namespace quillon
