#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "media-player/decoders/subtitles/FFmpegSubtitlesDecoder.h"
#include "media-player/media-types/VideoDimensions.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon {

// Bitmaps: each SUBTITLE_BITMAP rectangle (palette indices plus a palette) becomes one 'BGRA'
// pixel buffer placed on the stream's canvas.
class FFmpegImageSubtitlesDecoder final : public FFmpegSubtitlesDecoder {
public:
    // The canvas is the context's width × height; none when either is below 1.
    explicit FFmpegImageSubtitlesDecoder(const AVCodecContext& context);
    explicit FFmpegImageSubtitlesDecoder(std::optional<VideoDimensions> videoDimensions)
        : videoDimensions_(std::move(videoDimensions)) {}

    const std::optional<VideoDimensions>& videoDimensions() const { return videoDimensions_; }

    // One image per usable rectangle, in order. Rectangles that are not bitmaps, or whose sizes,
    // rows or palette do not describe a bitmap that can be read safely, are skipped with a log
    // line; throws FFmpegError unknownSubtitleType when none was usable, and the errors of
    // making or filling a pixel buffer.
    Subtitles makeSubtitles(std::span<AVSubtitleRect* const> rects) override;

    // A 'BGRA' buffer of width × height from 8-bit palette indices (data[0], rows linesize[0]
    // apart, each at least width long) and a palette of paletteColorCount 0xAARRGGBB entries
    // (data[1]); indices past the palette come out transparent. Throws FFmpegError or the Core
    // Video error.
    static platform::CVPixelBufferRef makeImage(const std::uint8_t* const data[4],
                                                const int linesize[4], int width, int height,
                                                int paletteColorCount);

    // Sides longer than this are refused: no real subtitle canvas comes near it, and hostile
    // sizes must not turn into giant allocations.
    static constexpr int maximumSide = 16384;

private:
    std::optional<VideoDimensions> videoDimensions_;
};

}  // namespace quillon
