#include <array>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "SubtitlesTestSupport.h"
#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/subtitles/FFmpegImageSubtitlesDecoder.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/foundation/Log.h"

namespace quillon {
namespace {

using namespace subtitlestest;
using platform::CVPixelBufferRef;

constexpr std::uint32_t transparent = 0x00000000;
constexpr std::uint32_t white = 0xFFFFFFFF;
constexpr std::uint32_t red = 0xFFFF0000;
constexpr std::uint32_t blue = 0xFF0000FF;

// Rows of palette indices: a white frame two pixels wide around red, with a transparent hole
// and a blue block inside, so that nothing at the edges is transparent (the DVD decoder crops
// transparent borders).
struct Bitmap {
    static constexpr int width = 64;
    static constexpr int height = 32;
    std::array<std::uint32_t, 4> palette{transparent, white, red, blue};
    std::vector<std::uint8_t> indices = draw();

    static std::uint8_t indexAt(int x, int y) {
        if (x < 2 || y < 2 || x >= width - 2 || y >= height - 2) {
            return 1;
        }
        if (x >= 10 && x < 20 && y >= 10 && y < 20) {
            return 0;
        }
        if (x >= 40 && x < 50 && y >= 10 && y < 20) {
            return 3;
        }
        return 2;
    }

    static std::vector<std::uint8_t> draw() {
        std::vector<std::uint8_t> rows(width * height);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                rows[y * width + x] = indexAt(x, y);
            }
        }
        return rows;
    }
};

// 0xAARRGGBB of the pixel at (x, y) of a 'BGRA' buffer.
std::uint32_t pixelAt(const CVPixelBufferRef& buffer, int x, int y) {
    platform::CVPixelBufferLockBaseAddress(buffer, platform::kCVPixelBufferLock_ReadOnly);
    const auto* base =
        static_cast<const std::uint8_t*>(platform::CVPixelBufferGetBaseAddress(buffer));
    const std::size_t bytesPerRow = platform::CVPixelBufferGetBytesPerRow(buffer);
    const std::uint8_t* p = base + y * bytesPerRow + x * 4;
    const std::uint32_t argb = (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) |
                               (std::uint32_t{p[1]} << 8) | p[0];
    platform::CVPixelBufferUnlockBaseAddress(buffer, platform::kCVPixelBufferLock_ReadOnly);
    return argb;
}

void expectPixelsOfBitmap(const CVPixelBufferRef& image, const Bitmap& bitmap) {
    ASSERT_EQ(platform::CVPixelBufferGetPixelFormatType(image),
              platform::kCVPixelFormatType_32BGRA);
    ASSERT_EQ(platform::CVPixelBufferGetWidth(image), std::size_t{Bitmap::width});
    ASSERT_EQ(platform::CVPixelBufferGetHeight(image), std::size_t{Bitmap::height});
    for (auto [x, y] : std::vector<std::pair<int, int>>{
             {0, 0}, {63, 31}, {5, 5}, {15, 15}, {45, 15}, {30, 25}, {1, 30}}) {
        const std::uint32_t expected = bitmap.palette[Bitmap::indexAt(x, y)];
        const std::uint32_t actual = pixelAt(image, x, y);
        if (expected >> 24 == 0) {
            EXPECT_EQ(actual >> 24, 0u) << "at " << x << "," << y;
        } else {
            EXPECT_EQ(actual, expected) << std::hex << "at " << std::dec << x << "," << y;
        }
    }
}

// One DVD subtitle packet encoded by libavcodec from the bitmap, and the encoder's extradata
// (its palette and canvas size) for the decoder.
struct EncodedDVDSubtitle {
    std::string packet;
    std::string extradata;
};

EncodedDVDSubtitle encodeDVDSubtitle(const Bitmap& bitmap, std::uint32_t startMilliseconds,
                                     std::uint32_t endMilliseconds) {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
    EXPECT_NE(encoder, nullptr);
    AVCodecContextPointer context(avcodec_alloc_context3(encoder));
    context->width = 720;
    context->height = 480;
    context->time_base = {1, 90000};
    EXPECT_GE(avcodec_open2(context.get(), encoder, nullptr), 0);

    AVSubtitleRect rect{};
    rect.type = SUBTITLE_BITMAP;
    rect.x = 100;
    rect.y = 50;
    rect.w = Bitmap::width;
    rect.h = Bitmap::height;
    rect.nb_colors = 4;
    std::vector<std::uint8_t> indices = bitmap.indices;
    std::array<std::uint32_t, 4> palette = bitmap.palette;
    rect.data[0] = indices.data();
    rect.linesize[0] = Bitmap::width;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(palette.data());
    AVSubtitleRect* rects[] = {&rect};
    AVSubtitle subtitle{};
    subtitle.start_display_time = startMilliseconds;
    subtitle.end_display_time = endMilliseconds;
    subtitle.num_rects = 1;
    subtitle.rects = rects;
    subtitle.pts = 0;

    std::vector<std::uint8_t> buffer(1 << 16);
    const int size = avcodec_encode_subtitle(context.get(), buffer.data(),
                                             static_cast<int>(buffer.size()), &subtitle);
    EXPECT_GT(size, 0);
    return {std::string(buffer.begin(), buffer.begin() + std::max(size, 0)),
            std::string(reinterpret_cast<const char*>(context->extradata),
                        static_cast<std::size_t>(context->extradata_size))};
}

