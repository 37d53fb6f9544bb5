#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>

#include "media-player/session/IdleSleepManager.h"
#include "platform/avfoundation/DesktopPowerAssertionService.h"
#include "platform/avfoundation/IOPMAssertion.h"
#include "platform/foundation/Log.h"
#include "support/FakeDesktop.h"
#include "support/PrivateBus.h"

namespace {

using namespace platform;
using quillon::test::FakeDesktop;
using quillon::test::PrivateBus;

constexpr const char* kReason = "Quillon Player started playing media.";

bool eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// A session bus of the test's own with the fake desktop on it.
class DesktopPowerAssertionServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        // Qt and libdbus are not built for ThreadSanitizer: the messages they hand between
        // their threads go through atomics it cannot see.
        GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
        if (bus_.address().empty()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        // The fake answers from a thread with an event loop, which needs an application object.
        if (QCoreApplication::instance() == nullptr) {
            static int argc = 1;
            static char name[] = "tests";
            static char* argv[] = {name, nullptr};
            application_ = std::make_unique<QCoreApplication>(argc, argv);
        }
        served_.emplace(bus_.qAddress());
        ASSERT_TRUE(served_->isServing());
        service_ = std::make_shared<DesktopPowerAssertionService>(bus_.address());
    }

    void TearDown() override {
        service_.reset();
        served_.reset();
    }

    void offer(const char* service) {
        ASSERT_TRUE(served_->offer(service));
    }
    void withdraw(const char* service) {
        ASSERT_TRUE(served_->withdraw(service));
    }
    FakeDesktop& desktop() {
        return served_->desktop();
    }

    // Members of the calls that reached the desktop, in order.
    std::vector<std::string> members() {
        std::vector<std::string> names;
        for (const auto& call : desktop().calls()) {
            names.push_back(call.member);
        }
        return names;
    }

    PrivateBus bus_;
    std::unique_ptr<QCoreApplication> application_;
    std::optional<quillon::test::ServedFakeDesktop> served_;
    std::shared_ptr<DesktopPowerAssertionService> service_;
};

TEST_F(DesktopPowerAssertionServiceTest, ThePortalComesFirstThenTheScreenSaverThenTheGnomeSession) {
    PowerAssertionService::ScopedOverride override(service_);
    offer("org.freedesktop.portal.Desktop");
    offer("org.freedesktop.ScreenSaver");
    offer("org.gnome.SessionManager");
    IOPMAssertionID assertion = 0;
    ASSERT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn, kReason, &assertion),
              kIOReturnSuccess);
    auto calls = desktop().calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].path, FakeDesktop::kPortalPath.toStdString());
    EXPECT_EQ(calls[0].arguments.value(1).toUInt(), 8u) << "the idle flag";
    EXPECT_EQ(qdbus_cast<QVariantMap>(calls[0].arguments.value(2))
                  .value(QStringLiteral("reason"))
                  .toString(),
              QString::fromLatin1(kReason));
    EXPECT_EQ(service_->heldAssertionCount(), 1u);
    EXPECT_EQ(IOPMAssertionRelease(assertion), kIOReturnSuccess);
    ASSERT_TRUE(eventually([&] { return desktop().calls().size() == 2; }));
    EXPECT_EQ(desktop().calls()[1].member, "Close");
    EXPECT_EQ(desktop().calls()[1].path, FakeDesktop::kRequestPath.toStdString());
    EXPECT_EQ(IOPMAssertionRelease(assertion), kIOReturnNotFound);

    // Without the portal the screen saver inhibits; its cookie undoes it.
    withdraw("org.freedesktop.portal.Desktop");
    ASSERT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn, kReason, &assertion),
              kIOReturnSuccess);
    calls = desktop().calls();
    ASSERT_EQ(calls.size(), 3u);
    EXPECT_EQ(calls[2].path, "/org/freedesktop/ScreenSaver");
    EXPECT_FALSE(calls[2].arguments.value(0).toString().isEmpty()) << "the application's name";
    EXPECT_EQ(calls[2].arguments.value(1).toString(), QString::fromLatin1(kReason));
    EXPECT_EQ(IOPMAssertionRelease(assertion), kIOReturnSuccess);
    ASSERT_TRUE(eventually([&] { return desktop().calls().size() == 4; }));
    EXPECT_EQ(desktop().calls()[3].member, "UnInhibit");
    EXPECT_EQ(desktop().calls()[3].arguments.value(0).toUInt(), 7u);

    // Only the GNOME session left.
    withdraw("org.freedesktop.ScreenSaver");
    ASSERT_EQ(IOPMAssertionCreateWithName(kIOPMAssertionTypePreventUserIdleDisplaySleep,
                                          kIOPMAssertionLevelOn, kReason, &assertion),
              kIOReturnSuccess);
    calls = desktop().calls();
    ASSERT_EQ(calls.size(), 5u);
    EXPECT_EQ(calls[4].path, "/org/gnome/SessionManager");
    EXPECT_EQ(calls[4].arguments.value(2).toString(), QString::fromLatin1(kReason));
    EXPECT_EQ(calls[4].arguments.value(3).toUInt(), 8u) << "the idle flag";
    EXPECT_EQ(IOPMAssertionRelease(assertion), kIOReturnSuccess);
    ASSERT_TRUE(eventually([&] { return desktop().calls().size() == 6; }));
    EXPECT_EQ(desktop().calls()[5].member, "Uninhibit");
    EXPECT_EQ(desktop().calls()[5].arguments.value(0).toUInt(), 8u);
    EXPECT_EQ(service_->heldAssertionCount(), 0u);
}

