#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/avfoundation/IOPMAssertion.h"

namespace quillon {

// Keeps the display awake while a player plays, with one power assertion at most: preventing
// twice holds one assertion, allowing without one does nothing, so the platform always sees
// create and release in pairs. Going away releases what is held.
//
// The desktop is asked without waiting: preventing returns at once and the assertion is held
// once the desktop has answered. One that fails is logged and not held (the next prevention
// tries again); one that arrives after idle sleep was allowed again is released at once.
//
// Used from one queue at a time (the player's); the desktop's answers arrive on another
// thread, so the state sits behind a lock.
class IdleSleepManager {
public:
    IdleSleepManager();
    ~IdleSleepManager();
    IdleSleepManager(const IdleSleepManager&) = delete;
    IdleSleepManager& operator=(const IdleSleepManager&) = delete;

    void preventIdleSleep(const std::string& reason);
    void allowIdleSleep();

    // The assertion held now, once the desktop has answered.
    std::optional<platform::IOPMAssertionID> powerManagementAssertionID() const;

private:
    struct State {
        mutable std::mutex mutex;
        std::optional<platform::IOPMAssertionID> powerManagementAssertionID;
        // An assertion was asked for and has not been answered yet.
        bool isCreating = false;
        // What the player wants now: the answer to an earlier request may come after a change.
        bool isPreventionWanted = false;

        // Under the mutex.
        void releaseHeldAssertion();
    };
    static void creationDidFinish(const std::weak_ptr<State>& weakState, platform::IOReturn status,
                                  platform::IOPMAssertionID assertionID);

    // Shared with the answers still on their way, which may outlive the manager.
    std::shared_ptr<State> state_;
};

}  // namespace quillon
