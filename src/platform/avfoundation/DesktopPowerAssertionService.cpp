#include "platform/avfoundation/DesktopPowerAssertionService.h"

#include <cerrno>

#include <atomic>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QVariantMap>

#include "platform/foundation/Log.h"

namespace platform {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kPortalInterface = QStringLiteral("org.freedesktop.portal.Inhibit");
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kGnomeService = QStringLiteral("org.gnome.SessionManager");
const QString kGnomePath = QStringLiteral("/org/gnome/SessionManager");
// The portal's and the GNOME session's flag for "the session must not go idle".
constexpr std::uint32_t kInhibitIdle = 8;
// Each service answers at once or hangs; the queue must not wait on one for long.
constexpr int kCallTimeoutMilliseconds = 2000;

QString applicationName() {
    if (QCoreApplication::instance() != nullptr && !QCoreApplication::applicationName().isEmpty()) {
        return QCoreApplication::applicationName();
    }
    return QString::fromLocal8Bit(program_invocation_short_name);
}

std::optional<std::string> sessionBusAddress() {
    // Only a session the process was told about: asking for the session bus otherwise would
    // try to launch one.
    if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        return std::nullopt;
    }
    return qEnvironmentVariable("DBUS_SESSION_BUS_ADDRESS").toStdString();
}

QString connectionNameFor(const void* service) {
    static std::atomic<int> counter{0};
    return QStringLiteral("org.quillon.IdleSleep.%1.%2")
        .arg(reinterpret_cast<quintptr>(service), 0, 16)
        .arg(++counter);
}

}  // namespace

DesktopPowerAssertionService::DesktopPowerAssertionService()
    : DesktopPowerAssertionService(sessionBusAddress()) {}

DesktopPowerAssertionService::DesktopPowerAssertionService(std::optional<std::string> busAddress)
    : queue_(DispatchQueue::makeSerial(queueLabel, DispatchQoS::utility)),
      busAddress_(std::move(busAddress)),
      connectionName_(connectionNameFor(this)) {}

DesktopPowerAssertionService::~DesktopPowerAssertionService() {
    // The queue's blocks hold the service, so none is left: the last one let it go.
    if (connection_) {
        connection_.reset();
        // At the process's exit Qt's bus machinery may already be gone.
        if (QCoreApplication::instance() != nullptr) {
            QDBusConnection::disconnectFromBus(connectionName_);
        }
    }
}

QDBusConnection* DesktopPowerAssertionService::connection() {
    if (!connectionTried_) {
        connectionTried_ = true;
        if (busAddress_) {
            QDBusConnection bus = QDBusConnection::connectToBus(
                QString::fromStdString(*busAddress_), connectionName_);
            if (bus.isConnected()) {
                connection_ = bus;
            } else {
                QDBusConnection::disconnectFromBus(connectionName_);
            }
        }
    }
    return connection_ ? &*connection_ : nullptr;
}

void DesktopPowerAssertionService::logUnavailableOnce(const QString& why) {
    if (std::exchange(loggedUnavailable_, true)) {
        return;
    }
    logWarning("The display cannot be kept awake while playing: {}.", why.toStdString());
}

std::optional<DesktopPowerAssertionService::Inhibition> DesktopPowerAssertionService::inhibit(
    const QString& reason, QString* failures) {
    QDBusConnection* bus = connection();
    if (bus == nullptr) {
        *failures = QStringLiteral("there is no session bus");
        return std::nullopt;
    }
    auto call = [&](const QString& service, const QString& path, const QString& interface,
                    const QVariantList& arguments) {
        QDBusMessage message =
            QDBusMessage::createMethodCall(service, path, interface, QStringLiteral("Inhibit"));
        message.setArguments(arguments);
        return bus->call(message, QDBus::Block, kCallTimeoutMilliseconds);
    };
    auto answered = [](const QDBusMessage& reply) {
        return reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty();
    };
    QStringList reasons;

    const QDBusMessage portal = call(kPortalService, kPortalPath, kPortalInterface,
                                     {QString(), QVariant::fromValue(kInhibitIdle),
                                      QVariantMap{{QStringLiteral("reason"), reason}}});
    if (answered(portal)) {
        const QString path = qvariant_cast<QDBusObjectPath>(portal.arguments().constFirst()).path();
        if (!path.isEmpty()) {
            return Inhibition{Inhibition::Kind::portal, path, 0};
        }
    }
    reasons << QStringLiteral("the portal: %1").arg(portal.errorMessage());

    const QDBusMessage screenSaver = call(kScreenSaverService, kScreenSaverPath,
                                          kScreenSaverService, {applicationName(), reason});
    if (answered(screenSaver)) {
        return Inhibition{
            Inhibition::Kind::screenSaver, {}, screenSaver.arguments().constFirst().toUInt()};
    }
    reasons << QStringLiteral("the screen saver: %1").arg(screenSaver.errorMessage());

    const QDBusMessage gnome = call(kGnomeService, kGnomePath, kGnomeService,
                                    {applicationName(), QVariant::fromValue(std::uint32_t{0}),
                                     reason, QVariant::fromValue(kInhibitIdle)});
    if (answered(gnome)) {
        return Inhibition{
            Inhibition::Kind::gnomeSession, {}, gnome.arguments().constFirst().toUInt()};
    }
    reasons << QStringLiteral("the GNOME session: %1").arg(gnome.errorMessage());
    *failures = QStringLiteral("nothing on the session bus answers (%1)")
                    .arg(reasons.join(QStringLiteral("; ")));
    return std::nullopt;
}

