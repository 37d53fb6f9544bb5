#include "media-player/session/IdleSleepManager.h"

#include "platform/foundation/Log.h"

namespace quillon {

namespace {

void logReleaseFailure(platform::IOReturn status) {
    platform::logWarning(
        "Failed to release the power management assertion that is preventing idle sleep: {}.",
        status);
}

}  // namespace

IdleSleepManager::IdleSleepManager() : state_(std::make_shared<State>()) {}

IdleSleepManager::~IdleSleepManager() {
    allowIdleSleep();
}

void IdleSleepManager::preventIdleSleep(const std::string& reason) {
    {
        std::lock_guard lock(state_->mutex);
        state_->isPreventionWanted = true;
        if (state_->powerManagementAssertionID || state_->isCreating) {
            return;
        }
        state_->isCreating = true;
    }
    // Without the lock: the answer may come before the call returns.
    platform::IOPMAssertionCreateWithNameAsynchronously(
        platform::kIOPMAssertionTypePreventUserIdleDisplaySleep, platform::kIOPMAssertionLevelOn,
        reason,
        [weakState = std::weak_ptr<State>(state_)](platform::IOReturn status,
                                                   platform::IOPMAssertionID assertionID) {
            creationDidFinish(weakState, status, assertionID);
        });
}

void IdleSleepManager::creationDidFinish(const std::weak_ptr<State>& weakState,
                                         platform::IOReturn status,
                                         platform::IOPMAssertionID assertionID) {
    const auto state = weakState.lock();
    if (!state) {
        // The manager went while the desktop was answering: nobody wants the assertion.
        if (status == platform::kIOReturnSuccess) {
            if (const auto released = platform::IOPMAssertionRelease(assertionID);
                released != platform::kIOReturnSuccess) {
                logReleaseFailure(released);
            }
        }
        return;
    }
    std::lock_guard lock(state->mutex);
    state->isCreating = false;
    if (status != platform::kIOReturnSuccess) {
        // Not found: nothing on the desktop keeps the display awake, which the desktop's
        // stand-in has said in a line of its own; the code adds nothing for the user.
        platform::log(status == platform::kIOReturnNotFound ? platform::LogLevel::debug
                                                            : platform::LogLevel::warning,
                      "Failed to create power management assertion to prevent idle sleep: {}.",
                      status);
        return;
    }
    state->powerManagementAssertionID = assertionID;
    if (!state->isPreventionWanted) {
        state->releaseHeldAssertion();
    }
}

void IdleSleepManager::allowIdleSleep() {
    std::lock_guard lock(state_->mutex);
    state_->isPreventionWanted = false;
    // An assertion still being created is released when it arrives.
    state_->releaseHeldAssertion();
}

void IdleSleepManager::State::releaseHeldAssertion() {
    if (!powerManagementAssertionID) {
        return;
    }
    const platform::IOReturn status = platform::IOPMAssertionRelease(*powerManagementAssertionID);
    if (status != platform::kIOReturnSuccess) {
        // Kept, so that the next call tries again.
        logReleaseFailure(status);
        return;
    }
    powerManagementAssertionID.reset();
}

std::optional<platform::IOPMAssertionID> IdleSleepManager::powerManagementAssertionID() const {
    std::lock_guard lock(state_->mutex);
    return state_->powerManagementAssertionID;
}

}  // namespace quillon
