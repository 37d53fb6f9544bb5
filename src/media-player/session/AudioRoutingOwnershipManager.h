#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "media-player/media-types/Atomic.h"
#include "platform/avfoundation/AVAudioRoutingArbiter.h"
#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// Holds the platform's audio-routing arbitration for playback while at least one player
// exists: the first request begins it, the last release leaves it. Each player requests once
// when it is made and releases once when it goes away.
//
// Thread-safe: the owner count sits in an Atomic box, and the arbitration begins and ends while
// its lock is held.
class AudioRoutingOwnershipManager {
public:
    // The one manager of the process, made on first use and never released.
    static AudioRoutingOwnershipManager& shared();

    // A manager of its own over an arbiter (tests).
    explicit AudioRoutingOwnershipManager(platform::AVAudioRoutingArbiterRef arbiter);

    // Takes one unit of ownership and calls the completion asynchronously on the queue: once
    // the arbitration answered when this request began it, at once otherwise.
    void requestOwnership(std::shared_ptr<platform::DispatchQueue> queue,
                          std::function<void()> completion);
    void releaseOwnership();

    std::intptr_t ownerCount() const { return ownerCount_.wrappedValue(); }

private:
    const platform::AVAudioRoutingArbiterRef arbiter_;
    Atomic<std::intptr_t> ownerCount_{0};
};

}  // namespace quillon