TEST(ImageSubtitlesDecoderTests, DVDSubtitleBecomesAColourImageOnTheCanvas) {
    const Bitmap bitmap;
    const EncodedDVDSubtitle encoded = encodeDVDSubtitle(bitmap, 0, 1500);
    HandMadeStream stream(AV_CODEC_ID_DVD_SUBTITLE, encoded.extradata, 720, 480, {1, 90000});
    FFmpegSubtitlesFrameDecoder decoder(*stream.stream);

    std::vector<SubtitlesFrame> frames = decoder.decode(*makePacket(encoded.packet, 90000, 0));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_DOUBLE_EQ(seconds(frames[0].startTime), 1.0);
    // DVD dates count in units of 1024/90 ms.
    EXPECT_NEAR(seconds(frames[0].endTime), 2.5, 0.012);

    const auto* images = frames[0].subtitles.imageSubtitles();
    ASSERT_NE(images, nullptr);
    ASSERT_EQ(images->size(), 1u);
    const ImageSubtitle& image = images->front();
    EXPECT_EQ(image.imageFrame, platform::CGRectMake(100, 50, 64, 32));
    ASSERT_TRUE(image.videoDimensions.has_value());
    EXPECT_EQ(image.videoDimensions->width, 720);
    EXPECT_EQ(image.videoDimensions->height, 480);
    EXPECT_EQ(image.videoDimensions->effectiveSize, platform::CGSizeMake(720, 480));
    EXPECT_DOUBLE_EQ(image.videoDimensions->aspectRatio, 1.5);
    expectPixelsOfBitmap(image.image, bitmap);

    // An RGB picture without colour information gets the sRGB defaults.
    EXPECT_EQ(platform::CVBufferGetAttachment(image.image, kDidConfigureColorSpaceAttachmentKey)
                  .value_or(false),
              platform::CFValue(true));
    EXPECT_EQ(
        platform::CVBufferGetAttachment(image.image, platform::kCVImageBufferTransferFunctionKey)
            .value_or(std::string()),
        platform::CFValue(platform::kCVImageBufferTransferFunction_sRGB));
}

TEST(ImageSubtitlesDecoderTests, StreamWithoutCanvasSizeGivesImagesWithoutDimensions) {
    const Bitmap bitmap;
    const EncodedDVDSubtitle encoded = encodeDVDSubtitle(bitmap, 0, 1000);
    HandMadeStream stream(AV_CODEC_ID_DVD_SUBTITLE, {}, 0, 0, {1, 90000});
    FFmpegSubtitlesFrameDecoder decoder(*stream.stream);
    std::vector<SubtitlesFrame> frames = decoder.decode(*makePacket(encoded.packet, 0, 0));
    ASSERT_EQ(frames.size(), 1u);
    ASSERT_NE(frames[0].subtitles.imageSubtitles(), nullptr);
    EXPECT_FALSE(frames[0].subtitles.imageSubtitles()->front().videoDimensions.has_value());
}

TEST(ImageSubtitlesDecoderTests, SubtitleThatEndsBeforeItStartsIsSkipped) {
    const Bitmap bitmap;
    EncodedDVDSubtitle encoded = encodeDVDSubtitle(bitmap, 0, 1000);
    // The encoder refuses such times; move the first control sequence's date (the start, in
    // units of 1024/90 ms) past the end.
    const std::size_t control =
        (std::uint8_t(encoded.packet[2]) << 8) | std::uint8_t(encoded.packet[3]);
    ASSERT_LT(control + 1, encoded.packet.size());
    encoded.packet[control] = 0x02;
    encoded.packet[control + 1] = 0x00;
    HandMadeStream stream(AV_CODEC_ID_DVD_SUBTITLE, encoded.extradata, 720, 480, {1, 90000});
    FFmpegSubtitlesFrameDecoder decoder(*stream.stream);
    platform::ScopedLogCapture log;
    EXPECT_TRUE(decoder.decode(*makePacket(encoded.packet, 0, 0)).empty());
    EXPECT_TRUE(log.contains("ends before it starts"));
}

TEST(ImageSubtitlesDecoderTests, PGSDisplaySetWithoutObjectsClearsWhatIsShown) {
    // A presentation composition segment (1920 × 1080, epoch start, no objects) and an end
    // segment.
    const std::string packet(
        "\x16\x00\x0B\x07\x80\x04\x38\x10\x00\x00\x80\x00\x00\x00"
        "\x80\x00\x00",
        17);
    HandMadeStream stream(AV_CODEC_ID_HDMV_PGS_SUBTITLE, {}, 1920, 1080, {1, 90000});
    FFmpegSubtitlesFrameDecoder decoder(*stream.stream);
    std::vector<SubtitlesFrame> frames = decoder.decode(*makePacket(packet, 450000, 0));
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].subtitles.kind(), Subtitles::Kind::clearPreviousSubtitles);
    EXPECT_DOUBLE_EQ(seconds(frames[0].startTime), 5.0);
}

