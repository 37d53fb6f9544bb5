#pragma once

#include <pipewire/stream.h>

#include <string>

#include "MonitorRecorder.h"

struct pw_thread_loop;
struct pw_context;
struct pw_core;

namespace quillon::bench {

// Records a PipeWire sink's monitor through PipeWire's own stream. Each cycle of the graph hands
// over what the sink played from the cycle's start on, and says when that start was: the
// recording is placed on the host clock to the graph's own precision, not to a period.
class PipeWireMonitorRecorder final : public MonitorRecorder {
public:
    PipeWireMonitorRecorder(const std::string& sinkName, int sampleRate, int channelCount);
    ~PipeWireMonitorRecorder() override;

    bool isRecording() const override { return recording_; }

private:
    struct Listener;
    static void stateChanged(void* data, enum pw_stream_state, enum pw_stream_state,
                             const char* error);
    static void process(void* data);

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_stream* stream_ = nullptr;
    Listener* listener_ = nullptr;
    bool recording_ = false;
};

}  // namespace quillon::bench
