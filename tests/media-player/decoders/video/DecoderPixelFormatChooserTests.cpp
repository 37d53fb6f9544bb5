#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/video/DecoderPixelFormatChooser.h"
#include "media-player/decoders/video/DecoderThreadCount.h"

using namespace quillon;

namespace {

AVPixelFormat choose(std::vector<AVPixelFormat> offered, AVPixelFormat hardware) {
    offered.push_back(AV_PIX_FMT_NONE);
    return chooseDecoderPixelFormat(offered.data(), hardware);
}

TEST(DecoderPixelFormatChooser, TakesTheDeviceFormatWhenOffered) {
    EXPECT_EQ(choose({AV_PIX_FMT_CUDA, AV_PIX_FMT_VAAPI, AV_PIX_FMT_YUV420P}, AV_PIX_FMT_VAAPI),
              AV_PIX_FMT_VAAPI);
    EXPECT_EQ(choose({AV_PIX_FMT_VAAPI, AV_PIX_FMT_CUDA, AV_PIX_FMT_NV12}, AV_PIX_FMT_CUDA),
              AV_PIX_FMT_CUDA);
    // Another device's format is no use to this one.
    EXPECT_EQ(choose({AV_PIX_FMT_VDPAU, AV_PIX_FMT_YUV420P}, AV_PIX_FMT_VAAPI), AV_PIX_FMT_YUV420P);
}

TEST(DecoderPixelFormatChooser, SoftwareContextsNeverTakeAHardwareFormat) {
    EXPECT_EQ(choose({AV_PIX_FMT_VAAPI, AV_PIX_FMT_CUDA, AV_PIX_FMT_YUV420P}, AV_PIX_FMT_NONE),
              AV_PIX_FMT_YUV420P);
    EXPECT_EQ(choose({AV_PIX_FMT_VAAPI, AV_PIX_FMT_CUDA}, AV_PIX_FMT_NONE), AV_PIX_FMT_NONE);
}

TEST(DecoderPixelFormatChooser, FollowsThePreferenceListThenTakesTheLastOffered) {
    // 10-bit bi-planar first, NV12 (which must be copied into 'BGRA') last.
    EXPECT_EQ(choose({AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P, AV_PIX_FMT_P010LE}, AV_PIX_FMT_NONE),
              AV_PIX_FMT_P010LE);
    EXPECT_EQ(choose({AV_PIX_FMT_NV12, AV_PIX_FMT_YUV420P}, AV_PIX_FMT_NONE), AV_PIX_FMT_YUV420P);
    EXPECT_EQ(
        choose({AV_PIX_FMT_YUV444P10LE, AV_PIX_FMT_GRAY8, AV_PIX_FMT_YUV444P}, AV_PIX_FMT_NONE),
        AV_PIX_FMT_YUV444P);
    EXPECT_EQ(choose({}, AV_PIX_FMT_NONE), AV_PIX_FMT_NONE);
}

TEST(DecoderPixelFormatChooser, AContextWithoutDeviceHasNoHardwareFormat) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    ASSERT_NE(codec, nullptr);
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    EXPECT_EQ(hardwarePixelFormat(*context), AV_PIX_FMT_NONE);
    std::vector<AVPixelFormat> offered = {AV_PIX_FMT_VAAPI, AV_PIX_FMT_YUV420P, AV_PIX_FMT_NONE};
    EXPECT_EQ(chooseHardwareDecoderPixelFormat(context.get(), offered.data()), AV_PIX_FMT_YUV420P);
}

TEST(DecoderThreadCount, LeavesTwoProcessorsToTheRestOfThePlayer) {
    EXPECT_EQ(decoderThreadCount(1), 1);
    EXPECT_EQ(decoderThreadCount(2), 1);
    EXPECT_EQ(decoderThreadCount(3), 1);
    EXPECT_EQ(decoderThreadCount(8), 6);
    EXPECT_GE(decoderThreadCount(), 1);
}

}  // namespace
