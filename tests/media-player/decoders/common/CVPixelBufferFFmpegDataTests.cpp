#include <array>
#include <cstring>
#include <stdexcept>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/DataMismatchError.h"
#include "media-player/decoders/common/FFmpegPointers.h"

using namespace quillon;
using namespace platform;

namespace {

CVPixelBufferRef makeBuffer(std::size_t width, std::size_t height, OSType format) {
    CVPixelBufferRef buffer;
    EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &buffer), kCVReturnSuccess);
    return buffer;
}

// One plane of a decoded picture, allocated to end right after its last pixel so that a copy
// that reads further trips the address sanitizer.
struct SourcePlane {
    SourcePlane(std::size_t rows, std::size_t rowBytes, int linesize, std::uint8_t seed)
        : rows(rows),
          rowBytes(rowBytes),
          linesize(linesize),
          bytes(static_cast<std::size_t>(std::abs(linesize)) * (rows - 1) + rowBytes) {
        for (std::size_t row = 0; row < rows; ++row) {
            for (std::size_t column = 0; column < rowBytes; ++column) {
                at(row)[column] = static_cast<std::uint8_t>(seed + row * 7 + column * 3);
            }
        }
    }
    // Rows run upwards in memory when the line size is negative.
    std::uint8_t* at(std::size_t row) {
        return data() + static_cast<std::ptrdiff_t>(row) * linesize;
    }
    std::uint8_t* data() {
        return linesize >= 0 ? bytes.data()
                             : bytes.data() + static_cast<std::size_t>(-linesize) * (rows - 1);
    }

    std::size_t rows;
    std::size_t rowBytes;
    int linesize;
    std::vector<std::uint8_t> bytes;
};

struct SourcePicture {
    std::vector<SourcePlane> planes;
    std::array<const std::uint8_t*, 4> data{};
    std::array<int, 4> linesize{};

    void seal() {
        for (std::size_t i = 0; i < planes.size(); ++i) {
            data[i] = planes[i].data();
            linesize[i] = planes[i].linesize;
        }
    }
};

void expectPlanesEqual(SourcePicture& source, const CVPixelBufferRef& buffer) {
    const bool planar = CVPixelBufferIsPlanar(buffer);
    for (std::size_t plane = 0; plane < source.planes.size(); ++plane) {
        SourcePlane& expected = source.planes[plane];
        const auto* base = static_cast<const std::uint8_t*>(
            planar ? CVPixelBufferGetBaseAddressOfPlane(buffer, plane)
                   : CVPixelBufferGetBaseAddress(buffer));
        const std::size_t bytesPerRow = planar ? CVPixelBufferGetBytesPerRowOfPlane(buffer, plane)
                                               : CVPixelBufferGetBytesPerRow(buffer);
        for (std::size_t row = 0; row < expected.rows; ++row) {
            ASSERT_EQ(std::memcmp(base + row * bytesPerRow, expected.at(row), expected.rowBytes), 0)
                << "plane " << plane << " row " << row;
        }
    }
}

bool isUnlocked(const CVPixelBufferRef& buffer) {
    return CVPixelBufferUnlockBaseAddress(buffer, 0) == kCVReturnError;
}

template <typename Call>
DataMismatchError mismatchOf(Call&& call) {
    try {
        call();
    } catch (const DataMismatchError& error) {
        return error;
    }
    throw std::runtime_error("no DataMismatchError thrown");
}

}  // namespace

