#include <cmath>

#include <gtest/gtest.h>

#include "platform/graphics/CGGeometry.h"

using namespace platform;

TEST(CGRect, DerivedValuesUseTheStandardizedRectangle) {
    const CGRect r = CGRectMake(10, 20, -4, -6);
    EXPECT_EQ(r.width(), 4);
    EXPECT_EQ(r.height(), 6);
    EXPECT_EQ(r.minX(), 6);
    EXPECT_EQ(r.maxX(), 10);
    EXPECT_EQ(r.midX(), 8);
    EXPECT_EQ(r.minY(), 14);
    EXPECT_EQ(r.maxY(), 20);
    EXPECT_EQ(r.standardized(), CGRectMake(6, 14, 4, 6));
    EXPECT_EQ(r, CGRectMake(6, 14, 4, 6));
}

TEST(CGRect, NullRectangleIsEqualOnlyToNullAndSurvivesOperations) {
    EXPECT_TRUE(CGRectNull.isNull());
    EXPECT_TRUE(CGRectNull.isEmpty());
    EXPECT_EQ(CGRectNull, CGRect::null());
    EXPECT_NE(CGRectNull, CGRectZero);
    EXPECT_FALSE(CGRectZero.isNull());
    EXPECT_TRUE(CGRectZero.isEmpty());
    EXPECT_TRUE(CGRectNull.insetBy(1, 1).isNull());
    EXPECT_TRUE(CGRectNull.integral().isNull());
    EXPECT_TRUE(CGRectNull.offsetBy(3, 3).isNull());
    EXPECT_EQ(CGRectNull.width(), 0);
    EXPECT_EQ(CGRectUnion(CGRectNull, CGRectMake(1, 2, 3, 4)), CGRectMake(1, 2, 3, 4));
    EXPECT_FALSE(CGRectNull.contains(CGPoint{0, 0}));
}

TEST(CGRect, InsetShrinksEachSideAndBecomesNullWhenNothingIsLeft) {
    EXPECT_EQ(CGRectMake(0, 0, 100, 50).insetBy(10, 5), CGRectMake(10, 5, 80, 40));
    EXPECT_EQ(CGRectMake(0, 0, 100, 50).insetBy(-10, -5), CGRectMake(-10, -5, 120, 60));
    EXPECT_EQ(CGRectMake(0, 0, 20, 20).insetBy(10, 10), CGRectMake(10, 10, 0, 0));
    EXPECT_TRUE(CGRectMake(0, 0, 20, 20).insetBy(11, 0).isNull());
}

TEST(CGRect, IntegralContainsTheOriginal) {
    EXPECT_EQ(CGRectMake(0.5, 1.2, 10.1, 3.3).integral(), CGRectMake(0, 1, 11, 4));
    EXPECT_EQ(CGRectMake(-0.5, -1.5, 1, 1).integral(), CGRectMake(-1, -2, 2, 2));
    EXPECT_EQ(CGRectMake(2, 3, 4, 5).integral(), CGRectMake(2, 3, 4, 5));
}

TEST(CGRect, IntersectionAndUnion) {
    const CGRect a = CGRectMake(0, 0, 10, 10);
    const CGRect b = CGRectMake(5, 5, 10, 10);
    EXPECT_EQ(a.intersection(b), CGRectMake(5, 5, 5, 5));
    EXPECT_EQ(a.unionWith(b), CGRectMake(0, 0, 15, 15));
    EXPECT_TRUE(a.intersects(b));
    // Touching edges meet in an empty rectangle, not in none.
    EXPECT_EQ(a.intersection(CGRectMake(10, 0, 5, 5)), CGRectMake(10, 0, 0, 5));
    EXPECT_FALSE(a.intersects(CGRectMake(10, 0, 5, 5)));
    EXPECT_TRUE(a.intersection(CGRectMake(20, 20, 1, 1)).isNull());
    EXPECT_TRUE(a.contains(CGRectMake(1, 1, 9, 9)));
    EXPECT_TRUE(a.contains(CGPoint{0, 0}));
    EXPECT_FALSE(a.contains(CGPoint{10, 5}));
}
