#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Power assertions (IOKit's power management): a process holds one to keep the display awake
// while it shows something the user watches. Here the desktop's screen saver honours them over
// the session bus (org.freedesktop.ScreenSaver Inhibit and UnInhibit). Without a session bus or
// a screen-saver service an assertion is still handed out and only the first such one is
// logged: nothing would put the display to sleep that the process could stop.

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
// An identifier this process does not hold: kIOReturnNotFound.
IOReturn IOPMAssertionRelease(IOPMAssertionID assertionID);

}  // namespace platform
