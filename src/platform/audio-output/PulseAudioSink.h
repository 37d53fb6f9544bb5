#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio-output/AudioSink.h"
#include "platform/audio-output/AudioTimingEstimator.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;
struct pa_time_event;

namespace platform {

// Plays to the user's PulseAudio server through libpulse's asynchronous interface: a threaded
// main loop, and one playback stream in float samples at the rate and channels of the server's
// default sink. The main loop's thread renders whenever the server wants more, and each render
// is told when its first frame will be heard, by the server's timing reports through an
// AudioTimingEstimator (libpulse's interpolated latency until a few reports came). A render
// allocates nothing: a buffer it cannot write to directly goes through one made at start.
class PulseAudioSink final : public AudioSink {
public:
    // Connects to the server of this session; null when no server answers, with the reason in
    // `failure`. Never starts a server.
    static std::unique_ptr<PulseAudioSink> connect(CMClockRef hostClock,
                                                   std::string* failure = nullptr);
    ~PulseAudioSink() override;

    std::string name() const override { return "PulseAudio"; }
    const AudioSinkFormat& format() const override { return format_; }
    const CMClockRef& clock() const override { return clock_; }
    void start(RenderCallback render, EventCallback events) override;
    void stop() override;
    std::optional<std::string> deviceUniqueID() const override;
    void setDeviceUniqueID(std::optional<std::string> deviceUniqueID) override;
    // Connects to the session's server again (the one the environment names now).
    Reconnector reconnector() const override;

    // The server's name of the sink the stream plays on now (tests record from its monitor).
    std::optional<std::string> currentSinkName() const;
    // The server's name of the sink it plays to by default, as it was when connecting.
    const std::optional<std::string>& defaultSinkName() const { return defaultSinkName_; }

private:
    struct Callbacks;
    struct Passkey {};

public:
    PulseAudioSink(Passkey, CMClockRef hostClock);

private:
    bool open(std::string* failure);
    void write(std::size_t byteCount);
    void releaseStream();
    void noteTiming();
    CMTime hostTimeOfNextFrame();
    void report(Event event);

    const CMClockRef clock_;
    AudioSinkFormat format_;
    std::optional<std::string> defaultSinkName_;
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;

    // Set by start(); read by the main loop's thread under the main loop's lock.
    RenderCallback render_;
    EventCallback events_;
    bool stopping_ = false;
    bool lost_ = false;
    bool timingKnown_ = false;
    // When each frame is heard, by the server's timing reports; made once the server is known.
    std::optional<AudioTimingEstimator> estimator_;
    // Whether a timing report asked for by the timer has not come yet.
    bool timingRequestPending_ = false;
    struct pa_time_event* timingTimer_ = nullptr;
    // Where a render goes when the server's buffer is not aligned for floats; sized at start.
    std::vector<float> scratch_;

    mutable std::mutex deviceMutex_;
    std::optional<std::string> deviceUniqueID_;
};

}  // namespace platform
