#include "platform/audio-output/AudioSink.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

#include <fmt/format.h>

#include "platform/audio-output/NullAudioSink.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/audio-output/PulseAudioSink.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

enum class SoundServer { automatic, pipeWire, pulseAudio };

SoundServer chosenSoundServer() {
    const char* chosen = std::getenv(kSoundServerEnvironmentVariable);
    if (chosen == nullptr || *chosen == '\0' || std::strcmp(chosen, "auto") == 0) {
        return SoundServer::automatic;
    }
    if (std::strcmp(chosen, "pipewire") == 0) {
        return SoundServer::pipeWire;
    }
    if (std::strcmp(chosen, "pulseaudio") == 0) {
        return SoundServer::pulseAudio;
    }
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
        logWarning("{} names no sound server the player knows (“{}”; it knows “pipewire” and "
                   "“pulseaudio”), so it plays through the session's own.",
                   kSoundServerEnvironmentVariable, chosen);
    }
    return SoundServer::automatic;
}

// Once per process: a machine without sound says so once, not for every film.
void logOnce(std::atomic<bool>& logged, const std::string& line) {
    if (!logged.exchange(true)) {
        logWarning("{}", line);
    }
}

}  // namespace

std::unique_ptr<AudioSink> makeDefaultAudioSink() {
    const CMClockRef& clock = CMClockGetHostTimeClock();
    const SoundServer chosen = chosenSoundServer();
    std::string pipeWireFailure;
    bool pipeWirePlaysSound = false;
    if (chosen != SoundServer::pulseAudio) {
        if (auto sink = PipeWireSink::connect(clock, &pipeWireFailure, &pipeWirePlaysSound)) {
            logDebug("Audio plays through PipeWire.");
            return sink;
        }
        if (chosen == SoundServer::pipeWire) {
            static std::atomic<bool> logged{false};
            logOnce(logged, fmt::format("PipeWire does not answer ({}), so audio plays to a null "
                                        "sink.",
                                        pipeWireFailure));
            return std::make_unique<NullAudioSink>(clock);
        }
    }
    std::string pulseFailure;
    if (auto sink = PulseAudioSink::connect(clock, &pulseFailure)) {
        if (pipeWirePlaysSound) {
            // The session's sound server is PipeWire, and its own interface failed: its
            // PulseAudio server places the sound less exactly.
            static std::atomic<bool> logged{false};
            logOnce(logged, fmt::format("PipeWire does not take the sound ({}), so it plays "
                                        "through its PulseAudio server.",
                                        pipeWireFailure));
        } else {
            logDebug("Audio plays through PulseAudio{}.",
                     chosen == SoundServer::automatic
                         ? fmt::format(" (PipeWire: {})", pipeWireFailure)
                         : std::string());
        }
        return sink;
    }
    if (chosen == SoundServer::pulseAudio) {
        static std::atomic<bool> logged{false};
        logOnce(logged, fmt::format("PulseAudio does not answer ({}), so audio plays to a null "
                                    "sink.",
                                    pulseFailure));
    } else {
        static std::atomic<bool> logged{false};
        logOnce(logged, fmt::format("No sound server answers ({}), so audio plays to a null sink.",
                                    pipeWirePlaysSound
                                        ? fmt::format("PipeWire: {}; PulseAudio: {}",
                                                      pipeWireFailure, pulseFailure)
                                        : pulseFailure));
    }
    return std::make_unique<NullAudioSink>(clock);
}

}  // namespace platform
