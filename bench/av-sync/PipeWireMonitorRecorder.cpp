#include "PipeWireMonitorRecorder.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/raw-utils.h>
#include <spa/pod/builder.h>

namespace quillon::bench {

struct PipeWireMonitorRecorder::Listener {
    spa_hook hook{};
};

PipeWireMonitorRecorder::PipeWireMonitorRecorder(const std::string& sinkName, int sampleRate,
                                                 int channelCount)
    : MonitorRecorder(sampleRate, channelCount), listener_(new Listener) {
    pw_init(nullptr, nullptr);
    loop_ = pw_thread_loop_new("av-sync recorder", nullptr);
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_), nullptr, 0);
    pw_thread_loop_start(loop_);
    pw_thread_loop_lock(loop_);
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ != nullptr) {
        pw_properties* properties = pw_properties_new(
            PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Capture",
            PW_KEY_STREAM_CAPTURE_SINK, "true", PW_KEY_TARGET_OBJECT, sinkName.c_str(),
            PW_KEY_NODE_NAME, "av-sync-recorder", nullptr);
        // The graph's default period: a recorder that asked for shorter ones would shorten
        // the player's too.
        pw_properties_setf(properties, PW_KEY_NODE_LATENCY, "1024/%d", sampleRate);
        stream_ = pw_stream_new(core_, "Monitor", properties);
        static const pw_stream_events events = [] {
            pw_stream_events value{};
            value.version = PW_VERSION_STREAM_EVENTS;
            value.state_changed = &PipeWireMonitorRecorder::stateChanged;
            value.process = &PipeWireMonitorRecorder::process;
            return value;
        }();
        pw_stream_add_listener(stream_, &listener_->hook, &events, this);
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
        const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                           PW_STREAM_FLAG_RT_PROCESS);
        if (pw_stream_connect(stream_, PW_DIRECTION_INPUT, PW_ID_ANY, flags, parameters, 1) == 0) {
            for (;;) {
                const pw_stream_state state = pw_stream_get_state(stream_, nullptr);
                if (state == PW_STREAM_STATE_STREAMING) {
                    recording_ = true;
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

PipeWireMonitorRecorder::~PipeWireMonitorRecorder() {
    pw_thread_loop_lock(loop_);
    if (stream_ != nullptr) {
        spa_hook_remove(&listener_->hook);
        pw_stream_destroy(stream_);
    }
    if (core_ != nullptr) {
        pw_core_disconnect(core_);
    }
    pw_thread_loop_unlock(loop_);
    pw_thread_loop_stop(loop_);
    pw_context_destroy(context_);
    pw_thread_loop_destroy(loop_);
    delete listener_;
}

void PipeWireMonitorRecorder::stateChanged(void* data, pw_stream_state, pw_stream_state,
                                           const char*) {
    pw_thread_loop_signal(static_cast<PipeWireMonitorRecorder*>(data)->loop_, false);
}

// On PipeWire's real-time thread, once per cycle: the buffer holds what the sink played from
// the cycle's start on, the delay the graph reports from the device before it.
void PipeWireMonitorRecorder::process(void* data) {
    auto* self = static_cast<PipeWireMonitorRecorder*>(data);
    pw_buffer* buffer = pw_stream_dequeue_buffer(self->stream_);
    if (buffer == nullptr) {
        return;
    }
    pw_time time{};
    const bool timed = pw_stream_get_time_n(self->stream_, &time, sizeof time) == 0 &&
                       time.rate.denom > 0 && time.now > 0;
    Estimate estimate;
    if (timed) {
        estimate.hostNanoseconds =
            time.now - time.delay * 1'000'000'000 * time.rate.num / time.rate.denom;
    }
    const spa_data& plane = buffer->buffer->datas[0];
    if (plane.data != nullptr && plane.chunk != nullptr) {
        const auto* samples = reinterpret_cast<const float*>(
            static_cast<const std::uint8_t*>(plane.data) + plane.chunk->offset);
        self->append(samples,
                     plane.chunk->size / (sizeof(float) * std::size_t(self->channelCount_)),
                     timed ? &estimate : nullptr);
    }
    pw_stream_queue_buffer(self->stream_, buffer);
}

}  // namespace quillon::bench
