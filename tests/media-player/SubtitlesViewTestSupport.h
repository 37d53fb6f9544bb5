#pragma once

#include <memory>
#include <string>
#include <vector>

#include "media-player/decoders/subtitles/FormattedTextSubtitle.h"
#include "media-player/decoders/subtitles/ImageSubtitle.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/corevideo/CVPixelFormatType.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSFont.h"
// The views are widgets.
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {

inline SubtitleTextStyle plainStyle() {
    SubtitleTextStyle style;
    style.textAttributes.underlyingTextAttributes = {
        {platform::NSFontAttributeName, platform::NSFont::systemFontOfSize(20)},
        {platform::NSForegroundColorAttributeName, platform::NSColor::whiteColor()}};
    style.scalingInfo = {20, 5, 1};
    return style;
}

inline FormattedTextSubtitle formatted(const std::string& text,
                                       const SubtitleTextStyle& style = plainStyle()) {
    return {
        platform::NSAttributedString(text, style.textAttributes.underlyingTextAttributes).copy(),
        style};
}

inline platform::CMTime seconds(double value) {
    return platform::CMTimeMakeWithSeconds(value, 1000);
}

inline SubtitlesFrame textFrame(double start, double end, const std::string& text) {
    return {seconds(start), seconds(end), Subtitles::formattedText({formatted(text)})};
}

inline SubtitlesFrame clearFrame(double start) {
    return {seconds(start), seconds(start), Subtitles::clearPreviousSubtitles()};
}

// A BGRA bitmap of one opaque colour (bytes B, G, R, A).
inline platform::CVPixelBufferRef solidImage(std::size_t width, std::size_t height,
                                             std::uint8_t blue, std::uint8_t green,
                                             std::uint8_t red) {
    platform::CVPixelBufferRef buffer;
    platform::CVPixelBufferCreate(width, height, platform::kCVPixelFormatType_32BGRA, nullptr,
                                  &buffer);
    buffer->lockBaseAddress(0);
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* row =
            buffer->baseAddressOfPlane(0) + y * buffer->geometry().planes[0].bytesPerRow;
        for (std::size_t x = 0; x < width; ++x) {
            row[4 * x] = blue;
            row[4 * x + 1] = green;
            row[4 * x + 2] = red;
            row[4 * x + 3] = 255;
        }
    }
    buffer->unlockBaseAddress(0);
    return buffer;
}

}  // namespace quillon::test