void DesktopPowerAssertionService::uninhibit(const Inhibition& inhibition) {
    QDBusConnection* bus = connection();
    if (bus == nullptr) {
        return;
    }
    QDBusMessage message;
    switch (inhibition.kind) {
        case Inhibition::Kind::portal:
            message = QDBusMessage::createMethodCall(kPortalService, inhibition.requestPath,
                                                     kRequestInterface, QStringLiteral("Close"));
            break;
        case Inhibition::Kind::screenSaver:
            message =
                QDBusMessage::createMethodCall(kScreenSaverService, kScreenSaverPath,
                                               kScreenSaverService, QStringLiteral("UnInhibit"));
            message << inhibition.cookie;
            break;
        case Inhibition::Kind::gnomeSession:
            message = QDBusMessage::createMethodCall(kGnomeService, kGnomePath, kGnomeService,
                                                     QStringLiteral("Uninhibit"));
            message << inhibition.cookie;
            break;
    }
    const QDBusMessage reply = bus->call(message, QDBus::Block, kCallTimeoutMilliseconds);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        // The desktop forgets what a client inhibited when either of them goes away.
        logWarning("The desktop did not take back an idle inhibition: {}.",
                   reply.errorMessage().toStdString());
    }
}

IOReturn DesktopPowerAssertionService::create(const std::string& name,
                                              IOPMAssertionID* assertionID) {
    QString failures;
    const std::optional<Inhibition> inhibition = inhibit(QString::fromStdString(name), &failures);
    if (!inhibition) {
        logUnavailableOnce(failures);
        return kIOReturnNotFound;
    }
    std::lock_guard lock(mutex_);
    *assertionID = nextID_++;
    assertions_.emplace(*assertionID, *inhibition);
    return kIOReturnSuccess;
}

IOReturn DesktopPowerAssertionService::createAssertion(const std::string&, IOPMAssertionLevel,
                                                       const std::string& name,
                                                       IOPMAssertionID* assertionID) {
    return queue_->sync([&] { return create(name, assertionID); });
}

void DesktopPowerAssertionService::createAssertionAsynchronously(const std::string&,
                                                                 IOPMAssertionLevel,
                                                                 const std::string& name,
                                                                 CreationHandler completion) {
    queue_->async([self = shared_from_this(), name, completion = std::move(completion)] {
        IOPMAssertionID assertionID = 0;
        const IOReturn status = self->create(name, &assertionID);
        completion(status, assertionID);
    });
}

IOReturn DesktopPowerAssertionService::releaseAssertion(IOPMAssertionID assertionID) {
    Inhibition inhibition;
    {
        std::lock_guard lock(mutex_);
        const auto found = assertions_.find(assertionID);
        if (found == assertions_.end()) {
            return kIOReturnNotFound;
        }
        inhibition = found->second;
        assertions_.erase(found);
    }
    queue_->async([self = shared_from_this(), inhibition] { self->uninhibit(inhibition); });
    return kIOReturnSuccess;
}

std::size_t DesktopPowerAssertionService::heldAssertionCount() const {
    std::lock_guard lock(mutex_);
    return assertions_.size();
}

}  // namespace platform
