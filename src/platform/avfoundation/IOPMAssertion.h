#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {

// Power assertions (IOKit's power management): a process holds one to keep the display awake
// while it shows something the user watches. Here the desktop honours them over the session
// bus: its portal's idle inhibition, else the screen saver's, else the GNOME session's. Asking
// the desktop never waits: an assertion is asked for, and the answer comes later.

using IOReturn = std::int32_t;
using IOPMAssertionID = std::uint32_t;
using IOPMAssertionLevel = std::uint32_t;

inline constexpr IOReturn kIOReturnSuccess = 0;
inline constexpr IOReturn kIOReturnError = std::int32_t(0xe00002bc);
inline constexpr IOReturn kIOReturnBadArgument = std::int32_t(0xe00002c2);
inline constexpr IOReturn kIOReturnNotFound = std::int32_t(0xe00002f0);

inline constexpr IOPMAssertionLevel kIOPMAssertionLevelOff = 0;
inline constexpr IOPMAssertionLevel kIOPMAssertionLevelOn = 255;

inline constexpr const char* kIOPMAssertionTypePreventUserIdleDisplaySleep =
    "PreventUserIdleDisplaySleep";
inline constexpr const char* kIOPMAssertionTypePreventUserIdleSystemSleep =
    "PreventUserIdleSystemSleep";

// Whoever honours the assertions: the screen saver over the session bus, unless a test put
// another in place.
class PowerAssertionService {
public:
    virtual ~PowerAssertionService() = default;

    virtual IOReturn createAssertion(const std::string& type, IOPMAssertionLevel level,
                                     const std::string& name, IOPMAssertionID* assertionID) = 0;
    virtual IOReturn releaseAssertion(IOPMAssertionID assertionID) = 0;

    // What an asynchronous creation ends with: the status, and the identifier on success.
    using CreationHandler = std::function<void(IOReturn status, IOPMAssertionID assertionID)>;
    // Asks for an assertion without waiting for it; `completion` runs once, on any thread. By
    // default the answer of createAssertion, at once.
    virtual void createAssertionAsynchronously(const std::string& type, IOPMAssertionLevel level,
                                               const std::string& name, CreationHandler completion);

    static std::shared_ptr<PowerAssertionService> shared();

    // Puts a service in place of the shared one while it lives; overrides nest and end in
    // reverse order.
    class ScopedOverride {
    public:
        explicit ScopedOverride(std::shared_ptr<PowerAssertionService> service);
        ~ScopedOverride();
        ScopedOverride(const ScopedOverride&) = delete;
        ScopedOverride& operator=(const ScopedOverride&) = delete;

    private:
        std::shared_ptr<PowerAssertionService> previous_;
    };
};

// An unknown type, a level other than on, or an empty out-pointer: kIOReturnBadArgument.
IOReturn IOPMAssertionCreateWithName(const std::string& assertionType,
                                     IOPMAssertionLevel assertionLevel,
                                     const std::string& assertionName,
                                     IOPMAssertionID* assertionID);
// The same without waiting for the desktop: `completion` gets the status and, on success, the
// identifier; refused arguments are answered before this returns.
void IOPMAssertionCreateWithNameAsynchronously(const std::string& assertionType,
                                               IOPMAssertionLevel assertionLevel,
                                               const std::string& assertionName,
                                               PowerAssertionService::CreationHandler completion);
// An identifier this process does not hold: kIOReturnNotFound.
IOReturn IOPMAssertionRelease(IOPMAssertionID assertionID);

}  // namespace platform
