#pragma once

#include <cstdarg>
#include <cstddef>

namespace quillon {

// Sends FFmpeg's own log through the program's log from now on (category "quillon.ffmpeg"):
// warnings and errors only, each line whole (FFmpeg may write one in several pieces, from
// several threads at once) and prefixed "[ffmpeg/<context name>] ". Fatal lines are errors, the
// others warnings, except the stream probe's complaints about attachments (fonts, covers),
// which are never decoded: those are debug lines. A line seen before is not written again but
// counted; the count is written when it reaches 10, 100, 1000… repeats, and when the line is
// forgotten to make room for others. Installs the callback once per process, whoever calls first;
// safe from any thread. The allocators of format and codec contexts and the hardware device probe
// call it, so FFmpeg's first line already takes this way.
void installFFmpegLogCallback();

// The callback that installFFmpegLogCallback installs, for code that puts its own callback in
// front of it and hands every line on.
void ffmpegLogCallback(void* context, int level, const char* format, std::va_list arguments);

// How many lines seen before are kept for counting.
inline constexpr std::size_t ffmpegLogRememberedLineCount = 64;

// While it lives, FFmpeg's lines from this thread are dropped: for calls whose failure is
// expected and reported by the caller in its own words (FFmpeg explains why a hardware device
// it was asked to try does not open). Nests.
class ScopedFFmpegLogSilence {
public:
    ScopedFFmpegLogSilence();
    ~ScopedFFmpegLogSilence();
    ScopedFFmpegLogSilence(const ScopedFFmpegLogSilence&) = delete;
    ScopedFFmpegLogSilence& operator=(const ScopedFFmpegLogSilence&) = delete;
};

}  // namespace quillon
