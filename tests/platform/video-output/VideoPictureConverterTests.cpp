#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/corefoundation/CFData.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/video-output/VideoPictureConverter.h"
#include "platform/videotoolbox/VTPixelTransferSession.h"

namespace {

using namespace platform;

// Written from the standards, apart from the code under test: ST 2084's inverse EOTF.
double pqSignal(double luminance) {
    const double m1 = 2610.0 / 16384;
    const double m2 = 2523.0 / 4096 * 128;
    const double c1 = 3424.0 / 4096;
    const double c2 = 2413.0 / 4096 * 32;
    const double c3 = 2392.0 / 4096 * 32;
    const double y = std::pow(luminance / 10000, m1);
    return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

// An SDR screen's 8-bit code for light relative to its white (BT.1886, gamma 2.4).
double screenCode(double relative) {
    return 255 * std::pow(relative, 1 / 2.4);
}

struct Bgra {
    int b = 0, g = 0, r = 0;
};

// A 10-bit video-range 4:2:0 picture of vertical bands, each of one (Y, Cb, Cr) in 10-bit codes,
// described as BT.2020 with the given transfer.
CVPixelBufferRef hdrPicture(const std::vector<std::array<int, 3>>& bands,
                            const std::string& transfer, int bandWidth = 16, int height = 16) {
    const int width = bandWidth * static_cast<int>(bands.size());
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
                                  nullptr, &buffer),
              kCVReturnSuccess);
    CVPixelBufferLockBaseAddress(buffer, 0);
    for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(buffer, 0); ++row) {
        auto* luma = reinterpret_cast<std::uint16_t*>(
            static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 0)) +
            row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 0));
        for (int x = 0; x < width; ++x) {
            luma[x] = static_cast<std::uint16_t>(bands[x / bandWidth][0] << 6);
        }
    }
    for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(buffer, 1); ++row) {
        auto* chroma = reinterpret_cast<std::uint16_t*>(
            static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 1)) +
            row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 1));
        for (int x = 0; x < width / 2; ++x) {
            chroma[2 * x] = static_cast<std::uint16_t>(bands[2 * x / bandWidth][1] << 6);
            chroma[2 * x + 1] = static_cast<std::uint16_t>(bands[2 * x / bandWidth][2] << 6);
        }
    }
    CVPixelBufferUnlockBaseAddress(buffer, 0);
    CVBufferSetAttachment(buffer, kCVImageBufferYCbCrMatrixKey,
                          kCVImageBufferYCbCrMatrix_ITU_R_2020, kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferColorPrimariesKey,
                          kCVImageBufferColorPrimaries_ITU_R_2020,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferTransferFunctionKey, transfer,
                          kCVAttachmentMode_ShouldPropagate);
    return buffer;
}

// A mastering display of the given peak and black, in cd/m² (the 24-byte block's layout).
void attachMasteringDisplay(const CVPixelBufferRef& buffer, std::uint32_t peak, double black) {
    std::vector<std::uint8_t> block(24, 0);
    const std::uint32_t max = peak * 10000;
    const auto min = static_cast<std::uint32_t>(black * 10000);
    for (int i = 0; i < 4; ++i) {
        block[16 + i] = static_cast<std::uint8_t>(max >> (24 - 8 * i));
        block[20 + i] = static_cast<std::uint8_t>(min >> (24 - 8 * i));
    }
    CVBufferSetAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey, CFDataCreate(block),
                          kCVAttachmentMode_ShouldPropagate);
}

// Grey of `luminance` cd/m² in PQ, as a 10-bit video-range code.
std::array<int, 3> pqGrey(double luminance) {
    return {static_cast<int>(std::lround(64 + 876 * pqSignal(luminance))), 512, 512};
}

std::vector<std::uint8_t> convert(VideoPictureConverter& converter, const CVPixelBufferRef& source,
                                  int width, int height) {
    std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * height * 4, 0);
    EXPECT_TRUE(converter.convert(*source, out.data(), width, height, width * 4));
    return out;
}

