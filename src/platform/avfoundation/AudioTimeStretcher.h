#pragma once

#include <cstddef>
#include <memory>

#include "platform/avfoundation/AudioSink.h"

namespace platform {

// Changes the tempo of audio without changing its pitch (libavfilter's atempo): for every
// `tempo` seconds of input it gives one second of output. Output frame k corresponds to input
// time k × tempo from the start. Frames come out in the sink's format.
//
// Used by one thread at a time.
class AudioTimeStretcher {
public:
    // Tempos between 0.25 and 100. Stops the process when the filter cannot be made, which
    // only a broken FFmpeg installation causes.
    AudioTimeStretcher(const AudioSinkFormat& format, double tempo);
    ~AudioTimeStretcher();
    AudioTimeStretcher(const AudioTimeStretcher&) = delete;
    AudioTimeStretcher& operator=(const AudioTimeStretcher&) = delete;

    double tempo() const { return tempo_; }

    void push(const float* samples, std::size_t frameCount);
    // Takes up to frameCount frames of output; returns how many there were.
    std::size_t pull(float* out, std::size_t frameCount);

private:
    struct Graph;

    const AudioSinkFormat format_;
    const double tempo_;
    std::unique_ptr<Graph> graph_;
};

}  // namespace platform
