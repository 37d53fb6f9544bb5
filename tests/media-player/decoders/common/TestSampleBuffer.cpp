#include "TestSampleBuffer.h"

#include <stdexcept>

namespace quillon::testing {

platform::CMSampleBufferRef makeTestSampleBuffer(platform::CMTime presentationTime) {
    platform::CMSampleTimingInfo timing;
    timing.presentationTimeStamp = presentationTime;
    platform::CMSampleBufferRef buffer;
    if (platform::CMSampleBufferCreateReady(nullptr, nullptr, 1, 1, &timing, 0, nullptr, &buffer) !=
        platform::noErr) {
        throw std::runtime_error("cannot make a test sample buffer");
    }
    return buffer;
}

}  // namespace quillon::testing
