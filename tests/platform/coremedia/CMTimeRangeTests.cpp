#include <gtest/gtest.h>

#include "platform/coremedia/CMTimeRange.h"

using namespace platform;

namespace {

CMTimeRange seconds(CMTimeValue start, CMTimeValue duration) {
    return CMTimeRangeMake(CMTimeMake(start, 1), CMTimeMake(duration, 1));
}

}  // namespace

TEST(CMTimeRange, Validity) {
    static_assert(CMTIMERANGE_IS_VALID(kCMTimeRangeZero) && CMTIMERANGE_IS_EMPTY(kCMTimeRangeZero));
    static_assert(CMTIMERANGE_IS_INVALID(kCMTimeRangeInvalid));
    static_assert(!CMTIMERANGE_IS_EMPTY(kCMTimeRangeInvalid));
    static_assert(CMTIMERANGE_IS_INVALID(CMTimeRangeMake(kCMTimeZero, CMTimeMake(-1, 600))));
    static_assert(CMTIMERANGE_IS_INVALID(CMTimeRangeMake(kCMTimeZero, kCMTimeNegativeInfinity)));
    static_assert(CMTIMERANGE_IS_INVALID(CMTimeRangeMake(kCMTimeInvalid, kCMTimeZero)));
    // A duration lives outside any epoch; the start may have one.
    static_assert(
        CMTIMERANGE_IS_INVALID(CMTimeRangeMake(kCMTimeZero, CMTimeMakeWithEpoch(1, 1, 2))));
    static_assert(CMTIMERANGE_IS_VALID(CMTimeRangeMake(CMTimeMakeWithEpoch(1, 1, 2), kCMTimeZero)));
    static_assert(CMTIMERANGE_IS_EMPTY(CMTimeRangeMake(CMTimeMake(5, 1), CMTimeMake(0, 90000))));
    static_assert(CMTIMERANGE_IS_INDEFINITE(CMTimeRangeMake(kCMTimeZero, kCMTimeIndefinite)));

    EXPECT_EQ(CMTimeRangeGetEnd(CMTimeRangeMake(CMTimeMake(1, 2), CMTimeMake(1, 3))),
              CMTimeMake(5, 6));
    EXPECT_EQ(
        CMTimeRangeGetEnd(CMTimeRangeMake(CMTimeMakeWithEpoch(1, 1, 4), CMTimeMake(1, 1))).epoch,
        4);
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(
        CMTimeRangeGetEnd(CMTimeRangeMake(kCMTimeZero, kCMTimePositiveInfinity))));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeRangeGetEnd(kCMTimeRangeInvalid)));
}

TEST(CMTimeRange, ContainsTimeExcludesTheEnd) {
    const CMTimeRange frame = CMTimeRangeMake(kCMTimeZero, CMTimeMake(1001, 30000));
    EXPECT_TRUE(CMTimeRangeContainsTime(frame, kCMTimeZero));
    EXPECT_TRUE(CMTimeRangeContainsTime(frame, CMTimeMake(1, 30)));
    EXPECT_TRUE(CMTimeRangeContainsTime(frame, CMTimeMake(3002, 90000)));
    EXPECT_FALSE(CMTimeRangeContainsTime(frame, CMTimeMake(3003, 90000)));
    EXPECT_FALSE(CMTimeRangeContainsTime(frame, CMTimeMake(-1, 90000)));
    EXPECT_FALSE(CMTimeRangeContainsTime(frame, kCMTimeInvalid));
    EXPECT_FALSE(CMTimeRangeContainsTime(frame, kCMTimePositiveInfinity));
    EXPECT_FALSE(
        CMTimeRangeContainsTime(CMTimeRangeMake(CMTimeMake(1, 1), kCMTimeZero), CMTimeMake(1, 1)));
    EXPECT_FALSE(CMTimeRangeContainsTime(kCMTimeRangeInvalid, kCMTimeZero));

    const CMTimeRange forever = CMTimeRangeMake(kCMTimeZero, kCMTimePositiveInfinity);
    EXPECT_TRUE(CMTimeRangeContainsTime(forever, CMTimeMake(INT64_MAX, 1)));
    EXPECT_FALSE(CMTimeRangeContainsTime(forever, kCMTimePositiveInfinity));

    // The same instants in another loop pass are outside.
    EXPECT_FALSE(CMTimeRangeContainsTime(frame, CMTimeMakeWithEpoch(0, 1, 1)));
}