TEST(FillData, EqualLineSizesCopyEachPlaneInOneBlock) {
    CVPixelBufferRef buffer = makeBuffer(64, 48, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    SourcePicture source;
    source.planes.emplace_back(48, 64,
                               static_cast<int>(CVPixelBufferGetBytesPerRowOfPlane(buffer, 0)), 1);
    source.planes.emplace_back(24, 64,
                               static_cast<int>(CVPixelBufferGetBytesPerRowOfPlane(buffer, 1)), 2);
    source.seal();
    fillData(buffer, source.data.data(), source.linesize.data(), AV_PIX_FMT_NV12);
    expectPlanesEqual(source, buffer);
    EXPECT_TRUE(isUnlocked(buffer));
}

TEST(FillData, OtherLineSizesCopyRowByRow) {
    // Wider lines than the buffer's rows, as a decoder with bigger alignment gives.
    CVPixelBufferRef wide = makeBuffer(33, 17, kCVPixelFormatType_420YpCbCr8Planar);
    SourcePicture padded;
    padded.planes.emplace_back(17, 33, 128, 1);
    padded.planes.emplace_back(9, 17, 64, 2);
    padded.planes.emplace_back(9, 17, 64, 3);
    padded.seal();
    fillData(wide, padded.data.data(), padded.linesize.data(), AV_PIX_FMT_YUV420P);
    expectPlanesEqual(padded, wide);

    // Tightly packed lines, as rawvideo frames that point into the packet have.
    CVPixelBufferRef tight = makeBuffer(33, 17, kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    SourcePicture packed;
    packed.planes.emplace_back(17, 66, 66, 4);
    packed.planes.emplace_back(9, 68, 68, 5);
    packed.seal();
    fillData(tight, packed.data.data(), packed.linesize.data(), AV_PIX_FMT_P010LE);
    expectPlanesEqual(packed, tight);

    // Bottom-up rows.
    CVPixelBufferRef flipped = makeBuffer(20, 6, kCVPixelFormatType_32BGRA);
    SourcePicture upwards;
    upwards.planes.emplace_back(6, 80, -96, 6);
    upwards.seal();
    fillData(flipped, upwards.data.data(), upwards.linesize.data(), AV_PIX_FMT_BGRA);
    expectPlanesEqual(upwards, flipped);
    EXPECT_TRUE(isUnlocked(flipped));
}

TEST(FillData, LinesShorterThanThePixelsAreAMismatch) {
    CVPixelBufferRef buffer = makeBuffer(100, 10, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    ASSERT_EQ(CVPixelBufferGetBytesPerRowOfPlane(buffer, 1), 112u);
    SourcePicture source;
    source.planes.emplace_back(10, 100, 100, 1);
    source.planes.emplace_back(5, 64, 64, 2);
    source.seal();
    const DataMismatchError error = mismatchOf(
        [&] { fillData(buffer, source.data.data(), source.linesize.data(), AV_PIX_FMT_NV12); });
    EXPECT_EQ(error, DataMismatchError::mismatchedRowByteCount(1, 112, 64));
    EXPECT_EQ(error.description(),
              "mismatchedRowByteCount(plane: 1, bytesPerRow: 112, ffmpegLinesize: 64)");
    EXPECT_EQ(error.domain(), "QuillonPlayer.DataMismatchError");
    EXPECT_EQ(error.code(), 2);
    EXPECT_TRUE(isUnlocked(buffer));
}

TEST(FillData, MissingPlanesAreAMismatch) {
    CVPixelBufferRef planar = makeBuffer(16, 16, kCVPixelFormatType_420YpCbCr8Planar);
    SourcePicture twoPlanes;
    twoPlanes.planes.emplace_back(16, 16, 16, 1);
    twoPlanes.planes.emplace_back(8, 8, 8, 2);
    twoPlanes.seal();
    EXPECT_EQ(mismatchOf([&] {
                  fillData(planar, twoPlanes.data.data(), twoPlanes.linesize.data(),
                           AV_PIX_FMT_YUV420P);
              }),
              DataMismatchError::noFFmpegData(2));
    EXPECT_TRUE(isUnlocked(planar));

    CVPixelBufferRef packed = makeBuffer(16, 16, kCVPixelFormatType_32BGRA);
    const std::array<const std::uint8_t*, 4> none{};
    const std::array<int, 4> linesizes{64, 0, 0, 0};
    EXPECT_EQ(mismatchOf([&] { fillData(packed, none.data(), linesizes.data(), AV_PIX_FMT_BGRA); }),
              DataMismatchError::noFFmpegData(0));
    EXPECT_TRUE(isUnlocked(packed));
}

TEST(FillData, FrameMatchTellsWhenToRebuild) {
    CVPixelBufferRef buffer = makeBuffer(64, 48, kCVPixelFormatType_420YpCbCr8PlanarFullRange);
    AVFramePointer frame(av_frame_alloc());
    frame->width = 64;
    frame->height = 48;
    frame->format = AV_PIX_FMT_YUV420P;
    EXPECT_TRUE(frameMatchesPixelBuffer(*frame, buffer));
    frame->height = 50;
    EXPECT_FALSE(frameMatchesPixelBuffer(*frame, buffer));
    frame->height = 48;
    frame->format = AV_PIX_FMT_NV12;
    EXPECT_FALSE(frameMatchesPixelBuffer(*frame, buffer));
    EXPECT_FALSE(frameMatchesPixelBuffer(*frame, nullptr));
    // A format without an FFmpeg twin matches no frame.
    CVPixelBufferRef v210 = makeBuffer(64, 48, kCVPixelFormatType_422YpCbCr10);
    frame->format = AV_PIX_FMT_YUV422P10LE;
    EXPECT_FALSE(frameMatchesPixelBuffer(*frame, v210));
}

TEST(WithUnsafePointersForFFmpeg, GivesPlanesAndUnlocksAfterwards) {
    CVPixelBufferRef planar = makeBuffer(33, 17, kCVPixelFormatType_420YpCbCr8Planar);
    withUnsafePointersForFFmpeg(planar, [&](std::uint8_t* const* data, const int* linesize) {
        for (std::size_t plane = 0; plane < 3; ++plane) {
            EXPECT_EQ(data[plane], CVPixelBufferGetBaseAddressOfPlane(planar, plane));
            EXPECT_EQ(static_cast<std::size_t>(linesize[plane]),
                      CVPixelBufferGetBytesPerRowOfPlane(planar, plane));
        }
        EXPECT_EQ(data[3], nullptr);
        EXPECT_EQ(linesize[3], 0);
        EXPECT_TRUE(planar->isLocked());
    });
    EXPECT_TRUE(isUnlocked(planar));

    CVPixelBufferRef packed = makeBuffer(8, 8, kCVPixelFormatType_422YpCbCr8);
    EXPECT_THROW(withUnsafePointersForFFmpeg(packed,
                                             [&](std::uint8_t* const* data, const int* linesize) {
                                                 EXPECT_EQ(data[0],
                                                           CVPixelBufferGetBaseAddress(packed));
                                                 EXPECT_EQ(linesize[0], 16);
                                                 EXPECT_EQ(data[1], nullptr);
                                                 throw std::runtime_error("body failed");
                                             }),
                 std::runtime_error);
    EXPECT_TRUE(isUnlocked(packed));
}
