#include "platform/avfoundation/IOPMAssertion.h"

#include <mutex>

#include "platform/avfoundation/DesktopPowerAssertionService.h"
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
        service = std::make_shared<DesktopPowerAssertionService>();
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

void PowerAssertionService::createAssertionAsynchronously(const std::string& type,
                                                          IOPMAssertionLevel level,
                                                          const std::string& name,
                                                          CreationHandler completion) {
    IOPMAssertionID assertionID = 0;
    const IOReturn status = createAssertion(type, level, name, &assertionID);
    completion(status, assertionID);
}

namespace {

bool isValidRequest(const std::string& assertionType, IOPMAssertionLevel assertionLevel) {
    return assertionLevel == kIOPMAssertionLevelOn &&
           (assertionType == kIOPMAssertionTypePreventUserIdleDisplaySleep ||
            assertionType == kIOPMAssertionTypePreventUserIdleSystemSleep);
}

}  // namespace

IOReturn IOPMAssertionCreateWithName(const std::string& assertionType,
                                     IOPMAssertionLevel assertionLevel,
                                     const std::string& assertionName,
                                     IOPMAssertionID* assertionID) {
    if (assertionID == nullptr || !isValidRequest(assertionType, assertionLevel)) {
        return kIOReturnBadArgument;
    }
    return PowerAssertionService::shared()->createAssertion(assertionType, assertionLevel,
                                                            assertionName, assertionID);
}

void IOPMAssertionCreateWithNameAsynchronously(const std::string& assertionType,
                                               IOPMAssertionLevel assertionLevel,
                                               const std::string& assertionName,
                                               PowerAssertionService::CreationHandler completion) {
    if (!isValidRequest(assertionType, assertionLevel)) {
        completion(kIOReturnBadArgument, 0);
        return;
    }
    PowerAssertionService::shared()->createAssertionAsynchronously(
        assertionType, assertionLevel, assertionName, std::move(completion));
}

IOReturn IOPMAssertionRelease(IOPMAssertionID assertionID) {
    return PowerAssertionService::shared()->releaseAssertion(assertionID);
}

}  // namespace platform
