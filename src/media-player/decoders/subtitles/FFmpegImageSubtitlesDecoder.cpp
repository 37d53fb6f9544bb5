#include "media-player/decoders/subtitles/FFmpegImageSubtitlesDecoder.h"

#include <algorithm>
#include <array>
#include <cstring>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixfmt.h>
}

#include "media-player/decoders/common/ColorAttachments.h"
#include "media-player/decoders/common/CoreVideoCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPixelFormatConverter.h"
#include "platform/corefoundation/CFDictionary.h"
#include "platform/foundation/Log.h"

namespace quillon {

using namespace platform;

namespace {

constexpr const char* makeImageFunction = "makeImage(data:dataLinesize:width:height:)";

std::optional<VideoDimensions> canvasDimensions(const AVCodecContext& context) {
    if (context.width < 1 || context.height < 1) {
        return std::nullopt;
    }
    return VideoDimensions(context.width, context.height, std::nullopt, 1.0);
}

// Why a rectangle cannot be turned into an image, or null when it can. Decoders are trusted no
// further than their fields: a corrupt stream can give sizes that do not fit the rows.
const char* unusableBitmapReason(const AVSubtitleRect& rect) {
    if (rect.type != SUBTITLE_BITMAP) {
        return "it is not a bitmap";
    }
    if (rect.w < 1 || rect.h < 1) {
        return "it is empty";
    }
    if (rect.w > FFmpegImageSubtitlesDecoder::maximumSide ||
        rect.h > FFmpegImageSubtitlesDecoder::maximumSide ||
        av_image_check_size(static_cast<unsigned>(rect.w), static_cast<unsigned>(rect.h), 0,
                            nullptr) < 0) {
        return "it is too large";
    }
    if (rect.data[0] == nullptr) {
        return "it has no pixels";
    }
    if (rect.linesize[0] < rect.w) {
        return "its rows are shorter than its width";
    }
    if (rect.data[1] == nullptr || rect.nb_colors < 1) {
        return "it has no palette";
    }
    return nullptr;
}

CFDictionaryRef imageAttributes() {
    static const CFDictionaryRef attributes = std::make_shared<const CFDictionary>(CFDictionary{
        {kCVPixelBufferBytesPerRowAlignmentKey, std::int64_t{16}},
        {kCVPixelBufferIOSurfaceCoreAnimationCompatibilityKey, true},
        {kCVPixelBufferCGBitmapContextCompatibilityKey, true},
        {kCVPixelBufferCGImageCompatibilityKey, true},
    });
    return attributes;
}

}  // namespace

FFmpegImageSubtitlesDecoder::FFmpegImageSubtitlesDecoder(const AVCodecContext& context)
    : videoDimensions_(canvasDimensions(context)) {}

CVPixelBufferRef FFmpegImageSubtitlesDecoder::makeImage(const std::uint8_t* const data[4],
                                                        const int linesize[4], int width,
                                                        int height, int paletteColorCount) {
    FFmpegPixelFormatConverter converter(AV_PIX_FMT_PAL8, AVCOL_RANGE_UNSPECIFIED, width, height);
    CVPixelBufferRef buffer =
        createPixelBuffer(width, height, converter, imageAttributes(), CallSite(makeImageFunction));

    const std::optional<CFValue> marker =
        CVBufferGetAttachment(buffer, kDidConfigureColorSpaceAttachmentKey);
    const bool isConfigured =
        marker && std::holds_alternative<bool>(*marker) && std::get<bool>(*marker);
    if (!isConfigured) {
        replaceColorAttachments(buffer, defaultColorAttachmentsForPixelBuffer(buffer));
    }

    // libswscale reads a full 256-entry palette whatever the bitmap uses, while decoders may
    // allocate only the colours they have: hand it a complete copy, unused entries transparent.
    alignas(16) std::array<std::uint32_t, AVPALETTE_COUNT> palette{};
    const int colorCount = std::clamp(paletteColorCount, 0, AVPALETTE_COUNT);
    std::memcpy(palette.data(), data[1], static_cast<std::size_t>(colorCount) * 4);

    AVFrame source{};
    source.data[0] = const_cast<std::uint8_t*>(data[0]);
    source.data[1] = reinterpret_cast<std::uint8_t*>(palette.data());
    source.linesize[0] = linesize[0];
    source.linesize[1] = 0;
    source.width = width;
    source.height = height;
    source.format = AV_PIX_FMT_PAL8;
    converter.convert(source, buffer);
    return buffer;
}

Subtitles FFmpegImageSubtitlesDecoder::makeSubtitles(std::span<AVSubtitleRect* const> rects) {
    std::vector<ImageSubtitle> images;
    images.reserve(rects.size());
    for (const AVSubtitleRect* rect : rects) {
        if (rect == nullptr) {
            continue;
        }
        if (const char* reason = unusableBitmapReason(*rect)) {
            logWarning("Skipping subtitle rectangle of type {} and size {}x{}: {}.",
                       static_cast<int>(rect->type), rect->w, rect->h, reason);
            continue;
        }
        CVPixelBufferRef image =
            makeImage(rect->data, rect->linesize, rect->w, rect->h, rect->nb_colors);
        images.push_back(ImageSubtitle{
            std::move(image),
            CGRectMake(rect->x, rect->y, rect->w, rect->h),
            videoDimensions_,
        });
    }
    if (images.empty()) {
        throw FFmpegError::unknownSubtitleType();
    }
    return Subtitles::images(std::move(images));
}

}  // namespace quillon
