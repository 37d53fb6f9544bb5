#include "MonitorRecorder.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <thread>

#include "platform/clock/CMClock.h"

namespace quillon::bench {

namespace {

void signalStream(pa_stream*, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

std::int64_t nowNanoseconds() {
    return platform::CMClockConvertHostTimeToNanoseconds(
        platform::CMClockGetHostTimeClock()->time());
}

// Half the span of the estimates that place one frame.
constexpr double kTimingWindowSeconds = 0.5;
// The timing has settled once the estimates of this long agree this closely.
constexpr double kSettledSeconds = 0.5;
constexpr double kSettledSpreadNanoseconds = 1e6;

double percentile(std::vector<double> values, double fraction) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const auto rank = std::size_t(std::ceil(fraction * double(values.size())));
    return values[std::clamp<std::size_t>(rank, 1, values.size()) - 1];
}

}  // namespace

MonitorRecorder::MonitorRecorder(int sampleRate, int channelCount)
    : sampleRate_(sampleRate), channelCount_(channelCount) {
    samples_.reserve(std::size_t(sampleRate) * 150);
    estimates_.reserve(32768);
}

void MonitorRecorder::append(const float* frames, std::size_t frameCount,
                             const Estimate* firstFrame) {
    std::lock_guard lock(mutex_);
    if (firstFrame != nullptr) {
        estimates_.push_back({std::int64_t(samples_.size()), firstFrame->hostNanoseconds});
    }
    if (frames == nullptr) {
        // A hole in the recording: keep the frame count right.
        samples_.insert(samples_.end(), frameCount, 0.0f);
        return;
    }
    const auto channels = std::size_t(channelCount_);
    for (std::size_t frame = 0; frame < frameCount; ++frame) {
        samples_.push_back(frames[frame * channels]);
    }
}

std::int64_t MonitorRecorder::recordedFrames() const {
    std::lock_guard lock(mutex_);
    return std::int64_t(samples_.size());
}

PulseAudioMonitorRecorder::PulseAudioMonitorRecorder(const std::string& sinkName, int sampleRate,
                                                     int channelCount)
    : MonitorRecorder(sampleRate, channelCount), connection_("av-sync recorder") {
    const std::string sourceName = sinkName + ".monitor";
    if (!connection_.isConnected()) {
        return;
    }
    pa_threaded_mainloop* mainloop = connection_.mainloop();
    pa_threaded_mainloop_lock(mainloop);
    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, std::uint32_t(sampleRate),
                                    std::uint8_t(channelCount)};
    stream_ = pa_stream_new(connection_.context(), "Monitor", &sampleSpec, nullptr);
    pa_stream_set_state_callback(stream_, &signalStream, mainloop);
    pa_stream_set_read_callback(stream_, &read, this);
    pa_buffer_attr attributes{};
    attributes.maxlength = std::uint32_t(-1);
    attributes.fragsize = std::uint32_t(pa_usec_to_bytes(10 * PA_USEC_PER_MSEC, &sampleSpec));
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    if (pa_stream_connect_record(stream_, sourceName.c_str(), &attributes, flags) == 0) {
        while (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) &&
               pa_stream_get_state(stream_) != PA_STREAM_READY) {
            pa_threaded_mainloop_wait(mainloop);
        }
    }
    recording_ = pa_stream_get_state(stream_) == PA_STREAM_READY;
    pa_threaded_mainloop_unlock(mainloop);
}

