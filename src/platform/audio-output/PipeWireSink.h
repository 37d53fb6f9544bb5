#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio-output/AudioSink.h"
#include "platform/audio-output/AudioTimingEstimator.h"

struct pw_stream;
struct pw_buffer;

namespace platform {

class PipeWireConnection;

// Plays to the session's PipeWire server through its own stream interface: one playback stream
// in float samples at the graph's rate, with the channels of the sink it plays to.
//
// The stream renders on PipeWire's real-time thread, which calls it once per cycle of the
// graph; each render is told when its first frame will be heard, from the stream's own account
// of the cycle (the graph's time, the delay to the device and what is queued) through an
// AudioTimingEstimator. The render never waits: everything it touches is its own, or handed
// over through atomics.
//
// The sink a device identifier names is the PipeWire node of that name (the name PipeWire's
// PulseAudio server gives its sinks too); without one the session manager's default, which the
// stream then follows. Which node the stream is linked to is read from the server's registry,
// so that a move (to a chosen device, or back to the default when the device went) is reported.
class PipeWireSink final : public AudioSink {
public:
    // Connects to the server of this session; null when none answers or it has no audio sink
    // to play to, with the reason in `failure`, and in `playsSound` whether the server answered
    // as the session's sound server all the same. Never starts a server.
    static std::unique_ptr<PipeWireSink> connect(CMClockRef hostClock,
                                                 std::string* failure = nullptr,
                                                 bool* playsSound = nullptr);
    ~PipeWireSink() override;

    std::string name() const override { return "PipeWire"; }
    const AudioSinkFormat& format() const override { return format_; }
    const CMClockRef& clock() const override { return clock_; }
    void start(RenderCallback render, EventCallback events) override;
    void stop() override;
    std::optional<std::string> deviceUniqueID() const override;
    void setDeviceUniqueID(std::optional<std::string> deviceUniqueID) override;
    Reconnector reconnector() const override;

    // The name of the node the stream plays to now (tests record from its monitor).
    std::optional<std::string> currentSinkName() const;
    // The name of the sink the server plays to by default, as it was when connecting.
    const std::optional<std::string>& defaultSinkName() const { return defaultSinkName_; }

private:
    struct Callbacks;
    struct Passkey {};

public:
    PipeWireSink(Passkey, CMClockRef hostClock);

private:
    bool open(std::string* failure, bool* playsSound);
    // With the loop locked.
    bool connectStream(const std::optional<std::string>& device);
    void releaseStream();
    void watchLinks();
    void report(Event event);
    // On the real-time thread.
    void process();

    const CMClockRef clock_;
    std::unique_ptr<PipeWireConnection> connection_;
    AudioSinkFormat format_;
    std::optional<std::string> defaultSinkName_;

    // Under the loop's lock.
    pw_stream* stream_ = nullptr;
    struct StreamListener;
    std::unique_ptr<StreamListener> streamListener_;
    RenderCallback render_;
    EventCallback events_;
    bool started_ = false;
    bool lost_ = false;
    // The node the stream was last seen linked to.
    std::optional<std::uint32_t> linkedNode_;
    std::optional<std::string> linkedNodeName_;
    // A move seen while a new stream was being connected, told once it is.
    bool movedWhileConnecting_ = false;

    // Between the loop's thread and the real-time one. A render runs only while `inProcess_`
    // counts it and `rendering_` holds; stop() clears the one and waits out the other.
    std::atomic<bool> rendering_{false};
    std::atomic<int> inProcess_{0};
    // Raised for each new stream: the real-time thread starts its count and its estimate over.
    std::atomic<std::uint32_t> streamGeneration_{0};
    // Raised when the stream is linked to another sink.
    std::atomic<std::uint32_t> relinks_{0};

    // The real-time thread's own.
    std::uint32_t seenGeneration_ = 0;
    std::uint32_t seenRelinks_ = 0;
    std::int64_t framesWritten_ = 0;
    // The graph's cycles that went by without the stream (its thread was held up), in the
    // stream's frames: every frame written since is heard that much later. Counted into the
    // stream's position, so that the estimate goes on without a step to relearn.
    std::int64_t framesMissed_ = 0;
    // The graph's position at the last cycle, and the frames that cycle took.
    std::optional<std::uint64_t> lastTicks_;
    std::size_t lastFrames_ = 0;
    std::optional<AudioTimingEstimator> estimator_;
    // Where a render goes when the server's buffer is not aligned for floats; sized at start.
    std::vector<float> scratch_;

    mutable std::mutex deviceMutex_;
    std::optional<std::string> deviceUniqueID_;
};

}  // namespace platform
