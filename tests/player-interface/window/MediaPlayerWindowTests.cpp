#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <memory>

#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "player-interface/window/MediaPlayerWindow.h"
#include "player-interface/window/MediaPlayerWindowControllerTitlebar.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using platform::CGRect;
using platform::CGSize;

class MediaPlayerWindowTest : public ::testing::Test {
protected:
    MediaPlayerWindowTest() {
        for (const char* name : {platform::NSWindowWillEnterFullScreenNotification,
                                 platform::NSWindowWillExitFullScreenNotification}) {
            observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                name, window.get(), [this](const platform::Notification&) { ++toggles; }));
        }
    }

    // Delivers the key as the application would: the shortcut check first, then the press.
    bool press(Qt::KeyboardModifiers modifiers, int key = Qt::Key_F) {
        QKeyEvent shortcutOverride(QEvent::ShortcutOverride, key, modifiers, "f");
        shortcutOverride.ignore();
        QApplication::sendEvent(window.get(), &shortcutOverride);
        QKeyEvent keyPress(QEvent::KeyPress, key, modifiers, "f");
        QApplication::sendEvent(window.get(), &keyPress);
        return shortcutOverride.isAccepted();
    }

    std::unique_ptr<MediaPlayerWindow> window = std::make_unique<MediaPlayerWindow>(
        CGRect{{0, 0}, {320, 180}},
        platform::NSWindowStyleMaskTitled | platform::NSWindowStyleMaskResizable);
    int toggles = 0;

private:
    std::vector<platform::ObserverToken> observations_;
};

TEST_F(MediaPlayerWindowTest, ControlFAloneTogglesFullScreenAndOtherModifiersDoNot) {
    EXPECT_TRUE(press(Qt::ControlModifier));
    EXPECT_EQ(toggles, 1);
    EXPECT_TRUE(window->isInFullScreen());

    // Shift, Alt (the other "command" of some layouts), Meta or no modifier: not ours, and a
    // menu shortcut on those keys may take them.
    for (const Qt::KeyboardModifiers modifiers :
         {Qt::KeyboardModifiers(Qt::ControlModifier | Qt::ShiftModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier),
          Qt::KeyboardModifiers(Qt::ControlModifier | Qt::MetaModifier),
          Qt::KeyboardModifiers(Qt::NoModifier)}) {
        EXPECT_FALSE(press(modifiers)) << modifiers.toInt();
    }
    EXPECT_FALSE(press(Qt::ControlModifier, Qt::Key_G));
    EXPECT_EQ(toggles, 1);

    EXPECT_TRUE(press(Qt::ControlModifier));
    EXPECT_EQ(toggles, 2);
    EXPECT_FALSE(window->isInFullScreen());
}

// A window bar of 20 points above the content, as a toolbar adds.
CGRect contentOf(const CGRect& frame) {
    return {{frame.origin.x, frame.origin.y + 20}, {frame.size.width, frame.size.height - 20}};
}
CGRect frameOf(const CGRect& content) {
    return {{content.origin.x, content.origin.y - 20},
            {content.size.width, content.size.height + 20}};
}

TEST(MediaPlayerWindowAspectRatioTest, KeepsTheContentWidthAndRoundsTheHeightHalvesAway) {
    // 1000 × 9 / 16 = 562.5 → 563, plus the bar.
    const CGSize size = MediaPlayerWindow::aspectRatioKeepingFrameSize(
        CGSize{1000, 400}, CGSize{16, 9}, contentOf, frameOf);
    EXPECT_EQ(size.width, 1000);
    EXPECT_EQ(size.height, 583);

    // 301 × 3 / 4 = 225.75 → 226 and 302 × 3 / 4 = 226.5 → 227.
    EXPECT_EQ(MediaPlayerWindow::aspectRatioKeepingFrameSize(CGSize{301, 50}, CGSize{4, 3},
                                                             contentOf, frameOf)
                  .height,
              246);
    EXPECT_EQ(MediaPlayerWindow::aspectRatioKeepingFrameSize(CGSize{302, 900}, CGSize{4, 3},
                                                             contentOf, frameOf)
                  .height,
              247);
}

TEST_F(MediaPlayerWindowTest, LiveResizeKeepsTheAspectRatioOnlyWhereTheSystemAsksForIt) {
    window->setContentAspectRatio(CGSize{16, 9});
    const CGSize proposed{800, 200};

    // Here (and from 11 on) the window server does not ask: the size stays as proposed.
    EXPECT_EQ(window->validSize(proposed, false, false), proposed);

    platform::ProcessInfo::System before11;
    before11.operatingSystem = platform::OperatingSystem::macOS;
    before11.version = {10, 15, 7};
    platform::ProcessInfo::ScopedOverride system(before11);
    ASSERT_FALSE(window->isMainWindow());
    EXPECT_EQ(window->validSize(proposed, false, false), (CGSize{800, 450}));
    EXPECT_EQ(window->validSize(proposed, true, false), proposed);  // for full screen

    window->setContentAspectRatio(CGSize{0, 9});
    EXPECT_EQ(window->validSize(proposed, false, true), proposed);
}

TEST_F(MediaPlayerWindowTest, TitlebarPrivateInterfacesReportTheirAbsenceAndChangeNothing) {
    MediaPlayerWindowControllerTitlebar titlebar;
    {
        platform::ScopedLogCapture log;
        EXPECT_EQ(titlebar.titlebarContainerView(*window), nullptr);
        EXPECT_EQ(titlebar.titlebarVisualEffectView(*window), nullptr);
        titlebar.setTitlebarAlphaValue(*window, 0.0, true);
        EXPECT_TRUE(log.contains("Failed to find the titlebar’s container view."));
        EXPECT_TRUE(log.contains("Failed to find the titlebar’s visual effect view."));
        EXPECT_TRUE(log.contains("Failed to use private API"));
        EXPECT_TRUE(log.contains("setTitlebarAlphaValue:"));
        // What the window system has no counterpart of is no trouble: for the full log only.
        for (const char* line :
             {"Failed to find the titlebar’s container view.",
              "Failed to find the titlebar’s visual effect view.", "Failed to use private API"}) {
            EXPECT_EQ(log.levelOf(line), platform::LogLevel::debug) << line;
        }
    }

    // Where the window has the call, it gets the alpha and the animation flag.
    std::vector<std::pair<double, bool>> calls;
    platform::DynamicSymbols::ScopedSymbol symbol(
        "setTitlebarAlphaValue:", std::function<void(platform::NSWindow&, double, bool)>(
                                      [&](platform::NSWindow& target, double alpha, bool animated) {
                                          EXPECT_EQ(&target, window.get());
                                          calls.emplace_back(alpha, animated);
                                      }));
    platform::ScopedLogCapture log;
    titlebar.setTitlebarAlphaValue(*window, 0.5, false);
    EXPECT_EQ(calls, (std::vector<std::pair<double, bool>>{{0.5, false}}));
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace quillon