Bgra pixel(const std::vector<std::uint8_t>& picture, int width, int x, int y) {
    const std::uint8_t* p = picture.data() + (static_cast<std::size_t>(y) * width + x) * 4;
    return {p[0], p[1], p[2]};
}

TEST(VideoPictureConverterTest, PQPictureIsToneMappedToTheScreensRange) {
    // Black, 50 cd/m² (below the curve's knee: kept), 400 (compressed), the mastering peak of
    // 1000 (to the SDR peak), and far above it (clipped there too).
    const auto source =
        hdrPicture({{64, 512, 512}, pqGrey(50), pqGrey(400), pqGrey(1000), pqGrey(4000)},
                   kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ);
    attachMasteringDisplay(source, 1000, 0.005);
    VideoPictureConverter converter;
    const int width = 80;
    const auto out = convert(converter, source, width, 16);
    const auto at = [&](int band) { return pixel(out, width, band * 16 + 8, 8); };

    EXPECT_LE(at(0).g, 2);
    const double fifty = screenCode(50 / 203.0);
    EXPECT_NEAR(at(1).g, fifty, 3) << "ordinary light keeps its level";
    EXPECT_NEAR(at(1).r, at(1).g, 1) << "grey stays grey";
    EXPECT_NEAR(at(1).b, at(1).g, 1);
    EXPECT_GT(at(2).g, fifty + 40);
    EXPECT_LT(at(2).g, at(3).g) << "400 cd/m² is below the peak: not clipped";
    EXPECT_GE(at(3).g, 252);
    EXPECT_GE(at(4).g, 252);
}

TEST(VideoPictureConverterTest, PQPeakComesFromTheMetadataElseAThousandNits) {
    VideoPictureConverter converter;
    const auto source = hdrPicture({pqGrey(1000)}, kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ);
    const int assumed = convert(converter, source, 16, 16)[4 * (8 * 16 + 8) + 1];
    EXPECT_GE(assumed, 252);

    // Mastered on a 4000 cd/m² display, 1000 is no longer the top: it stays below the peak.
    attachMasteringDisplay(source, 4000, 0.005);
    EXPECT_LT(convert(converter, source, 16, 16)[4 * (8 * 16 + 8) + 1], assumed - 3);
}

TEST(VideoPictureConverterTest, HLGGreyKeepsItsLevel) {
    // Signal 0.5 is 1/12 of scene light; on a 1000 cd/m² display with gamma 1.2, 50.6 cd/m².
    const int half = static_cast<int>(std::lround(64 + 876 * 0.5));
    const auto source =
        hdrPicture({{half, 512, 512}}, kCVImageBufferTransferFunction_ITU_R_2100_HLG);
    VideoPictureConverter converter;
    const auto out = convert(converter, source, 16, 16);
    const double expected = screenCode(1000 * std::pow(1.0 / 12, 1.2) / 203);
    EXPECT_NEAR(pixel(out, 16, 8, 8).g, expected, 3);
}

TEST(VideoPictureConverterTest, BT2020PrimariesAreMappedIntoBT709) {
    // BT.2020 green, the full signal of a 100 cd/m² primary, lies outside BT.709: it comes out
    // as BT.709's own green, without a red or blue cast.
    const double e = pqSignal(100);
    // Y'CbCr of R'G'B' = (0, e, 0) with BT.2020's coefficients, 10-bit video range.
    const double y = 0.6780 * e;
    const double cb = (0 - y) / 1.8814;
    const double cr = (0 - y) / 1.4746;
    const auto source = hdrPicture({{static_cast<int>(std::lround(64 + 876 * y)),
                                     static_cast<int>(std::lround(512 + 896 * cb)),
                                     static_cast<int>(std::lround(512 + 896 * cr))}},
                                   kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ);
    VideoPictureConverter converter;
    const auto out = convert(converter, source, 16, 16);
    const Bgra green = pixel(out, 16, 8, 8);
    EXPECT_GT(green.g, 150);
    EXPECT_LT(green.r, 20);
    EXPECT_LT(green.b, 40);
}

