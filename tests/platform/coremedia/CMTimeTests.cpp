#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/coremedia/CMTime.h"

using namespace platform;

namespace {

constexpr CMTimeValue kMax = std::numeric_limits<CMTimeValue>::max();
constexpr CMTimeValue kMin = std::numeric_limits<CMTimeValue>::min();

// Field-by-field identity, for checks where == (an exact rational comparison) would hide a
// wrong timescale or a lost flag.
void expectIdentical(CMTime actual, CMTime expected) {
    EXPECT_EQ(actual.value, expected.value) << CMTimeCopyDescription(actual);
    EXPECT_EQ(actual.timescale, expected.timescale) << CMTimeCopyDescription(actual);
    EXPECT_EQ(actual.flags, expected.flags) << CMTimeCopyDescription(actual);
    EXPECT_EQ(actual.epoch, expected.epoch) << CMTimeCopyDescription(actual);
}

CMTime rounded(CMTime time) {
    time.flags |= kCMTimeFlags_HasBeenRounded;
    return time;
}

}  // namespace

TEST(CMTime, ConstantsAndPredicates) {
    static_assert(CMTIME_IS_INVALID(CMTime{}));
    static_assert(CMTIME_IS_INVALID(CMTimeMake(1, 0)) && CMTIME_IS_INVALID(CMTimeMake(1, -600)));
    static_assert(CMTIME_IS_NUMERIC(kCMTimeZero) && !CMTIME_HAS_BEEN_ROUNDED(kCMTimeZero));
    static_assert(CMTIME_IS_POSITIVE_INFINITY(kCMTimePositiveInfinity) &&
                  !CMTIME_IS_NUMERIC(kCMTimePositiveInfinity));
    static_assert(CMTIME_IS_NEGATIVE_INFINITY(kCMTimeNegativeInfinity));
    static_assert(CMTIME_IS_INDEFINITE(kCMTimeIndefinite) && CMTIME_IS_VALID(kCMTimeIndefinite));
    // Flags without Valid mean nothing.
    static_assert(!CMTIME_IS_POSITIVE_INFINITY(CMTime{0, 0, kCMTimeFlags_PositiveInfinity, 0}));

    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(kCMTimeInvalid)));
    EXPECT_TRUE(std::isnan(CMTimeGetSeconds(kCMTimeIndefinite)));
    EXPECT_EQ(CMTimeGetSeconds(kCMTimePositiveInfinity), HUGE_VAL);
    EXPECT_EQ(CMTimeGetSeconds(kCMTimeNegativeInfinity), -HUGE_VAL);
    EXPECT_DOUBLE_EQ(CMTimeGetSeconds(CMTimeMakeWithEpoch(-3, 4, 9)), -0.75);
}

TEST(CMTimeCompare, OrdersEveryKindAndEpochsBeforeValues) {
    // -infinity < numeric < indefinite < +infinity < invalid, whatever the fields hold.
    std::vector<CMTime> times{kCMTimeInvalid,      kCMTimePositiveInfinity,
                              kCMTimeIndefinite,   CMTimeMake(kMax, 1),
                              CMTimeMake(kMin, 1), kCMTimeNegativeInfinity};
    std::vector<CMTime> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    std::reverse(times.begin(), times.end());
    for (size_t i = 0; i < times.size(); ++i) {
        expectIdentical(sorted[i], times[i]);
    }
    EXPECT_EQ(CMTimeCompare(kCMTimeInvalid, CMTime{5, 0, 0, 3}), 0);
    EXPECT_EQ(CMTimeCompare(kCMTimeIndefinite,
                            CMTime{7, 9, kCMTimeFlags_Valid | kCMTimeFlags_Indefinite, 2}),
              0);

    // Epochs first, then the value.
    EXPECT_GT(CMTimeMakeWithEpoch(0, 1, 1), CMTimeMakeWithEpoch(1'000'000, 1, 0));
    EXPECT_LT(CMTimeMakeWithEpoch(5, 1, -1), CMTimeMakeWithEpoch(-5, 1, 0));
    EXPECT_NE(CMTimeMakeWithEpoch(1, 1, 1), CMTimeMake(1, 1));
}

