#include <numbers>

#include <gtest/gtest.h>

#include "platform/graphics/CGAffineTransform.h"

using namespace platform;

namespace {

void expectNear(const CGAffineTransform& actual, const CGAffineTransform& expected) {
    EXPECT_NEAR(actual.a, expected.a, 1e-12);
    EXPECT_NEAR(actual.b, expected.b, 1e-12);
    EXPECT_NEAR(actual.c, expected.c, 1e-12);
    EXPECT_NEAR(actual.d, expected.d, 1e-12);
    EXPECT_NEAR(actual.tx, expected.tx, 1e-12);
    EXPECT_NEAR(actual.ty, expected.ty, 1e-12);
}

}  // namespace

TEST(CGAffineTransform, ConcatAppliesTheFirstTransformFirst) {
    const CGAffineTransform scale = CGAffineTransformMakeScale(2, 3);
    const CGAffineTransform move = CGAffineTransformMakeTranslation(10, 20);
    EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(scale, move)),
              (CGPoint{12, 23}));
    EXPECT_EQ(CGPointApplyAffineTransform({1, 1}, CGAffineTransformConcat(move, scale)),
              (CGPoint{22, 63}));
    // The builder forms apply their operation before the receiver.
    EXPECT_EQ(move.scaledBy(2, 3), CGAffineTransformConcat(scale, move));
}

TEST(CGAffineTransform, QuarterTurnsAreExact) {
    const CGAffineTransform quarter = CGAffineTransformMakeRotation(std::numbers::pi / 2);
    EXPECT_EQ(quarter, CGAffineTransformMake(0, 1, -1, 0, 0, 0));
    EXPECT_EQ(CGPointApplyAffineTransform({1, 0}, quarter), (CGPoint{0, 1}));
    EXPECT_EQ(CGSizeApplyAffineTransform({1920, 1080}, quarter), (CGSize{-1080, 1920}));
    EXPECT_EQ(CGRectApplyAffineTransform(CGRectMake(0, 0, 1920, 1080), quarter),
              CGRectMake(-1080, 0, 1080, 1920));
}

TEST(CGAffineTransform, InvertUndoesAndSingularStaysUnchanged) {
    const CGAffineTransform t = CGAffineTransformMake(2, 1, -1, 3, 5, -7);
    expectNear(t.concatenating(t.inverted()), CGAffineTransformIdentity);
    expectNear(t.inverted().concatenating(t), CGAffineTransformIdentity);
    const CGAffineTransform singular = CGAffineTransformMake(1, 2, 2, 4, 3, 3);
    EXPECT_FALSE(singular.isInvertible());
    EXPECT_EQ(CGAffineTransformInvert(singular), singular);
    EXPECT_TRUE(CGAffineTransformIsIdentity(CGAffineTransform::identity()));
}

TEST(CGAffineTransform, SizesIgnoreTranslationAndNullRectsStayNull) {
    const CGAffineTransform move = CGAffineTransformMakeTranslation(5, 5);
    EXPECT_EQ(CGSizeApplyAffineTransform({3, 4}, move), (CGSize{3, 4}));
    EXPECT_TRUE(CGRectApplyAffineTransform(CGRectNull, move).isNull());
}
