#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMVideoFormatDescription.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon::test {

// Video frames made directly (no decoder): a 4:2:0 bi-planar picture of one flat colour, given
// as Y, Cb and Cr, with its timing.
struct VideoFrameFactory {
    static platform::CMSampleBufferRef make(
        platform::CMTime presentationTime, platform::CMTime duration, std::size_t width = 64,
        std::size_t height = 36, std::uint8_t y = 128, std::uint8_t cb = 128, std::uint8_t cr = 128,
        platform::OSType format = platform::kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange) {
        using namespace platform;
        CVPixelBufferRef pixelBuffer;
        EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &pixelBuffer),
                  kCVReturnSuccess);
        CVPixelBufferLockBaseAddress(pixelBuffer, 0);
        for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(pixelBuffer, 0); ++row) {
            auto* line =
                static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, 0)) +
                row * CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, 0);
            std::memset(line, y, CVPixelBufferGetWidthOfPlane(pixelBuffer, 0));
        }
        for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(pixelBuffer, 1); ++row) {
            auto* line =
                static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, 1)) +
                row * CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, 1);
            for (std::size_t column = 0; column < CVPixelBufferGetWidthOfPlane(pixelBuffer, 1);
                 ++column) {
                line[2 * column] = cb;
                line[2 * column + 1] = cr;
            }
        }
        CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
        return wrap(pixelBuffer, presentationTime, duration);
    }

    static platform::CMSampleBufferRef wrap(const platform::CVPixelBufferRef& pixelBuffer,
                                            platform::CMTime presentationTime,
                                            platform::CMTime duration) {
        using namespace platform;
        CMVideoFormatDescriptionRef description;
        EXPECT_EQ(CMVideoFormatDescriptionCreateForImageBuffer(pixelBuffer, &description), noErr);
        const CMSampleTimingInfo timing{duration, presentationTime, kCMTimeInvalid};
        CMSampleBufferRef sampleBuffer;
        EXPECT_EQ(CMSampleBufferCreateReadyWithImageBuffer(pixelBuffer, description, &timing,
                                                           &sampleBuffer),
                  noErr);
        return sampleBuffer;
    }

    // Frame n of a 25 frames-per-second run.
    static platform::CMSampleBufferRef frame(int n) {
        return make(platform::CMTimeMake(n, 25), platform::CMTimeMake(1, 25));
    }
};

}  // namespace quillon::test
