#include "support/RecordingAudioSink.h"

#include <algorithm>

namespace platform {

RecordingAudioSink::RecordingAudioSink(CMClockRef clock, AudioSinkFormat format, CMTime period,
                                       double deviceClockRatio)
    : NullAudioSink(std::move(clock), format, period, deviceClockRatio) {
    setTap([this](const float* samples, std::size_t frameCount, CMTime) {
        record(samples, frameCount);
    });
}

void RecordingAudioSink::start(RenderCallback render, EventCallback events) {
    {
        std::lock_guard lock(mutex_);
        events_ = events;
    }
    NullAudioSink::start(std::move(render), std::move(events));
}

void RecordingAudioSink::record(const float* samples, std::size_t frameCount) {
    std::lock_guard lock(mutex_);
    samples_.insert(samples_.end(), samples,
                    samples + frameCount * std::size_t(format().channelCount));
}

std::vector<float> RecordingAudioSink::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

std::int64_t RecordingAudioSink::frameCount() const {
    std::lock_guard lock(mutex_);
    return std::int64_t(samples_.size()) / format().channelCount;
}

float RecordingAudioSink::sample(std::int64_t frame, int channel) const {
    std::lock_guard lock(mutex_);
    const std::int64_t index = frame * format().channelCount + channel;
    if (frame < 0 || index >= std::int64_t(samples_.size())) {
        return 0;
    }
    return samples_[std::size_t(index)];
}

std::int64_t RecordingAudioSink::frameAtHostTime(CMTime hostTime) const {
    const CMTime start = hostTimeOfFrame(0);
    const double seconds = CMTimeGetSeconds(CMTimeSubtract(hostTime, start));
    std::int64_t frame = std::max<std::int64_t>(0, std::int64_t(seconds * format().sampleRate) - 2);
    while (CMTimeCompare(hostTimeOfFrame(frame), hostTime) < 0) {
        ++frame;
    }
    return frame;
}

void RecordingAudioSink::simulate(Event event) {
    EventCallback events;
    {
        std::lock_guard lock(mutex_);
        events = events_;
    }
    if (events) {
        events(event);
    }
}

}  // namespace platform
