#include "platform/audio-output/AudioSink.h"

#include <atomic>

#include "platform/audio-output/NullAudioSink.h"
#include "platform/audio-output/PulseAudioSink.h"
#include "platform/foundation/Log.h"

namespace platform {

std::unique_ptr<AudioSink> makeDefaultAudioSink() {
    std::string failure;
    if (auto sink = PulseAudioSink::connect(CMClockGetHostTimeClock(), &failure)) {
        return sink;
    }
    static std::atomic<bool> logged{false};
    if (!logged.exchange(true)) {
        logWarning("No sound server answers ({}), so audio plays to a null sink.", failure);
    }
    return std::make_unique<NullAudioSink>(CMClockGetHostTimeClock());
}

}  // namespace platform
