#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "FirstDecodedFrame.h"
#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/ColorSpaceConfiguration.h"
#include "media-player/decoders/common/FrameSideData.h"
#include "media-player/decoders/common/HDRMetadata.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/foundation/Log.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace platform;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const CFDataRef& data) {
    return data ? Bytes(data->bytes().begin(), data->bytes().end()) : Bytes{};
}

// The HDR10 metadata that the test media's encoder was given: x and y in units of 0.00002,
// luminance in units of 0.0001 cd/m².
AVMasteringDisplayMetadata hdr10Metadata() {
    AVMasteringDisplayMetadata metadata{};
    metadata.display_primaries[0][0] = {34000, 50000};  // red
    metadata.display_primaries[0][1] = {16000, 50000};
    metadata.display_primaries[1][0] = {13250, 50000};  // green
    metadata.display_primaries[1][1] = {34500, 50000};
    metadata.display_primaries[2][0] = {7500, 50000};  // blue
    metadata.display_primaries[2][1] = {3000, 50000};
    metadata.white_point[0] = {15635, 50000};
    metadata.white_point[1] = {16450, 50000};
    metadata.max_luminance = {10000000, 10000};
    metadata.min_luminance = {1, 10000};
    metadata.has_primaries = 1;
    metadata.has_luminance = 1;
    return metadata;
}

// Green, blue, red, white point; then maximum and minimum luminance.
const Bytes hdr10Block = {
    0x33, 0xC2, 0x86, 0xC4,  // green 13250, 34500
    0x1D, 0x4C, 0x0B, 0xB8,  // blue 7500, 3000
    0x84, 0xD0, 0x3E, 0x80,  // red 34000, 16000
    0x3D, 0x13, 0x40, 0x42,  // white point 15635, 16450
    0x00, 0x98, 0x96, 0x80,  // 1000 cd/m² × 10000
    0x00, 0x00, 0x00, 0x01,  // 0.0001 cd/m² × 10000
};

TEST(MasteringDisplayColorVolume, TakesGreenBlueRedOrderAndBigEndianFields) {
    EXPECT_EQ(bytesOf(makeMasteringDisplayColorVolumeData(hdr10Metadata())), hdr10Block);
}

TEST(MasteringDisplayColorVolume, LeavesMissingPartsZero) {
    auto metadata = hdr10Metadata();
    metadata.has_luminance = 0;
    Bytes expected = hdr10Block;
    std::fill(expected.begin() + 16, expected.end(), 0);
    EXPECT_EQ(bytesOf(makeMasteringDisplayColorVolumeData(metadata)), expected);

    metadata = hdr10Metadata();
    metadata.has_primaries = 0;
    expected = hdr10Block;
    std::fill(expected.begin(), expected.begin() + 16, 0);
    EXPECT_EQ(bytesOf(makeMasteringDisplayColorVolumeData(metadata)), expected);
}

TEST(MasteringDisplayColorVolume, TruncatesTowardZeroAfterScaling) {
    auto metadata = hdr10Metadata();
    metadata.white_point[0] = {1, 3};                   // 16666.67
    metadata.max_luminance = {2, 3};                    // 6666.67
    metadata.display_primaries[1][0] = {65535, 50000};  // the largest 16-bit value
    metadata.min_luminance = {-1, -10000};              // positive after all: 1
    const Bytes block = bytesOf(makeMasteringDisplayColorVolumeData(metadata));
    ASSERT_EQ(block.size(), 24u);
    EXPECT_EQ((block[12] << 8) | block[13], 16666);
    EXPECT_EQ((block[0] << 8) | block[1], 65535);
    EXPECT_EQ(Bytes(block.begin() + 16, block.end()),
              (Bytes{0x00, 0x00, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x01}));
}

TEST(MasteringDisplayColorVolume, GivesNoBlockForAValueThatCannotBeEncoded) {
    struct Case {
        const char* what;
        void (*spoil)(AVMasteringDisplayMetadata&);
        const char* logged;
    };
    const Case cases[] = {
        {"chromaticity above 65535",
         [](auto& m) {
             m.display_primaries[1][0] = {65536, 50000};
         },
         "green primary x (65536/50000)"},
        {"negative chromaticity",
         [](auto& m) {
             m.white_point[1] = {-1, 50000};
         },
         "white point y"},
        {"zero denominator",
         [](auto& m) {
             m.display_primaries[0][1] = {1, 0};
         },
         "red primary y (1/0)"},
        {"luminance beyond 32 bits",
         [](auto& m) {
             m.max_luminance = {500000, 1};
         },
         "maximum luminance"},
        {"negative luminance",
         [](auto& m) {
             m.min_luminance = {-5, 10000};
         },
         "minimum luminance"},
        {"zero luminance denominator",
         [](auto& m) {
             m.max_luminance = {1000, 0};
         },
         "maximum luminance"},
    };
    for (const Case& c : cases) {
        auto metadata = hdr10Metadata();
        c.spoil(metadata);
        ScopedLogCapture log;
        EXPECT_EQ(makeMasteringDisplayColorVolumeData(metadata), nullptr) << c.what;
        ASSERT_EQ(log.lines().size(), 1u) << c.what;
        EXPECT_TRUE(log.contains(c.logged)) << c.what << ": " << log.lines()[0];
    }
}

