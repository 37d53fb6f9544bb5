#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <gtest/gtest.h>

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/CoreVideoCall.h"
#include "media-player/decoders/common/DecoderFrameGeometry.h"
#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace platform;

namespace {

// Tiny files made once per test process with the ffmpeg CLI: the raw ones are decoded by a
// decoder that hands out the packet's own memory, the others come from libavcodec's frame pool.
class GeneratedMedia {
public:
    static const GeneratedMedia& shared() {
        static GeneratedMedia media;
        return media;
    }

    // Empty when the file could not be made.
    std::string path(const std::string& name) const {
        auto it = paths_.find(name);
        return it == paths_.end() ? std::string() : it->second;
    }

private:
    GeneratedMedia() {
        char pattern[] = "/tmp/quillon-pixel-buffers-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            return;
        }
        folder_ = pattern;
        const std::string odd = "-f lavfi -i testsrc2=size=33x17:rate=10:duration=0.3 ";
        const std::string even = "-f lavfi -i testsrc2=size=64x48:rate=10:duration=0.3 ";
        make("raw-yuv420p.nut", odd + "-pix_fmt yuv420p -c:v rawvideo");
        make("raw-nv12.nut", odd + "-pix_fmt nv12 -c:v rawvideo");
        // No container has a tag for raw P010: a headerless file, opened with its layout given.
        // The CLI makes P010 pictures of even sizes only.
        make("raw-p010le.yuv",
             "-f lavfi -i testsrc2=size=34x18:rate=10:duration=0.3 -pix_fmt p010le -f rawvideo");
        make("raw-bgra.nut", odd + "-pix_fmt bgra -c:v rawvideo");
        make("raw-argb.nut", odd + "-pix_fmt argb -c:v rawvideo");
        make("raw-rgb24.nut", odd + "-pix_fmt rgb24 -c:v rawvideo");
        make("raw-uyvy422.nut", odd + "-pix_fmt uyvy422 -c:v rawvideo");
        make("raw-yuyv422.nut", odd + "-pix_fmt yuyv422 -c:v rawvideo");
        make("raw-ayuv64le.yuv", odd + "-pix_fmt ayuv64le -f rawvideo");
        make("ffv1-yuv420p.mkv", odd + "-pix_fmt yuv420p -c:v ffv1");
        make("ffv1-yuv420p10le.mkv", odd + "-pix_fmt yuv420p10le -c:v ffv1");
        make("mjpeg-yuvj420p.avi", odd + "-pix_fmt yuvj420p -c:v mjpeg -q:v 2");
        if (!make("h264-yuv420p.mkv", even + "-pix_fmt yuv420p -c:v libx264 -threads 1")) {
            make("h264-yuv420p.mkv", even + "-pix_fmt yuv420p -c:v mpeg2video");
        }
    }

    ~GeneratedMedia() {
        if (!folder_.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(folder_, ignored);
        }
    }

    bool make(const std::string& name, const std::string& arguments) {
        const std::string path = folder_ + "/" + name;
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + " " + path;
        if (std::system(command.c_str()) != 0) {
            return false;
        }
        paths_[name] = path;
        return true;
    }

    std::string folder_;
    std::map<std::string, std::string> paths_;
};

struct DecodedVideo {
    AVCodecContextPointer context;
    std::vector<AVFramePointer> frames;
};

