#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/DesktopAccessibilityDisplayOptions.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/Log.h"
#include "support/EventPumping.h"
#include "support/FakePortalSettings.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

using quillon::test::FakePortalSettings;
using quillon::test::PortalSettingsBus;
using quillon::test::pumpUntil;
using State = DesktopAccessibilityDisplayOptions::State;

const QString kAppearance = QStringLiteral("org.freedesktop.appearance");
const QString kContrast = QStringLiteral("contrast");
const QString kGnome = QStringLiteral("org.gnome.desktop.a11y.interface");
const QString kHighContrast = QStringLiteral("high-contrast");

QVariant contrast(uint value) {
    return QVariant::fromValue(value);
}

// A portal of the test's own; the workspace's value as each change notification saw it.
class DesktopAccessibilityDisplayOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
#if defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "Qt's D-Bus threads cannot be checked by ThreadSanitizer";
#endif
        if (!bus_.isRunning()) {
            GTEST_SKIP() << "dbus-daemon is not installed";
        }
        observer_ = NSWorkspace::shared().notificationCenter().addObserver(
            NSWorkspaceAccessibilityDisplayOptionsDidChangeNotification, nullptr,
            [this](const Notification&) {
                posted_.push_back(
                    NSWorkspace::shared().accessibilityDisplayShouldIncreaseContrast());
            });
    }

    void TearDown() override {
        options_.reset();
        observer_.remove();
        NSWorkspace::shared().setAccessibilityDisplayShouldIncreaseContrast(false);
    }

    // Starts watching over the test's bus and waits for the first answers.
    DesktopAccessibilityDisplayOptions& watch() {
        options_ = std::make_unique<DesktopAccessibilityDisplayOptions>(bus_.client());
        EXPECT_TRUE(pumpUntil([&] { return options_->state() != State::reading; }));
        return *options_;
    }

    bool eventuallyIncreases(bool increase) {
        return pumpUntil([&] { return options_->shouldIncreaseContrast() == increase; });
    }

    FakePortalSettings portal_;
    PortalSettingsBus bus_{portal_};
    std::unique_ptr<DesktopAccessibilityDisplayOptions> options_;
    ObserverToken observer_;
    std::vector<bool> posted_;
};

TEST_F(DesktopAccessibilityDisplayOptionsTest, ThePortalsContrastTurnsItOnAndItsChangesFollow) {
    portal_.set(kAppearance, kContrast, contrast(1));
    portal_.set(kGnome, kHighContrast, false);
    ASSERT_TRUE(bus_.offer());
    EXPECT_EQ(watch().state(), State::watching);
    EXPECT_TRUE(NSWorkspace::shared().accessibilityDisplayShouldIncreaseContrast());
    bus_.change(kAppearance, kContrast, contrast(0));
    ASSERT_TRUE(eventuallyIncreases(false));
    bus_.change(kAppearance, kContrast, contrast(1));
    ASSERT_TRUE(eventuallyIncreases(true));
    // One notification per change, each seeing the new value.
    EXPECT_EQ(posted_, (std::vector<bool>{true, false, true}));
}

TEST_F(DesktopAccessibilityDisplayOptionsTest, WithoutThePortalsContrastGnomesSettingDecides) {
    // A portal from before ReadOne, which also lacks the appearance's contrast.
    portal_.setReadOne(false);
    portal_.set(kGnome, kHighContrast, true);
    ASSERT_TRUE(bus_.offer());
    EXPECT_EQ(watch().state(), State::watching);
    EXPECT_TRUE(options_->shouldIncreaseContrast());

    bus_.change(kGnome, kHighContrast, false);
    ASSERT_TRUE(eventuallyIncreases(false));
    // A portal that gains its own setting while running: that one decides from then on.
    bus_.change(kAppearance, kContrast, contrast(1));
    ASSERT_TRUE(eventuallyIncreases(true));
    EXPECT_EQ(posted_, (std::vector<bool>{true, false, true}));
}

TEST_F(DesktopAccessibilityDisplayOptionsTest, ThePortalsOwnSettingOutranksGnomes) {
    portal_.set(kAppearance, kContrast, contrast(0));
    portal_.set(kGnome, kHighContrast, true);
    ASSERT_TRUE(bus_.offer());
    EXPECT_FALSE(watch().shouldIncreaseContrast());
    EXPECT_TRUE(posted_.empty()) << "nothing changed";

    // A contrast of a type the portal does not use counts as missing.
    options_.reset();
    portal_.set(kAppearance, kContrast, QStringLiteral("1"));
    EXPECT_TRUE(watch().shouldIncreaseContrast());
}

TEST_F(DesktopAccessibilityDisplayOptionsTest, WithoutAPortalContrastStaysNormalAndOneLineSaysWhy) {
    ScopedLogCapture log;
    EXPECT_EQ(watch().state(), State::unavailable);
    EXPECT_FALSE(options_->shouldIncreaseContrast());
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].rfind("The desktop's contrast setting cannot be read (", 0), 0u)
        << log.lines()[0];

    // A portal that starts later is heard from when the setting changes.
    ASSERT_TRUE(bus_.offer());
    bus_.change(kAppearance, kContrast, contrast(1));
    ASSERT_TRUE(eventuallyIncreases(true));
    EXPECT_EQ(options_->state(), State::watching);
    options_.reset();

    // No bus at all.
    ScopedLogCapture noBusLog;
    NSWorkspace::shared().setAccessibilityDisplayShouldIncreaseContrast(false);
    const DesktopAccessibilityDisplayOptions noBus{QDBusConnection(QString())};
    EXPECT_EQ(noBus.state(), State::unavailable);
    EXPECT_FALSE(noBus.shouldIncreaseContrast());
    EXPECT_EQ(noBusLog.lines().size(), 1u);
}

}  // namespace
}  // namespace platform
