#include "platform/avfoundation/IOPMAssertion.h"

#include <mutex>

#include "platform/avfoundation/ScreenSaverPowerAssertionService.h"

namespace platform {

namespace {

std::mutex& serviceMutex() {
    static std::mutex mutex;
    return mutex;
}

std::shared_ptr<PowerAssertionService>& serviceSlot() {
    static std::shared_ptr<PowerAssertionService> service;
    return service;
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
