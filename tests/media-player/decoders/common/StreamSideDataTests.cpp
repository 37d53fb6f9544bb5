#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "FirstDecodedFrame.h"
#include "media-player/decoders/common/PixelSpacingAttachment.h"
#include "media-player/decoders/common/StreamSideData.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace platform;

namespace {

// A stream of an unopened format context, to carry hand-made side data.
class HandMadeStream : public ::testing::Test {
protected:
    void SetUp() override {
        context.reset(avformat_alloc_context());
        ASSERT_NE(context, nullptr);
        stream = avformat_new_stream(context.get(), nullptr);
        ASSERT_NE(stream, nullptr);
    }

    template <typename T>
    void addSideData(AVPacketSideDataType type, const T& value, std::size_t size = sizeof(T)) {
        std::uint8_t* data = av_stream_new_side_data(stream, type, size);
        ASSERT_NE(data, nullptr);
        std::memcpy(data, &value, std::min(size, sizeof(T)));
    }

    AVFormatContextPointer context;
    AVStream* stream = nullptr;
};

TEST_F(HandMadeStream, HasNoSideDataToRead) {
    EXPECT_FALSE(readDisplayMatrix(*stream));
    EXPECT_FALSE(readMasteringDisplayMetadata(*stream));
    EXPECT_FALSE(readContentLightLevel(*stream));
}

TEST_F(HandMadeStream, DisplayMatrixIsReadAsSixteenSixteenFixedPointNotInverted) {
    const std::array<std::int32_t, 9> matrix = {0, 65536, 0, -65536, 0, 0, 0, 0, 1073741824};
    addSideData(AV_PKT_DATA_DISPLAYMATRIX, matrix);
    const auto transform = readDisplayMatrix(*stream);
    ASSERT_TRUE(transform);
    EXPECT_EQ(*transform, CGAffineTransformMake(0, 1, -1, 0, 0, 0));
}

TEST_F(HandMadeStream, AShortDisplayMatrixCountsAsAbsent) {
    const std::array<std::int32_t, 9> matrix = {65536, 0, 0, 0, 65536, 0, 0, 0, 1073741824};
    addSideData(AV_PKT_DATA_DISPLAYMATRIX, matrix, 16);
    EXPECT_FALSE(readDisplayMatrix(*stream));
}

// All zeros (as some MP4 writers leave the track header), or a matrix that flattens the picture
// onto a line, cannot say how to show it.
TEST_F(HandMadeStream, AMatrixWithoutInverseCountsAsAbsent) {
    for (const std::array<std::int32_t, 9>& matrix :
         {std::array<std::int32_t, 9>{},
          std::array<std::int32_t, 9>{65536, 65536, 0, 65536, 65536, 0, 0, 0, 1073741824}}) {
        stream = avformat_new_stream(context.get(), nullptr);
        ASSERT_NE(stream, nullptr);
        addSideData(AV_PKT_DATA_DISPLAYMATRIX, matrix);
        EXPECT_FALSE(readDisplayMatrix(*stream));
    }
}

TEST_F(HandMadeStream, HDRMetadataIsCopied) {
    AVMasteringDisplayMetadata metadata{};
    for (auto& primary : metadata.display_primaries) {
        primary[0] = {15000, 50000};
        primary[1] = {16000, 50000};
    }
    metadata.display_primaries[1][0] = {13250, 50000};
    metadata.white_point[0] = {15635, 50000};
    metadata.white_point[1] = {16450, 50000};
    metadata.max_luminance = {4000, 1};
    metadata.min_luminance = {5, 10000};
    metadata.has_primaries = 1;
    metadata.has_luminance = 1;
    addSideData(AV_PKT_DATA_MASTERING_DISPLAY_METADATA, metadata);
    addSideData(AV_PKT_DATA_CONTENT_LIGHT_LEVEL, AVContentLightMetadata{4000, 250});

    const auto read = readMasteringDisplayMetadata(*stream);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::memcmp(&*read, &metadata, sizeof(metadata)), 0);
    EXPECT_EQ(readContentLightLevel(*stream), (ContentLightLevel{4000, 250}));
    // Stream side data turns into the same blocks as frame side data.
    EXPECT_NE(makeMasteringDisplayColorVolumeData(*read), nullptr);
}

TEST(StreamSideDataOfRealFiles, RotatedMP4HasAQuarterTurn) {
    quillon::testing::FirstDecodedFrame file(test::mediaPath("rotate-90.mp4"));
    const auto transform = readDisplayMatrix(*file.stream);
    ASSERT_TRUE(transform);
    EXPECT_EQ(*transform, CGAffineTransformMake(0, -1, 1, 0, 0, 0));
}

TEST(PixelAspectRatioAttachment, TakesTheRatioOrSquarePixelsWhenUnknown) {
    const auto spacing = [](AVRational ratio) {
        const CFDictionary attachment = pixelSpacingAttachment(ratio);
        EXPECT_EQ(attachment.size(), 2u);
        return std::pair{
            attachment.integerValue(kCVImageBufferPixelAspectRatioHorizontalSpacingKey),
            attachment.integerValue(kCVImageBufferPixelAspectRatioVerticalSpacingKey)};
    };
    using Spacing = std::pair<std::optional<std::int64_t>, std::optional<std::int64_t>>;
    EXPECT_EQ(spacing({4, 3}), (Spacing{4, 3}));
    EXPECT_EQ(spacing({64, 45}), (Spacing{64, 45}));
    EXPECT_EQ(spacing({0, 1}), (Spacing{1, 1}));
    EXPECT_EQ(spacing({1, 0}), (Spacing{1, 1}));
    EXPECT_EQ(spacing({0, 0}), (Spacing{1, 1}));
}

}  // namespace
