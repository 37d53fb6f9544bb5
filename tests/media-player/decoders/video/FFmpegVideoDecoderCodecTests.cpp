#include <algorithm>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "VideoDecoderTestSupport.h"
#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "platform/coremedia/CMVideoFormatDescription.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "support/TestMedia.h"

using namespace quillon;
using namespace quillon::test;
using namespace platform;

namespace {

// Every common codec, the decoders that hand out their own memory (MJPEG, rawvideo), the formats
// that are copied and those that are converted, and pictures of odd sizes.
const char* const files[] = {
    "h264-aac.mp4",
    "h264-aac.mkv",
    "hevc-yuv420p.mkv",
    "hevc-yuv420p10le.mkv",
    "hevc-yuv422p10le.mkv",
    "vp9-opus.webm",
    "av1.mkv",
    "mpeg2-mp2.mpg",
    "mpeg2-mp2.ts",
    "mjpeg-pcm.avi",
    "rawvideo-yuv420p.nut",
    "h264-yuv422p.mkv",
    "h264-yuv444p.mkv",
    "odd-65x49-vp9.webm",
    "odd-65x49-mjpeg.avi",
    "odd-65x49-rawvideo.nut",
    "odd-33x17-h264-yuv444p.mkv",
};

class FFmpegVideoDecoderCodecs : public ::testing::TestWithParam<const char*> {
protected:
    std::string path() const {
        const std::string name = GetParam();
        // The media script leaves AV1 out when this FFmpeg has no AV1 encoder.
        if (name == "av1.mkv" && !std::filesystem::exists(mediaDirectory() / name)) {
            return {};
        }
        return mediaPath(name);
    }
};

TEST_P(FFmpegVideoDecoderCodecs, DecodesEveryPictureOfTheFileInOrderWithItsColour) {
    const std::string file = path();
    if (file.empty()) {
        GTEST_SKIP() << "no AV1 encoder made av1.mkv";
    }
    const DecodedVideo video = decodeWholeFile(file);
    const auto reference = referenceFrames(file);

    // Draining at the end of the file gives out the pictures still held by the decoder's
    // threads and reordering: nothing is lost, the last one included.
    ASSERT_EQ(video.sampleBuffers.size(), reference.size());
    ASSERT_FALSE(video.sampleBuffers.empty());
    const auto [first, last] = std::minmax_element(video.packetPresentationTimes.begin(),
                                                   video.packetPresentationTimes.end());
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(video.sampleBuffers.front()),
                            streamTime(*first, video.timeBase)),
              0);
    EXPECT_EQ(CMTimeCompare(CMSampleBufferGetPresentationTimeStamp(video.sampleBuffers.back()),
                            streamTime(*last, video.timeBase)),
              0);
    EXPECT_TRUE(contiguousPresentationTimes(video.sampleBuffers));

    for (std::size_t index = 0; index < video.sampleBuffers.size(); ++index) {
        SCOPED_TRACE(::testing::Message() << "picture " << index);
        const CMSampleBufferRef& sampleBuffer = video.sampleBuffers[index];
        const CVPixelBufferRef pixelBuffer = CMSampleBufferGetImageBuffer(sampleBuffer);
        ASSERT_TRUE(pixelBuffer);
        EXPECT_TRUE(CMSampleBufferDataIsReady(sampleBuffer));
        EXPECT_TRUE(CMTIME_IS_INVALID(CMSampleBufferGetDecodeTimeStamp(sampleBuffer)));
        EXPECT_TRUE(CMVideoFormatDescriptionMatchesImageBuffer(
            CMSampleBufferGetFormatDescription(sampleBuffer), pixelBuffer));

        const OSType format = CVPixelBufferGetPixelFormatType(pixelBuffer);
        EXPECT_TRUE(supportedCoreVideoPixelFormats().contains(format));
        EXPECT_FALSE(blacklistedPixelFormats().contains(format));
        for (const std::string& key :
             {kCVImageBufferColorPrimariesKey, kCVImageBufferTransferFunctionKey,
              kCVImageBufferCGColorSpaceKey, kCVImageBufferPixelAspectRatioKey,
              kDidConfigureColorSpaceAttachmentKey}) {
            CVAttachmentMode mode = kCVAttachmentMode_ShouldNotPropagate;
            EXPECT_TRUE(CVBufferGetAttachment(pixelBuffer, key, &mode)) << key;
            EXPECT_EQ(mode, kCVAttachmentMode_ShouldPropagate) << key;
        }
        EXPECT_FALSE(
            CVBufferHasAttachment(pixelBuffer, kCVImageBufferMasteringDisplayColorVolumeKey));
        EXPECT_TRUE(samePixels(pixelBuffer, expectedPixelBuffer(*reference[index])));
    }
}

INSTANTIATE_TEST_SUITE_P(Files, FFmpegVideoDecoderCodecs, ::testing::ValuesIn(files),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             std::replace_if(
                                 name.begin(), name.end(),
                                 [](char c) {
                                     return !std::isalnum(static_cast<unsigned char>(c));
                                 },
                                 '_');
                             return name;
                         });

}  // namespace
