#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "PulseAudioConnection.h"

struct pa_stream;

namespace quillon::bench {

// Records what a sink of the sound server played (its monitor) and places every recorded frame
// on the host clock, by accounts of when some of the frames were played.
class MonitorRecorder {
public:
    struct Estimate {
        std::int64_t frame = 0;
        std::int64_t hostNanoseconds = 0;
    };

    // Where the recorded frames lie on the host clock.
    class Timing {
    public:
        Timing() = default;
        Timing(std::vector<Estimate> estimates, int sampleRate);

        // By the estimates of the second around the frame: the server's latency is exact only
        // while the sink's own latency holds, and the sink changes it when a stream with other
        // latency wishes connects (the recording shifts by hundreds of milliseconds then).
        double hostNanosecondsOfFrame(double frame) const;

        std::size_t estimateCount() const { return estimates_.size(); }
        // How far the estimates lie from their neighbours' median, in milliseconds: median and
        // 99th percentile.
        double medianResidualMilliseconds() const { return medianResidual_; }
        double p99ResidualMilliseconds() const { return p99Residual_; }

    private:
        double localMedian(double frame) const;

        std::vector<Estimate> estimates_;
        double nanosecondsPerFrame_ = 0;
        std::int64_t windowFrames_ = 0;
        double medianResidual_ = 0;
        double p99Residual_ = 0;
    };

    MonitorRecorder(int sampleRate, int channelCount);
    virtual ~MonitorRecorder() = default;
    MonitorRecorder(const MonitorRecorder&) = delete;
    MonitorRecorder& operator=(const MonitorRecorder&) = delete;

    virtual bool isRecording() const = 0;
    int sampleRate() const { return sampleRate_; }

    // Waits until the estimates of the last half second agree within a millisecond; false when
    // they did not by the timeout.
    bool waitUntilTimingSettles(std::chrono::milliseconds timeout) const;

    // The first channel of what was recorded so far.
    std::vector<float> samples() const;
    Timing timing() const;

protected:
    // What a recorder hands over as it records: frames of all channels (none: a hole, as many
    // silent frames), with an account of when the first of them was played when it has one.
    void append(const float* frames, std::size_t frameCount, const Estimate* firstFrame);
    std::int64_t recordedFrames() const;

    const int sampleRate_;
    const int channelCount_;

private:
    mutable std::mutex mutex_;
    std::vector<float> samples_;
    std::vector<Estimate> estimates_;
};

// Records a PulseAudio source (a sink's monitor). At each read the stream's latency says how long
// before the read, on the sound server's time line, the frame at the read position was played;
// that is the same account of the sink's latency that a playback stream is given, so the two
// meet on the server's time.
class PulseAudioMonitorRecorder final : public MonitorRecorder {
public:
    PulseAudioMonitorRecorder(const std::string& sinkName, int sampleRate, int channelCount);
    ~PulseAudioMonitorRecorder() override;

    bool isRecording() const override { return recording_; }

private:
    static void read(pa_stream* stream, std::size_t, void* userdata);

    PulseAudioConnection connection_;
    pa_stream* stream_ = nullptr;
    bool recording_ = false;
};

}  // namespace quillon::bench
