#include <algorithm>
#include <set>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "platform/corevideo/CVPixelFormatType.h"
#include "platform/foundation/Log.h"
#include "support/OwnLogLines.h"

using namespace quillon;
using namespace platform;

TEST(PixelFormats, DirectMappingsAndRanges) {
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_NV12, AVCOL_RANGE_UNSPECIFIED),
              kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_NV12, AVCOL_RANGE_JPEG),
              kCVPixelFormatType_420YpCbCr8BiPlanarFullRange);
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_YUV420P, AVCOL_RANGE_JPEG),
              kCVPixelFormatType_420YpCbCr8PlanarFullRange);
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_P010LE, AVCOL_RANGE_MPEG),
              kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_RGB24, AVCOL_RANGE_UNSPECIFIED),
              kCVPixelFormatType_24RGB);
    // RGB rows are entered under the unspecified range only.
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_BGRA, AVCOL_RANGE_JPEG), std::nullopt);
    // 'y416' has a row but is not a supported output format.
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_AYUV64LE, AVCOL_RANGE_MPEG), std::nullopt);
    EXPECT_EQ(coreVideoPixelFormat(AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG), std::nullopt);
    EXPECT_EQ(coreVideoToFFmpegPixelFormatMap().at(kCVPixelFormatType_422YpCbCr8FullRange),
              (std::pair{AV_PIX_FMT_YUYV422, AVCOL_RANGE_JPEG}));
}

TEST(PixelFormats, FallbacksByKindDepthAndRange) {
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_YUV444P, AVCOL_RANGE_MPEG),
              (std::pair{kCVPixelFormatType_422YpCbCr8, AV_PIX_FMT_UYVY422}));
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_YUVJ420P, AVCOL_RANGE_JPEG),
              (std::pair{kCVPixelFormatType_422YpCbCr8FullRange, AV_PIX_FMT_YUYV422}));
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_UNSPECIFIED),
              (std::pair{kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, AV_PIX_FMT_P010LE}));
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_JPEG),
              (std::pair{kCVPixelFormatType_420YpCbCr10BiPlanarFullRange, AV_PIX_FMT_P010LE}));
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_GRAY8, AVCOL_RANGE_JPEG),
              (std::pair{kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA}));
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_PAL8, AVCOL_RANGE_UNSPECIFIED),
              (std::pair{kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA}));
    EXPECT_EQ(fallbackPixelFormat(AV_PIX_FMT_GBRP10LE, AVCOL_RANGE_UNSPECIFIED),
              (std::pair{kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA}));
}

TEST(PixelFormats, PreferenceListOrder) {
    const std::vector<AVPixelFormat>& list = preferredFFmpegPixelFormats();
    ASSERT_EQ(list.size(), 8u);
    EXPECT_EQ(
        std::vector(list.begin(), list.begin() + 4),
        (std::vector{AV_PIX_FMT_P010LE, AV_PIX_FMT_BGRA, AV_PIX_FMT_UYVY422, AV_PIX_FMT_YUYV422}));
    EXPECT_EQ(std::set(list.begin() + 4, list.begin() + 7),
              (std::set{AV_PIX_FMT_RGB24, AV_PIX_FMT_ARGB, AV_PIX_FMT_YUV420P}));
    EXPECT_EQ(list.back(), AV_PIX_FMT_NV12);
}

TEST(PixelFormats, TablesOfSupportedBlacklistedAndDescribedFormats) {
    EXPECT_EQ(supportedCoreVideoPixelFormats().size(), 29u);
    EXPECT_EQ(supportedCoreVideoPixelFormats().count(kCVPixelFormatType_4444AYpCbCr16), 0u);
    EXPECT_EQ(blacklistedPixelFormats(),
              (std::set{kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                        kCVPixelFormatType_420YpCbCr8BiPlanarFullRange}));
    EXPECT_EQ(replacementPixelFormatForBlacklistedPixelFormats(), kCVPixelFormatType_32BGRA);
    const auto& descriptors = pixelFormatDescriptors();
    for (OSType code : supportedCoreVideoPixelFormats()) {
        EXPECT_EQ(descriptors.count(code), 1u) << fourCharCodeString(code);
    }
    EXPECT_FALSE(descriptors.at(kCVPixelFormatType_32BGRA).isYCbCr);
    EXPECT_FALSE(descriptors.at(kCVPixelFormatType_OneComponent8).isYCbCr);
    EXPECT_TRUE(descriptors.at(kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange).isYCbCr);
    EXPECT_TRUE(descriptors.at(kCVPixelFormatType_422YpCbCr8).isYCbCr);
}

TEST(FFmpegPixelFormatConverter, ChoosesTheDestination) {
    struct Case {
        AVPixelFormat source;
        AVColorRange range;
        OSType destination;
        AVPixelFormat destinationFFmpeg;
        bool converts;
    };
    const Case cases[] = {
        {AV_PIX_FMT_NV12, AVCOL_RANGE_UNSPECIFIED, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
         AV_PIX_FMT_NV12, false},
        {AV_PIX_FMT_YUV420P, AVCOL_RANGE_JPEG, kCVPixelFormatType_420YpCbCr8PlanarFullRange,
         AV_PIX_FMT_YUV420P, false},
        {AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
         AV_PIX_FMT_P010LE, true},
        {AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_JPEG, kCVPixelFormatType_420YpCbCr10BiPlanarFullRange,
         AV_PIX_FMT_P010LE, true},
        {AV_PIX_FMT_GRAY8, AVCOL_RANGE_UNSPECIFIED, kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA,
         true},
        {AV_PIX_FMT_AYUV64LE, AVCOL_RANGE_MPEG, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
         AV_PIX_FMT_P010LE, true},
        {AV_PIX_FMT_AYUV64LE, AVCOL_RANGE_JPEG, kCVPixelFormatType_420YpCbCr10BiPlanarFullRange,
         AV_PIX_FMT_P010LE, true},
        // No direct entry for full-range BGRA, but the fallback is BGRA itself.
        {AV_PIX_FMT_BGRA, AVCOL_RANGE_JPEG, kCVPixelFormatType_32BGRA, AV_PIX_FMT_BGRA, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(av_get_pix_fmt_name(c.source));
        FFmpegPixelFormatConverter converter(c.source, c.range, 64, 48);
        EXPECT_EQ(converter.destinationPixelFormat(), c.destination);
        EXPECT_EQ(converter.destinationPixelFormatFFmpeg(), c.destinationFFmpeg);
        EXPECT_EQ(converter.isConversionNeeded(), c.converts);
        EXPECT_EQ(converter.height(), 48);
        EXPECT_NE(converter.imageScalingContext(), nullptr);
    }
}

TEST(FFmpegPixelFormatConverter, NoContextIsAnAllocationFailure) {
    ScopedLogCapture capture;
    try {
        FFmpegPixelFormatConverter converter(AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, 0, 0);
        FAIL() << "a converter for an empty picture was made";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::allocationFailure());
    }
    EXPECT_EQ(test::ownLogLines(capture.lines()),
              std::vector<std::string>{"sws_getContext failed."});
}