TEST(MasteringDisplayColorVolume, IgnoresValuesOfPartsItDoesNotHave) {
    auto metadata = hdr10Metadata();
    metadata.has_luminance = 0;
    metadata.max_luminance = {1, 0};
    metadata.min_luminance = {-1, 1};
    EXPECT_NE(makeMasteringDisplayColorVolumeData(metadata), nullptr);
}

TEST(ContentLightLevelInfo, IsTwoBigEndianShorts) {
    EXPECT_EQ(bytesOf(makeContentLightLevelInfoData(1000, 400)), (Bytes{0x03, 0xE8, 0x01, 0x90}));
    EXPECT_EQ(bytesOf(makeContentLightLevelInfoData(ContentLightLevel{65535, 0})),
              (Bytes{0xFF, 0xFF, 0x00, 0x00}));
}

TEST(ContentLightLevelInfo, GivesNoBlockAbove65535) {
    ScopedLogCapture log;
    EXPECT_EQ(makeContentLightLevelInfoData(65536, 400), nullptr);
    EXPECT_EQ(makeContentLightLevelInfoData(1000, 70000), nullptr);
    EXPECT_EQ(log.lines().size(), 2u);
    EXPECT_TRUE(log.contains("MaxCLL 65536"));
}

CVPixelBufferRef makeBuffer(std::size_t width, std::size_t height, OSType format) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &buffer), kCVReturnSuccess);
    return buffer;
}

TEST(HDRAttachments, AreSetPropagatingAndRemovedWhenAbsent) {
    auto buffer = makeBuffer(64, 48, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    const CFDataRef mastering = makeMasteringDisplayColorVolumeData(hdr10Metadata());
    const CFDataRef light = makeContentLightLevelInfoData(1000, 400);
    attachHDRMetadata(buffer, mastering, light);
    CVAttachmentMode mode = kCVAttachmentMode_ShouldNotPropagate;
    auto value = CVBufferGetAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey, &mode);
    ASSERT_TRUE(value);
    EXPECT_EQ(mode, kCVAttachmentMode_ShouldPropagate);
    EXPECT_EQ(bytesOf(std::get<CFDataRef>(*value)), hdr10Block);
    value = CVBufferGetAttachment(buffer, kCVImageBufferContentLightLevelInfoKey, &mode);
    ASSERT_TRUE(value);
    EXPECT_EQ(mode, kCVAttachmentMode_ShouldPropagate);

    // A buffer reused for a picture without metadata must not keep the old blocks.
    attachHDRMetadata(buffer, nullptr, nullptr);
    EXPECT_FALSE(CVBufferHasAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey));
    EXPECT_FALSE(CVBufferHasAttachment(buffer, kCVImageBufferContentLightLevelInfoKey));
}

TEST(HDRFrameSideData, AbsentFromAFrameWithoutIt) {
    AVFramePointer frame(av_frame_alloc());
    EXPECT_FALSE(readMasteringDisplayMetadata(*frame));
    EXPECT_FALSE(readContentLightLevel(*frame));
    // An entry too short for its structure counts as absent.
    ASSERT_NE(av_frame_new_side_data(frame.get(), AV_FRAME_DATA_CONTENT_LIGHT_LEVEL, 2), nullptr);
    EXPECT_FALSE(readContentLightLevel(*frame));
}

TEST(HDRFrameSideData, OfARealPQFileBecomesTheAttachments) {
    quillon::testing::FirstDecodedFrame decoded(test::mediaPath("hevc-bt2020-pq.mkv"));
    const AVFrame& frame = *decoded.frame;

    const auto metadata = readMasteringDisplayMetadata(frame);
    ASSERT_TRUE(metadata);
    const auto level = readContentLightLevel(frame);
    ASSERT_TRUE(level);
    EXPECT_EQ(*level, (ContentLightLevel{1000, 400}));

    auto buffer =
        makeBuffer(static_cast<std::size_t>(frame.width), static_cast<std::size_t>(frame.height),
                   kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    setColorAttachments(frame, buffer);
    attachHDRMetadata(buffer, makeMasteringDisplayColorVolumeData(*metadata),
                      makeContentLightLevelInfoData(*level));

    const auto mastering =
        CVBufferGetAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey);
    ASSERT_TRUE(mastering);
    EXPECT_EQ(bytesOf(std::get<CFDataRef>(*mastering)), hdr10Block);
    const auto light = CVBufferGetAttachment(buffer, kCVImageBufferContentLightLevelInfoKey);
    ASSERT_TRUE(light);
    EXPECT_EQ(bytesOf(std::get<CFDataRef>(*light)), (Bytes{0x03, 0xE8, 0x01, 0x90}));

    const auto& pq = ColorSpaceConfiguration::bt2020PQ();
    EXPECT_EQ(CVBufferGetAttachment(buffer, kCVImageBufferTransferFunctionKey),
              CFValue(kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ));
    EXPECT_EQ(CVImageBufferGetColorSpace(buffer), pq.colorSpace());
    const auto icc = CVBufferGetAttachment(buffer, kCVImageBufferICCProfileKey);
    ASSERT_TRUE(icc);
    EXPECT_EQ(*std::get<CFDataRef>(*icc), *pq.iccProfile());
}

TEST(HDRFrameSideData, AbsentFromAnHLGFileWithoutMetadata) {
    quillon::testing::FirstDecodedFrame decoded(test::mediaPath("hevc-bt2020-hlg.mkv"));
    EXPECT_FALSE(readMasteringDisplayMetadata(*decoded.frame));
    EXPECT_FALSE(readContentLightLevel(*decoded.frame));
}

}  // namespace
