#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
}

#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/video/PixelBufferOutput.h"
#include "platform/corevideo/VideoDisplayFormats.h"

using namespace quillon;
using namespace platform;

namespace {

class ScopedBiPlanarDisplay {
public:
    explicit ScopedBiPlanarDisplay(bool draws) { setVideoDisplayDrawsBiPlanarFormats(draws); }
    ~ScopedBiPlanarDisplay() { setVideoDisplayDrawsBiPlanarFormats(false); }
    ScopedBiPlanarDisplay(const ScopedBiPlanarDisplay&) = delete;
    ScopedBiPlanarDisplay& operator=(const ScopedBiPlanarDisplay&) = delete;
};

// A picture as a hardware decoder's frames come back to system memory: NV12, in memory of its
// own (not the decoder's frame pool), flat mid-grey.
struct CopiedBackPicture {
    CopiedBackPicture() {
        frame->format = AV_PIX_FMT_NV12;
        frame->width = 64;
        frame->height = 36;
        EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        std::memset(frame->data[0], 128, static_cast<std::size_t>(frame->linesize[0]) * 36);
        std::memset(frame->data[1], 128, static_cast<std::size_t>(frame->linesize[1]) * 18);
        frame->color_range = AVCOL_RANGE_MPEG;
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_RAWVIDEO);
        AVCodecParameters* parameters = avcodec_parameters_alloc();
        parameters->codec_type = AVMEDIA_TYPE_VIDEO;
        parameters->codec_id = AV_CODEC_ID_RAWVIDEO;
        parameters->format = AV_PIX_FMT_NV12;
        parameters->width = 64;
        parameters->height = 36;
        context = makeDecoderContext(codec, parameters, AVRational{1, 25});
        avcodec_parameters_free(&parameters);
        openDecoder(codec, *context);
    }

    PixelBufferOutput output() {
        return PixelBufferOutput(DecodedPictureFormat::of(*frame, *frame, *context), *context,
                                 "test");
    }

    AVFramePointer frame{av_frame_alloc()};
    AVCodecContextPointer context;
};

// The copy into 'BGRA' is for the raster path; where the GL view draws NV12 itself, the picture
// goes on as it came back from the device.
TEST(PixelBufferOutput, CopiesNV12IntoBGRAOnlyForTheRasterPath) {
    CopiedBackPicture picture;
    {
        const PixelBufferOutput output = picture.output();
        EXPECT_EQ(CVPixelBufferGetPixelFormatType(output.makePixelBufferForSoftwareDecodedFrame(
                      *picture.frame, *picture.frame)),
                  kCVPixelFormatType_32BGRA);
    }
    const ScopedBiPlanarDisplay gl(true);
    const PixelBufferOutput output = picture.output();
    const CVPixelBufferRef buffer =
        output.makePixelBufferForSoftwareDecodedFrame(*picture.frame, *picture.frame);
    ASSERT_EQ(CVPixelBufferGetPixelFormatType(buffer),
              kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange);
    CVPixelBufferLockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly);
    EXPECT_EQ(static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, 1))[0],
              128);
    CVPixelBufferUnlockBaseAddress(buffer, kCVPixelBufferLock_ReadOnly);
}

}  // namespace
