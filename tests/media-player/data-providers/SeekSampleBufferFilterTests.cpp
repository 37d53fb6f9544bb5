#include <gtest/gtest.h>

#include "media-player/data-providers/SeekSampleBufferFilter.h"
#include "support/VideoFrameFactory.h"

namespace {

using namespace platform;
using quillon::seekSampleBufferFilterAccepts;
using quillon::test::VideoFrameFactory;

bool accepts(CMTime presentationTime, CMTime duration, CMTime target) {
    return seekSampleBufferFilterAccepts(VideoFrameFactory::make(presentationTime, duration),
                                         target);
}

// The buffer that covers the target is the half-open interval [P, P + D).
TEST(SeekSampleBufferFilter, TakesTheBufferCoveringTheTargetAndEveryLaterOne) {
    const CMTime frame = CMTimeMake(40, 1000);
    const CMTime target = CMTimeMake(1000, 1000);
    EXPECT_TRUE(accepts(CMTimeMake(1000, 1000), frame, target));  // starts exactly there
    EXPECT_TRUE(accepts(CMTimeMake(980, 1000), frame, target));   // covers it
    EXPECT_FALSE(accepts(CMTimeMake(960, 1000), frame, target));  // ends exactly there
    EXPECT_FALSE(accepts(CMTimeMake(100, 1000), frame, target));
    EXPECT_TRUE(accepts(CMTimeMake(2000, 1000), frame, target));
    // Other timescales compare by value.
    EXPECT_TRUE(accepts(CMTimeMake(49, 50), CMTimeMake(1, 25), CMTimeMake(1, 1)));
}

TEST(SeekSampleBufferFilter, WithoutAValidEndOnlyALaterStartCountsAndANegativeDurationNeverCovers) {
    const CMTime target = CMTimeMake(1, 1);
    EXPECT_FALSE(accepts(target, kCMTimeInvalid, target));
    EXPECT_TRUE(accepts(CMTimeMake(1001, 1000), kCMTimeInvalid, target));
    EXPECT_FALSE(accepts(CMTimeMake(990, 1000), CMTimeMake(-40, 1000), target));
    EXPECT_TRUE(accepts(CMTimeMake(1010, 1000), CMTimeMake(-40, 1000), target));
    EXPECT_FALSE(accepts(kCMTimeInvalid, CMTimeMake(40, 1000), target));
}

}  // namespace
