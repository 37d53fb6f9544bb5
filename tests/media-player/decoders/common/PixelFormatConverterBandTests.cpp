#include <gtest/gtest.h>

#include <cstring>
#include <random>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/corevideo/CVPixelFormatLayout.h"

using namespace quillon;
using namespace platform;

namespace {

// A picture of noise whose samples stay within the format's depth (decoders give no other).
AVFramePointer noiseFrame(AVPixelFormat format, int width, int height) {
    AVFramePointer frame(av_frame_alloc());
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        throw std::runtime_error("av_frame_get_buffer failed");
    }
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int depth = descriptor->comp[0].depth;
    std::mt19937 random(static_cast<unsigned>(format));
    for (int plane = 0; plane < av_pix_fmt_count_planes(format); ++plane) {
        const int rows =
            plane == 1 || plane == 2 ? AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h) : height;
        for (int row = 0; row < rows; ++row) {
            std::uint8_t* line = frame->data[plane] + row * frame->linesize[plane];
            if (depth > 8) {
                auto* samples = reinterpret_cast<std::uint16_t*>(line);
                for (int index = 0; index < frame->linesize[plane] / 2; ++index) {
                    samples[index] = static_cast<std::uint16_t>(random() & ((1u << depth) - 1));
                }
            } else {
                for (int index = 0; index < frame->linesize[plane]; ++index) {
                    line[index] = static_cast<std::uint8_t>(random());
                }
            }
        }
    }
    return frame;
}

CVPixelBufferRef makeBuffer(const FFmpegPixelFormatConverter& converter, int width, int height) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(static_cast<std::size_t>(width), static_cast<std::size_t>(height),
                                  converter.destinationPixelFormat(), nullptr, &buffer),
              kCVReturnSuccess);
    return buffer;
}

::testing::AssertionResult sameVisibleBytes(const CVPixelBufferRef& a, const CVPixelBufferRef& b) {
    const CVPixelFormatLayout& layout = *a->geometry().layout;
    for (std::size_t plane = 0; plane < a->geometry().planeCount; ++plane) {
        const auto& geometry = a->geometry().planes[plane];
        const auto& planeLayout = layout.planes[plane];
        const std::size_t rowBytes = (geometry.width + planeLayout.blockWidth - 1) /
                                     planeLayout.blockWidth * planeLayout.bytesPerBlock();
        for (std::size_t row = 0; row < geometry.height; ++row) {
            if (std::memcmp(a->baseAddressOfPlane(plane) + row * geometry.bytesPerRow,
                            b->baseAddressOfPlane(plane) + row * geometry.bytesPerRow,
                            rowBytes) != 0) {
                return ::testing::AssertionFailure() << "plane " << plane << " row " << row;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

struct BandCase {
    AVPixelFormat format;
    AVColorRange range;
    int width;
    int height;
};

class PixelFormatConverterBands : public ::testing::TestWithParam<BandCase> {};

// A conversion gives the bytes of libswscale converting the whole picture at once, whether it
// goes in bands (chroma rows, dither rows of deep RGB to 'BGRA', a short or odd last band) or
// packs 10-bit pictures without libswscale (odd heights included).
TEST_P(PixelFormatConverterBands, GiveTheBytesOfLibswscaleOnTheWholePicture) {
    const BandCase& test = GetParam();
    const FFmpegPixelFormatConverter converter(test.format, test.range, test.width, test.height);
    ASSERT_TRUE(converter.isConversionNeeded());
    const AVFramePointer frame = noiseFrame(test.format, test.width, test.height);

    const CVPixelBufferRef banded = makeBuffer(converter, test.width, test.height);
    converter.convert(*frame, banded);
    const CVPixelBufferRef whole = makeBuffer(converter, test.width, test.height);
    withUnsafePointersForFFmpeg(whole, [&](std::uint8_t* const* data, const int* linesize) {
        ASSERT_GE(sws_scale(converter.imageScalingContext(), frame->data, frame->linesize, 0,
                            test.height, data, linesize),
                  0);
    });
    EXPECT_TRUE(sameVisibleBytes(banded, whole));
}

INSTANTIATE_TEST_SUITE_P(
    Formats, PixelFormatConverterBands,
    ::testing::Values(BandCase{AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG, 1920, 1080},
                      BandCase{AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_JPEG, 1280, 720},
                      BandCase{AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG, 1280, 721},
                      BandCase{AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_UNSPECIFIED, 66, 49},
                      BandCase{AV_PIX_FMT_YUV422P, AVCOL_RANGE_MPEG, 1920, 1080},
                      BandCase{AV_PIX_FMT_RGB48LE, AVCOL_RANGE_UNSPECIFIED, 1920, 1082}));

// libswscale leaves the chroma of an odd width's last column unwritten (whatever a reused pool
// buffer held stays); the 10-bit packing writes it.
TEST(PixelFormatConverterBands, PackingWritesTheLastChromaColumnOfAnOddWidth) {
    const FFmpegPixelFormatConverter converter(AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG, 65, 49);
    const AVFramePointer frame = noiseFrame(AV_PIX_FMT_YUV420P10LE, 65, 49);
    const CVPixelBufferRef buffer = makeBuffer(converter, 65, 49);
    converter.convert(*frame, buffer);
    for (std::size_t row = 0; row < 25; ++row) {
        const auto* chroma = reinterpret_cast<const std::uint16_t*>(
            buffer->baseAddressOfPlane(1) + row * buffer->geometry().planes[1].bytesPerRow);
        for (int plane = 1; plane <= 2; ++plane) {
            const auto* source = reinterpret_cast<const std::uint16_t*>(
                frame->data[plane] + static_cast<int>(row) * frame->linesize[plane]);
            EXPECT_EQ(chroma[64 + plane - 1], source[32] << 6) << "row " << row;
        }
    }
}

// Conversions that resample chroma vertically, and small pictures, stay whole.
TEST(PixelFormatConverterBands, OnlyRowByRowConversionsOfLargePicturesAreSplit) {
    EXPECT_EQ(FFmpegPixelFormatConverter(AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG, 1920, 1080)
                  .bandCount(),
              4u);
    EXPECT_EQ(FFmpegPixelFormatConverter(AV_PIX_FMT_YUV422P10LE, AVCOL_RANGE_MPEG, 1920, 1080)
                  .bandCount(),
              1u);
    EXPECT_EQ(
        FFmpegPixelFormatConverter(AV_PIX_FMT_YUV420P10LE, AVCOL_RANGE_MPEG, 640, 360).bandCount(),
        1u);
    EXPECT_EQ(
        FFmpegPixelFormatConverter(AV_PIX_FMT_YUV420P, AVCOL_RANGE_MPEG, 1920, 1080).bandCount(),
        1u);
}

}  // namespace
