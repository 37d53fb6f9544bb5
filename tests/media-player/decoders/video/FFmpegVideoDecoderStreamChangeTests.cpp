#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

// The stream shrinks from 160x90 to 64x48 halfway; only the first size is announced. Each picture
// must come out at its own size with its own pixels: buffers of the old size would be read past
// the new frames' memory.
TEST(FFmpegVideoDecoderStreamChange, FollowsAPictureSizeChangeMidStream) {
    const std::string path = mediaPath("size-change-h264.mkv");
    const DecodedVideo video = decodeWholeFile(path);
    const auto reference = referenceFrames(path);
    ASSERT_EQ(video.sampleBuffers.size(), reference.size());

    std::size_t large = 0;
    std::size_t small = 0;
    for (std::size_t index = 0; index < video.sampleBuffers.size(); ++index) {
        SCOPED_TRACE(::testing::Message() << "picture " << index);
        const CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(video.sampleBuffers[index]);
        const std::size_t width = CVPixelBufferGetWidth(buffer);
        // No picture of the second size comes before one of the first.
        if (width == 160u) {
            EXPECT_EQ(small, 0u);
            ++large;
        } else {
            EXPECT_EQ(width, 64u);
            ++small;
        }
        EXPECT_TRUE(samePixels(buffer, expectedPixelBuffer(*reference[index])));
    }
    EXPECT_GT(large, 0u);
    EXPECT_GT(small, 0u);
    EXPECT_TRUE(contiguousPresentationTimes(video.sampleBuffers));

    const auto& output = video.decoder->pixelBufferOutput();
    EXPECT_EQ(output.ffmpegPixelFormatConverter().width(), 64);
    EXPECT_EQ(output.ffmpegPixelFormatConverter().height(), 48);
    EXPECT_EQ(output.pixelBufferPool()->geometry().width, 64u);
}

}  // namespace