// Rectangles as a corrupt stream could leave them; none may be read out of bounds.
class HostileBitmapTests : public ::testing::Test {
protected:
    AVSubtitleRect validRect() {
        AVSubtitleRect rect{};
        rect.type = SUBTITLE_BITMAP;
        rect.x = 3;
        rect.y = 4;
        rect.w = Bitmap::width;
        rect.h = Bitmap::height;
        rect.nb_colors = 4;
        rect.data[0] = indices.data();
        rect.linesize[0] = Bitmap::width;
        rect.data[1] = reinterpret_cast<std::uint8_t*>(palette.data());
        return rect;
    }

    std::size_t imageCount(std::vector<AVSubtitleRect*> rects) {
        try {
            Subtitles subtitles = decoder.makeSubtitles(rects);
            return subtitles.imageSubtitles()->size();
        } catch (const FFmpegError& error) {
            EXPECT_EQ(error, FFmpegError::unknownSubtitleType());
            return 0;
        }
    }

    Bitmap bitmap;
    std::vector<std::uint8_t> indices = bitmap.indices;
    std::array<std::uint32_t, 4> palette = bitmap.palette;
    FFmpegImageSubtitlesDecoder decoder{VideoDimensions(720, 576, std::nullopt, 1.0)};
};

TEST_F(HostileBitmapTests, AValidRectangleIsPlacedAndCarriesTheDecodersDimensions) {
    AVSubtitleRect rect = validRect();
    Subtitles subtitles = decoder.makeSubtitles(std::vector<AVSubtitleRect*>{&rect});
    ASSERT_EQ(subtitles.imageSubtitles()->size(), 1u);
    const ImageSubtitle& image = subtitles.imageSubtitles()->front();
    EXPECT_EQ(image.imageFrame, platform::CGRectMake(3, 4, 64, 32));
    EXPECT_EQ(image.videoDimensions, decoder.videoDimensions());
    expectPixelsOfBitmap(image.image, bitmap);
}

TEST_F(HostileBitmapTests, RectanglesThatDoNotDescribeTheirDataAreSkipped) {
    platform::ScopedLogCapture log;
    AVSubtitleRect shortRows = validRect();
    shortRows.linesize[0] = Bitmap::width - 1;
    AVSubtitleRect negativeRows = validRect();
    negativeRows.linesize[0] = -Bitmap::width;
    AVSubtitleRect empty = validRect();
    empty.h = 0;
    AVSubtitleRect huge = validRect();
    huge.w = 1 << 20;
    huge.linesize[0] = 1 << 20;
    AVSubtitleRect noPalette = validRect();
    noPalette.data[1] = nullptr;
    AVSubtitleRect noColours = validRect();
    noColours.nb_colors = 0;
    AVSubtitleRect noIndices = validRect();
    noIndices.data[0] = nullptr;
    AVSubtitleRect text = validRect();
    text.type = SUBTITLE_TEXT;

    for (AVSubtitleRect* rect :
         {&shortRows, &negativeRows, &empty, &huge, &noPalette, &noColours, &noIndices, &text}) {
        EXPECT_EQ(imageCount({rect}), 0u);
    }
    EXPECT_EQ(log.lines().size(), 8u);

    AVSubtitleRect good = validRect();
    EXPECT_EQ(imageCount({&shortRows, &good, &huge}), 1u);
}

TEST_F(HostileBitmapTests, IndicesPastAShortPaletteComeOutTransparent) {
    // Two colours allocated, while the rows use indices up to 255.
    std::array<std::uint32_t, 2> shortPalette{white, red};
    for (std::size_t i = 0; i < indices.size(); ++i) {
        indices[i] = static_cast<std::uint8_t>(i % 256);
    }
    AVSubtitleRect rect = validRect();
    rect.nb_colors = 2;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(shortPalette.data());
    Subtitles subtitles = decoder.makeSubtitles(std::vector<AVSubtitleRect*>{&rect});
    const CVPixelBufferRef& image = subtitles.imageSubtitles()->front().image;
    EXPECT_EQ(pixelAt(image, 0, 0), white);
    EXPECT_EQ(pixelAt(image, 1, 0), red);
    EXPECT_EQ(pixelAt(image, 2, 0) >> 24, 0u);
    EXPECT_EQ(pixelAt(image, 63, 3) >> 24, 0u);
}

TEST_F(HostileBitmapTests, MoreColoursThanAPaletteHoldsAreCappedAt256) {
    std::vector<std::uint32_t> bigPalette(300, red);
    AVSubtitleRect rect = validRect();
    rect.nb_colors = 300;
    rect.data[1] = reinterpret_cast<std::uint8_t*>(bigPalette.data());
    Subtitles subtitles = decoder.makeSubtitles(std::vector<AVSubtitleRect*>{&rect});
    EXPECT_EQ(pixelAt(subtitles.imageSubtitles()->front().image, 0, 0), red);
}

}  // namespace
}  // namespace quillon
