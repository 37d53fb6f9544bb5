#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include <QDBusConnection>

#include "platform/avfoundation/IOPMAssertion.h"

namespace platform {

// Honours display-sleep assertions with the desktop's screen saver: each assertion is one
// Inhibit call (application name, reason) whose cookie UnInhibit gives back. Calls wait for the
// answer, a few seconds at most.
//
// Without a connection (no session bus) or without the service, assertions are handed out
// all the same, with one log line: the process cannot keep a display awake that nothing can
// put to sleep on its behalf.
//
// Thread-safe.
class ScreenSaverPowerAssertionService final : public PowerAssertionService {
public:
    // The session bus, when there is one.
    ScreenSaverPowerAssertionService();
    // A given bus connection (tests run their own bus), or none.
    explicit ScreenSaverPowerAssertionService(std::optional<QDBusConnection> connection);

    IOReturn createAssertion(const std::string& type, IOPMAssertionLevel level,
                             const std::string& name, IOPMAssertionID* assertionID) override;
    IOReturn releaseAssertion(IOPMAssertionID assertionID) override;

    // How many assertions are held now.
    std::size_t heldAssertionCount() const;

private:
    void logUnavailableOnce(const std::string& why);

    std::optional<QDBusConnection> connection_;
    mutable std::mutex mutex_;
    IOPMAssertionID nextID_ = 1;
    // Assertion to the screen saver's cookie, when it gave one.
    std::map<IOPMAssertionID, std::optional<std::uint32_t>> assertions_;
    bool loggedUnavailable_ = false;
};

}  // namespace platform
