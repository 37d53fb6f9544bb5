#pragma once

#include <pipewire/pipewire.h>
#include <spa/param/audio/raw-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::test {

// Records what a PipeWire sink plays (its monitor) in float samples through PipeWire's own
// stream, and places the recording on the host clock from the graph's own account of each
// cycle: the buffer a cycle hands over holds what the sink played from the cycle's start on.
class PipeWireRecorder {
public:
    PipeWireRecorder(const std::string& sinkName, int sampleRate, int channelCount)
        : sampleRate_(sampleRate), channelCount_(channelCount) {
        pw_init(nullptr, nullptr);
        loop_ = pw_thread_loop_new("Recorder", nullptr);
        context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
        pw_thread_loop_start(loop_);
        pw_thread_loop_lock(loop_);
        core_ = pw_context_connect(context_, nullptr, 0);
        if (core_ != nullptr) {
            pw_properties* properties = pw_properties_new(
                PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
                PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT, sinkName.c_str(),
                PW_KEY_NODE_NAME, "quillon-test-recorder", nullptr);
            pw_properties_setf(properties, PW_KEY_NODE_LATENCY, "1024/%d", sampleRate);
            stream_ = pw_stream_new(core_, "Recording", properties);
            static const pw_stream_events events = [] {
                pw_stream_events value{};
                value.version = PW_VERSION_STREAM_EVENTS;
                value.state_changed = &stateChanged;
                value.process = &process;
                return value;
            }();
            pw_stream_add_listener(stream_, &listener_, &events, this);
            spa_audio_info_raw info{};
            info.format = SPA_AUDIO_FORMAT_F32;
            info.rate = std::uint32_t(sampleRate);
            info.channels = std::uint32_t(channelCount);
            if (channelCount == 2) {
                info.position[0] = SPA_AUDIO_CHANNEL_FL;
                info.position[1] = SPA_AUDIO_CHANNEL_FR;
            } else {
                info.flags = SPA_AUDIO_FLAG_UNPOSITIONED;
            }
            std::uint8_t buffer[1024];
            spa_pod_builder builder{};
            spa_pod_builder_init(&builder, buffer, sizeof buffer);
            const spa_pod* parameters[] = {
                spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};
            const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT |
                                               PW_STREAM_FLAG_MAP_BUFFERS |
                                               PW_STREAM_FLAG_RT_PROCESS);
            if (pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY, flags, parameters, 1) ==
                0) {
                for (;;) {
                    const pw_stream_state state = pw_stream_get_state(stream_, nullptr);
                    if (state == PW_STREAM_STATE_STREAMING) {
                        ready_ = true;
                        break;
                    }
                    if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED ||
                        pw_thread_loop_timed_wait(loop_, 5) != 0) {
                        break;
                    }
                }
            }
        }
        pw_thread_loop_unlock(loop_);
    }

    ~PipeWireRecorder() {
        pw_thread_loop_lock(loop_);
        if (stream_ != nullptr) {
            spa_hook_remove(&listener_);
            pw_stream_destroy(stream_);
        }
        if (core_ != nullptr) {
            pw_core_disconnect(core_);
        }
        pw_thread_loop_unlock(loop_);
        pw_thread_loop_stop(loop_);
        pw_context_destroy(context_);
        pw_thread_loop_destroy(loop_);
    }

    bool isRecording() const { return ready_; }
    // Whether the graph skipped cycles of the recording, so that the times no longer hold: more
    // than a few cycles' accounts of the first frame's time disagree with the rest. (The first
    // cycle's always does: it hands over what was played before the stream was linked.)
    bool overflowed() const {
        std::lock_guard lock(mutex_);
        const std::int64_t median = medianEstimate();
        const auto disagreeing = std::count_if(estimates_.begin(), estimates_.end(),
                                               [&](std::int64_t estimate) {
                                                   return std::abs(estimate - median) > 2'000'000;
                                               });
        return disagreeing > 2;
    }

    std::vector<float> samples() const {
        std::lock_guard lock(mutex_);
        return samples_;
    }

    // The host time (nanoseconds) at which the first recorded frame was played: what most
    // cycles say.
    std::int64_t firstFrameHostNanoseconds() const {
        std::lock_guard lock(mutex_);
        return medianEstimate();
    }

    // Waits until the recording holds what was played up to `hostNanoseconds`.
    bool waitUntilRecorded(std::int64_t hostNanoseconds, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        return recorded_.wait_for(lock, timeout, [&] {
            return !estimates_.empty() &&
                   medianEstimate() + std::int64_t(samples_.size()) / channelCount_ *
                                          1'000'000'000 / sampleRate_ >=
                       hostNanoseconds;
        });
    }

private:
    // Under the mutex.
    std::int64_t medianEstimate() const {
        if (estimates_.empty()) {
            return 0;
        }
        std::vector<std::int64_t> sorted = estimates_;
        std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2),
                         sorted.end());
        return sorted[sorted.size() / 2];
    }

    static void stateChanged(void* data, pw_stream_state, pw_stream_state, const char*) {
        pw_thread_loop_signal(static_cast<PipeWireRecorder*>(data)->loop_, false);
    }

    static void process(void* data) {
        auto* self = static_cast<PipeWireRecorder*>(data);
        pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_);
        if (buffer == nullptr) {
            return;
        }
        pw_time time{};
        pw_stream_get_time_n(self->stream_, &time, sizeof time);
        const spa_data& plane = buffer->buffer->datas[0];
        {
            std::lock_guard lock(self->mutex_);
            const auto frames = std::int64_t(self->samples_.size()) / self->channelCount_;
            if (time.rate.denom > 0 && time.now > 0) {
                // This cycle's buffer began playing at the cycle's start, less the delay the
                // graph reports from the device.
                const std::int64_t started =
                    time.now - time.delay * 1'000'000'000 * time.rate.num / time.rate.denom;
                self->estimates_.push_back(started - frames * 1'000'000'000 / self->sampleRate_);
            }
            if (plane.data != nullptr && plane.chunk != nullptr) {
                const auto* samples = reinterpret_cast<const float*>(
                    static_cast<const std::uint8_t*>(plane.data) + plane.chunk->offset);
                self->samples_.insert(self->samples_.end(), samples,
                                      samples + plane.chunk->size / sizeof(float));
            }
        }
        self->recorded_.notify_all();
        pw_stream_queue_buffer(self->stream_, buffer);
    }

    const int sampleRate_;
    const int channelCount_;
    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    spa_hook listener_{};
    bool ready_ = false;
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    std::vector<std::int64_t> estimates_;
    mutable std::condition_variable recorded_;
};

}  // namespace quillon::test
