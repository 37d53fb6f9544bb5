#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/clock/CMClock.h"
#include "platform/coremedia/CMTime.h"

namespace platform {

// What a sink plays: interleaved 32-bit float frames at a rate, with the channels of an FFmpeg
// channel mask in FFmpeg's native order.
struct AudioSinkFormat {
    int sampleRate = 48000;
    int channelCount = 2;
    std::uint64_t channelMask = 0x3;  // front left, front right

    std::size_t bytesPerFrame() const { return sizeof(float) * std::size_t(channelCount); }

    friend bool operator==(const AudioSinkFormat&, const AudioSinkFormat&) = default;
};

// Where the audio renderer's sound goes: a sound server's playback stream, or nothing at all.
// A sink pulls: it asks its render callback for the next frames whenever it has room, and says
// when the first of them will be heard, on the host clock.
class AudioSink {
public:
    // Fill frameCount frames at `samples` (frameCount × channelCount floats); the first one is
    // heard at host time `hostTime`.
    using RenderCallback =
        std::function<void(float* samples, std::size_t frameCount, CMTime hostTime)>;

    enum class Event {
        // The output went to another device: what was queued for the old one is lost.
        deviceChanged,
        // The output is gone for good (the server went away or dropped the stream); the sink
        // renders nothing more.
        deviceLost,
    };
    using EventCallback = std::function<void(Event)>;

    virtual ~AudioSink() = default;

    // For logs: "PulseAudio", "null".
    virtual std::string name() const = 0;
    virtual const AudioSinkFormat& format() const = 0;
    // The host clock the sink's times are on.
    virtual const CMClockRef& clock() const = 0;

    // Starts pulling. The callbacks run on the sink's own thread (on the mover's thread for a
    // manual clock), one at a time, until stop(); a device that cannot be opened is reported as
    // lost from inside start(). Callbacks must not call back into the sink. A sink is started
    // once.
    virtual void start(RenderCallback render, EventCallback events) = 0;
    // Once it returns, no callback runs or starts. Never call it from a callback, nor while
    // holding a lock that a callback takes.
    virtual void stop() = 0;

    // The device the sink plays on: empty for the system's default output. Changing it moves the
    // output and reports deviceChanged.
    virtual std::optional<std::string> deviceUniqueID() const = 0;
    virtual void setDeviceUniqueID(std::optional<std::string> deviceUniqueID) = 0;

    // Makes a sink of the same kind afresh, for when this one was lost: null while its server
    // does not answer. Empty for sinks that cannot come back. The maker may be called on any
    // thread, outlives the sink, and may wait for the server for a few seconds.
    using Reconnector = std::function<std::unique_ptr<AudioSink>()>;
    virtual Reconnector reconnector() const { return {}; }
};

// Chooses the sound server the player plays through: "pipewire" or "pulseaudio"; unset (or
// "auto"), the session's own.
inline constexpr const char* kSoundServerEnvironmentVariable = "QUILLON_SOUND_SERVER";

// The user's sound server: PipeWire through its own interface where the session's sound server
// is PipeWire, else PulseAudio (or PipeWire's PulseAudio server), else a null sink on the host
// clock. What plays is a debug line; a fallback that loses something (PipeWire's own interface
// refused, a chosen server that does not answer, no sound at all) is a warning, once per process.
std::unique_ptr<AudioSink> makeDefaultAudioSink();

}  // namespace platform
