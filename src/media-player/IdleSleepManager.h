#pragma once

#include <optional>
#include <string>

#include "platform/avfoundation/IOPMAssertion.h"

namespace quillon {

// Keeps the display awake while a player plays, with one power assertion at most: preventing
// twice holds one assertion, allowing without one does nothing, so the platform always sees
// create and release in pairs. Going away releases what is held.
//
// Not synchronized: each instance is used from one queue at a time (the player's).
class IdleSleepManager {
public:
    IdleSleepManager() = default;
    ~IdleSleepManager();
    IdleSleepManager(const IdleSleepManager&) = delete;
    IdleSleepManager& operator=(const IdleSleepManager&) = delete;

    void preventIdleSleep(const std::string& reason);
    void allowIdleSleep();

    const std::optional<platform::IOPMAssertionID>& powerManagementAssertionID() const {
        return powerManagementAssertionID_;
    }

private:
    std::optional<platform::IOPMAssertionID> powerManagementAssertionID_;
};

}  // namespace quillon
