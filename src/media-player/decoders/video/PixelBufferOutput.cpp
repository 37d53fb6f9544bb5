#include "media-player/decoders/video/PixelBufferOutput.h"

#include <array>
#include <cstdint>
#include <optional>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"
#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/CoreVideoCall.h"
#include "media-player/decoders/common/DarwinCall.h"
#include "media-player/decoders/common/DecoderFrameGeometry.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "media-player/decoders/common/PixelSpacingAttachment.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/VideoDisplayFormats.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

using namespace platform;

namespace {

// Extended pixels and row alignment of the pool's buffers.
struct PoolGeometry {
    int extendedPixelsRight = 0;
    int extendedPixelsBottom = 0;
    int bytesPerRowAlignment = 16;
};

bool isYCbCr(AVPixelFormat format) {
    const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
    return descriptor != nullptr && descriptor->nb_components > 1 &&
           (descriptor->flags & AV_PIX_FMT_FLAG_RGB) == 0;
}

bool isFullRange(AVColorRange range) {
    return range == AVCOL_RANGE_JPEG;
}

// Converted pictures are written by libswscale into any rows; copied ones keep the rows the
// decoder gave them, so the buffers get the decoder's own padding and alignment and each plane
// copies in one block.
PoolGeometry poolGeometry(const DecodedPictureFormat& format,
                          const FFmpegPixelFormatConverter& converter,
                          AVCodecContext& decoderContext, const char* function) {
    if (converter.isConversionNeeded() || !format.inDecoderFrameMemory) {
        return {};
    }
    const DecoderFrameGeometry padded =
        alignDecoderFrameDimensions(decoderContext, format.width, format.height);
    std::array<int, 4> linesizes{};
    const std::int32_t result = runFFmpegCall(true, [&] {
        return fillDecoderFrameLinesizes(linesizes, converter.destinationPixelFormatFFmpeg(),
                                         padded.paddedWidth, padded.rowAlignment);
    });
    if (result < 0) {
        reportFFmpegFailure(result, {}, CallSite(function));
    }
    return {padded.paddedWidth - format.width, padded.paddedHeight - format.height,
            padded.rowAlignment};
}

CFDictionary poolAttachments(const DecodedPictureFormat& format,
                             const FFmpegPixelFormatConverter& converter) {
    std::optional<CFDictionary> described =
        colorAttachments(format.colorPrimaries, format.colorTransfer, format.colorspace,
                         converter.destinationPixelFormat());
    CFDictionary attachments =
        described ? std::move(*described)
                  : defaultColorAttachments(static_cast<std::size_t>(format.width),
                                            static_cast<std::size_t>(format.height),
                                            isYCbCr(converter.destinationPixelFormatFFmpeg()));
    attachments.set(
        kCVImageBufferPixelAspectRatioKey,
        std::make_shared<const CFDictionary>(pixelSpacingAttachment(format.sampleAspectRatio)));
    return attachments;
}

}  // namespace

DecodedPictureFormat DecodedPictureFormat::of(const AVCodecContext& context) {
    return {context.pix_fmt,   context.color_range,         context.width,
            context.height,    context.colorspace,          context.color_primaries,
            context.color_trc, context.sample_aspect_ratio, true};
}

DecodedPictureFormat DecodedPictureFormat::of(const AVFrame& pixels, const AVFrame& decodedFrame,
                                              const AVCodecContext& context) {
    const auto pixelFormat = static_cast<AVPixelFormat>(pixels.format);
    return {pixelFormat,
            decodedFrame.color_range,
            pixels.width,
            pixels.height,
            decodedFrame.colorspace,
            decodedFrame.color_primaries,
            decodedFrame.color_trc,
            decodedFrame.sample_aspect_ratio,
            pixelFormat == context.pix_fmt};
}

