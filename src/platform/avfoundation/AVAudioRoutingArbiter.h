#pragma once

#include <functional>
#include <memory>

#include "platform/foundation/Error.h"

namespace platform {

enum class AVAudioRoutingArbitrationCategory : long {
    playback = 0,
    playAndRecord = 1,
    playAndRecordVoice = 2,
};

// Arbitration of the audio route between the devices of one user (the platform's
// AVAudioRoutingArbiter). The sound server here routes every application alike, so the arbiter
// grants at once: the handler runs soon, on a global queue, saying that the default device did
// not change and that nothing failed. Tests put a recording arbiter in place.
class AVAudioRoutingArbiter {
public:
    using CompletionHandler =
        std::function<void(bool defaultDeviceChanged, std::shared_ptr<const Error> error)>;

    virtual ~AVAudioRoutingArbiter() = default;

    static std::shared_ptr<AVAudioRoutingArbiter> sharedRoutingArbiter();

    virtual void beginArbitrationWithCategory(AVAudioRoutingArbitrationCategory category,
                                              CompletionHandler handler);
    virtual void leaveArbitration();
};

using AVAudioRoutingArbiterRef = std::shared_ptr<AVAudioRoutingArbiter>;

}  // namespace platform
