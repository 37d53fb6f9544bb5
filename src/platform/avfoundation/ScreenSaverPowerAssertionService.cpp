#include "platform/avfoundation/ScreenSaverPowerAssertionService.h"

#include <cerrno>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QString>

#include "platform/foundation/Log.h"

namespace platform {

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");
constexpr int kCallTimeoutMilliseconds = 3000;

QString applicationName() {
    if (QCoreApplication::instance() != nullptr && !QCoreApplication::applicationName().isEmpty()) {
        return QCoreApplication::applicationName();
    }
    return QString::fromLocal8Bit(program_invocation_short_name);
}

}  // namespace

ScreenSaverPowerAssertionService::ScreenSaverPowerAssertionService() {
    // Only a session the process was told about: asking for the session bus otherwise would
    // try to launch one.
    if (qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (bus.isConnected()) {
            connection_ = bus;
        }
    }
}

ScreenSaverPowerAssertionService::ScreenSaverPowerAssertionService(
    std::optional<QDBusConnection> connection) {
    if (connection && connection->isConnected()) {
        connection_ = std::move(connection);
    }
}

void ScreenSaverPowerAssertionService::logUnavailableOnce(const std::string& why) {
    {
        std::lock_guard lock(mutex_);
        if (std::exchange(loggedUnavailable_, true)) {
            return;
        }
    }
    log("The display cannot be kept awake ({}), so playback goes on without that.", why);
}

IOReturn ScreenSaverPowerAssertionService::createAssertion(const std::string&, IOPMAssertionLevel,
                                                           const std::string& name,
                                                           IOPMAssertionID* assertionID) {
    std::optional<std::uint32_t> cookie;
    if (!connection_) {
        logUnavailableOnce("there is no session bus");
    } else {
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
        call << applicationName() << QString::fromStdString(name);
        const QDBusMessage reply = connection_->call(call, QDBus::Block, kCallTimeoutMilliseconds);
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            cookie = reply.arguments().constFirst().toUInt();
        } else {
            logUnavailableOnce(reply.errorMessage().toStdString());
        }
    }
    std::lock_guard lock(mutex_);
    const IOPMAssertionID assigned = nextID_++;
    assertions_[assigned] = cookie;
    *assertionID = assigned;
    return kIOReturnSuccess;
}

IOReturn ScreenSaverPowerAssertionService::releaseAssertion(IOPMAssertionID assertionID) {
    std::optional<std::uint32_t> cookie;
    {
        std::lock_guard lock(mutex_);
        const auto found = assertions_.find(assertionID);
        if (found == assertions_.end()) {
            return kIOReturnNotFound;
        }
        cookie = found->second;
        assertions_.erase(found);
    }
    if (cookie && connection_) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface,
                                                           QStringLiteral("UnInhibit"));
        call << *cookie;
        const QDBusMessage reply = connection_->call(call, QDBus::Block, kCallTimeoutMilliseconds);
        if (reply.type() == QDBusMessage::ErrorMessage) {
            // The screen saver forgets what a client inhibited when it goes away itself.
            log("The screen saver did not take back an inhibition: {}.",
                reply.errorMessage().toStdString());
        }
    }
    return kIOReturnSuccess;
}

std::size_t ScreenSaverPowerAssertionService::heldAssertionCount() const {
    std::lock_guard lock(mutex_);
    return assertions_.size();
}

}  // namespace platform
