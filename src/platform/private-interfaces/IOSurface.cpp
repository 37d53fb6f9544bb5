#include "platform/private-interfaces/IOSurface.h"

#include "platform/corevideo/CVImageBuffer.h"
#include "platform/private-interfaces/DynamicSymbols.h"

namespace platform {

IOSurfaceRef CVPixelBufferGetIOSurface(const CVPixelBufferRef& pixelBuffer) {
    const auto function =
        DynamicSymbols::lookup<CVPixelBufferGetIOSurfaceFunction>("CVPixelBufferGetIOSurface");
    return function && pixelBuffer ? (*function)(pixelBuffer) : nullptr;
}

int CVYCbCrMatrixGetIntegerCodePointForString(const std::string& yCbCrMatrixString) {
    if (yCbCrMatrixString == kCVImageBufferYCbCrMatrix_ITU_R_709_2) {
        return 1;
    }
    if (yCbCrMatrixString == kCVImageBufferYCbCrMatrix_ITU_R_601_4) {
        return 6;
    }
    if (yCbCrMatrixString == kCVImageBufferYCbCrMatrix_SMPTE_240M_1995) {
        return 7;
    }
    if (yCbCrMatrixString == kCVImageBufferYCbCrMatrix_ITU_R_2020) {
        return 9;
    }
    return 2;
}

}  // namespace platform
