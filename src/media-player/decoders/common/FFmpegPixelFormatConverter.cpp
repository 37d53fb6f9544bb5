#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "platform/corevideo/CVPixelFormatLayout.h"
#include "platform/foundation/Log.h"

namespace quillon {

using namespace platform;

namespace {

// libswscale reads the old full-range "J" formats as full range whatever it is told.
bool isFullRangeSource(AVPixelFormat format, AVColorRange colorRange) {
    switch (format) {
        case AV_PIX_FMT_YUVJ420P:
        case AV_PIX_FMT_YUVJ422P:
        case AV_PIX_FMT_YUVJ444P:
        case AV_PIX_FMT_YUVJ440P:
        case AV_PIX_FMT_YUVJ411P:
            return true;
        default:
            return colorRange == AVCOL_RANGE_JPEG;
    }
}

// The destination's range follows its Core Video code ('yuvf' and 'xf20' full, '2vuy' and 'x420'
// video), so that a full-range picture is neither squeezed nor stretched on the way.
bool isFullRangeDestination(OSType pixelFormat) {
    const CVPixelFormatLayout* layout = CVPixelFormatLayoutForType(pixelFormat);
    return layout == nullptr || layout->componentRange != CVPixelFormatComponentRange::video;
}

SwsContext* makeScalingContext(int width, int height, AVPixelFormat source, bool sourceFullRange,
                               AVPixelFormat destination, bool destinationFullRange) {
    SwsContextPointer context(sws_alloc_context());
    if (!context) {
        return nullptr;
    }
    // The size does not change, so no scaling algorithm is asked for; the ranges are set before
    // the context is initialised so that the conversion it picks honours them.
    SwsContext* c = context.get();
    if (av_opt_set_int(c, "srcw", width, 0) < 0 || av_opt_set_int(c, "srch", height, 0) < 0 ||
        av_opt_set_int(c, "src_format", source, 0) < 0 || av_opt_set_int(c, "dstw", width, 0) < 0 ||
        av_opt_set_int(c, "dsth", height, 0) < 0 ||
        av_opt_set_int(c, "dst_format", destination, 0) < 0 ||
        av_opt_set_int(c, "src_range", sourceFullRange ? 1 : 0, 0) < 0 ||
        av_opt_set_int(c, "dst_range", destinationFullRange ? 1 : 0, 0) < 0 ||
        sws_init_context(c, nullptr, nullptr) < 0) {
        return nullptr;
    }
    return context.release();
}

}  // namespace

FFmpegPixelFormatConverter::FFmpegPixelFormatConverter(AVPixelFormat sourcePixelFormat,
                                                       AVColorRange colorRange, int width,
                                                       int height)
    : height_(height),
      sourcePixelFormat_(sourcePixelFormat),
      colorRange_(colorRange),
      width_(width) {
    if (auto destination = coreVideoPixelFormat(sourcePixelFormat, colorRange)) {
        destinationPixelFormat_ = *destination;
        destinationPixelFormatFFmpeg_ = sourcePixelFormat;
    } else {
        std::tie(destinationPixelFormat_, destinationPixelFormatFFmpeg_) =
            fallbackPixelFormat(sourcePixelFormat, colorRange);
    }
    imageScalingContext_.reset(makeScalingContext(
        width, height, sourcePixelFormat, isFullRangeSource(sourcePixelFormat, colorRange),
        destinationPixelFormatFFmpeg_, isFullRangeDestination(destinationPixelFormat_)));
    if (!imageScalingContext_) {
        log("sws_getContext failed.");
        throw FFmpegError::allocationFailure();
    }
    isConversionNeeded_ = destinationPixelFormatFFmpeg_ != sourcePixelFormat;
}

bool FFmpegPixelFormatConverter::matches(const AVFrame& frame) const {
    return frame.format == sourcePixelFormat_ && frame.width == width_ && frame.height == height_;
}

void FFmpegPixelFormatConverter::convert(const AVFrame& frame,
                                         const CVPixelBufferRef& pixelBuffer) const {
    withUnsafePointersForFFmpeg(pixelBuffer, [&](std::uint8_t* const* data, const int* linesize) {
        const int result = sws_scale(imageScalingContext_.get(), frame.data, frame.linesize, 0,
                                     height_, data, linesize);
        if (result < 0) {
            reportFFmpegFailure(result, {}, CallSite("convert(frame:pixelBuffer:)"));
        }
    });
}

}  // namespace quillon