PixelBufferOutput::PixelBufferOutput(const DecodedPictureFormat& format,
                                     AVCodecContext& decoderContext, const char* function)
    : function_(function),
      inDecoderFrameMemory_(format.inDecoderFrameMemory),
      colorspace_(format.colorspace),
      colorPrimaries_(format.colorPrimaries),
      colorTransfer_(format.colorTransfer),
      converter_(std::make_unique<FFmpegPixelFormatConverter>(format.pixelFormat, format.colorRange,
                                                              format.width, format.height)) {
    const PoolGeometry geometry = poolGeometry(format, *converter_, decoderContext, function);
    CFDictionary attributes{
        {kCVPixelBufferPixelFormatTypeKey, std::int64_t{converter_->destinationPixelFormat()}},
        {kCVPixelBufferWidthKey, std::int64_t{format.width}},
        {kCVPixelBufferHeightKey, std::int64_t{format.height}},
        {kCVPixelBufferExtendedPixelsRightKey, std::int64_t{geometry.extendedPixelsRight}},
        {kCVPixelBufferExtendedPixelsBottomKey, std::int64_t{geometry.extendedPixelsBottom}},
        {kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{geometry.bytesPerRowAlignment}},
        {kCVPixelBufferIOSurfaceCoreAnimationCompatibilityKey, true},
        {kCVBufferPropagatedAttachmentsKey,
         std::make_shared<const CFDictionary>(poolAttachments(format, *converter_))},
    };
    attributes_ = std::make_shared<const CFDictionary>(attributes);
    pixelBufferPool_ = createPixelBufferPool(attributes_, CallSite(function));

    if (blacklistedPixelFormats().contains(converter_->destinationPixelFormat())) {
        CFDictionary replacementAttributes = attributes;
        replacementAttributes.set(kCVPixelBufferPixelFormatTypeKey,
                                  std::int64_t{replacementPixelFormatForBlacklistedPixelFormats()});
        replacementAttributes.remove(kCVPixelBufferBytesPerRowAlignmentKey);
        replacementPool_ = createPixelBufferPool(
            std::make_shared<const CFDictionary>(std::move(replacementAttributes)),
            CallSite(function));
        performDarwinCall({}, CallSite(function),
                          [&] { return VTPixelTransferSessionCreate(&transferSession_); });
    }
}

PixelBufferOutput::~PixelBufferOutput() {
    if (transferSession_) {
        VTPixelTransferSessionInvalidate(transferSession_);
    }
}

bool PixelBufferOutput::accepts(const AVFrame& pixels, const AVFrame& decodedFrame) const {
    // The output format and the conversion depend on the range only through whether it is full.
    return converter_->matches(pixels) &&
           isFullRange(converter_->colorRange()) == isFullRange(decodedFrame.color_range) &&
           decodedFrame.colorspace == colorspace_ &&
           decodedFrame.color_primaries == colorPrimaries_ &&
           decodedFrame.color_trc == colorTransfer_;
}

CVPixelBufferPoolRef PixelBufferOutput::poolForDecodingInto() const {
    if (converter_->isConversionNeeded() || !inDecoderFrameMemory_) {
        return nullptr;
    }
    return pixelBufferPool_;
}

CVPixelBufferRef PixelBufferOutput::makePixelBufferForSoftwareDecodedFrame(
    const AVFrame& pixels, const AVFrame& decodedFrame, CVPixelBufferRef decodedInto) const {
    CVPixelBufferRef pixelBuffer = std::move(decodedInto);
    if (pixelBuffer) {
        precondition(
            !converter_->isConversionNeeded() && frameMatchesPixelBuffer(pixels, pixelBuffer),
            "A picture was decoded into a pixel buffer of another size or format.");
    } else if (converter_->isConversionNeeded()) {
        pixelBuffer = createPixelBufferFromPool(pixelBufferPool_, CallSite(function_));
        converter_->convert(pixels, pixelBuffer);
    } else {
        pixelBuffer = createPixelBufferFromPool(pixelBufferPool_, CallSite(function_));
        precondition(frameMatchesPixelBuffer(pixels, pixelBuffer),
                     "A decoded picture was copied into a pixel buffer of another size or format.");
        fillData(pixelBuffer, pixels.data, pixels.linesize,
                 static_cast<AVPixelFormat>(pixels.format));
    }
    // The GL view draws these formats itself; only the raster path wants them in 'BGRA'.
    if (replacementPool_ && transferSession_ && !videoDisplayDrawsBiPlanarFormats()) {
        return replacementPixelBuffer(pixelBuffer, decodedFrame, replacementPool_,
                                      transferSession_);
    }
    return pixelBuffer;
}

CVPixelBufferRef replacementPixelBuffer(
    const CVPixelBufferRef& pixelBufferWithBlacklistedPixelFormat, const AVFrame& frame,
    const CVPixelBufferPoolRef& replacementPixelBufferPool,
    const VTPixelTransferSessionRef& pixelTransferSession) {
    constexpr const char* function =
        "replacementPixelBuffer(forPixelBufferWithBlacklistedPixelFormat:"
        "replacementPixelBufferPool:pixelTransferSession:)";
    CVPixelBufferRef replacement =
        createPixelBufferFromPool(replacementPixelBufferPool, CallSite(function));
    setColorAttachments(frame, pixelBufferWithBlacklistedPixelFormat);
    setColorAttachments(frame, replacement);
    performDarwinCall({}, CallSite(function), [&] {
        return VTPixelTransferSessionTransferImage(
            pixelTransferSession, pixelBufferWithBlacklistedPixelFormat, replacement);
    });
    return replacement;
}

}  // namespace quillon
