#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <QDBusConnection>
#include <QString>

#include "platform/avfoundation/IOPMAssertion.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform {

// Honours display-sleep assertions with whatever the desktop offers on the session bus, tried
// in this order for every assertion:
// 1. the desktop portal (org.freedesktop.portal.Inhibit, flag idle), undone by closing the
//    request it returns;
// 2. the screen saver (org.freedesktop.ScreenSaver Inhibit), undone by UnInhibit;
// 3. the GNOME session (org.gnome.SessionManager Inhibit, flag idle), undone by Uninhibit.
// When none answers (or there is no session bus) the creation fails with kIOReturnNotFound and
// no assertion exists; why is logged once.
//
// The bus is asked on "Idle Sleep Service Queue" only: asynchronous creations and every
// release return at once, whatever the bus does. Thread-safe.
class DesktopPowerAssertionService final
    : public PowerAssertionService,
      public std::enable_shared_from_this<DesktopPowerAssertionService> {
public:
    static constexpr const char* queueLabel = "Idle Sleep Service Queue";

    // The session bus, when the process was told about one.
    DesktopPowerAssertionService();
    // The bus at `busAddress` (tests run their own), or none.
    explicit DesktopPowerAssertionService(std::optional<std::string> busAddress);
    ~DesktopPowerAssertionService() override;

    // Waits for the desktop's answer.
    IOReturn createAssertion(const std::string& type, IOPMAssertionLevel level,
                             const std::string& name, IOPMAssertionID* assertionID) override;
    void createAssertionAsynchronously(const std::string& type, IOPMAssertionLevel level,
                                       const std::string& name,
                                       CreationHandler completion) override;
    // Takes the inhibition back without waiting for the desktop.
    IOReturn releaseAssertion(IOPMAssertionID assertionID) override;

    // How many assertions are held now.
    std::size_t heldAssertionCount() const;

    // What honours an assertion.
    struct Inhibition {
        enum class Kind { portal, screenSaver, gnomeSession };
        Kind kind = Kind::screenSaver;
        QString requestPath;     // portal
        std::uint32_t cookie{};  // screen saver, GNOME session
    };

private:
    // On the queue.
    IOReturn create(const std::string& name, IOPMAssertionID* assertionID);
    std::optional<Inhibition> inhibit(const QString& reason, QString* failures);
    void uninhibit(const Inhibition& inhibition);
    QDBusConnection* connection();
    void logUnavailableOnce(const QString& why);

    const std::shared_ptr<DispatchQueue> queue_;
    std::optional<std::string> busAddress_;
    const QString connectionName_;
    // On the queue.
    bool connectionTried_ = false;
    std::optional<QDBusConnection> connection_;
    bool loggedUnavailable_ = false;

    mutable std::mutex mutex_;
    IOPMAssertionID nextID_ = 1;
    std::map<IOPMAssertionID, Inhibition> assertions_;
};

}  // namespace platform
