#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusUnixFileDescriptor>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "application/LogindWorkspaceNotifier.h"
#include "media-player/session/WorkspaceNotifications.h"
#include "platform/foundation/Log.h"
#include "support/PrivateBus.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {
namespace {

const QString kManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString kSessionPath = QStringLiteral("/org/freedesktop/login1/session/_31");

// Waits for a condition that another thread makes true; false after a limit that only catches
// hangs.
bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QThread::msleep(2);
    }
    return true;
}

// The parts of systemd-logind that the player uses: delay locks (each the write end of a pipe
// whose read end tells when the holder let go), the caller's session, its Active property.
class FakeLogind final : public QDBusVirtualObject {
public:
    ~FakeLogind() override {
        for (const int fd : lockReadEnds_) {
            ::close(fd);
        }
    }

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard lock(mutex_);
        const QString member = message.member();
        if (member == u"Inhibit") {
            inhibits_.push_back(message.arguments());
            int ends[2];
            if (::pipe(ends) != 0) {
                return false;
            }
            lockReadEnds_.push_back(ends[0]);
            connection.send(
                message.createReply(QVariant::fromValue(QDBusUnixFileDescriptor(ends[1]))));
            ::close(ends[1]);
            return true;
        }
        if (member == u"GetSessionByPID") {
            connection.send(
                message.createReply(QVariant::fromValue(QDBusObjectPath(kSessionPath))));
            return true;
        }
        if (member == u"Get" && message.path() == kSessionPath) {
            connection.send(message.createReply(QVariant::fromValue(QDBusVariant(active_))));
            return true;
        }
        return false;
    }

    QString introspect(const QString&) const override { return {}; }

    int lockCount() {
        std::lock_guard lock(mutex_);
        return int(lockReadEnds_.size());
    }
    std::vector<QVariantList> inhibits() {
        std::lock_guard lock(mutex_);
        return inhibits_;
    }
    // Whether every holder of lock `index` has closed it.
    bool isReleased(int index) {
        std::lock_guard lock(mutex_);
        pollfd entry{lockReadEnds_.at(std::size_t(index)), POLLIN, 0};
        return ::poll(&entry, 1, 0) == 1 && (entry.revents & POLLHUP) != 0;
    }

private:
    std::mutex mutex_;
    std::vector<QVariantList> inhibits_;
    std::vector<int> lockReadEnds_;
    bool active_ = true;
};

// Collects the workspace notifications, on whichever thread they come.
class WorkspaceRecorder {
public:
    explicit WorkspaceRecorder(std::function<void(const std::string&)> whilePosting = {})
        : whilePosting_(std::move(whilePosting)) {
        for (const char* name :
             {NSWorkspaceWillSleepNotification, NSWorkspaceSessionDidResignActiveNotification}) {
            tokens_.push_back(workspaceNotificationCenter().addObserver(
                name, nullptr, [this, name](const platform::Notification&) {
                    if (whilePosting_) {
                        whilePosting_(name);
                    }
                    std::lock_guard lock(mutex_);
                    names_.emplace_back(name);
                }));
        }
    }
    std::vector<std::string> names() {
        std::lock_guard lock(mutex_);
        return names_;
    }
    std::size_t count() { return names().size(); }

private:
    std::function<void(const std::string&)> whilePosting_;
    std::mutex mutex_;
    std::vector<std::string> names_;
    std::vector<platform::ObserverToken> tokens_;
};

// A system bus of the test's own with the fake login manager on it, answering from a thread.
class LogindWorkspaceNotifierTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
        if (bus_.address().empty()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        serviceThread_.start();
        service_ = QDBusConnection::connectToBus(bus_.qAddress(), QStringLiteral("fake logind"));
        ASSERT_TRUE(service_.isConnected());
        logind_.moveToThread(&serviceThread_);
        ASSERT_TRUE(
            service_.registerVirtualObject(kManagerPath, &logind_, QDBusConnection::SubPath));
        ASSERT_TRUE(service_.registerService(QStringLiteral("org.freedesktop.login1")));
    }

    void TearDown() override {
        service_.unregisterObject(kManagerPath);
        QDBusConnection::disconnectFromBus(QStringLiteral("fake logind"));
        serviceThread_.quit();
        serviceThread_.wait();
    }

    void emitSignal(const QString& path, const QString& interface, const QString& name,
                    const QVariantList& arguments) {
        QDBusMessage signal = QDBusMessage::createSignal(path, interface, name);
        signal.setArguments(arguments);
        ASSERT_TRUE(service_.send(signal));
    }
    void prepareForSleep(bool start) {
        emitSignal(kManagerPath, QStringLiteral("org.freedesktop.login1.Manager"),
                   QStringLiteral("PrepareForSleep"), {start});
    }
    void activeChanged(const QString& path, bool active) {
        emitSignal(path, QStringLiteral("org.freedesktop.DBus.Properties"),
                   QStringLiteral("PropertiesChanged"),
                   {QStringLiteral("org.freedesktop.login1.Session"),
                    QVariantMap{{QStringLiteral("Active"), active}}, QStringList{}});
    }

    PrivateBus bus_;
    QThread serviceThread_;
    QDBusConnection service_{QString()};
    FakeLogind logind_;
};

