#pragma once

#include <QImage>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/subtitles/ASSDecoder.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleUpdateNotifier.h"
#include "platform/foundation/UserDefaults.h"
#include "support/FakeCaptionAppearance.h"

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

// A subtitle style manager of its own (fake caption settings, defaults in a temporary file) and
// ASS decoders that follow it.
class ASSEvents {
public:
    // Decodes one event ("Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text") of a script
    // with this header.
    FormattedTextSubtitle decode(const std::string& header, const std::string& event) {
        auto decoder =
            ASSDecoder::make(reinterpret_cast<const std::uint8_t*>(header.data()),
                             static_cast<std::int32_t>(header.size()), manager_, notifier_);
        return decoder->formattedTextSubtitles(("0," + event).c_str()).at(0);
    }

    // What libavcodec's SubRip decoder makes of one cue's text, through its own script header.
    FormattedTextSubtitle decodeSubRip(const std::string& cue) {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_SUBRIP);
        AVCodecContextPointer context(avcodec_alloc_context3(codec));
        context->pkt_timebase = AVRational{1, 1000};
        if (avcodec_open2(context.get(), codec, nullptr) < 0) {
            throw std::runtime_error("The SubRip decoder did not open.");
        }
        AVPacketPointer packet(av_packet_alloc());
        av_new_packet(packet.get(), static_cast<int>(cue.size()));
        std::copy(cue.begin(), cue.end(), packet->data);
        packet->pts = 0;
        packet->duration = 1000;
        AVSubtitle subtitle{};
        int gotSubtitle = 0;
        avcodec_decode_subtitle2(context.get(), &subtitle, &gotSubtitle, packet.get());
        std::string event = gotSubtitle && subtitle.num_rects > 0 && subtitle.rects[0]->ass
                                ? subtitle.rects[0]->ass
                                : "";
        avsubtitle_free(&subtitle);
        auto decoder = ASSDecoder::make(context->subtitle_header, context->subtitle_header_size,
                                        manager_, notifier_);
        return decoder->formattedTextSubtitles(event.c_str()).at(0);
    }

private:
    QTemporaryDir directory_;
    std::shared_ptr<platform::UserDefaults> defaults_ = std::make_shared<platform::UserDefaults>(
        directory_.filePath(QStringLiteral("defaults.conf")).toStdString());
    std::shared_ptr<SubtitleTextStyleManager> manager_ = SubtitleTextStyleManager::make(
        std::make_shared<platform::FakeCaptionAppearance>(), defaults_);
    std::shared_ptr<SubtitleTextStyleUpdateNotifier> notifier_ =
        SubtitleTextStyleUpdateNotifier::make(manager_);
};

// A script header: PlayResX x PlayResY, one "Default" style in the given primary colour
// (&HAABBGGRR), 20 pixels, without outline or shadow, bottom centre.
inline std::string scriptHeader(int playResX, int playResY,
                                const std::string& primaryColour = "&H00FFFFFF") {
    return "[Script Info]\nScriptType: v4.00+\nPlayResX: " + std::to_string(playResX) +
           "\nPlayResY: " + std::to_string(playResY) +
           "\n\n[V4+ Styles]\n"
           "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
           "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
           "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
           "Style: Default,DejaVu Sans,20," +
           primaryColour +
           ",&H0,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,0,0,2,10,10,10,0\n"
           "\n[Events]\n"
           "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";
}

// The widget and its children drawn over black.
inline QImage picture(QWidget& widget) {
    QImage image(widget.size(), QImage::Format_ARGB32);
    image.fill(Qt::black);
    widget.render(&image);
    return image;
}

// The rows of `image` that hold a pixel `matching`, top to bottom.
inline std::vector<int> rowsWith(const QImage& image, const std::function<bool(QColor)>& matching,
                                 QRect area = {}) {
    if (area.isNull()) {
        area = image.rect();
    }
    std::vector<int> rows;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (matching(QColor(image.pixel(x, y)))) {
                rows.push_back(y);
                break;
            }
        }
    }
    return rows;
}

inline bool isRed(QColor c) {
    return c.red() > 200 && c.green() < 60 && c.blue() < 60;
}
inline bool isGreen(QColor c) {
    return c.green() > 200 && c.red() < 60 && c.blue() < 60;
}
inline bool isBlue(QColor c) {
    return c.blue() > 200 && c.red() < 60 && c.green() < 60;
}
inline bool isWhite(QColor c) {
    return c.red() > 200 && c.green() > 200 && c.blue() > 200;
}

}  // namespace quillon::test