TEST(CMTimeRange, ContainsTimeRange) {
    const CMTimeRange range = seconds(10, 10);
    EXPECT_TRUE(CMTimeRangeContainsTimeRange(range, range));
    EXPECT_TRUE(CMTimeRangeContainsTimeRange(range, seconds(12, 8)));
    EXPECT_TRUE(CMTimeRangeContainsTimeRange(range, seconds(20, 0)));
    EXPECT_FALSE(CMTimeRangeContainsTimeRange(range, seconds(12, 9)));
    EXPECT_FALSE(CMTimeRangeContainsTimeRange(range, seconds(9, 2)));
    EXPECT_FALSE(CMTimeRangeContainsTimeRange(seconds(12, 8), range));
    EXPECT_FALSE(CMTimeRangeContainsTimeRange(range, kCMTimeRangeInvalid));
}

TEST(CMTimeRange, IntersectionAndUnion) {
    EXPECT_EQ(CMTimeRangeGetIntersection(seconds(0, 10), seconds(5, 10)), seconds(5, 5));
    EXPECT_EQ(CMTimeRangeGetIntersection(seconds(0, 10), seconds(2, 3)), seconds(2, 3));
    EXPECT_EQ(CMTimeRangeGetIntersection(CMTimeRangeMake(CMTimeMake(1, 3), kCMTimePositiveInfinity),
                                         seconds(0, 1)),
              CMTimeRangeMake(CMTimeMake(1, 3), CMTimeMake(2, 3)));
    // Disjoint and merely touching ranges share nothing.
    const CMTimeRange disjoint = CMTimeRangeGetIntersection(seconds(0, 1), seconds(5, 1));
    EXPECT_TRUE(CMTIMERANGE_IS_EMPTY(disjoint));
    EXPECT_EQ(disjoint, kCMTimeRangeZero);
    EXPECT_EQ(CMTimeRangeGetIntersection(seconds(0, 1), seconds(1, 1)), kCMTimeRangeZero);
    EXPECT_TRUE(
        CMTIMERANGE_IS_INVALID(CMTimeRangeGetIntersection(seconds(0, 1), kCMTimeRangeInvalid)));

    EXPECT_EQ(CMTimeRangeGetUnion(seconds(0, 1), seconds(5, 1)), seconds(0, 6));
    EXPECT_EQ(CMTimeRangeGetUnion(seconds(3, 10), seconds(0, 5)), seconds(0, 13));
    EXPECT_TRUE(CMTIMERANGE_IS_INVALID(CMTimeRangeGetUnion(kCMTimeRangeInvalid, seconds(0, 1))));
}

TEST(CMTimeRange, EqualityAndDescription) {
    EXPECT_TRUE(CMTimeRangeEqual(CMTimeRangeMake(CMTimeMake(0, 1), CMTimeMake(1, 2)),
                                 CMTimeRangeMake(CMTimeMake(0, 600), CMTimeMake(300, 600))));
    EXPECT_FALSE(CMTimeRangeEqual(seconds(0, 1), seconds(0, 2)));
    EXPECT_FALSE(CMTimeRangeEqual(seconds(0, 1), seconds(1, 1)));
    EXPECT_EQ(CMTimeRangeCopyDescription(seconds(0, 1)), "{{0/1 = 0.000}, {1/1 = 1.000}}");
    EXPECT_EQ(fmt::format("{}", kCMTimeRangeInvalid), "{INVALID, INVALID}");
}
