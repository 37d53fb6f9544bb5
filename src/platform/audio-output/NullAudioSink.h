#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio-output/AudioSink.h"

namespace platform {

// A sink that plays to nowhere at the pace of a clock: every period it renders the frames that
// become due in the next period, so the renderer consumes exactly as fast as the clock runs.
// Frame k is "heard" at the start host time plus k / sample rate. Used when no sound server
// answers, and on a manual clock by tests, where moving the clock renders.
class NullAudioSink : public AudioSink {
public:
    // Sees each chunk right after it was rendered, on the rendering thread.
    using Tap = std::function<void(const float* samples, std::size_t frameCount, CMTime hostTime)>;

    explicit NullAudioSink(CMClockRef clock, AudioSinkFormat format = {},
                           CMTime period = CMTimeMake(10, 1000));
    // A device whose own clock runs `deviceClockRatio` times as fast as the host clock: it
    // plays that many more frames per host second than its nominal rate (tests of drift).
    NullAudioSink(CMClockRef clock, AudioSinkFormat format, CMTime period, double deviceClockRatio);
    ~NullAudioSink() override;

    // Set before start().
    void setTap(Tap tap);

    std::string name() const override { return "null"; }
    const AudioSinkFormat& format() const override { return format_; }
    const CMClockRef& clock() const override { return clock_; }
    void start(RenderCallback render, EventCallback events) override;
    void stop() override;
    std::optional<std::string> deviceUniqueID() const override;
    void setDeviceUniqueID(std::optional<std::string> deviceUniqueID) override;

    // The host time at which frame `frameIndex` plays; invalid before start().
    CMTime hostTimeOfFrame(std::int64_t frameIndex) const;

private:
    void renderDue();

    const CMClockRef clock_;
    const AudioSinkFormat format_;
    const std::int64_t periodNanoseconds_;
    // Frames per host second, times 1000 (an exact integer for ratios of a few parts per
    // million).
    const std::int64_t millihertz_;
    const std::size_t periodFrames_;
    Tap tap_;
    RenderCallback render_;
    EventCallback events_;
    std::unique_ptr<CMClockAlarm> alarm_;
    std::atomic<std::int64_t> startNanoseconds_{-1};
    std::atomic<bool> stopped_{false};
    // Touched only by the alarm's handler, one run at a time.
    std::int64_t renderedFrames_ = 0;
    std::vector<float> buffer_;

    mutable std::mutex deviceMutex_;
    std::optional<std::string> deviceUniqueID_;
};

}  // namespace platform