TEST_F(DesktopPowerAssertionServiceTest, PlayingNeverWaitsForTheDesktopAndALateAnswerIsUndone) {
    PowerAssertionService::ScopedOverride override(service_);
    offer("org.freedesktop.ScreenSaver");
    desktop().holdReplies();
    {
        quillon::IdleSleepManager manager;
        manager.preventIdleSleep(kReason);
        // The request is out and unanswered, and the player has gone on.
        ASSERT_TRUE(eventually([&] { return desktop().calls().size() == 1; }));
        EXPECT_FALSE(manager.powerManagementAssertionID());
        manager.allowIdleSleep();
        manager.preventIdleSleep(kReason);
        manager.allowIdleSleep();
        desktop().sendHeldReplies();
        // The answer came after the player paused: taken back at once.
        ASSERT_TRUE(eventually([&] { return desktop().calls().size() == 2; }));
        EXPECT_EQ(members(), (std::vector<std::string>{"Inhibit", "UnInhibit"}));
        EXPECT_FALSE(manager.powerManagementAssertionID());

        manager.preventIdleSleep(kReason);
        ASSERT_TRUE(eventually([&] { return manager.powerManagementAssertionID().has_value(); }));
        EXPECT_EQ(service_->heldAssertionCount(), 1u);
    }
    ASSERT_TRUE(eventually([&] { return desktop().calls().size() == 4; }))
        << "going away takes the inhibition back";
    EXPECT_EQ(service_->heldAssertionCount(), 0u);
}

TEST_F(DesktopPowerAssertionServiceTest, WithNobodyToAskThereIsNoAssertionAndTheFailureIsLogged) {
    const auto noBus = std::make_shared<DesktopPowerAssertionService>(std::nullopt);
    for (const auto& service : {service_, noBus}) {
        PowerAssertionService::ScopedOverride override(service);
        ScopedLogCapture log;
        quillon::IdleSleepManager manager;
        manager.preventIdleSleep(kReason);
        ASSERT_TRUE(eventually([&] {
            return log.contains(
                "Failed to create power management assertion to prevent idle sleep: "
                "-536870160.");
        }));
        EXPECT_FALSE(manager.powerManagementAssertionID());
        EXPECT_EQ(service->heldAssertionCount(), 0u);

        // Tried again at the next play, and why it fails is said once.
        manager.preventIdleSleep(kReason);
        ASSERT_TRUE(eventually([&] { return log.lines().size() == 3; }));
        int explanations = 0;
        for (const std::string& line : log.lines()) {
            explanations += line.rfind("The display cannot be kept awake while playing: ", 0) == 0;
        }
        EXPECT_EQ(explanations, 1);
        // The explanation is the user's line; the code after it says nothing more.
        EXPECT_EQ(log.levelOf("The display cannot be kept awake while playing: "),
                  LogLevel::warning);
        EXPECT_EQ(log.levelOf("Failed to create power management assertion"), LogLevel::debug);
    }
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
    IOReturn status = kIOReturnSuccess;
    IOPMAssertionCreateWithNameAsynchronously(
        "NoIdleSleepAssertion", kIOPMAssertionLevelOn, "x",
        [&](IOReturn answer, IOPMAssertionID) { status = answer; });
    EXPECT_EQ(status, kIOReturnBadArgument) << "answered before it returns";
}

}  // namespace
