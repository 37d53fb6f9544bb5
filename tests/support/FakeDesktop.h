#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <QThread>
#include <QVariant>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace quillon::test {

// The desktop's three inhibitors (portal, screen saver, GNOME session) as one object served
// from a thread; which of them exist is the bus names the test takes for it. Answers can be
// held back to play a desktop that is slow to answer.
class FakeDesktop final : public QDBusVirtualObject {
public:
    static inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");
    static inline const QString kRequestPath =
        QStringLiteral("/org/freedesktop/portal/desktop/request/1_1/t1");
    static inline const QString kScreenSaverPath = QStringLiteral("/org/freedesktop/ScreenSaver");
    static inline const QString kGnomeSessionPath = QStringLiteral("/org/gnome/SessionManager");

    struct Call {
        std::string member;
        std::string path;
        QVariantList arguments;
    };

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard lock(mutex_);
        calls_.push_back(
            {message.member().toStdString(), message.path().toStdString(), message.arguments()});
        QDBusMessage reply;
        if (message.member() == u"Inhibit" && message.path() == kPortalPath) {
            reply = message.createReply(QVariant::fromValue(QDBusObjectPath(kRequestPath)));
        } else if (message.member() == u"Inhibit") {
            reply = message.createReply(QVariant::fromValue(nextCookie_++));
        } else {
            reply = message.createReply();
        }
        if (holdReplies_) {
            held_.push_back(reply);
        } else {
            connection.send(reply);
        }
        connection_ = connection;
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    std::vector<Call> calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void holdReplies() {
        std::lock_guard lock(mutex_);
        holdReplies_ = true;
    }
    void sendHeldReplies() {
        std::lock_guard lock(mutex_);
        holdReplies_ = false;
        for (const QDBusMessage& reply : held_) {
            connection_.send(reply);
        }
        held_.clear();
    }

private:
    std::mutex mutex_;
    std::vector<Call> calls_;
    bool holdReplies_ = false;
    std::vector<QDBusMessage> held_;
    QDBusConnection connection_{QString()};
    std::uint32_t nextCookie_ = 7;
};

// A FakeDesktop on a bus, answering from a thread of its own (the process needs a Qt
// application object), under the three inhibitors' object paths. `offer` takes a bus name.
class ServedFakeDesktop {
public:
    explicit ServedFakeDesktop(const QString& busAddress,
                               const QString& connectionName = QStringLiteral("desktop"))
        : connectionName_(connectionName) {
        thread_.start();
        connection_ = QDBusConnection::connectToBus(busAddress, connectionName_);
        desktop_.moveToThread(&thread_);
        for (const QString& path : paths()) {
            registered_ =
                connection_.registerVirtualObject(path, &desktop_, QDBusConnection::SubPath) &&
                registered_;
        }
    }
    ~ServedFakeDesktop() {
        for (const QString& path : paths()) {
            connection_.unregisterObject(path);
        }
        QDBusConnection::disconnectFromBus(connectionName_);
        thread_.quit();
        thread_.wait();
    }
    ServedFakeDesktop(const ServedFakeDesktop&) = delete;
    ServedFakeDesktop& operator=(const ServedFakeDesktop&) = delete;

    bool isServing() const { return connection_.isConnected() && registered_; }
    bool offer(const char* service) {
        return connection_.registerService(QString::fromLatin1(service));
    }
    bool withdraw(const char* service) {
        return connection_.unregisterService(QString::fromLatin1(service));
    }
    FakeDesktop& desktop() { return desktop_; }

private:
    static std::vector<QString> paths() {
        return {FakeDesktop::kPortalPath, FakeDesktop::kScreenSaverPath,
                FakeDesktop::kGnomeSessionPath};
    }

    QString connectionName_;
    QThread thread_;
    QDBusConnection connection_{QString()};
    FakeDesktop desktop_;
    bool registered_ = true;
};

}  // namespace quillon::test
