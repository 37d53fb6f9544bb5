#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/audio-output/NullAudioSink.h"

namespace platform {

// A null sink that keeps everything it plays, with the host time of each frame: for tests, on
// a manual clock, where moving the clock plays.
class RecordingAudioSink final : public NullAudioSink {
public:
    explicit RecordingAudioSink(CMClockRef clock, AudioSinkFormat format = {},
                                CMTime period = CMTimeMake(10, 1000),
                                double deviceClockRatio = 1.0);

    std::string name() const override { return "recording"; }
    void start(RenderCallback render, EventCallback events) override;

    // Interleaved samples of every frame played so far.
    std::vector<float> samples() const;
    std::int64_t frameCount() const;
    // The sample of one channel of one frame (0 past the end).
    float sample(std::int64_t frame, int channel = 0) const;
    // The first frame played at or after the host time.
    std::int64_t frameAtHostTime(CMTime hostTime) const;

    // Tells the renderer that the output moved to another device or went away, as a sound
    // server would (on the calling thread, which stands in for the sink's).
    void simulate(Event event);

private:
    void record(const float* samples, std::size_t frameCount);

    mutable std::mutex mutex_;
    std::vector<float> samples_;
    EventCallback events_;
};

}  // namespace platform
