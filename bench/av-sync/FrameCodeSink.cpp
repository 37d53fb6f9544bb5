#include "FrameCodeSink.h"

#include <algorithm>
#include <limits>

#include "platform/clock/CMClock.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon::bench {

namespace {

constexpr std::size_t kCodeBandRows = 32;
constexpr std::size_t kCodeBlockWidth = 48;
// Video-range luma of the white and black blocks is 235 and 16.
constexpr int kBitThreshold = 128;

bool hasLeadingLumaPlane(platform::OSType format) {
    using namespace platform;
    return format == kCVPixelFormatType_420YpCbCr8Planar ||
           format == kCVPixelFormatType_420YpCbCr8PlanarFullRange ||
           format == kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange ||
           format == kCVPixelFormatType_420YpCbCr8BiPlanarFullRange;
}

}  // namespace

std::int64_t readFrameCode(const platform::CMSampleBufferRef& frame) {
    using namespace platform;
    const CVPixelBufferRef pixels = CMSampleBufferGetImageBuffer(frame);
    if (!pixels || !hasLeadingLumaPlane(CVPixelBufferGetPixelFormatType(pixels))) {
        return -1;
    }
    const std::size_t width = CVPixelBufferGetWidthOfPlane(pixels, 0);
    const std::size_t height = CVPixelBufferGetHeightOfPlane(pixels, 0);
    if (height < kCodeBandRows || width < kCodeBlockWidth) {
        return -1;
    }
    if (CVPixelBufferLockBaseAddress(pixels, kCVPixelBufferLock_ReadOnly) != kCVReturnSuccess) {
        return -1;
    }
    const auto* luma =
        static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixels, 0));
    const std::size_t stride = CVPixelBufferGetBytesPerRowOfPlane(pixels, 0);
    const std::uint8_t* row = luma + (height - kCodeBandRows / 2) * stride;
    std::int64_t code = 0;
    const std::size_t bits = std::min<std::size_t>(width / kCodeBlockWidth, 30);
    for (std::size_t bit = 0; bit < bits; ++bit) {
        if (row[bit * kCodeBlockWidth + kCodeBlockWidth / 2] > kBitThreshold) {
            code |= std::int64_t{1} << bit;
        }
    }
    CVPixelBufferUnlockBaseAddress(pixels, kCVPixelBufferLock_ReadOnly);
    return code;
}

FrameCodeSink::FrameCodeSink() {
    // Room for several minutes of pictures, so that the sink does not allocate while the layer
    // waits for it.
    entries_.reserve(16384);
}

void FrameCodeSink::displayFrame(const platform::CMSampleBufferRef& frame, platform::CMTime,
                                 platform::CMTime hostTime) {
    Entry entry;
    entry.hostNanoseconds = platform::CMClockConvertHostTimeToNanoseconds(hostTime);
    entry.presentationTime = std::numeric_limits<double>::quiet_NaN();
    if (frame) {
        const platform::CMTime time = platform::CMSampleBufferGetPresentationTimeStamp(frame);
        if (CMTIME_IS_NUMERIC(time)) {
            entry.presentationTime = platform::CMTimeGetSeconds(time);
        }
        entry.code = readFrameCode(frame);
    }
    std::lock_guard lock(mutex_);
    entries_.push_back(entry);
}

std::vector<FrameCodeSink::Entry> FrameCodeSink::entries() const {
    std::lock_guard lock(mutex_);
    return entries_;
}

}  // namespace quillon::bench
