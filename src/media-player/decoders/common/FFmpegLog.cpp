#include "media-player/decoders/common/FFmpegLog.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

namespace {

// The line this thread is putting together from FFmpeg's pieces.
struct PendingLine {
    std::string prefix;
    std::string text;
    platform::LogLevel level = platform::LogLevel::warning;
    // Whether a piece arrived since the last line was written: the next piece continues it.
    bool open = false;
};

thread_local PendingLine pendingLine;
thread_local int silenceDepth = 0;

struct RememberedLine {
    std::string text;
    std::uint64_t repeats = 0;
    std::uint64_t writtenRepeats = 0;
    std::uint64_t lastSeen = 0;
};

// The lines seen lately, with how often each came again.
class RepeatCounter {
public:
    // What to write for one more occurrence of `line`: the line itself the first time, a count
    // at each power of ten of repeats, else nothing. A line forgotten to make room may have a
    // count to write first.
    std::vector<std::string> occurrence(std::string line) {
        std::vector<std::string> toWrite;
        const std::lock_guard lock(mutex_);
        ++clock_;
        const auto known =
            std::find_if(lines_.begin(), lines_.end(),
                         [&](const RememberedLine& entry) { return entry.text == line; });
        if (known != lines_.end()) {
            known->lastSeen = clock_;
            ++known->repeats;
            if (isPowerOfTen(known->repeats)) {
                toWrite.push_back(repeatLine(*known));
            }
            return toWrite;
        }
        if (lines_.size() == ffmpegLogRememberedLineCount) {
            const auto oldest = std::min_element(
                lines_.begin(), lines_.end(), [](const RememberedLine& a, const RememberedLine& b) {
                    return a.lastSeen < b.lastSeen;
                });
            if (oldest->repeats > oldest->writtenRepeats) {
                toWrite.push_back(repeatLine(*oldest));
            }
            lines_.erase(oldest);
        }
        toWrite.push_back(line);
        lines_.push_back({std::move(line), 0, 0, clock_});
        return toWrite;
    }

private:
    static bool isPowerOfTen(std::uint64_t count) {
        if (count < 10) {
            return false;
        }
        while (count % 10 == 0) {
            count /= 10;
        }
        return count == 1;
    }

    static std::string repeatLine(RememberedLine& entry) {
        entry.writtenRepeats = entry.repeats;
        return entry.text + " (repeated " + std::to_string(entry.repeats) + " times)";
    }

    std::mutex mutex_;
    std::vector<RememberedLine> lines_;
    std::uint64_t clock_ = 0;
};

RepeatCounter& repeatCounter() {
    static platform::NeverDestroyed<RepeatCounter> counter;
    return counter.get();
}

// "[ffmpeg/<name>] " for a line logged about an FFmpeg object (a codec, a demuxer, a device),
// "[ffmpeg] " for one logged about none. FFmpeg's own prefix names the object's address as well,
// which would make the same line from two files two different lines.
std::string linePrefix(void* context) {
    const AVClass* avClass =
        context != nullptr ? *static_cast<const AVClass* const*>(context) : nullptr;
    const char* name = nullptr;
    if (avClass != nullptr) {
        name = avClass->item_name != nullptr ? avClass->item_name(context) : avClass->class_name;
    }
    if (name == nullptr || *name == '\0') {
        return "[ffmpeg] ";
    }
    return std::string("[ffmpeg/") + name + "] ";
}

const platform::LogOrigin ffmpegOrigin{{}, 0, {}, "quillon.ffmpeg"};

// FFmpeg's own ranking of a line that is let through (a warning or louder), as a level of ours:
// what FFmpeg calls an error is a damaged packet or frame that playback gets over.
platform::LogLevel levelOf(int ffmpegLevel) {
    return ffmpegLevel <= AV_LOG_FATAL ? platform::LogLevel::error : platform::LogLevel::warning;
}

// The probe of a file's streams complains about every stream whose codec parameters it could
// not find, attachments included (the fonts and covers of Matroska files, whose types FFmpeg
// may not know). Attachments are never decoded, so that is no trouble of the file's.
bool isAboutAnAttachment(void* context, const char* format, std::va_list arguments) {
    constexpr std::string_view probeComplaint = "Could not find codec parameters for stream %d";
    if (context == nullptr ||
        std::string_view(format).substr(0, probeComplaint.size()) != probeComplaint) {
        return false;
    }
    const AVClass* avClass = *static_cast<const AVClass* const*>(context);
    if (avClass == nullptr || avClass->class_name == nullptr ||
        std::strcmp(avClass->class_name, "AVFormatContext") != 0) {
        return false;
    }
    std::va_list copy;
    va_copy(copy, arguments);
    const int index = va_arg(copy, int);
    va_end(copy);
    const auto* formatContext = static_cast<const AVFormatContext*>(context);
    return index >= 0 && static_cast<unsigned>(index) < formatContext->nb_streams &&
           formatContext->streams[index]->codecpar != nullptr &&
           formatContext->streams[index]->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT;
}

void writeLine(PendingLine line) {
    std::string& text = line.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
    }
    if (text.empty()) {
        return;
    }
    for (const std::string& output : repeatCounter().occurrence(line.prefix + text)) {
        platform::logLine(line.level, output, ffmpegOrigin);
    }
}

bool endsLine(const char* format) {
    const std::size_t length = std::strlen(format);
    return length > 0 && format[length - 1] == '\n';
}

}  // namespace

void ffmpegLogCallback(void* context, int level, const char* format, std::va_list arguments) {
    if (format == nullptr || silenceDepth > 0) {
        return;
    }
    // The high bits may carry a colour for the terminal. A quieter level set for the process
    // (av_log_set_level) is kept.
    if ((level & 0xff) > std::min(AV_LOG_WARNING, av_log_get_level())) {
        // A quieter piece that ends a line (FFmpeg seldom mixes levels within one) must not leave
        // the louder start waiting for the next line's end.
        if (pendingLine.open && endsLine(format)) {
            writeLine(std::exchange(pendingLine, {}));
        }
        return;
    }

    std::array<char, 1024> piece{};
    int printPrefix = 1;
    std::va_list copy;
    va_copy(copy, arguments);
    av_log_format_line2(nullptr, level, format, copy, piece.data(), static_cast<int>(piece.size()),
                        &printPrefix);
    va_end(copy);

    const platform::LogLevel lineLevel = isAboutAnAttachment(context, format, arguments)
                                             ? platform::LogLevel::debug
                                             : levelOf(level & 0xff);
    std::string_view rest(piece.data());
    while (!rest.empty()) {
        if (!pendingLine.open) {
            pendingLine = {linePrefix(context), {}, lineLevel, true};
        }
        const std::size_t end = rest.find('\n');
        if (end == std::string_view::npos) {
            pendingLine.text.append(rest);
            break;
        }
        pendingLine.text.append(rest.substr(0, end));
        rest.remove_prefix(end + 1);
        writeLine(std::exchange(pendingLine, {}));
    }
}

void installFFmpegLogCallback() {
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_callback(ffmpegLogCallback); });
}

ScopedFFmpegLogSilence::ScopedFFmpegLogSilence() {
    ++silenceDepth;
}

ScopedFFmpegLogSilence::~ScopedFFmpegLogSilence() {
    --silenceDepth;
}

}  // namespace quillon
