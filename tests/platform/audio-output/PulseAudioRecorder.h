#pragma once

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/clock/CMClock.h"

namespace quillon::test {

// Records a PulseAudio source (a sink's monitor, to hear what was played) in float samples, and
// works out on the host clock when the first recorded frame was played: at every read, the
// stream's latency says how long ago the frame at the read position was captured.
class PulseAudioRecorder {
public:
    PulseAudioRecorder(const std::string& sourceName, int sampleRate, int channelCount)
        : sampleRate_(sampleRate), channelCount_(channelCount) {
        mainloop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "recorder");
        pa_context_set_state_callback(context_, &signal, this);
        pa_threaded_mainloop_lock(mainloop_);
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        pa_threaded_mainloop_start(mainloop_);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
               pa_context_get_state(context_) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_wait(mainloop_);
        }
        if (pa_context_get_state(context_) == PA_CONTEXT_READY) {
            const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, std::uint32_t(sampleRate),
                                            std::uint8_t(channelCount)};
            stream_ = pa_stream_new(context_, "Recording", &sampleSpec, nullptr);
            pa_stream_set_state_callback(stream_, &signalStream, this);
            pa_stream_set_read_callback(stream_, &read, this);
            pa_stream_set_overflow_callback(stream_, &overflow, this);
            pa_buffer_attr attributes{};
            attributes.maxlength = std::uint32_t(-1);
            attributes.fragsize =
                std::uint32_t(pa_usec_to_bytes(10 * PA_USEC_PER_MSEC, &sampleSpec));
            const auto flags =
                pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                  PA_STREAM_ADJUST_LATENCY);
            pa_stream_connect_record(stream_, sourceName.c_str(), &attributes, flags);
            while (PA_STREAM_IS_GOOD(pa_stream_get_state(stream_)) &&
                   pa_stream_get_state(stream_) != PA_STREAM_READY) {
                pa_threaded_mainloop_wait(mainloop_);
            }
            ready_ = pa_stream_get_state(stream_) == PA_STREAM_READY;
        }
        pa_threaded_mainloop_unlock(mainloop_);
    }

    ~PulseAudioRecorder() {
        pa_threaded_mainloop_lock(mainloop_);
        if (stream_ != nullptr) {
            pa_stream_set_read_callback(stream_, nullptr, nullptr);
            pa_stream_set_overflow_callback(stream_, nullptr, nullptr);
            pa_stream_set_state_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
        }
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_unlock(mainloop_);
        pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
    }

    bool isRecording() const { return ready_; }

    // Whether the server threw recorded frames away because this side read too slowly: the
    // recording then misses sound and its times no longer hold.
    bool overflowed() const {
        std::lock_guard lock(mutex_);
        return overflowed_;
    }

    std::vector<float> samples() const {
        std::lock_guard lock(mutex_);
        return samples_;
    }

    // The host time (nanoseconds) at which the first recorded frame was played: the median of
    // what every read said.
    std::int64_t firstFrameHostNanoseconds() const {
        std::lock_guard lock(mutex_);
        std::vector<std::int64_t> estimates = estimates_;
        std::sort(estimates.begin(), estimates.end());
        return estimates.empty() ? 0 : estimates[estimates.size() / 2];
    }

    // Waits until the recording holds what was played up to `hostNanoseconds`, by what the
    // latest read said; false when `timeout` passed first.
    bool waitUntilRecorded(std::int64_t hostNanoseconds, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return recorded_.wait_for(
            lock, timeout, [&] { return recordedUntil_ && *recordedUntil_ >= hostNanoseconds; });
    }

private:
    static void signal(pa_context*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseAudioRecorder*>(self)->mainloop_, 0);
    }
    static void signalStream(pa_stream*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseAudioRecorder*>(self)->mainloop_, 0);
    }

    static void overflow(pa_stream*, void* self) {
        auto* recorder = static_cast<PulseAudioRecorder*>(self);
        std::lock_guard lock(recorder->mutex_);
        recorder->overflowed_ = true;
    }

    static void read(pa_stream* stream, std::size_t, void* userdata) {
        auto* self = static_cast<PulseAudioRecorder*>(userdata);
        const std::int64_t now = platform::CMClockConvertHostTimeToNanoseconds(
            platform::CMClockGetHostTimeClock()->time());
        pa_usec_t latency = 0;
        int negative = 0;
        const bool hasLatency = pa_stream_get_latency(stream, &latency, &negative) == 0;
        const void* data = nullptr;
        std::size_t size = 0;
        bool first = true;
        while (pa_stream_peek(stream, &data, &size) == 0 && size > 0) {
            std::lock_guard lock(self->mutex_);
            const auto framesBefore = std::int64_t(self->samples_.size()) / self->channelCount_;
            // The latency is that of the frame at the read position when the callback began.
            if (hasLatency && std::exchange(first, false)) {
                const auto captured = now + (negative ? 1 : -1) * std::int64_t(latency) * 1000;
                self->estimates_.push_back(captured -
                                           framesBefore * 1'000'000'000 / self->sampleRate_);
            }
            if (data != nullptr) {
                const auto* samples = static_cast<const float*>(data);
                self->samples_.insert(self->samples_.end(), samples,
                                      samples + size / sizeof(float));
            } else {
                // A hole in the recording: keep the frame count right.
                self->samples_.insert(self->samples_.end(), size / sizeof(float), 0.0f);
            }
            pa_stream_drop(stream);
        }
        std::lock_guard lock(self->mutex_);
        if (!self->estimates_.empty()) {
            const auto frames = std::int64_t(self->samples_.size()) / self->channelCount_;
            self->recordedUntil_ =
                self->estimates_.back() + frames * 1'000'000'000 / self->sampleRate_;
        }
        self->recorded_.notify_all();
    }

    const int sampleRate_;
    const int channelCount_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    bool ready_ = false;
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    std::vector<std::int64_t> estimates_;
    std::optional<std::int64_t> recordedUntil_;
    bool overflowed_ = false;
    mutable std::condition_variable recorded_;
};

}  // namespace quillon::test

