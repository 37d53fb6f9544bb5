#include "media-player/IdleSleepManager.h"

#include "platform/foundation/Log.h"

namespace quillon {

IdleSleepManager::~IdleSleepManager() {
    allowIdleSleep();
}

void IdleSleepManager::preventIdleSleep(const std::string& reason) {
    if (powerManagementAssertionID_) {
        return;
    }
    platform::IOPMAssertionID assertionID = 0;
    const platform::IOReturn status = platform::IOPMAssertionCreateWithName(
        platform::kIOPMAssertionTypePreventUserIdleDisplaySleep, platform::kIOPMAssertionLevelOn,
        reason, &assertionID);
    if (status != platform::kIOReturnSuccess) {
        platform::log("Failed to create power management assertion to prevent idle sleep: {}.",
                      status);
        return;
    }
    powerManagementAssertionID_ = assertionID;
}

void IdleSleepManager::allowIdleSleep() {
    if (!powerManagementAssertionID_) {
        return;
    }
    const platform::IOReturn status = platform::IOPMAssertionRelease(*powerManagementAssertionID_);
    if (status != platform::kIOReturnSuccess) {
        // Kept, so that the next call tries again.
        platform::log(
            "Failed to release the power management assertion that is preventing idle sleep: "
            "{}.",
            status);
        return;
    }
    powerManagementAssertionID_.reset();
}

}  // namespace quillon
