#include <algorithm>
#include <ostream>
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "media-player/decoders/common/ColorAttachments.h"
#include "platform/corefoundation/CFData.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelFormatType.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

std::string stringAttachment(const CVPixelBufferRef& buffer, const std::string& key) {
    auto value = CVBufferGetAttachment(buffer, key);
    if (!value || !std::holds_alternative<std::string>(*value)) {
        return "(none)";
    }
    return std::get<std::string>(*value);
}

CFDataRef dataAttachment(const CVPixelBufferRef& buffer, const std::string& key) {
    auto value = CVBufferGetAttachment(buffer, key);
    if (!value || !std::holds_alternative<CFDataRef>(*value)) {
        return nullptr;
    }
    return std::get<CFDataRef>(*value);
}

std::vector<std::uint8_t> bytes(const CFDataRef& data) {
    if (!data) {
        return {};
    }
    return {data->bytes().begin(), data->bytes().end()};
}

struct ExpectedColour {
    const char* file;
    OSType pixelFormat;
    std::string primaries;
    std::string transfer;
    std::string matrix;
};

void PrintTo(const ExpectedColour& expected, std::ostream* stream) {
    *stream << expected.file;
}

class FFmpegVideoDecoderColour : public ::testing::TestWithParam<ExpectedColour> {};

// Tagged streams keep their tags; untagged ones get the defaults for their size; full-range
// pictures keep their range through the conversion.
TEST_P(FFmpegVideoDecoderColour, TagsEveryPicture) {
    const ExpectedColour& expected = GetParam();
    const DecodedVideo video = decodeWholeFile(mediaPath(expected.file));
    ASSERT_FALSE(video.sampleBuffers.empty());
    for (const CMSampleBufferRef& sampleBuffer : video.sampleBuffers) {
        const CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(sampleBuffer);
        EXPECT_EQ(CVPixelBufferGetPixelFormatType(buffer), expected.pixelFormat);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferColorPrimariesKey), expected.primaries);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferTransferFunctionKey), expected.transfer);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferYCbCrMatrixKey), expected.matrix);
        EXPECT_TRUE(CVBufferHasAttachment(buffer, kCVImageBufferCGColorSpaceKey));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, FFmpegVideoDecoderColour,
    ::testing::Values(ExpectedColour{"h264-bt709.mkv", kCVPixelFormatType_420YpCbCr8Planar,
                                     kCVImageBufferColorPrimaries_ITU_R_709_2,
                                     kCVImageBufferTransferFunction_ITU_R_709_2,
                                     kCVImageBufferYCbCrMatrix_ITU_R_709_2},
                      ExpectedColour{"h264-bt601.mkv", kCVPixelFormatType_420YpCbCr8Planar,
                                     kCVImageBufferColorPrimaries_SMPTE_C,
                                     kCVImageBufferTransferFunction_ITU_R_709_2,
                                     kCVImageBufferYCbCrMatrix_ITU_R_601_4},
                      ExpectedColour{"h264-untagged.mkv", kCVPixelFormatType_420YpCbCr8Planar,
                                     kCVImageBufferColorPrimaries_SMPTE_C,
                                     kCVImageBufferTransferFunction_ITU_R_709_2,
                                     kCVImageBufferYCbCrMatrix_ITU_R_601_4},
                      ExpectedColour{"h264-fullrange.mkv", kCVPixelFormatType_422YpCbCr8FullRange,
                                     kCVImageBufferColorPrimaries_SMPTE_C,
                                     kCVImageBufferTransferFunction_ITU_R_709_2,
                                     kCVImageBufferYCbCrMatrix_ITU_R_601_4},
                      ExpectedColour{"hevc-bt2020-hlg.mkv",
                                     kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
                                     kCVImageBufferColorPrimaries_ITU_R_2020,
                                     kCVImageBufferTransferFunction_ITU_R_2100_HLG,
                                     kCVImageBufferYCbCrMatrix_ITU_R_2020}),
    [](const ::testing::TestParamInfo<ExpectedColour>& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

// The HDR10 stream: PQ with its embedded profile, and the mastering display and light level of
// its SEI messages on every picture, encoded big-endian.
TEST(FFmpegVideoDecoderHDR, AttachesThePQProfileAndTheHDR10Metadata) {
    const DecodedVideo video = decodeWholeFile(mediaPath("hevc-bt2020-pq.mkv"));
    ASSERT_FALSE(video.sampleBuffers.empty());
    const std::vector<std::uint8_t> masteringDisplay = {
        0x33, 0xC2, 0x86, 0xC4,  // green 13250, 34500
        0x1D, 0x4C, 0x0B, 0xB8,  // blue 7500, 3000
        0x84, 0xD0, 0x3E, 0x80,  // red 34000, 16000
        0x3D, 0x13, 0x40, 0x42,  // white point 15635, 16450
        0x00, 0x98, 0x96, 0x80,  // maximum luminance 10000000
        0x00, 0x00, 0x00, 0x01,  // minimum luminance 1
    };
    const std::vector<std::uint8_t> lightLevel = {0x03, 0xE8, 0x01, 0x90};  // 1000, 400
    for (const CMSampleBufferRef& sampleBuffer : video.sampleBuffers) {
        const CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(sampleBuffer);
        EXPECT_EQ(CVPixelBufferGetPixelFormatType(buffer),
                  kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferColorPrimariesKey),
                  kCVImageBufferColorPrimaries_ITU_R_2020);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferTransferFunctionKey),
                  kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ);
        EXPECT_FALSE(bytes(dataAttachment(buffer, kCVImageBufferICCProfileKey)).empty());
        EXPECT_EQ(bytes(dataAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey)),
                  masteringDisplay);
        EXPECT_EQ(bytes(dataAttachment(buffer, kCVImageBufferContentLightLevelInfoKey)),
                  lightLevel);
    }
}

TEST(FFmpegVideoDecoderGeometry, AttachesTheSampleAspectRatio) {
    const DecodedVideo video = decodeWholeFile(mediaPath("sar-4x3.mkv"));
    ASSERT_FALSE(video.sampleBuffers.empty());
    for (const CMSampleBufferRef& sampleBuffer : video.sampleBuffers) {
        const CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(sampleBuffer);
        auto value = CVBufferGetAttachment(buffer, kCVImageBufferPixelAspectRatioKey);
        ASSERT_TRUE(value && std::holds_alternative<CFDictionaryRef>(*value));
        const CFDictionary& ratio = *std::get<CFDictionaryRef>(*value);
        EXPECT_EQ(ratio.integerValue(kCVImageBufferPixelAspectRatioHorizontalSpacingKey), 4);
        EXPECT_EQ(ratio.integerValue(kCVImageBufferPixelAspectRatioVerticalSpacingKey), 3);
        EXPECT_EQ(CVPixelBufferGetWidth(buffer), 120u);
        EXPECT_EQ(CVPixelBufferGetHeight(buffer), 90u);
    }
}

}  // namespace
