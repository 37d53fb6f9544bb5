#pragma once

#include <mutex>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include <fmt/format.h>

namespace platform {

// How much a line matters, as the system log ranks it. Errors are failures the user may act
// on, warnings trouble that playback gets over; info and debug lines trace normal operation.
enum class LogLevel { debug, info, warning, error };

std::string_view logLevelName(LogLevel level);

// Where a line comes from: its source file names the line's logging category, and the journal
// keeps file, line and function with it.
struct LogOrigin {
    std::string_view file;
    unsigned line = 0;
    std::string_view function;
    // The logging category; empty: the one the source file belongs to.
    std::string_view category = {};
};

// Writes one line at `level`:
// - to the terminal (standard error), when the line's category is enabled for the level. Each
//   category is named "quillon.<part>" after the part of the source tree it comes from
//   ("quillon.media", "quillon.platform", ...); by Qt's logging rules their warnings and errors
//   are enabled, debug and info lines only when asked for, as with
//   QT_LOGGING_RULES="quillon.*.debug=true". A warning or an error is written once, however
//   often it comes again;
// - to the session's journal, where there is one, every line with its priority;
// - to every ScopedLogCapture alive, every line.
// Safe to call from any thread: lines never interleave.
void logLine(LogLevel level, std::string_view message, const LogOrigin& origin);
void logLine(LogLevel level, std::string_view message,
             std::source_location location = std::source_location::current());

// A format string that remembers where it was written, so that a line logged with it gets its
// caller's origin.
template <typename... Args>
struct LogFormat {
    template <typename Text>
    consteval LogFormat(const Text& text,
                        std::source_location location = std::source_location::current())
        : format(text), location(location) {}

    fmt::format_string<Args...> format;
    std::source_location location;
};

template <typename... Args>
void log(LogLevel level, LogFormat<std::type_identity_t<Args>...> format, Args&&... args) {
    logLine(level, fmt::format(format.format, std::forward<Args>(args)...), format.location);
}

template <typename... Args>
void logDebug(LogFormat<std::type_identity_t<Args>...> format, Args&&... args) {
    logLine(LogLevel::debug, fmt::format(format.format, std::forward<Args>(args)...),
            format.location);
}

template <typename... Args>
void logInfo(LogFormat<std::type_identity_t<Args>...> format, Args&&... args) {
    logLine(LogLevel::info, fmt::format(format.format, std::forward<Args>(args)...),
            format.location);
}

template <typename... Args>
void logWarning(LogFormat<std::type_identity_t<Args>...> format, Args&&... args) {
    logLine(LogLevel::warning, fmt::format(format.format, std::forward<Args>(args)...),
            format.location);
}

template <typename... Args>
void logError(LogFormat<std::type_identity_t<Args>...> format, Args&&... args) {
    logLine(LogLevel::error, fmt::format(format.format, std::forward<Args>(args)...),
            format.location);
}

// The library whose failing call a failure line names.
enum class FailingLibrary { FFmpeg, CoreVideo, Darwin };

// "In <file> <function>, the FFmpeg function at line <line> returned an error: <text>." A call
// about a subject (the file that failed to open) names it: "... returned an error for
// “<subject>”: <text>."
std::string failureLogLine(FailingLibrary library, std::string_view file, std::string_view function,
                           unsigned line, std::string_view errorText,
                           std::string_view subject = {});

// The failure line, a warning by default: the caller throws the error on, and whoever catches
// it decides what the user is told.
void logFailure(FailingLibrary library, std::string_view file, std::string_view function,
                unsigned line, std::string_view errorText, LogLevel level = LogLevel::warning,
                std::string_view subject = {});

// From now on every line also goes to the journal socket at `path` (the native journal
// protocol); an empty path sends none. Without a call, the session's journal is used when its
// socket exists.
void useJournalSocket(std::string path);

// Collects the lines logged while it lives, whatever their level (they still go to the terminal
// and the journal as usual), so that tests can check what was logged. Captures nest; each sees
// every line logged during its life.
class ScopedLogCapture {
public:
    struct Line {
        LogLevel level;
        std::string text;
    };

    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<std::string> lines() const;
    std::vector<Line> entries() const;
    bool contains(std::string_view fragment) const;
    // The level of the first line that holds `fragment`; none when no line does.
    std::optional<LogLevel> levelOf(std::string_view fragment) const;

private:
    friend void logLine(LogLevel level, std::string_view message, const LogOrigin& origin);
    void append(LogLevel level, std::string_view line);

    mutable std::mutex mutex_;
    std::vector<Line> lines_;
};

}  // namespace platform