// A BT.709 picture with every luma level and a spread of chroma (in 8-bit codes; a 10-bit
// format holds them in its top bits, as P010 does), Cb and Cr apart.
CVPixelBufferRef sdrPicture(int width, int height, OSType format) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &buffer), kCVReturnSuccess);
    const bool tenBit = format == kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
    const auto store = [tenBit](std::uint8_t* row, std::size_t x, int value) {
        if (tenBit) {
            reinterpret_cast<std::uint16_t*>(row)[x] = static_cast<std::uint16_t>(value << 8);
        } else {
            row[x] = static_cast<std::uint8_t>(value);
        }
    };
    CVPixelBufferLockBaseAddress(buffer, 0);
    for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(buffer, 0); ++row) {
        auto* luma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 0)) +
                     row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 0);
        for (int x = 0; x < width; ++x) {
            store(luma, x, static_cast<int>(16 + (x * 7 + row * 3) % 220));
        }
    }
    for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(buffer, 1); ++row) {
        auto* chroma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 1)) +
                       row * CVPixelBufferGetBytesPerRowOfPlane(buffer, 1);
        for (int x = 0; x < width / 2; ++x) {
            store(chroma, 2 * x, 64 + (x * 5) % 128);
            store(chroma, 2 * x + 1, static_cast<int>(64 + (row * 11 + x) % 128));
        }
    }
    CVPixelBufferUnlockBaseAddress(buffer, 0);
    CVBufferSetAttachment(buffer, kCVImageBufferYCbCrMatrixKey,
                          kCVImageBufferYCbCrMatrix_ITU_R_709_2, kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferColorPrimariesKey,
                          kCVImageBufferColorPrimaries_ITU_R_709_2,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferTransferFunctionKey,
                          kCVImageBufferTransferFunction_ITU_R_709_2,
                          kCVAttachmentMode_ShouldPropagate);
    return buffer;
}

TEST(VideoPictureConverterTest, SDRPicturesMatchTheExactConversionWithinACodeValue) {
    // Small (one thread) and large (several); both ranges; 10-bit, whose chroma is taken apart
    // before scaling.
    for (const auto& [width, height, format] :
         {std::tuple{64, 36, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange},
          std::tuple{640, 360, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange},
          std::tuple{1920, 1080, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange},
          std::tuple{1280, 720, kCVPixelFormatType_420YpCbCr8BiPlanarFullRange}}) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        const auto source = sdrPicture(width, height, format);
        CVPixelBufferRef exact;
        ASSERT_EQ(CVPixelBufferCreate(width, height, kCVPixelFormatType_32BGRA, nullptr, &exact),
                  kCVReturnSuccess);
        VTPixelTransferSessionRef session;
        VTPixelTransferSessionCreate(&session);
        ASSERT_EQ(VTPixelTransferSessionTransferImage(session, source, exact), noErr);

        VideoPictureConverter converter;
        const auto out = convert(converter, source, width, height);
        CVPixelBufferLockBaseAddress(exact, kCVPixelBufferLock_ReadOnly);
        int worst = 0;
        for (int y = 0; y < height; ++y) {
            const auto* line =
                static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddress(exact)) +
                y * CVPixelBufferGetBytesPerRow(exact);
            for (int x = 0; x < width * 4; ++x) {
                if (x % 4 != 3) {
                    worst = std::max(worst, std::abs(line[x] - out[y * width * 4 + x]));
                }
            }
        }
        CVPixelBufferUnlockBaseAddress(exact, kCVPixelBufferLock_ReadOnly);
        EXPECT_LE(worst, 1);
    }
}

}  // namespace