PulseAudioMonitorRecorder::~PulseAudioMonitorRecorder() {
    if (stream_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(connection_.mainloop());
    pa_stream_set_read_callback(stream_, nullptr, nullptr);
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    pa_threaded_mainloop_unlock(connection_.mainloop());
}

std::vector<float> MonitorRecorder::samples() const {
    std::lock_guard lock(mutex_);
    return samples_;
}

void PulseAudioMonitorRecorder::read(pa_stream* stream, std::size_t, void* userdata) {
    auto* self = static_cast<PulseAudioMonitorRecorder*>(userdata);
    const std::int64_t now = nowNanoseconds();
    pa_usec_t latency = 0;
    int negative = 0;
    const bool hasLatency = pa_stream_get_latency(stream, &latency, &negative) == 0;
    const void* data = nullptr;
    std::size_t size = 0;
    bool first = true;
    while (pa_stream_peek(stream, &data, &size) == 0 && size > 0) {
        // The latency is that of the frame at the read position when the callback began.
        Estimate estimate;
        if (hasLatency && first) {
            const std::int64_t nanoseconds = std::int64_t(latency) * 1000;
            estimate.hostNanoseconds = now + (negative ? nanoseconds : -nanoseconds);
        }
        self->append(static_cast<const float*>(data),
                     size / (sizeof(float) * std::size_t(self->channelCount_)),
                     hasLatency && first ? &estimate : nullptr);
        first = false;
        pa_stream_drop(stream);
    }
}

bool MonitorRecorder::waitUntilTimingSettles(std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const auto window = std::int64_t(kSettledSeconds * sampleRate_);
    const double nanosecondsPerFrame = 1e9 / double(sampleRate_);
    for (;;) {
        {
            std::lock_guard lock(mutex_);
            if (!estimates_.empty() &&
                estimates_.back().frame - estimates_.front().frame > window) {
                double lowest = std::numeric_limits<double>::max();
                double highest = std::numeric_limits<double>::lowest();
                for (auto estimate = estimates_.rbegin();
                     estimate != estimates_.rend() &&
                     estimates_.back().frame - estimate->frame <= window;
                     ++estimate) {
                    const double intercept = double(estimate->hostNanoseconds) -
                                             double(estimate->frame) * nanosecondsPerFrame;
                    lowest = std::min(lowest, intercept);
                    highest = std::max(highest, intercept);
                }
                if (highest - lowest <= kSettledSpreadNanoseconds) {
                    return true;
                }
            }
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

MonitorRecorder::Timing MonitorRecorder::timing() const {
    std::lock_guard lock(mutex_);
    return Timing(estimates_, sampleRate_);
}

MonitorRecorder::Timing::Timing(std::vector<Estimate> estimates, int sampleRate)
    : estimates_(std::move(estimates)),
      nanosecondsPerFrame_(1e9 / double(sampleRate)),
      windowFrames_(std::int64_t(kTimingWindowSeconds * sampleRate)) {
    std::vector<double> residuals;
    residuals.reserve(estimates_.size());
    for (const Estimate& estimate : estimates_) {
        residuals.push_back(
            std::abs(double(estimate.hostNanoseconds) - localMedian(double(estimate.frame))) / 1e6);
    }
    medianResidual_ = percentile(residuals, 0.5);
    p99Residual_ = percentile(residuals, 0.99);
}

double MonitorRecorder::Timing::hostNanosecondsOfFrame(double frame) const {
    return localMedian(frame);
}

double MonitorRecorder::Timing::localMedian(double frame) const {
    if (estimates_.empty()) {
        return 0;
    }
    // Estimates are in frame order.
    const auto from = std::lower_bound(
        estimates_.begin(), estimates_.end(), frame - double(windowFrames_),
        [](const Estimate& estimate, double value) { return double(estimate.frame) < value; });
    auto to = std::upper_bound(
        from, estimates_.end(), frame + double(windowFrames_),
        [](double value, const Estimate& estimate) { return value < double(estimate.frame); });
    std::vector<double> projected;
    for (auto estimate = from; estimate != to; ++estimate) {
        projected.push_back(double(estimate->hostNanoseconds) +
                            (frame - double(estimate->frame)) * nanosecondsPerFrame_);
    }
    if (projected.empty()) {
        const Estimate& nearest = from == estimates_.end() ? estimates_.back() : *from;
        return double(nearest.hostNanoseconds) +
               (frame - double(nearest.frame)) * nanosecondsPerFrame_;
    }
    return percentile(std::move(projected), 0.5);
}

}  // namespace quillon::bench
