#include "application/LogindWorkspaceNotifier.h"

#include <unistd.h>

#include <atomic>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include "media-player/session/WorkspaceNotifications.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kManagerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString kSessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString kPropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
// The login manager answers at once or is stuck; the thread must not hang on it for long.
constexpr int kCallTimeoutMilliseconds = 3000;

}  // namespace

namespace detail {

class LogindWatcher final : public QObject {
    Q_OBJECT

public:
    using State = LogindWorkspaceNotifier::State;

    explicit LogindWatcher(std::optional<std::string> busAddress)
        : busAddress_(std::move(busAddress)),
          connectionName_(QStringLiteral("org.quillon.LoginManager.%1")
                              .arg(reinterpret_cast<quintptr>(this), 0, 16)) {}

    std::atomic<State> state{State::starting};
    std::atomic<bool> holdsLock{false};

    // On the watcher's thread.
    void start() {
        connection_ = busAddress_ ? QDBusConnection::connectToBus(
                                        QString::fromStdString(*busAddress_), connectionName_)
                                  : QDBusConnection::connectToBus(QDBusConnection::SystemBus,
                                                                  connectionName_);
        if (!connection_->isConnected()) {
            giveUp(QStringLiteral("no system bus: %1").arg(connection_->lastError().message()));
            return;
        }
        if (!connection_->connect(kService, kManagerPath, kManagerInterface,
                                  QStringLiteral("PrepareForSleep"), this,
                                  SLOT(prepareForSleep(bool)))) {
            giveUp(connection_->lastError().message());
            return;
        }
        // The first lock tells whether anybody is there.
        if (const QString failure = takeDelayLock(); !failure.isEmpty()) {
            giveUp(failure);
            return;
        }
        watchSession();
        state = State::watching;
    }

    // On the watcher's thread.
    void stop() {
        releaseDelayLock();
        if (connection_) {
            connection_.reset();
            QDBusConnection::disconnectFromBus(connectionName_);
        }
    }

public slots:
    void prepareForSleep(bool goingToSleep) {
        if (!goingToSleep) {
            // Awake again: the next sleep must wait for the players too.
            if (const QString failure = takeDelayLock(); !failure.isEmpty()) {
                platform::logWarning(
                    "The login manager did not give a lock to pause before sleep: {}.",
                    failure.toStdString());
            }
            return;
        }
        // The observers pause their players before the post returns; only then may the
        // system go to sleep.
        workspaceNotificationCenter().post(NSWorkspaceWillSleepNotification);
        releaseDelayLock();
    }

    void sessionLocked() { resignActive(); }

    void sessionPropertiesChanged(const QString& interface, const QVariantMap& changed,
                                  const QStringList& invalidated) {
        if (interface != kSessionInterface) {
            return;
        }
        std::optional<bool> active;
        if (const auto found = changed.find(QStringLiteral("Active")); found != changed.end()) {
            active = found->toBool();
        } else if (invalidated.contains(QStringLiteral("Active"))) {
            active = readSessionActive();
        }
        if (!active || *active == sessionActive_) {
            return;
        }
        sessionActive_ = *active;
        if (!*active) {
            resignActive();
        }
    }

private:
    void giveUp(const QString& why) {
        platform::logWarning(
            "The login manager cannot be reached ({}), so playback does not pause before the "
            "system sleeps or when the session is locked.",
            why.toStdString());
        stop();
        state = State::unavailable;
    }

    void resignActive() {
        workspaceNotificationCenter().post(NSWorkspaceSessionDidResignActiveNotification);
    }

    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& arguments) {
        QDBusMessage message = QDBusMessage::createMethodCall(kService, path, interface, method);
        message.setArguments(arguments);
        return connection_->call(message, QDBus::Block, kCallTimeoutMilliseconds);
    }

    // Empty when the lock is held now.
    QString takeDelayLock() {
        if (lock_.isValid()) {
            return {};
        }
        const QDBusMessage reply = call(
            kManagerPath, kManagerInterface, QStringLiteral("Inhibit"),
            {QStringLiteral("sleep"), QStringLiteral("Quillon Player"),
             QStringLiteral("Playback pauses before the system sleeps."), QStringLiteral("delay")});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return reply.errorMessage().isEmpty() ? QStringLiteral("no lock in the answer")
                                                  : reply.errorMessage();
        }
        lock_ = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
        if (!lock_.isValid()) {
            return QStringLiteral("no lock in the answer");
        }
        holdsLock = true;
        return {};
    }

    void releaseDelayLock() {
        // The lock is the descriptor: closing the last copy releases it.
        lock_ = QDBusUnixFileDescriptor();
        holdsLock = false;
    }

    void watchSession() {
        QDBusMessage reply =
            call(kManagerPath, kManagerInterface, QStringLiteral("GetSessionByPID"),
                 {QVariant::fromValue(static_cast<quint32>(::getpid()))});
        if (reply.type() != QDBusMessage::ReplyMessage) {
            // A process started outside the session (a service, a terminal over ssh) may still
            // name the session it belongs to.
            const QString id = qEnvironmentVariable("XDG_SESSION_ID");
            if (!id.isEmpty()) {
                reply = call(kManagerPath, kManagerInterface, QStringLiteral("GetSession"), {id});
            }
        }
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            platform::logWarning(
                "The process belongs to no login session ({}), so playback does not pause when "
                "the session is locked.",
                reply.errorMessage().toStdString());
            return;
        }
        sessionPath_ = qvariant_cast<QDBusObjectPath>(reply.arguments().constFirst()).path();
        connection_->connect(kService, sessionPath_, kSessionInterface, QStringLiteral("Lock"),
                             this, SLOT(sessionLocked()));
        connection_->connect(kService, sessionPath_, kPropertiesInterface,
                             QStringLiteral("PropertiesChanged"), this,
                             SLOT(sessionPropertiesChanged(QString, QVariantMap, QStringList)));
        sessionActive_ = readSessionActive().value_or(true);
    }

    std::optional<bool> readSessionActive() {
        const QDBusMessage reply = call(sessionPath_, kPropertiesInterface, QStringLiteral("Get"),
                                        {kSessionInterface, QStringLiteral("Active")});
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
            return std::nullopt;
        }
        return qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toBool();
    }

    const std::optional<std::string> busAddress_;
    const QString connectionName_;
    std::optional<QDBusConnection> connection_;
    QDBusUnixFileDescriptor lock_;
    QString sessionPath_;
    bool sessionActive_ = true;
};

}  // namespace detail

LogindWorkspaceNotifier::LogindWorkspaceNotifier(std::optional<std::string> busAddress)
    : watcher_(std::make_unique<detail::LogindWatcher>(std::move(busAddress))) {
    thread_.setObjectName(QString::fromLatin1(threadName));
    watcher_->moveToThread(&thread_);
    thread_.start();
    QMetaObject::invokeMethod(watcher_.get(), [watcher = watcher_.get()] { watcher->start(); });
}

LogindWorkspaceNotifier::~LogindWorkspaceNotifier() {
    QMetaObject::invokeMethod(
        watcher_.get(), [watcher = watcher_.get()] { watcher->stop(); },
        Qt::BlockingQueuedConnection);
    thread_.quit();
    thread_.wait();
}

LogindWorkspaceNotifier::State LogindWorkspaceNotifier::state() const {
    return watcher_->state.load();
}

bool LogindWorkspaceNotifier::holdsDelayLock() const {
    return watcher_->holdsLock.load();
}

}  // namespace quillon

#include "LogindWorkspaceNotifier.moc"
