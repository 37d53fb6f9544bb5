#include "media-player/session/AudioRoutingOwnershipManager.h"

#include <mutex>

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/ProcessInfo.h"

namespace quillon {

namespace {

bool isBeforeMacOS11() {
    return platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0);
}

}  // namespace

AudioRoutingOwnershipManager& AudioRoutingOwnershipManager::shared() {
    static platform::NeverDestroyed<AudioRoutingOwnershipManager> manager(
        platform::AVAudioRoutingArbiter::sharedRoutingArbiter());
    return manager.get();
}

AudioRoutingOwnershipManager::AudioRoutingOwnershipManager(
    platform::AVAudioRoutingArbiterRef arbiter)
    : arbiter_(std::move(arbiter)) {}

void AudioRoutingOwnershipManager::requestOwnership(std::shared_ptr<platform::DispatchQueue> queue,
                                                    std::function<void()> completion) {
    if (isBeforeMacOS11()) {
        queue->async(std::move(completion));
        return;
    }
    std::unique_lock lock(*ownerCount_.lock());
    const std::intptr_t count = ownerCount_.modify([](std::intptr_t& value) { return ++value; });
    if (count == 1) {
        platform::logDebug("Requesting audio routing ownership.");
        arbiter_->beginArbitrationWithCategory(
            platform::AVAudioRoutingArbitrationCategory::playback,
            [queue, completion = std::move(completion)](
                bool defaultDeviceChanged, std::shared_ptr<const platform::Error> error) mutable {
                platform::logDebug(
                    "Audio routing arbitration did change default device [{}] with "
                    "error: {}.",
                    defaultDeviceChanged ? "true" : "false",
                    error ? error->debugDescription() : std::string("nil"));
                queue->async(std::move(completion));
            });
        return;
    }
    lock.unlock();
    // Another player began the arbitration; it may still be running, and nobody waits for it.
    queue->async(std::move(completion));
}

void AudioRoutingOwnershipManager::releaseOwnership() {
    if (isBeforeMacOS11()) {
        return;
    }
    std::lock_guard lock(*ownerCount_.lock());
    const std::intptr_t count = ownerCount_.modify([](std::intptr_t& value) { return --value; });
    if (count == 0) {
        platform::logDebug("Releasing audio routing ownership.");
        arbiter_->leaveArbitration();
    }
}

}  // namespace quillon
