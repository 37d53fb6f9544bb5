#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "platform/graphics/CGColorSpace.h"

using namespace platform;

namespace {

std::vector<std::uint8_t> iccHeader(std::uint32_t size, const char* colorSpace = "RGB ") {
    std::vector<std::uint8_t> bytes(size, 0);
    for (int i = 0; i < 4; ++i) {
        bytes[i] = static_cast<std::uint8_t>(size >> (24 - 8 * i));
        bytes[16 + i] = static_cast<std::uint8_t>(colorSpace[i]);
        bytes[36 + i] = static_cast<std::uint8_t>("acsp"[i]);
    }
    return bytes;
}

}  // namespace

TEST(CGColorSpace, ICCDataNeedsAMatchingSizeAndTheProfileSignature) {
    auto good = CFDataCreate(iccHeader(200));
    CGColorSpaceRef space = CGColorSpaceCreateWithICCData(good);
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(CGColorSpaceGetModel(space), kCGColorSpaceModelRGB);
    EXPECT_EQ(CGColorSpaceGetNumberOfComponents(space), 3u);
    ASSERT_NE(CGColorSpaceCopyICCData(space), nullptr);
    EXPECT_EQ(*CGColorSpaceCopyICCData(space), *good);

    auto wrongSize = iccHeader(200);
    wrongSize[3] = 199;
    EXPECT_EQ(CGColorSpaceCreateWithICCData(CFDataCreate(wrongSize)), nullptr);
    auto noSignature = iccHeader(200);
    noSignature[36] = 'x';
    EXPECT_EQ(CGColorSpaceCreateWithICCData(CFDataCreate(noSignature)), nullptr);
    EXPECT_EQ(CGColorSpaceCreateWithICCData(CFDataCreate(iccHeader(64))), nullptr);
    EXPECT_EQ(CGColorSpaceCreateWithICCData(nullptr), nullptr);
    EXPECT_EQ(
        CGColorSpaceGetModel(CGColorSpaceCreateWithICCData(CFDataCreate(iccHeader(128, "GRAY")))),
        kCGColorSpaceModelMonochrome);
}

TEST(CGColorSpace, EqualityIsByContent) {
    auto a = CGColorSpaceCreateWithICCData(CFDataCreate(iccHeader(300)));
    auto b = CGColorSpaceCreateWithICCData(CFDataCreate(iccHeader(300)));
    auto other = iccHeader(300);
    other[200] = 1;
    auto c = CGColorSpaceCreateWithICCData(CFDataCreate(other));
    EXPECT_TRUE(CGColorSpaceEqualToColorSpace(a, b));
    EXPECT_FALSE(CGColorSpaceEqualToColorSpace(a, c));
    EXPECT_TRUE(CGColorSpaceEqualToColorSpace(CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                                              CGColorSpaceCreateWithName(kCGColorSpaceSRGB)));
    EXPECT_FALSE(CGColorSpaceEqualToColorSpace(CGColorSpaceCreateWithName(kCGColorSpaceSRGB),
                                               CGColorSpaceCreateWithName(kCGColorSpaceDisplayP3)));

    const CGColorSpaceVideoParameters hd{"ITU_R_709_2", "ITU_R_709_2", "ITU_R_709_2", std::nullopt};
    auto video = CGColorSpaceCreateWithVideoParameters(hd);
    EXPECT_TRUE(video->isEqual(*CGColorSpaceCreateWithVideoParameters(hd)));
    auto noMatrix = hd;
    noMatrix.yCbCrMatrix.reset();
    EXPECT_FALSE(video->isEqual(*CGColorSpaceCreateWithVideoParameters(noMatrix)));
    EXPECT_EQ(CGColorSpaceCopyICCData(video), nullptr);
}

TEST(CGColorSpace, NamedSpaces) {
    EXPECT_EQ(CGColorSpaceGetName(CGColorSpaceCreateWithName(kCGColorSpaceSRGB)),
              kCGColorSpaceSRGB);
    EXPECT_EQ(CGColorSpaceGetModel(CGColorSpaceCreateWithName(kCGColorSpaceGenericGray)),
              kCGColorSpaceModelMonochrome);
    EXPECT_EQ(CGColorSpaceCreateWithName("no such space"), nullptr);
}
