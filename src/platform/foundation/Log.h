#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

namespace platform {

// Writes one message as one line to standard error; the desktop session's journal collects it.
// Safe to call from any thread: lines never interleave.
void logLine(std::string_view message);

template <typename... Args>
void log(fmt::format_string<Args...> format, Args&&... args) {
    logLine(fmt::format(format, std::forward<Args>(args)...));
}

// The library whose failing call a failure line names.
enum class FailingLibrary { FFmpeg, CoreVideo, Darwin };

// "In <file> <function>, the FFmpeg function at line <line> returned an error: <text>."
std::string failureLogLine(FailingLibrary library, std::string_view file, std::string_view function,
                           unsigned line, std::string_view errorText);

void logFailure(FailingLibrary library, std::string_view file, std::string_view function,
                unsigned line, std::string_view errorText);

// Collects the lines logged while it lives (they still reach standard error), so that tests can
// check what was logged. Captures nest; each sees every line logged during its life.
class ScopedLogCapture {
public:
    ScopedLogCapture();
    ~ScopedLogCapture();
    ScopedLogCapture(const ScopedLogCapture&) = delete;
    ScopedLogCapture& operator=(const ScopedLogCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view fragment) const;

private:
    friend void logLine(std::string_view message);
    void append(std::string_view line);

    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

}  // namespace platform