TEST(CMTimeCompare, IsExactAcrossTimescales) {
    EXPECT_LT(CMTimeMake(333'333'333, 1'000'000'000), CMTimeMake(1, 3));
    EXPECT_NE(CMTimeMake(333'333'333, 1'000'000'000), CMTimeMake(1, 3));
    EXPECT_EQ(CMTimeMake(1, 30), CMTimeMake(1000, 30000));
    EXPECT_GT(CMTimeMake(1001, 30000), CMTimeMake(1, 30));
    EXPECT_EQ(CMTimeMake(3003, 90000), CMTimeMake(1001, 30000));
    EXPECT_LT(CMTimeMake(3003, 90000), CMTimeMake(1602, 48000));
    EXPECT_EQ(CMTimeMake(90000, 90000), CMTimeMake(48000, 48000));
    // Products beyond 64 bits still compare exactly.
    EXPECT_LT(CMTimeMake(kMax - 1, kCMTimeMaxTimescale), CMTimeMake(kMax, kCMTimeMaxTimescale));
    EXPECT_GT(CMTimeMake(kMax, kCMTimeMaxTimescale - 1), CMTimeMake(kMax, kCMTimeMaxTimescale));
    EXPECT_LT(CMTimeMake(kMin, 3), CMTimeMake(kMin + 1, 3));
    EXPECT_TRUE(CMTimeMake(1, 2) <= CMTimeMake(2, 4) && CMTimeMake(1, 2) >= CMTimeMake(2, 4));
    EXPECT_EQ(CMTimeMake(1, 2) <=> CMTimeMake(2, 4), std::weak_ordering::equivalent);
}

TEST(CMTimeAddSubtract, NonNumericOperands) {
    const CMTime one = CMTimeMake(1, 1);
    EXPECT_TRUE(CMTIME_IS_INVALID(kCMTimeInvalid + one));
    EXPECT_TRUE(CMTIME_IS_INVALID(one - kCMTimeInvalid));
    EXPECT_TRUE(CMTIME_IS_INVALID(kCMTimePositiveInfinity + kCMTimeInvalid));
    EXPECT_TRUE(CMTIME_IS_INVALID(kCMTimePositiveInfinity + kCMTimeNegativeInfinity));
    EXPECT_TRUE(CMTIME_IS_INVALID(kCMTimeNegativeInfinity + kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_INVALID(kCMTimePositiveInfinity - kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_INVALID(kCMTimeNegativeInfinity - kCMTimeNegativeInfinity));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(kCMTimePositiveInfinity + kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(kCMTimePositiveInfinity - kCMTimeNegativeInfinity));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(kCMTimeNegativeInfinity - kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(one + kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(one - kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(one - kCMTimeNegativeInfinity));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(kCMTimeIndefinite + kCMTimePositiveInfinity));
    EXPECT_TRUE(CMTIME_IS_INDEFINITE(kCMTimeIndefinite + one));
    EXPECT_TRUE(CMTIME_IS_INDEFINITE(one - kCMTimeIndefinite));
    // A hand-made "valid" time without a timescale has no value.
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTime{1, 0, kCMTimeFlags_Valid, 0} + one));
}

TEST(CMTimeAddSubtract, MixedTimescalesAreExactInTheCommonMultiple) {
    expectIdentical(CMTimeMake(1, 3) + CMTimeMake(1, 2), CMTimeMake(5, 6));
    expectIdentical(CMTimeMake(1, 3) - CMTimeMake(1, 2), CMTimeMake(-1, 6));
    expectIdentical(CMTimeMake(1001, 30000) + CMTimeMake(1, 30), CMTimeMake(2001, 30000));
    expectIdentical(CMTimeMake(3003, 90000) + CMTimeMake(1024, 48000), CMTimeMake(39384, 720000));
    expectIdentical(CMTimeMake(3003, 90000) - CMTimeMake(1602, 48000), CMTimeMake(-6, 720000));

    // Two large primes: their multiple exceeds any timescale, so the sum is rounded into the
    // finest one.
    const CMTime sum = CMTimeMake(1, 1'000'000'007) + CMTimeMake(1, 1'000'000'009);
    EXPECT_EQ(sum.timescale, kCMTimeMaxTimescale);
    EXPECT_EQ(sum.value, 4);
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(sum));

    // A rounded operand marks the result.
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(rounded(CMTimeMake(1, 2)) + CMTimeMake(1, 2)));
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(CMTimeMake(1, 3) - rounded(CMTimeMake(1, 2))));
}

TEST(CMTimeAddSubtract, OverflowHalvesTheTimescaleThenSaturates) {
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMake(kMax, 1) + CMTimeMake(1, 1)));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeMake(kMin, 1) - CMTimeMake(1, 1)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMake(kMax, 1) - CMTimeMake(kMin, 1)));
    // (2^63 + 1)/2 seconds: at timescale 1 that is 2^62 + 1/2, rounded half away from zero.
    expectIdentical(CMTimeMake(kMax, 2) + CMTimeMake(2, 2),
                    rounded(CMTimeMake((CMTimeValue{1} << 62) + 1, 1)));
    expectIdentical(CMTimeMake(kMin, 2) - CMTimeMake(1, 2),
                    rounded(CMTimeMake(-(CMTimeValue{1} << 62) - 1, 1)));
    // Exact after halving: no rounding flag.
    expectIdentical(CMTimeMake(kMax - 1, 4) + CMTimeMake(2, 4), CMTimeMake(kMax / 2 + 1, 2));
    // Right at the edge nothing changes.
    expectIdentical(CMTimeMake(kMax - 1, 600) + CMTimeMake(1, 600), CMTimeMake(kMax, 600));
}

