#include "platform/avfoundation/IOPMAssertion.h"

#include <mutex>

#include "platform/avfoundation/ScreenSaverPowerAssertionService.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

// Players release their assertions from their own queues, which may still run at exit.
std::mutex& serviceMutex() {
    static NeverDestroyed<std::mutex> mutex;
    return mutex.get();
}

std::shared_ptr<PowerAssertionService>& serviceSlot() {
    static NeverDestroyed<std::shared_ptr<PowerAssertionService>> service;
    return service.get();
}

}  // namespace

std::shared_ptr<PowerAssertionService> PowerAssertionService::shared() {
    std::lock_guard lock(serviceMutex());
    auto& service = serviceSlot();
    if (!service) {
        service = std::make_shared<ScreenSaverPowerAssertionService>();
    }
    return service;
}

PowerAssertionService::ScopedOverride::ScopedOverride(
    std::shared_ptr<PowerAssertionService> service) {
    std::lock_guard lock(serviceMutex());
    previous_ = std::exchange(serviceSlot(), std::move(service));
}

PowerAssertionService::ScopedOverride::~ScopedOverride() {
    std::lock_guard lock(serviceMutex());
    serviceSlot() = std::move(previous_);
}

IOReturn IOPMAssertionCreateWithName(const std::string& assertionType,
                                     IOPMAssertionLevel assertionLevel,
                                     const std::string& assertionName,
                                     IOPMAssertionID* assertionID) {
    if (assertionID == nullptr || assertionLevel != kIOPMAssertionLevelOn ||
        (assertionType != kIOPMAssertionTypePreventUserIdleDisplaySleep &&
         assertionType != kIOPMAssertionTypePreventUserIdleSystemSleep)) {
        return kIOReturnBadArgument;
    }
    return PowerAssertionService::shared()->createAssertion(assertionType, assertionLevel,
                                                            assertionName, assertionID);
}

IOReturn IOPMAssertionRelease(IOPMAssertionID assertionID) {
    return PowerAssertionService::shared()->releaseAssertion(assertionID);
}

}  // namespace platform
