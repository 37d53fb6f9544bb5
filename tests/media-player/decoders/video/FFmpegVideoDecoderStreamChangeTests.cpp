#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "platform/corefoundation/CFData.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBufferPool.h"
#include "platform/video-output/VideoPictureConverter.h"
#include "support/ScratchFolder.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

// The stream shrinks from 160x90 to 64x48 halfway; only the first size is announced. Each picture
// must come out at its own size with its own pixels: buffers of the old size would be read past
// the new frames' memory.
TEST(FFmpegVideoDecoderStreamChange, FollowsAPictureSizeChangeMidStream) {
    const std::string path = mediaPath("size-change-h264.mkv");
    const DecodedVideo video = decodeWholeFile(path);
    const auto reference = referenceFrames(path);
    ASSERT_EQ(video.sampleBuffers.size(), reference.size());

    std::size_t large = 0;
    std::size_t small = 0;
    for (std::size_t index = 0; index < video.sampleBuffers.size(); ++index) {
        SCOPED_TRACE(::testing::Message() << "picture " << index);
        const CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(video.sampleBuffers[index]);
        const std::size_t width = CVPixelBufferGetWidth(buffer);
        // No picture of the second size comes before one of the first.
        if (width == 160u) {
            EXPECT_EQ(small, 0u);
            ++large;
        } else {
            EXPECT_EQ(width, 64u);
            ++small;
        }
        EXPECT_TRUE(samePixels(buffer, expectedPixelBuffer(*reference[index])));
    }
    EXPECT_GT(large, 0u);
    EXPECT_GT(small, 0u);
    EXPECT_TRUE(contiguousPresentationTimes(video.sampleBuffers));

    const auto& output = video.decoder->pixelBufferOutput();
    EXPECT_EQ(output.ffmpegPixelFormatConverter().width(), 64);
    EXPECT_EQ(output.ffmpegPixelFormatConverter().height(), 48);
    EXPECT_EQ(output.pixelBufferPool()->geometry().width, 64u);
}

namespace fs = std::filesystem;

// Runs the ffmpeg tool; false when it failed.
bool ffmpeg(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments;
    return std::system(command.c_str()) == 0;
}

std::string stringAttachment(const CVPixelBufferRef& buffer, const std::string& key) {
    auto value = CVBufferGetAttachment(buffer, key);
    if (!value || !std::holds_alternative<std::string>(*value)) {
        return "(none)";
    }
    return std::get<std::string>(*value);
}

bool hasICCProfile(const CVPixelBufferRef& buffer) {
    auto value = CVBufferGetAttachment(buffer, kCVImageBufferICCProfileKey);
    return value && std::holds_alternative<CFDataRef>(*value) &&
           std::get<CFDataRef>(*value) != nullptr && !std::get<CFDataRef>(*value)->bytes().empty();
}

// The picture as the video view shows it, at its own size.
std::vector<std::uint8_t> shownPixels(VideoPictureConverter& converter,
                                      const CVPixelBufferRef& buffer) {
    const int width = static_cast<int>(CVPixelBufferGetWidth(buffer));
    const int height = static_cast<int>(CVPixelBufferGetHeight(buffer));
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 4, 0);
    EXPECT_TRUE(converter.convert(*buffer, pixels.data(), width, height, width * 4));
    return pixels;
}

// A broadcast that switches from BT.709 to HDR10 (PQ) between two pictures of the same size and
// format: each side keeps its own colours, and is shown as the same pictures decoded from a file
// of their own would be.
TEST(FFmpegVideoDecoderStreamChange, FollowsAColourChangeMidStream) {
    const ScratchFolder folder("quillon-stream-change");
    // Both halves repeat their parameter sets in-band and start with an IDR picture; without
    // B-frames the joined raw stream can be re-timed from the frame rate alone.
    const std::string encode =
        "-f lavfi -i testsrc2=size=160x90:rate=25:duration=1 -c:v libx265 -preset ultrafast "
        "-pix_fmt yuv420p10le -x265-params "
        "log-level=error:pools=none:frame-threads=1:bframes=0:repeat-headers=1 -color_range tv ";
    ASSERT_TRUE(ffmpeg(encode +
                       "-vf scale=out_color_matrix=bt709:out_range=tv -color_primaries bt709 "
                       "-color_trc bt709 -colorspace bt709 -f hevc '" +
                       folder / "bt709.hevc" + "'"));
    ASSERT_TRUE(ffmpeg(encode +
                       "-vf scale=out_color_matrix=bt2020:out_range=tv -color_primaries bt2020 "
                       "-color_trc smpte2084 -colorspace bt2020nc -f hevc '" +
                       folder / "pq.hevc" + "'"));
    ASSERT_EQ(std::system(("cat '" + folder / "bt709.hevc" + "' '" + folder / "pq.hevc" + "' >'" +
                           folder / "both.hevc" + "'")
                              .c_str()),
              0);
    for (const char* name : {"bt709", "pq", "both"}) {
        ASSERT_TRUE(ffmpeg("-framerate 25 -f hevc -i '" + folder / (std::string(name) + ".hevc") +
                           "' -c copy '" + folder / (std::string(name) + ".mkv") + "'"));
    }

    const DecodedVideo joined = decodeWholeFile(folder / "both.mkv");
    const DecodedVideo first = decodeWholeFile(folder / "bt709.mkv");
    const DecodedVideo second = decodeWholeFile(folder / "pq.mkv");
    ASSERT_FALSE(first.sampleBuffers.empty());
    ASSERT_FALSE(second.sampleBuffers.empty());
    ASSERT_EQ(joined.sampleBuffers.size(),
              first.sampleBuffers.size() + second.sampleBuffers.size());

    VideoPictureConverter joinedConverter;
    VideoPictureConverter ownConverter;
    for (std::size_t index = 0; index < joined.sampleBuffers.size(); ++index) {
        SCOPED_TRACE(::testing::Message() << "picture " << index);
        const bool hdr = index >= first.sampleBuffers.size();
        const CVPixelBufferRef buffer = CMSampleBufferGetImageBuffer(joined.sampleBuffers[index]);
        const CVPixelBufferRef own = CMSampleBufferGetImageBuffer(
            hdr ? second.sampleBuffers[index - first.sampleBuffers.size()]
                : first.sampleBuffers[index]);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferColorPrimariesKey),
                  hdr ? kCVImageBufferColorPrimaries_ITU_R_2020
                      : kCVImageBufferColorPrimaries_ITU_R_709_2);
        EXPECT_EQ(stringAttachment(buffer, kCVImageBufferTransferFunctionKey),
                  hdr ? kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ
                      : kCVImageBufferTransferFunction_ITU_R_709_2);
        EXPECT_EQ(
            stringAttachment(buffer, kCVImageBufferYCbCrMatrixKey),
            hdr ? kCVImageBufferYCbCrMatrix_ITU_R_2020 : kCVImageBufferYCbCrMatrix_ITU_R_709_2);
        EXPECT_EQ(hasICCProfile(buffer), hasICCProfile(own));
        EXPECT_TRUE(samePixels(buffer, own));
        EXPECT_EQ(shownPixels(joinedConverter, buffer), shownPixels(ownConverter, own));
    }

    // The HDR side came out of one pool of its own, made at the switch: every one of its pictures
    // was a buffer of that pool, none a pool of its own.
    const auto& pool = *joined.decoder->pixelBufferOutput().pixelBufferPool();
    EXPECT_EQ(pool.allocatedBufferCount(), second.sampleBuffers.size());
}

}  // namespace
