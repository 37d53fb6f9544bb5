#include "media-player/decoders/common/CoreVideoCall.h"

#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "platform/foundation/Log.h"

namespace quillon {

using namespace platform;

NSError makeCoreVideoError(CVReturn status) {
    return NSError(kCVReturnErrorDomain, status);
}

void reportCoreVideoFailure(CVReturn status, const CallSite& site) {
    NSError error = makeCoreVideoError(status);
    logFailure(FailingLibrary::CoreVideo, site.file, site.function, site.line,
               error.debugDescription());
    throw error;
}

CVPixelBufferRef createPixelBuffer(int width, int height,
                                   const FFmpegPixelFormatConverter& converter,
                                   const CFDictionaryRef& attributes, const CallSite& site) {
    if (width < 0 || height < 0) {
        reportCoreVideoFailure(kCVReturnInvalidSize, site);
    }
    CVPixelBufferRef buffer;
    if (CVReturn status =
            CVPixelBufferCreate(static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                                converter.destinationPixelFormat(), attributes, &buffer);
        status != kCVReturnSuccess) {
        reportCoreVideoFailure(status, site);
    }
    return buffer;
}

CVPixelBufferPoolRef createPixelBufferPool(const CFDictionaryRef& pixelBufferAttributes,
                                           const CallSite& site) {
    CVPixelBufferPoolRef pool;
    if (CVReturn status = CVPixelBufferPoolCreate(nullptr, pixelBufferAttributes, &pool);
        status != kCVReturnSuccess) {
        reportCoreVideoFailure(status, site);
    }
    return pool;
}

CVPixelBufferRef createPixelBufferFromPool(const CVPixelBufferPoolRef& pool, const CallSite& site) {
    CVPixelBufferRef buffer;
    if (CVReturn status = CVPixelBufferPoolCreatePixelBuffer(pool, &buffer);
        status != kCVReturnSuccess) {
        reportCoreVideoFailure(status, site);
    }
    return buffer;
}

void lockBaseAddress(const CVPixelBufferRef& pixelBuffer, const CallSite& site) {
    if (CVReturn status = CVPixelBufferLockBaseAddress(pixelBuffer, 0);
        status != kCVReturnSuccess) {
        reportCoreVideoFailure(status, site);
    }
}

void unlockBaseAddress(const CVPixelBufferRef& pixelBuffer, const CallSite& site) {
    if (CVReturn status = CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
        status != kCVReturnSuccess) {
        reportCoreVideoFailure(status, site);
    }
}

}  // namespace quillon
