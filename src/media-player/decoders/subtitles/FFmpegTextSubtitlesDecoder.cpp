#include "media-player/decoders/subtitles/FFmpegTextSubtitlesDecoder.h"

#include "media-player/decoders/common/FFmpegError.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

// Fields before Text in the events that libavcodec hands out for text codecs.
constexpr int assFieldsBeforeText = 8;

std::string_view textField(std::string_view event) {
    std::size_t start = 0;
    for (int field = 0; field < assFieldsBeforeText; ++field) {
        const std::size_t comma = event.find(',', start);
        if (comma == std::string_view::npos) {
            // Not an event line of the expected shape: all of it is text rather than nothing.
            return event;
        }
        start = comma + 1;
    }
    return event.substr(start);
}

}  // namespace

std::string FFmpegTextSubtitlesDecoder::plainTextOfASSEvent(std::string_view event) {
    const std::string_view text = textField(event);
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '{') {
            const std::size_t close = text.find('}', i + 1);
            if (close != std::string_view::npos) {
                i = close;
                continue;
            }
        } else if (c == '\\' && i + 1 < text.size()) {
            const char next = text[i + 1];
            if (next == 'N' || next == 'n') {
                result += '\n';
                ++i;
                continue;
            }
            if (next == 'h') {
                result += "\u00A0";
                ++i;
                continue;
            }
        }
        result += c;
    }
    // Events end with the line break of the script line they came from.
    while (!result.empty() && (result.back() == '\r' || result.back() == '\n')) {
        result.pop_back();
    }
    return result;
}

Subtitles FFmpegTextSubtitlesDecoder::makeSubtitles(std::span<AVSubtitleRect* const> rects) {
    std::string joined;
    bool hasText = false;
    for (const AVSubtitleRect* rect : rects) {
        std::string text;
        if (rect == nullptr) {
            continue;
        }
        if (rect->type == SUBTITLE_TEXT && rect->text != nullptr) {
            text = rect->text;
        } else if (rect->type == SUBTITLE_ASS && rect->ass != nullptr) {
            text = plainTextOfASSEvent(rect->ass);
        } else {
            platform::logWarning("Skipping subtitle rectangle of type {} without text.",
                                 static_cast<int>(rect->type));
            continue;
        }
        if (hasText) {
            joined += '\n';
        }
        joined += text;
        hasText = true;
    }
    if (!hasText) {
        throw FFmpegError::unknownSubtitleType();
    }
    return Subtitles::text(TextSubtitle{std::move(joined)});
}

}  // namespace quillon