TEST(CMTimeAddSubtract, Epochs) {
    const CMTime timeInLoop3 = CMTimeMakeWithEpoch(10, 1, 3);
    expectIdentical(timeInLoop3 + CMTimeMake(1, 2), CMTimeMakeWithEpoch(21, 2, 3));
    expectIdentical(CMTimeMake(1, 2) + timeInLoop3, CMTimeMakeWithEpoch(21, 2, 3));
    expectIdentical(timeInLoop3 - CMTimeMake(4, 1), CMTimeMakeWithEpoch(6, 1, 3));
    expectIdentical(timeInLoop3 - CMTimeMakeWithEpoch(4, 1, 3), CMTimeMake(6, 1));
    EXPECT_TRUE(CMTIME_IS_INVALID(timeInLoop3 - CMTimeMakeWithEpoch(4, 1, 4)));
    EXPECT_TRUE(CMTIME_IS_INVALID(timeInLoop3 + CMTimeMakeWithEpoch(4, 1, 4)));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMake(4, 1) - timeInLoop3));
}

TEST(CMTimeConvertScale, EveryRoundingModeOnPositiveAndNegativeHalves) {
    struct Case {
        CMTimeValue value;
        CMTimeScale from;
        CMTimeScale to;
        CMTimeRoundingMethod method;
        CMTimeValue expected;
    };
    const Case cases[] = {
        {15, 10, 1, kCMTimeRoundingMethod_RoundHalfAwayFromZero, 2},
        {-15, 10, 1, kCMTimeRoundingMethod_RoundHalfAwayFromZero, -2},
        {14, 10, 1, kCMTimeRoundingMethod_RoundHalfAwayFromZero, 1},
        {-16, 10, 1, kCMTimeRoundingMethod_RoundHalfAwayFromZero, -2},
        {15, 10, 1, kCMTimeRoundingMethod_RoundTowardZero, 1},
        {-15, 10, 1, kCMTimeRoundingMethod_RoundTowardZero, -1},
        {11, 10, 1, kCMTimeRoundingMethod_RoundAwayFromZero, 2},
        {-11, 10, 1, kCMTimeRoundingMethod_RoundAwayFromZero, -2},
        {15, 10, 1, kCMTimeRoundingMethod_RoundTowardPositiveInfinity, 2},
        {-15, 10, 1, kCMTimeRoundingMethod_RoundTowardPositiveInfinity, -1},
        {15, 10, 1, kCMTimeRoundingMethod_RoundTowardNegativeInfinity, 1},
        {-15, 10, 1, kCMTimeRoundingMethod_RoundTowardNegativeInfinity, -2},
        // Toward zero when losing precision, away from zero when gaining it, and a negative
        // time never becomes zero.
        {19, 10, 1, kCMTimeRoundingMethod_QuickTime, 1},
        {-19, 10, 1, kCMTimeRoundingMethod_QuickTime, -1},
        {1, 3, 10, kCMTimeRoundingMethod_QuickTime, 4},
        {-1, 3, 10, kCMTimeRoundingMethod_QuickTime, -4},
        {-1, 1000, 10, kCMTimeRoundingMethod_QuickTime, -1},
        {1, 1000, 10, kCMTimeRoundingMethod_QuickTime, 0},
        // Default rounding from the typical media scales.
        {1001, 30000, 600, kCMTimeRoundingMethod_Default, 20},
        {3003, 90000, 48000, kCMTimeRoundingMethod_Default, 1602},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.value << "/" << c.from << " -> " << c.to << " method " << c.method);
        const CMTime converted =
            CMTimeConvertScale(CMTimeMakeWithEpoch(c.value, c.from, 7), c.to, c.method);
        expectIdentical(converted, rounded(CMTimeMakeWithEpoch(c.expected, c.to, 7)));
    }
}