namespace quillon::test {

// Loads and unloads modules of the session's sound server, to add and take away sinks.
class PulseAudioModules {
public:
    PulseAudioModules() {
        mainloop_ = pa_threaded_mainloop_new();
        context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), "modules");
        pa_context_set_state_callback(context_, &signal, this);
        pa_threaded_mainloop_lock(mainloop_);
        pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr);
        pa_threaded_mainloop_start(mainloop_);
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
               pa_context_get_state(context_) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_wait(mainloop_);
        }
        pa_threaded_mainloop_unlock(mainloop_);
    }

    ~PulseAudioModules() {
        for (const std::uint32_t module : loaded_) {
            unload(module);
        }
        pa_threaded_mainloop_lock(mainloop_);
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        pa_threaded_mainloop_unlock(mainloop_);
        pa_threaded_mainloop_stop(mainloop_);
        pa_threaded_mainloop_free(mainloop_);
    }

    // The module's index, or PA_INVALID_INDEX.
    std::uint32_t load(const std::string& name, const std::string& arguments) {
        pa_threaded_mainloop_lock(mainloop_);
        index_ = PA_INVALID_INDEX;
        done_ = false;
        pa_operation* operation =
            pa_context_load_module(context_, name.c_str(), arguments.c_str(), &loaded, this);
        while (operation != nullptr && !done_) {
            pa_threaded_mainloop_wait(mainloop_);
        }
        if (operation != nullptr) {
            pa_operation_unref(operation);
        }
        const std::uint32_t index = index_;
        pa_threaded_mainloop_unlock(mainloop_);
        if (index != PA_INVALID_INDEX) {
            loaded_.push_back(index);
        }
        return index;
    }

    // Makes the sink the server's default; false when the server refused.
    bool setDefaultSink(const std::string& name) {
        pa_threaded_mainloop_lock(mainloop_);
        done_ = false;
        succeeded_ = false;
        pa_operation* operation =
            pa_context_set_default_sink(context_, name.c_str(), &succeeded, this);
        while (operation != nullptr && !done_) {
            pa_threaded_mainloop_wait(mainloop_);
        }
        if (operation != nullptr) {
            pa_operation_unref(operation);
        }
        const bool result = succeeded_;
        pa_threaded_mainloop_unlock(mainloop_);
        return result;
    }

    void unload(std::uint32_t module) {
        pa_threaded_mainloop_lock(mainloop_);
        done_ = false;
        pa_operation* operation = pa_context_unload_module(context_, module, &finished, this);
        while (operation != nullptr && !done_) {
            pa_threaded_mainloop_wait(mainloop_);
        }
        if (operation != nullptr) {
            pa_operation_unref(operation);
        }
        pa_threaded_mainloop_unlock(mainloop_);
        std::erase(loaded_, module);
    }

private:
    static void signal(pa_context*, void* self) {
        pa_threaded_mainloop_signal(static_cast<PulseAudioModules*>(self)->mainloop_, 0);
    }
    static void loaded(pa_context*, std::uint32_t index, void* userdata) {
        auto* self = static_cast<PulseAudioModules*>(userdata);
        self->index_ = index;
        self->done_ = true;
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }
    static void succeeded(pa_context*, int success, void* userdata) {
        auto* self = static_cast<PulseAudioModules*>(userdata);
        self->succeeded_ = success != 0;
        self->done_ = true;
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }
    static void finished(pa_context*, int, void* userdata) {
        auto* self = static_cast<PulseAudioModules*>(userdata);
        self->done_ = true;
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    std::uint32_t index_ = PA_INVALID_INDEX;
    bool done_ = false;
    bool succeeded_ = false;
    std::vector<std::uint32_t> loaded_;
};

}  // namespace quillon::test
