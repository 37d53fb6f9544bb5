#pragma once

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"

namespace quillon::testing {

// A sample buffer of one sample without data, shown at the given time: enough for the decode
// loop, which only passes buffers on.
platform::CMSampleBufferRef makeTestSampleBuffer(
    platform::CMTime presentationTime = platform::kCMTimeZero);

}  // namespace quillon::testing