TEST(CMTimeConvertScale, ExactEdgeAndNonNumericCases) {
    expectIdentical(CMTimeConvertScale(CMTimeMake(1, 30), 30000), CMTimeMake(1000, 30000));
    expectIdentical(CMTimeConvertScale(CMTimeMake(-3003, 90000), 30000), CMTimeMake(-1001, 30000));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeConvertScale(CMTimeMake(kMax, 1), 1000)));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeConvertScale(CMTimeMake(kMin, 1), 2)));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeConvertScale(CMTimeMake(1, 1), 0)));
    EXPECT_TRUE(CMTIME_IS_INDEFINITE(CMTimeConvertScale(kCMTimeIndefinite, 600)));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeConvertScale(kCMTimeNegativeInfinity, 600)));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeConvertScale(kCMTimeInvalid, 600)));
}

TEST(CMTimeMakeWithSeconds, RoundTripsAndSpecialInputs) {
    expectIdentical(CMTimeMakeWithSeconds(1.5, 600), CMTimeMake(900, 600));
    expectIdentical(CMTimeMakeWithSeconds(-0.5, 1), rounded(CMTimeMake(-1, 1)));
    expectIdentical(CMTimeMakeWithSeconds(0.1234, 600), rounded(CMTimeMake(74, 600)));
    for (const double seconds : {0.0, 1.0 / 3.0, 2.002, -17.25, 3600.04, 1e6 + 0.5}) {
        for (const CMTimeScale timescale : {600, 48000, 90000, 1'000'000'000}) {
            const CMTime time = CMTimeMakeWithSeconds(seconds, timescale);
            EXPECT_EQ(time.timescale, timescale);
            EXPECT_NEAR(CMTimeGetSeconds(time), seconds,
                        0.5 / timescale + std::abs(seconds) * 1e-15);
        }
    }
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMakeWithSeconds(std::nan(""), 600)));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMakeWithSeconds(1.0, 0)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMakeWithSeconds(HUGE_VAL, 600)));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeMakeWithSeconds(-HUGE_VAL, 600)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMakeWithSeconds(1e300, 600)));
    // Too large for the preferred timescale: a halved one holds it.
    const CMTime large = CMTimeMakeWithSeconds(1e16, 1'000'000'000);
    EXPECT_TRUE(CMTIME_IS_NUMERIC(large));
    EXPECT_LT(large.timescale, 1000);
    EXPECT_DOUBLE_EQ(CMTimeGetSeconds(large), 1e16);
}

