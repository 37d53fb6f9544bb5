#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"

#include <algorithm>
#include <bit>
#include <cstddef>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/P010Packing.h"
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

// Pictures smaller than this convert fast enough at once.
constexpr int smallestBandedPictureArea = 1280 * 720;
constexpr int pictureBandCount = 4;
// Bands start on multiples of this many rows, so that every band starts a chroma row and the
// ordered dither's row pattern (8 rows) where the whole picture's would.
constexpr int bandRowGranularity = 32;

// Whether each destination row depends only on the source row of the same number (and the
// chroma row of the same number), so that converting in bands gives the whole picture's bytes:
// no vertical resampling of chroma, no palette.
bool convertsRowByRow(AVPixelFormat source, AVPixelFormat destination) {
    const AVPixFmtDescriptor* from = av_pix_fmt_desc_get(source);
    const AVPixFmtDescriptor* to = av_pix_fmt_desc_get(destination);
    constexpr auto excluded =
        AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL;
    return from != nullptr && to != nullptr && (from->flags & excluded) == 0 &&
           (to->flags & excluded) == 0 && from->log2_chroma_w == to->log2_chroma_w &&
           from->log2_chroma_h == to->log2_chroma_h && from->log2_chroma_h <= 1;
}

// The rows of a plane above the picture's row `row`.
int planeRow(const AVPixFmtDescriptor& descriptor, int plane, int row) {
    return plane == 1 || plane == 2 ? row >> descriptor.log2_chroma_h : row;
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
        logWarning("sws_getContext failed.");
        throw FFmpegError::allocationFailure();
    }
    isConversionNeeded_ = destinationPixelFormatFFmpeg_ != sourcePixelFormat;
    // libswscale only shifts the samples here (both sides have the same range); its generic code
    // for it costs as much again as the copy.
    packsAsP010_ = std::endian::native == std::endian::little &&
                   sourcePixelFormat == AV_PIX_FMT_YUV420P10LE &&
                   destinationPixelFormatFFmpeg_ == AV_PIX_FMT_P010LE &&
                   isFullRangeSource(sourcePixelFormat, colorRange) ==
                       isFullRangeDestination(destinationPixelFormat_);
    if (isConversionNeeded_ && width > 0 && height > 0 &&
        width >= smallestBandedPictureArea / height &&
        convertsRowByRow(sourcePixelFormat, destinationPixelFormatFFmpeg_)) {
        makeBands();
    }
}

void FFmpegPixelFormatConverter::makeBands() {
    const int rows = (height_ + pictureBandCount - 1) / pictureBandCount;
    bandHeight_ = (rows + bandRowGranularity - 1) / bandRowGranularity * bandRowGranularity;
    std::vector<SwsContextPointer> contexts;
    for (int start = 0; start < height_; start += bandHeight_) {
        SwsContextPointer context(makeScalingContext(
            width_, std::min(bandHeight_, height_ - start), sourcePixelFormat_,
            isFullRangeSource(sourcePixelFormat_, colorRange_), destinationPixelFormatFFmpeg_,
            isFullRangeDestination(destinationPixelFormat_)));
        if (!context) {
            // The picture at once still works.
            return;
        }
        contexts.push_back(std::move(context));
    }
    if (contexts.size() > 1) {
        bandWorkers_ = std::make_unique<BandWorkers>(contexts.size() - 1);
        bandContexts_ = std::move(contexts);
    }
}

int FFmpegPixelFormatConverter::convertInBands(const AVFrame& frame, std::uint8_t* const* data,
                                               const int* linesize) const {
    const AVPixFmtDescriptor& source = *av_pix_fmt_desc_get(sourcePixelFormat_);
    const AVPixFmtDescriptor& destination = *av_pix_fmt_desc_get(destinationPixelFormatFFmpeg_);
    const int sourcePlanes = av_pix_fmt_count_planes(sourcePixelFormat_);
    const int destinationPlanes = av_pix_fmt_count_planes(destinationPixelFormatFFmpeg_);
    std::vector<int> results(bandContexts_.size(), 0);
    bandWorkers_->run(bandContexts_.size(), [&](std::size_t band) {
        const int start = static_cast<int>(band) * bandHeight_;
        const int rows = std::min(bandHeight_, height_ - start);
        const std::uint8_t* from[4] = {};
        std::uint8_t* to[4] = {};
        for (int plane = 0; plane < sourcePlanes && plane < 4; ++plane) {
            from[plane] =
                frame.data[plane] +
                static_cast<std::ptrdiff_t>(planeRow(source, plane, start)) * frame.linesize[plane];
        }
        for (int plane = 0; plane < destinationPlanes && plane < 4; ++plane) {
            to[plane] =
                data[plane] +
                static_cast<std::ptrdiff_t>(planeRow(destination, plane, start)) * linesize[plane];
        }
        if (packsAsP010_) {
            packYUV420P10AsP010(from, frame.linesize, to, linesize, width_, rows);
            results[band] = rows;
        } else {
            results[band] =
                sws_scale(bandContexts_[band].get(), from, frame.linesize, 0, rows, to, linesize);
        }
    });
    for (int result : results) {
        if (result < 0) {
            return result;
        }
    }
    return 0;
}

bool FFmpegPixelFormatConverter::matches(const AVFrame& frame) const {
    return frame.format == sourcePixelFormat_ && frame.width == width_ && frame.height == height_;
}

void FFmpegPixelFormatConverter::convert(const AVFrame& frame,
                                         const CVPixelBufferRef& pixelBuffer) const {
    withUnsafePointersForFFmpeg(pixelBuffer, [&](std::uint8_t* const* data, const int* linesize) {
        if (packsAsP010_ && bandContexts_.empty()) {
            packYUV420P10AsP010(frame.data, frame.linesize, data, linesize, width_, height_);
            return;
        }
        const int result = bandContexts_.empty()
                               ? sws_scale(imageScalingContext_.get(), frame.data, frame.linesize,
                                           0, height_, data, linesize)
                               : convertInBands(frame, data, linesize);
        if (result < 0) {
            reportFFmpegFailure(result, {}, CallSite("convert(frame:pixelBuffer:)"));
        }
    });
}

}  // namespace quillon
