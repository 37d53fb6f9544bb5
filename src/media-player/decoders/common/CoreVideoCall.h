#pragma once

#include "media-player/decoders/common/CallSite.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/corevideo/CVPixelBufferPool.h"
#include "platform/corevideo/CVReturn.h"
#include "platform/foundation/Error.h"

namespace quillon {

class FFmpegPixelFormatConverter;

// NSError(domain "com.apple.corevideo", code: the status, no user info).
platform::NSError makeCoreVideoError(platform::CVReturn status);

// Logs "In <file> <function>, the Core Video function at line <line> returned an error: <the
// error's description>." and throws the error of makeCoreVideoError.
[[noreturn]] void reportCoreVideoFailure(platform::CVReturn status, const CallSite& site);

// The checked Core Video calls: each returns what the call made, or logs and throws its failure
// as above.

// A width × height buffer of the converter's destination format.
platform::CVPixelBufferRef createPixelBuffer(int width, int height,
                                             const FFmpegPixelFormatConverter& converter,
                                             const platform::CFDictionaryRef& attributes,
                                             const CallSite& site);
platform::CVPixelBufferPoolRef createPixelBufferPool(
    const platform::CFDictionaryRef& pixelBufferAttributes, const CallSite& site);
platform::CVPixelBufferRef createPixelBufferFromPool(const platform::CVPixelBufferPoolRef& pool,
                                                     const CallSite& site);
// Lock flags 0.
void lockBaseAddress(const platform::CVPixelBufferRef& pixelBuffer, const CallSite& site);
void unlockBaseAddress(const platform::CVPixelBufferRef& pixelBuffer, const CallSite& site);

}  // namespace quillon