TEST(CMTimeMultiply, ByIntegerFloatAndRatio) {
    expectIdentical(CMTimeMultiply(CMTimeMake(1001, 30000), 3), CMTimeMake(3003, 30000));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeMultiply(kCMTimePositiveInfinity, -2)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMultiply(CMTimeMake(kMax / 2, 1), 3)));
    expectIdentical(CMTimeMultiply(CMTimeMake(kMax / 2, 2), 3),
                    rounded(CMTimeMake(kMax / 4 * 3 + 2, 1)));

    expectIdentical(CMTimeMultiplyByFloat64(CMTimeMake(600, 600), 1.5), CMTimeMake(900, 600));
    expectIdentical(CMTimeMultiplyByFloat64(CMTimeMake(1, 1), -0.5), rounded(CMTimeMake(-1, 1)));
    expectIdentical(CMTimeMultiplyByFloat64(CMTimeMake(kMax, 1), 1.0), CMTimeMake(kMax, 1));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMultiplyByFloat64(CMTimeMake(1, 1), std::nan(""))));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMultiplyByFloat64(kCMTimeZero, HUGE_VAL)));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeMultiplyByFloat64(CMTimeMake(1, 1), -HUGE_VAL)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMultiplyByFloat64(CMTimeMake(kMax, 1), 2.0)));

    expectIdentical(CMTimeMultiplyByRatio(CMTimeMake(1001, 30000), 2, 1), CMTimeMake(2002, 30000));
    expectIdentical(CMTimeMultiplyByRatio(CMTimeMake(1, 1), 1, 3), CMTimeMake(1, 3));
    expectIdentical(CMTimeMultiplyByRatio(CMTimeMake(1001, 30000), -1, 2),
                    CMTimeMake(-1001, 60000));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMultiplyByRatio(CMTimeMake(1, 3), 0, 0)));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMultiplyByRatio(kCMTimeZero, 1, 0)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMultiplyByRatio(CMTimeMake(-1, 3), -1, 0)));
    EXPECT_TRUE(CMTIME_IS_NEGATIVE_INFINITY(CMTimeMultiplyByRatio(CMTimeMake(1, 3), -2, 0)));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeMultiplyByRatio(CMTimeMake(kMax, 1), 3, 2)));
    // Too large for 1000ths: the finest timescale that still holds the value is taken.
    const CMTime scaled = CMTimeMultiplyByRatio(CMTimeMake(kMax, 1000), 3, 2);
    EXPECT_EQ(scaled.timescale, 666);
    EXPECT_TRUE(CMTIME_HAS_BEEN_ROUNDED(scaled));
    EXPECT_NEAR(CMTimeGetSeconds(scaled) / (CMTimeGetSeconds(CMTimeMake(kMax, 1000)) * 1.5), 1.0,
                1e-12);
}

TEST(CMTime, AbsoluteValueMinimumAndMaximum) {
    expectIdentical(CMTimeAbsoluteValue(CMTimeMakeWithEpoch(-5, 3, 2)),
                    CMTimeMakeWithEpoch(5, 3, 2));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeAbsoluteValue(kCMTimeNegativeInfinity)));
    EXPECT_TRUE(CMTIME_IS_INDEFINITE(CMTimeAbsoluteValue(kCMTimeIndefinite)));
    expectIdentical(CMTimeAbsoluteValue(CMTimeMake(kMin, 2)), CMTimeMake(CMTimeValue{1} << 62, 1));
    EXPECT_TRUE(CMTIME_IS_POSITIVE_INFINITY(CMTimeAbsoluteValue(CMTimeMake(kMin, 1))));

    expectIdentical(CMTimeMinimum(CMTimeMake(1, 2), CMTimeMake(1, 3)), CMTimeMake(1, 3));
    expectIdentical(CMTimeMaximum(CMTimeMake(1, 2), CMTimeMake(1, 3)), CMTimeMake(1, 2));
    expectIdentical(CMTimeMinimum(CMTimeMake(1, 2), CMTimeMake(2, 4)), CMTimeMake(1, 2));
    expectIdentical(CMTimeMinimum(kCMTimeInvalid, CMTimeMake(1, 2)), CMTimeMake(1, 2));
    EXPECT_TRUE(CMTIME_IS_INVALID(CMTimeMaximum(kCMTimeInvalid, kCMTimePositiveInfinity)));
}

TEST(CMTime, Description) {
    EXPECT_EQ(CMTimeCopyDescription(CMTimeMake(1001, 30000)), "{1001/30000 = 0.033}");
    EXPECT_EQ(CMTimeCopyDescription(rounded(CMTimeMakeWithEpoch(-3, 2, 4))),
              "{-3/2 = -1.500, rounded, epoch 4}");
    EXPECT_EQ(CMTimeCopyDescription(kCMTimeInvalid), "INVALID");
    EXPECT_EQ(CMTimeCopyDescription(kCMTimePositiveInfinity), "+INFINITY");
    EXPECT_EQ(CMTimeCopyDescription(kCMTimeNegativeInfinity), "-INFINITY");
    EXPECT_EQ(CMTimeCopyDescription(kCMTimeIndefinite), "INDEFINITE");
    EXPECT_EQ(fmt::format("[{:>15}]", CMTimeMake(1, 2)), "[  {1/2 = 0.500}]");
}