DecodedVideo decodeAll(const std::string& path) {
    DecodedVideo video;
    AVFormatContext* raw = nullptr;
    const AVInputFormat* inputFormat = nullptr;
    AVDictionaryPointer options;
    if (path.ends_with(".yuv")) {
        const bool p010 = path.ends_with("p010le.yuv");
        inputFormat = av_find_input_format("rawvideo");
        av_dict_set(inOutPointer(options), "pixel_format", p010 ? "p010le" : "ayuv64le", 0);
        av_dict_set(inOutPointer(options), "video_size", p010 ? "34x18" : "33x17", 0);
    }
    if (avformat_open_input(&raw, path.c_str(), inputFormat, inOutPointer(options)) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return video;
    }
    AVFormatContextPointer format(raw);
    avformat_find_stream_info(raw, nullptr);
    const AVCodec* codec = nullptr;
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (index < 0 || codec == nullptr) {
        ADD_FAILURE() << "no video stream in " << path;
        return video;
    }
    video.context.reset(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(video.context.get(), raw->streams[index]->codecpar);
    video.context->thread_count = 1;
    if (avcodec_open2(video.context.get(), codec, nullptr) < 0) {
        ADD_FAILURE() << "cannot open the decoder of " << path;
        return video;
    }
    AVPacketPointer packet(av_packet_alloc());
    AVFramePointer frame(av_frame_alloc());
    auto receive = [&] {
        while (avcodec_receive_frame(video.context.get(), frame.get()) >= 0) {
            video.frames.emplace_back(av_frame_clone(frame.get()));
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(raw, packet.get()) >= 0) {
        if (packet->stream_index == index) {
            avcodec_send_packet(video.context.get(), packet.get());
            receive();
        }
        av_packet_unref(packet.get());
    }
    avcodec_send_packet(video.context.get(), nullptr);
    receive();
    EXPECT_FALSE(video.frames.empty()) << path;
    return video;
}

CFDictionaryRef poolAttributes(int width, int height, OSType format, int extendedRight = 0,
                               int extendedBottom = 0, int alignment = 16) {
    return std::make_shared<const CFDictionary>(
        CFDictionary{{kCVPixelBufferPixelFormatTypeKey, std::int64_t{format}},
                     {kCVPixelBufferWidthKey, std::int64_t{width}},
                     {kCVPixelBufferHeightKey, std::int64_t{height}},
                     {kCVPixelBufferExtendedPixelsRightKey, std::int64_t{extendedRight}},
                     {kCVPixelBufferExtendedPixelsBottomKey, std::int64_t{extendedBottom}},
                     {kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{alignment}},
                     {kCVPixelBufferIOSurfaceCoreAnimationCompatibilityKey, true}});
}

// The rows of plane p of the frame and of the buffer hold the same bytes.
void expectSamePixels(const AVFrame& frame, const CVPixelBufferRef& buffer) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    const int planes = av_pix_fmt_count_planes(format);
    ASSERT_EQ(
        CVPixelBufferIsPlanar(buffer) ? static_cast<int>(CVPixelBufferGetPlaneCount(buffer)) : 1,
        planes);
    for (int plane = 0; plane < planes; ++plane) {
        const int rows =
            plane == 0 ? frame.height : AV_CEIL_RSHIFT(frame.height, descriptor->log2_chroma_h);
        const int rowBytes = av_image_get_linesize(format, frame.width, plane);
        const auto* base = static_cast<const std::uint8_t*>(
            CVPixelBufferIsPlanar(buffer) ? CVPixelBufferGetBaseAddressOfPlane(buffer, plane)
                                          : CVPixelBufferGetBaseAddress(buffer));
        const std::size_t bytesPerRow = CVPixelBufferIsPlanar(buffer)
                                            ? CVPixelBufferGetBytesPerRowOfPlane(buffer, plane)
                                            : CVPixelBufferGetBytesPerRow(buffer);
        for (int row = 0; row < rows; ++row) {
            ASSERT_EQ(std::memcmp(base + row * bytesPerRow,
                                  frame.data[plane] + row * frame.linesize[plane], rowBytes),
                      0)
                << "plane " << plane << ", row " << row;
        }
    }
}

bool lineSizesEqualBytesPerRow(const AVFrame& frame, const CVPixelBufferRef& buffer) {
    if (!CVPixelBufferIsPlanar(buffer)) {
        return static_cast<std::size_t>(frame.linesize[0]) == CVPixelBufferGetBytesPerRow(buffer);
    }
    for (std::size_t plane = 0; plane < CVPixelBufferGetPlaneCount(buffer); ++plane) {
        if (static_cast<std::size_t>(frame.linesize[plane]) !=
            CVPixelBufferGetBytesPerRowOfPlane(buffer, plane)) {
            return false;
        }
    }
    return true;
}

std::string mediaPath(const std::string& name) {
    const std::string path = GeneratedMedia::shared().path(name);
    if (path.empty()) {
        ADD_FAILURE() << "ffmpeg could not make " << name;
    }
    return path;
}

// The pool a video decoder makes for frames it copies: buffers shaped like the frames of
// libavcodec's own frame pool, so that those copy in one block per plane.
CVPixelBufferPoolRef makeDecoderPool(AVCodecContext& context,
                                     const FFmpegPixelFormatConverter& converter) {
    const DecoderFrameGeometry geometry =
        alignDecoderFrameDimensions(context, context.width, context.height);
    std::array<int, 4> linesizes{};
    EXPECT_GE(fillDecoderFrameLinesizes(linesizes, converter.destinationPixelFormatFFmpeg(),
                                        geometry.paddedWidth, geometry.rowAlignment),
              0);
    return createPixelBufferPool(
        poolAttributes(context.width, context.height, converter.destinationPixelFormat(),
                       geometry.paddedWidth - context.width, geometry.paddedHeight - context.height,
                       geometry.rowAlignment),
        CallSite("test"));
}

}  // namespace

