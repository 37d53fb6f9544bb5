#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/video/CMSampleBufferFFmpegVideo.h"
#include "platform/coremedia/CMVideoFormatDescription.h"
#include "platform/corevideo/CVPixelFormatType.h"

using namespace quillon;
using namespace platform;

namespace {

class SampleBufferFromFrame : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(CVPixelBufferCreate(16, 8, kCVPixelFormatType_32BGRA, nullptr, &pixelBuffer),
                  kCVReturnSuccess);
        frame.reset(av_frame_alloc());
    }

    CMSampleBufferRef make(std::optional<CMTime> guess = std::nullopt,
                           AVRational timeBase = {1, 30000}) {
        return makeSampleBuffer(pixelBuffer, *frame, timeBase, guess);
    }

    CVPixelBufferRef pixelBuffer;
    AVFramePointer frame;
};

TEST_F(SampleBufferFromFrame, TimesThePictureInTheStreamTimeBase) {
    frame->best_effort_timestamp = 3003;
    frame->pkt_duration = 1001;
    const CMSampleBufferRef sampleBuffer = make();
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(sampleBuffer),
                            CMTimeMake(3003, 30000)),
              0);
    EXPECT_EQ(CMSampleBufferGetPresentationTimeStamp(sampleBuffer).timescale, 30000);
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetDuration(sampleBuffer), CMTimeMake(1001, 30000)), 0);
    EXPECT_TRUE(CMTIME_IS_INVALID(CMSampleBufferGetDecodeTimeStamp(sampleBuffer)));
    EXPECT_EQ(CMSampleBufferGetImageBuffer(sampleBuffer), pixelBuffer);
    EXPECT_TRUE(CMVideoFormatDescriptionMatchesImageBuffer(
        CMSampleBufferGetFormatDescription(sampleBuffer), pixelBuffer));

    // A time base whose numerator is not 1 scales the value.
    frame->best_effort_timestamp = 3;
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(make(std::nullopt, {2, 25})),
                            CMTimeMake(6, 25)),
              0);
}

TEST_F(SampleBufferFromFrame, UsesTheGuessOnlyForAPictureWithoutTime) {
    frame->best_effort_timestamp = AV_NOPTS_VALUE;
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(make(CMTimeMake(7, 10))),
                            CMTimeMake(7, 10)),
              0);
    try {
        make();
        ADD_FAILURE() << "a picture without any time got a sample buffer";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error.kind(), FFmpegError::Kind::noPresentationTimestamp);
    }
    // A time that does not fit in a CMTime counts as missing.
    frame->best_effort_timestamp = std::numeric_limits<std::int64_t>::max() / 2;
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(make(CMTimeMake(7, 10), {3, 1})),
                            CMTimeMake(7, 10)),
              0);
    // So does any time in a time base with a zero term.
    frame->best_effort_timestamp = 5;
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(make(CMTimeMake(7, 10), {0, 1})),
                            CMTimeMake(7, 10)),
              0);
}

TEST_F(SampleBufferFromFrame, LeavesDurationsThatAreNotPositiveInvalid) {
    frame->best_effort_timestamp = 0;
    for (std::int64_t duration : {std::int64_t{0}, std::int64_t{-5}, AV_NOPTS_VALUE}) {
        frame->pkt_duration = duration;
        EXPECT_TRUE(CMTIME_IS_INVALID(CMSampleBufferGetDuration(make()))) << duration;
    }
}

}  // namespace
