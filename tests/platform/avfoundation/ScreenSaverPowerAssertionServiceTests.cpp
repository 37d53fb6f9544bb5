#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QThread>

#include "platform/avfoundation/IOPMAssertion.h"
#include "platform/avfoundation/ScreenSaverPowerAssertionService.h"
#include "platform/foundation/Log.h"
#include "support/PrivateBus.h"

namespace {

using namespace platform;

using quillon::test::PrivateBus;

// The screen saver as the desktop offers it: hands out cookies and takes them back.
class FakeScreenSaver final : public QDBusVirtualObject {
public:
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        std::lock_guard lock(mutex);
        if (message.member() == QLatin1String("Inhibit")) {
            const QVariantList arguments = message.arguments();
            inhibits.push_back({arguments.value(0).toString().toStdString(),
                                arguments.value(1).toString().toStdString()});
            connection.send(message.createReply(QVariant::fromValue(nextCookie++)));
            return true;
        }
        if (message.member() == QLatin1String("UnInhibit")) {
            uninhibits.push_back(message.arguments().value(0).toUInt());
            connection.send(message.createReply());
            return true;
        }
        return false;
    }

    QString introspect(const QString&) const override { return {}; }

    struct Inhibit {
        std::string application;
        std::string reason;
    };
    std::mutex mutex;
    std::vector<Inhibit> inhibits;
    std::vector<std::uint32_t> uninhibits;
    std::uint32_t nextCookie = 7;
};

TEST(ScreenSaverPowerAssertionServiceTest, InhibitsTheScreenSaverWhileAnAssertionIsHeld) {
#if defined(__SANITIZE_THREAD__)
    // Qt and libdbus are not built for ThreadSanitizer: the messages they hand between their
    // threads go through atomics it cannot see, so it reports every hand-over as a race.
    GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
    PrivateBus bus;
    if (bus.address().empty()) {
        GTEST_SKIP() << "dbus-daemon is not installed";
    }
    // The fake service answers from a thread of its own with an event loop, which Qt runs only
    // inside an application object.
    std::unique_ptr<QCoreApplication> application;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 1;
        static char name[] = "tests";
        static char* argv[] = {name, nullptr};
        application = std::make_unique<QCoreApplication>(argc, argv);
    }
    QThread serviceThread;
    serviceThread.start();
    const QString address = QString::fromStdString(bus.address());
    QDBusConnection serviceSide = QDBusConnection::connectToBus(address, "screen saver");
    ASSERT_TRUE(serviceSide.isConnected());
    FakeScreenSaver screenSaver;
    screenSaver.moveToThread(&serviceThread);
    ASSERT_TRUE(serviceSide.registerVirtualObject("/org/freedesktop/ScreenSaver", &screenSaver));
    ASSERT_TRUE(serviceSide.registerService("org.freedesktop.ScreenSaver"));

    const auto service = std::make_shared<ScreenSaverPowerAssertionService>(
        QDBusConnection::connectToBus(address, "player"));
    PowerAssertionService::ScopedOverride override(service);

    IOPMAssertionID assertion = 0;
    ASSERT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn,
                                          "Quillon Player started playing media.", &assertion),
              kIOReturnSuccess);
    {
        std::lock_guard lock(screenSaver.mutex);
        ASSERT_EQ(screenSaver.inhibits.size(), 1u);
        EXPECT_EQ(screenSaver.inhibits[0].reason, "Quillon Player started playing media.");
        EXPECT_FALSE(screenSaver.inhibits[0].application.empty());
    }
    EXPECT_EQ(service->heldAssertionCount(), 1u);

    EXPECT_EQ(IOPMAssertionRelease(assertion), kIOReturnSuccess);
    {
        std::lock_guard lock(screenSaver.mutex);
        EXPECT_EQ(screenSaver.uninhibits, std::vector<std::uint32_t>{7});
    }
    EXPECT_EQ(IOPMAssertionRelease(assertion), kIOReturnNotFound);
    EXPECT_EQ(service->heldAssertionCount(), 0u);

    serviceSide.unregisterObject("/org/freedesktop/ScreenSaver");
    QDBusConnection::disconnectFromBus("screen saver");
    QDBusConnection::disconnectFromBus("player");
    serviceThread.quit();
    serviceThread.wait();
}

TEST(ScreenSaverPowerAssertionServiceTest, WithoutAScreenSaverAssertionsAreHandedOutAndLoggedOnce) {
    ScopedLogCapture log;
    const auto service = std::make_shared<ScreenSaverPowerAssertionService>(std::nullopt);
    PowerAssertionService::ScopedOverride override(service);
    IOPMAssertionID first = 0;
    IOPMAssertionID second = 0;
    EXPECT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn, "one", &first),
              kIOReturnSuccess);
    EXPECT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn, "two", &second),
              kIOReturnSuccess);
    EXPECT_NE(first, second);
    EXPECT_EQ(IOPMAssertionRelease(first), kIOReturnSuccess);
    EXPECT_EQ(IOPMAssertionRelease(second), kIOReturnSuccess);
    int lines = 0;
    for (const std::string& line : log.lines()) {
        lines += line.find("The display cannot be kept awake") != std::string::npos;
    }
    EXPECT_EQ(lines, 1);
}

TEST(IOPMAssertionTest, RefusesWhatItDoesNotKnow) {
    IOPMAssertionID assertion = 0;
    EXPECT_EQ(
        IOPMAssertionCreateWithName("NoIdleSleepAssertion", kIOPMAssertionLevelOn, "x", &assertion),
        kIOReturnBadArgument);
    EXPECT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOff, "x", &assertion),
              kIOReturnBadArgument);
    EXPECT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn, "x", nullptr),
              kIOReturnBadArgument);
}

}  // namespace