// Decoders that hand out memory of their own (rawvideo points into the packet) have other line
// sizes than the pool's buffers: every frame must still arrive, row by row.
TEST(DecodedFrameFill, FramesInTheDecodersOwnMemoryCopyRowByRow) {
    struct Case {
        const char* name;
        OSType expectedFormat;
        bool lineSizesDiffer;
    };
    // Packed 32-bit and 4:2:2 lines happen to come out the same size in both.
    for (const auto& [name, expectedFormat, lineSizesDiffer] :
         {Case{"raw-yuv420p.nut", kCVPixelFormatType_420YpCbCr8Planar, true},
          Case{"raw-nv12.nut", kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, true},
          Case{"raw-p010le.yuv", kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange, true},
          Case{"raw-bgra.nut", kCVPixelFormatType_32BGRA, false},
          Case{"raw-argb.nut", kCVPixelFormatType_32ARGB, false},
          Case{"raw-rgb24.nut", kCVPixelFormatType_24RGB, true},
          Case{"raw-uyvy422.nut", kCVPixelFormatType_422YpCbCr8, false},
          Case{"raw-yuyv422.nut", kCVPixelFormatType_422YpCbCr8_yuvs, false}}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        if (path.empty()) {
            continue;
        }
        DecodedVideo video = decodeAll(path);
        ASSERT_FALSE(video.frames.empty());
        AVCodecContext& context = *video.context;
        FFmpegPixelFormatConverter converter(context.pix_fmt, context.color_range, context.width,
                                             context.height);
        ASSERT_FALSE(converter.isConversionNeeded());
        ASSERT_EQ(converter.destinationPixelFormat(), expectedFormat);
        auto pool = makeDecoderPool(context, converter);
        for (const AVFramePointer& frame : video.frames) {
            CVPixelBufferRef buffer = createPixelBufferFromPool(pool, CallSite("test"));
            ASSERT_TRUE(frameMatchesPixelBuffer(*frame, buffer));
            EXPECT_NE(lineSizesEqualBytesPerRow(*frame, buffer), lineSizesDiffer);
            fillData(buffer, frame->data, frame->linesize,
                     static_cast<AVPixelFormat>(frame->format));
            expectSamePixels(*frame, buffer);
        }
        EXPECT_EQ(pool->allocatedBufferCount(), 1u);
    }
}