TEST_F(LogindWorkspaceNotifierTest,
       SleepIsPostedWhileTheDelayLockHoldsAndTheLockComesBackOnWaking) {
    bool lockHeldWhilePosting = false;
    WorkspaceRecorder recorder([&](const std::string&) {
        lockHeldWhilePosting = logind_.lockCount() == 1 && !logind_.isReleased(0);
    });
    LogindWorkspaceNotifier notifier(bus_.address());
    ASSERT_TRUE(
        eventually([&] { return notifier.state() == LogindWorkspaceNotifier::State::watching; }));
    ASSERT_EQ(logind_.lockCount(), 1);
    const QVariantList inhibit = logind_.inhibits().at(0);
    EXPECT_EQ(inhibit.value(0).toString(), QStringLiteral("sleep"));
    EXPECT_EQ(inhibit.value(3).toString(), QStringLiteral("delay"));
    EXPECT_TRUE(notifier.holdsDelayLock());

    prepareForSleep(true);
    ASSERT_TRUE(eventually([&] { return recorder.count() == 1; }));
    EXPECT_EQ(recorder.names()[0], NSWorkspaceWillSleepNotification);
    EXPECT_TRUE(lockHeldWhilePosting);
    EXPECT_TRUE(eventually([&] { return logind_.isReleased(0); })) << "the system waits for us";
    EXPECT_FALSE(notifier.holdsDelayLock());

    prepareForSleep(false);
    ASSERT_TRUE(eventually([&] { return logind_.lockCount() == 2; }));
    EXPECT_FALSE(logind_.isReleased(1));
    EXPECT_EQ(recorder.count(), 1u) << "waking posts nothing";
}

TEST_F(LogindWorkspaceNotifierTest, LockingOrLeavingTheSessionResignsItOnceEach) {
    WorkspaceRecorder recorder;
    LogindWorkspaceNotifier notifier(bus_.address());
    ASSERT_TRUE(
        eventually([&] { return notifier.state() == LogindWorkspaceNotifier::State::watching; }));

    emitSignal(kSessionPath, QStringLiteral("org.freedesktop.login1.Session"),
               QStringLiteral("Lock"), {});
    ASSERT_TRUE(eventually([&] { return recorder.count() == 1; }));

    // Another session's change is not ours; becoming active again is no reason to pause.
    activeChanged(QStringLiteral("/org/freedesktop/login1/session/c2"), false);
    activeChanged(kSessionPath, false);
    ASSERT_TRUE(eventually([&] { return recorder.count() == 2; }));
    activeChanged(kSessionPath, false);
    activeChanged(kSessionPath, true);
    activeChanged(kSessionPath, false);
    ASSERT_TRUE(eventually([&] { return recorder.count() == 3; }));
    // Signals arrive in order: once a later one was posted, nothing else is still on the way.
    prepareForSleep(true);
    ASSERT_TRUE(eventually([&] { return recorder.count() == 4; }));
    EXPECT_EQ(recorder.names(),
              (std::vector<std::string>{NSWorkspaceSessionDidResignActiveNotification,
                                        NSWorkspaceSessionDidResignActiveNotification,
                                        NSWorkspaceSessionDidResignActiveNotification,
                                        NSWorkspaceWillSleepNotification}));
}

TEST(LogindWorkspaceNotifierWithoutLoginManager, SaysSoOnceAndPostsNothing) {
#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
    PrivateBus bus;
    if (bus.address().empty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    for (const std::string& address : {bus.address(), std::string("unix:path=/nonexistent/bus")}) {
        platform::ScopedLogCapture log;
        LogindWorkspaceNotifier notifier(address);
        ASSERT_TRUE(eventually([&] {
            return notifier.state() == LogindWorkspaceNotifier::State::unavailable;
        })) << address;
        EXPECT_FALSE(notifier.holdsDelayLock());
        ASSERT_EQ(log.lines().size(), 1u) << address;
        EXPECT_EQ(log.lines()[0].rfind("The login manager cannot be reached (", 0), 0u);
    }
}

}  // namespace
}  // namespace quillon::test
