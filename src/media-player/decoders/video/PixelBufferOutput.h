#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/corevideo/CVPixelBufferPool.h"
#include "platform/videotoolbox/VTPixelTransferSession.h"

namespace quillon {

// What the decoded pictures of a stretch of a stream look like: what the output buffers' format,
// size and pool attachments are made from.
struct DecodedPictureFormat {
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    AVColorRange colorRange = AVCOL_RANGE_UNSPECIFIED;
    int width = 0;
    int height = 0;
    AVColorSpace colorspace = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries colorPrimaries = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic colorTransfer = AVCOL_TRC_UNSPECIFIED;
    AVRational sampleAspectRatio{0, 1};
    // Whether the pictures lie in the decoder context's own frame memory, whose padding and row
    // alignment the pool buffers then copy, so that each plane copies in one block.
    bool inDecoderFrameMemory = true;

    // What a freshly opened context announces.
    static DecodedPictureFormat of(const AVCodecContext& context);
    // The picture of pixels (the decoded frame itself, or its copy out of hardware memory),
    // described by the decoded frame.
    static DecodedPictureFormat of(const AVFrame& pixels, const AVFrame& decodedFrame,
                                   const AVCodecContext& context);
};

// Turns decoded pictures of one format into pixel buffers: the converter that picks the output
// format (and converts when needed), the pool of output buffers, and, when the output format is
// blacklisted, the pool of 'BGRA' replacement buffers with the transfer session that fills them.
class PixelBufferOutput {
public:
    // Failures are logged under the given function name (a literal that outlives the object) and
    // thrown: FFmpegError (converter, line-size check), Core Video NSError (pools), Darwin NSError
    // (transfer session).
    PixelBufferOutput(const DecodedPictureFormat& format, AVCodecContext& decoderContext,
                      const char* function);
    ~PixelBufferOutput();
    PixelBufferOutput(const PixelBufferOutput&) = delete;
    PixelBufferOutput& operator=(const PixelBufferOutput&) = delete;

    // Whether a picture can go into this output's buffers: the converter's format and size, a
    // colour range that picks the same output format and conversion, and the colour description
    // that the pool's buffers carry. Any other picture needs a new output: copying it into these
    // buffers would read past the frame's memory, or show it in the colours of the pictures
    // before it (the pool's attachments mark its buffers as configured).
    bool accepts(const AVFrame& pixels, const AVFrame& decodedFrame) const;

    // A buffer of the pool with the picture converted or copied into it, or its 'BGRA'
    // replacement where the video views do not draw the pool's format themselves
    // (videoDisplayDrawsBiPlanarFormats). The picture must be accepted. A picture that was decoded
    // straight into a buffer of this output's pool comes as that buffer (decodedInto), and is not
    // copied. Throws what the copy, the conversion or the transfer throws.
    platform::CVPixelBufferRef makePixelBufferForSoftwareDecodedFrame(
        const AVFrame& pixels, const AVFrame& decodedFrame,
        platform::CVPixelBufferRef decodedInto = nullptr) const;

    // The pool that the decoder may decode pictures of this format into directly: the output's
    // own pool when its pictures are copied unconverted from the decoder's frame memory, whose
    // padding and row alignment the pool then has; else null.
    platform::CVPixelBufferPoolRef poolForDecodingInto() const;

    const FFmpegPixelFormatConverter& ffmpegPixelFormatConverter() const { return *converter_; }
    const platform::CFDictionaryRef& pixelBufferAttributes() const { return attributes_; }
    const platform::CVPixelBufferPoolRef& pixelBufferPool() const { return pixelBufferPool_; }
    const platform::CVPixelBufferPoolRef& pixelBufferPoolForConvertingFromBlacklistedPixelFormat()
        const {
        return replacementPool_;
    }
    const platform::VTPixelTransferSessionRef&
    pixelTransferSessionForConvertingFromBlacklistedPixelFormat() const {
        return transferSession_;
    }

private:
    const char* function_;
    bool inDecoderFrameMemory_ = false;
    AVColorSpace colorspace_ = AVCOL_SPC_UNSPECIFIED;
    AVColorPrimaries colorPrimaries_ = AVCOL_PRI_UNSPECIFIED;
    AVColorTransferCharacteristic colorTransfer_ = AVCOL_TRC_UNSPECIFIED;
    std::unique_ptr<FFmpegPixelFormatConverter> converter_;
    platform::CFDictionaryRef attributes_;
    platform::CVPixelBufferPoolRef pixelBufferPool_;
    platform::CVPixelBufferPoolRef replacementPool_;
    platform::VTPixelTransferSessionRef transferSession_;
};

// The 'BGRA' copy of a buffer of a blacklisted format: both buffers get the frame's colour
// attachments (the transfer reads the source's matrix), then the session converts. Throws the
// Core Video error of the pool or the Darwin error of the transfer.
platform::CVPixelBufferRef replacementPixelBuffer(
    const platform::CVPixelBufferRef& pixelBufferWithBlacklistedPixelFormat, const AVFrame& frame,
    const platform::CVPixelBufferPoolRef& replacementPixelBufferPool,
    const platform::VTPixelTransferSessionRef& pixelTransferSession);

}  // namespace quillon