TEST(DecodedFrameFill, PoolsShapedLikeTheDecodersFramesCopyInOneBlock) {
    for (const char* name : {"h264-yuv420p.mkv", "ffv1-yuv420p.mkv"}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        if (path.empty()) {
            continue;
        }
        DecodedVideo video = decodeAll(path);
        ASSERT_FALSE(video.frames.empty());
        AVCodecContext& context = *video.context;
        FFmpegPixelFormatConverter converter(context.pix_fmt, context.color_range, context.width,
                                             context.height);
        ASSERT_FALSE(converter.isConversionNeeded());
        auto pool = makeDecoderPool(context, converter);
        for (const AVFramePointer& frame : video.frames) {
            CVPixelBufferRef buffer = createPixelBufferFromPool(pool, CallSite("test"));
            ASSERT_TRUE(frameMatchesPixelBuffer(*frame, buffer));
            EXPECT_TRUE(lineSizesEqualBytesPerRow(*frame, buffer))
                << frame->linesize[0] << " / " << CVPixelBufferGetBytesPerRowOfPlane(buffer, 0);
            fillData(buffer, frame->data, frame->linesize,
                     static_cast<AVPixelFormat>(frame->format));
            expectSamePixels(*frame, buffer);
        }
    }
}

TEST(DecodedFrameFill, DeepYCbCrConvertsToTenBitBiPlanar) {
    const std::string path = mediaPath("ffv1-yuv420p10le.mkv");
    if (path.empty()) {
        return;
    }
    DecodedVideo video = decodeAll(path);
    ASSERT_FALSE(video.frames.empty());
    const AVFrame& frame = *video.frames.front();
    FFmpegPixelFormatConverter converter(AV_PIX_FMT_YUV420P10LE, frame.color_range, frame.width,
                                         frame.height);
    ASSERT_TRUE(converter.isConversionNeeded());
    ASSERT_EQ(converter.destinationPixelFormat(), kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    ASSERT_TRUE(converter.matches(frame));
    CVPixelBufferRef buffer =
        createPixelBuffer(frame.width, frame.height, converter, nullptr, CallSite("test"));
    converter.convert(frame, buffer);
    EXPECT_TRUE(CVPixelBufferUnlockBaseAddress(buffer, 0) == kCVReturnError);

    // P010 keeps each 10-bit sample in the high bits of 16, Cb and Cr interleaved.
    const auto sample = [](const std::uint8_t* row, int index) {
        std::uint16_t value;
        std::memcpy(&value, row + 2 * index, 2);
        return value;
    };
    const auto* luma =
        static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 0));
    const auto* chroma =
        static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 1));
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            ASSERT_EQ(sample(luma + y * CVPixelBufferGetBytesPerRowOfPlane(buffer, 0), x),
                      sample(frame.data[0] + y * frame.linesize[0], x) << 6)
                << x << ", " << y;
        }
    }
    for (int y = 0; y < (frame.height + 1) / 2; ++y) {
        for (int x = 0; x < (frame.width + 1) / 2; ++x) {
            const std::uint8_t* row = chroma + y * CVPixelBufferGetBytesPerRowOfPlane(buffer, 1);
            ASSERT_EQ(sample(row, 2 * x), sample(frame.data[1] + y * frame.linesize[1], x) << 6);
            ASSERT_EQ(sample(row, 2 * x + 1), sample(frame.data[2] + y * frame.linesize[2], x)
                                                  << 6);
        }
    }
}

