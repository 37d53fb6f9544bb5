#include <limits>

#include <gtest/gtest.h>

#include "media-player/media-types/VideoDimensions.h"

namespace quillon {
namespace {

using platform::CGAffineTransformMake;
using platform::CGSizeMake;

TEST(VideoDimensionsTests, NonSquarePixelsAreStretchedNeverShrunk) {
    VideoDimensions wide(1440, 1080, std::nullopt, 4.0 / 3.0);
    EXPECT_EQ(wide.squarePixelSize, CGSizeMake(1920, 1080));
    EXPECT_EQ(wide.effectiveSize, wide.squarePixelSize);
    EXPECT_DOUBLE_EQ(wide.aspectRatio, 16.0 / 9.0);

    VideoDimensions tall(720, 480, std::nullopt, 8.0 / 9.0);
    EXPECT_EQ(tall.squarePixelSize, CGSizeMake(720, 540));
}

TEST(VideoDimensionsTests, AQuarterTurnSwapsTheEffectiveSides) {
    VideoDimensions rotated(1920, 1080, CGAffineTransformMake(0, 1, -1, 0, 0, 0), 1.0);
    EXPECT_EQ(rotated.squarePixelSize, CGSizeMake(1920, 1080));
    EXPECT_EQ(rotated.effectiveSize, CGSizeMake(1080, 1920));
    EXPECT_DOUBLE_EQ(rotated.aspectRatio, 0.5625);
}

TEST(VideoDimensionsTests, ValidityOfFileValues) {
    EXPECT_TRUE(VideoDimensions::isValid(1, 1, 1.0));
    EXPECT_FALSE(VideoDimensions::isValid(0, 1, 1.0));
    EXPECT_FALSE(VideoDimensions::isValid(1, 0, 1.0));
    EXPECT_FALSE(VideoDimensions::isValid(1, 1, 0.0));
    EXPECT_FALSE(VideoDimensions::isValid(1, 1, std::numeric_limits<double>::infinity()));
    EXPECT_DEATH(VideoDimensions(0, 1, std::nullopt, 1.0), "positive size");
}

}  // namespace
}  // namespace quillon