TEST(DecodedFrameFill, FullRangeConversionKeepsTheRange) {
    const std::string path = mediaPath("mjpeg-yuvj420p.avi");
    if (path.empty()) {
        return;
    }
    DecodedVideo video = decodeAll(path);
    ASSERT_FALSE(video.frames.empty());
    const AVFrame& frame = *video.frames.front();
    ASSERT_EQ(frame.color_range, AVCOL_RANGE_JPEG);
    FFmpegPixelFormatConverter converter(static_cast<AVPixelFormat>(frame.format),
                                         frame.color_range, frame.width, frame.height);
    ASSERT_EQ(converter.destinationPixelFormat(), kCVPixelFormatType_422YpCbCr8FullRange);
    CVPixelBufferRef buffer =
        createPixelBuffer(frame.width, frame.height, converter, nullptr, CallSite("test"));
    converter.convert(frame, buffer);
    // 'yuvf' is Y0 Cb Y1 Cr: every luma sample is the decoded one, not squeezed to video range.
    const auto* base = static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddress(buffer));
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            ASSERT_EQ(base[y * CVPixelBufferGetBytesPerRow(buffer) + 2 * x],
                      frame.data[0][y * frame.linesize[0] + x])
                << x << ", " << y;
        }
    }
}

// 'y416' is not a format buffers may have: its 16-bit samples go to 'x420' through the converter.
TEST(DecodedFrameFill, UnsupportedPackedFormatConvertsToTenBitBiPlanar) {
    const std::string path = mediaPath("raw-ayuv64le.yuv");
    if (path.empty()) {
        return;
    }
    DecodedVideo video = decodeAll(path);
    ASSERT_FALSE(video.frames.empty());
    const AVFrame& frame = *video.frames.front();
    FFmpegPixelFormatConverter converter(static_cast<AVPixelFormat>(frame.format),
                                         frame.color_range, frame.width, frame.height);
    ASSERT_TRUE(converter.isConversionNeeded());
    EXPECT_EQ(converter.destinationPixelFormat(), kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange);
    CVPixelBufferRef buffer =
        createPixelBuffer(frame.width, frame.height, converter, nullptr, CallSite("test"));
    converter.convert(frame, buffer);
    // Luma is the top 10 bits of each 16-bit Y sample (AYUV64 holds A, Y, U, V per pixel).
    const auto* luma =
        static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 0));
    for (int x = 0; x < frame.width; ++x) {
        std::uint16_t converted;
        std::uint16_t source;
        std::memcpy(&converted, luma + 2 * x, 2);
        std::memcpy(&source, frame.data[0] + 8 * x + 2, 2);
        EXPECT_NEAR(converted >> 6, source >> 6, 1) << x;
    }
}

// A stream whose pictures change size mid-way: buffers made for the first size must refuse the
// later pictures (filling them would read past the frame), and a pool made for the new size
// takes them whole.
TEST(DecodedFrameFill, SizeChangeIsDetectedAndANewPoolTakesTheNewSize) {
    DecodedVideo video = decodeAll(quillon::test::mediaPath("size-change-h264.mkv"));
    ASSERT_FALSE(video.frames.empty());
    const AVFrame& first = *video.frames.front();
    const AVFrame& last = *video.frames.back();
    ASSERT_NE(first.width, last.width);
    FFmpegPixelFormatConverter converter(static_cast<AVPixelFormat>(first.format),
                                         first.color_range, first.width, first.height);
    CVPixelBufferRef firstBuffer =
        createPixelBuffer(first.width, first.height, converter, nullptr, CallSite("test"));
    EXPECT_TRUE(frameMatchesPixelBuffer(first, firstBuffer));
    EXPECT_TRUE(converter.matches(first));
    EXPECT_FALSE(frameMatchesPixelBuffer(last, firstBuffer));
    EXPECT_FALSE(converter.matches(last));

    FFmpegPixelFormatConverter rebuilt(static_cast<AVPixelFormat>(last.format), last.color_range,
                                       last.width, last.height);
    CVPixelBufferRef lastBuffer =
        createPixelBuffer(last.width, last.height, rebuilt, nullptr, CallSite("test"));
    ASSERT_TRUE(frameMatchesPixelBuffer(last, lastBuffer));
    fillData(lastBuffer, last.data, last.linesize, static_cast<AVPixelFormat>(last.format));
    expectSamePixels(last, lastBuffer);
}
