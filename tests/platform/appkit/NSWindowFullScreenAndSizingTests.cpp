#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

bool pumpUntil(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class ButtonViewController : public NSViewController {
public:
    void loadView() override {
        auto view = std::make_unique<QWidget>();
        button = new QPushButton("Button", view.get());
        setView(std::move(view));
    }
    QPushButton* button = nullptr;
};

class FullScreenRecorder {
public:
    explicit FullScreenRecorder(NSWindow& window) {
        for (const char* name :
             {NSWindowWillEnterFullScreenNotification, NSWindowDidEnterFullScreenNotification,
              NSWindowWillExitFullScreenNotification, NSWindowDidExitFullScreenNotification}) {
            tokens_.push_back(NotificationCenter::defaultCenter().addObserver(
                name, &window, [this, name, &window](const Notification&) {
                    // What the window says of itself when each notification arrives.
                    const std::string full(name);
                    const std::string event = full.substr(8, full.size() - 8 - 12);
                    events.push_back(event + (window.isInFullScreen() ? " in" : " out"));
                }));
        }
    }
    std::vector<std::string> events;

private:
    std::vector<ObserverToken> tokens_;
};

TEST(NSWindowFullScreen, NotificationsFollowTheWindowStateWhoeverChangesIt) {
    NSWindow window({{0, 0}, {320, 180}}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable);
    window.show();
    FullScreenRecorder recorder(window);

    // The window system answers each request later; its answers change nothing more.
    window.toggleFullScreen();
    EXPECT_TRUE(window.isInFullScreen());
    EXPECT_TRUE(window.windowState() & Qt::WindowFullScreen);
    QApplication::processEvents();
    window.toggleFullScreen();
    EXPECT_FALSE(window.isInFullScreen());
    QApplication::processEvents();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{
                                  "WillEnterFullScreen out", "DidEnterFullScreen in",
                                  "WillExitFullScreen in", "DidExitFullScreen out"}));

    // The window system changes the state on its own (a window manager's key binding).
    recorder.events.clear();
    window.windowHandle()->setWindowStates(Qt::WindowFullScreen);
    ASSERT_TRUE(pumpUntil([&] { return window.isInFullScreen(); }));
    window.windowHandle()->setWindowStates(Qt::WindowNoState);
    ASSERT_TRUE(pumpUntil([&] { return !window.isInFullScreen(); }));
    EXPECT_EQ(recorder.events, (std::vector<std::string>{
                                  "WillEnterFullScreen out", "DidEnterFullScreen in",
                                  "WillExitFullScreen in", "DidExitFullScreen out"}));
}

TEST(NSWindowFullScreen, EscapeLeavesFullScreenAndOtherwiseGoesOn) {
    NSWindow window({{0, 0}, {320, 180}}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable);
    window.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&window, &escape);
    EXPECT_FALSE(window.isInFullScreen());
    EXPECT_FALSE(escape.isAccepted());

    window.toggleFullScreen();
    QKeyEvent shiftEscape(QEvent::KeyPress, Qt::Key_Escape, Qt::ShiftModifier);
    QApplication::sendEvent(&window, &shiftEscape);
    EXPECT_TRUE(window.isInFullScreen());
    QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&window, &again);
    EXPECT_FALSE(window.isInFullScreen());
}

class MenuBarTest : public ::testing::Test {
protected:
    MenuBarTest() : application_(*qApp) {
        std::vector<std::unique_ptr<QMenu>> menus;
        menus.push_back(std::make_unique<QMenu>("&File"));
        menus.back()->addAction("Quit");
        menus.push_back(std::make_unique<QMenu>("&View"));
        application_.setMainMenu(std::move(menus));
    }

    NSApplication application_;
};

TEST_F(MenuBarTest, TheFrameCountsTheMenuBarFromTheStartAndFullScreenHidesIt) {
    NSWindow window({{0, 0}, {320, 180}}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable);
    // Before the window is ever shown, so that its first size is already right.
    ASSERT_NE(window.menuWidget(), nullptr);
    const int menuBarHeight = window.menuWidget()->sizeHint().height();
    EXPECT_GT(menuBarHeight, 0);
    EXPECT_EQ(window.chromeHeight(320), menuBarHeight);
    EXPECT_EQ(window.frameRectForContentRect({{10, 50}, {320, 180}}),
              (CGRect{{10, 50.0 - menuBarHeight}, {320, 180.0 + menuBarHeight}}));
    EXPECT_EQ(window.contentRectForFrameRect({{0, 0}, {320, 180.0 + menuBarHeight}}).size,
              (CGSize{320, 180}));

    window.show();
    window.toggleFullScreen();
    EXPECT_FALSE(window.menuWidget()->isVisible());
    // In full screen the content is all there is.
    EXPECT_EQ(window.chromeHeight(320), 0);
    window.toggleFullScreen();
    EXPECT_TRUE(window.menuWidget()->isVisible());

    // Windows without a title bar get no menu bar.
    NSWindow borderless({{0, 0}, {100, 100}}, NSWindowStyleMaskBorderless);
    EXPECT_EQ(borderless.menuWidget(), nullptr);
}

TEST(NSWindowSizing, AResizeThatBreaksTheAspectRatioIsPutRight) {
    NSWindow window({{0, 0}, {320, 180}}, NSWindowStyleMaskTitled | NSWindowStyleMaskResizable);
    window.setContentAspectRatio({16, 9});
    EXPECT_EQ(window.aspectRatioKeepingFrameSize({640, 100}), (CGSize{640, 360}));
    window.show();
    window.resize(480, 400);
    ASSERT_TRUE(pumpUntil([&] { return window.size() == QSize(480, 270); }))
        << window.width() << "x" << window.height();

    // Without a ratio any size goes.
    window.setContentAspectRatio({0, 0});
    EXPECT_EQ(window.aspectRatioKeepingFrameSize({500, 100}), (CGSize{500, 100}));
}

TEST(NSWindowFocus, NoFirstResponderLeavesTheControlsUnfocusedOnceActivated) {
    auto content = std::make_shared<ButtonViewController>();
    NSWindow window({{0, 0}, {200, 100}}, NSWindowStyleMaskTitled);
    window.setContentViewController(content);
    content->button->setFocusPolicy(Qt::StrongFocus);
    window.makeFirstResponder(nullptr);
    window.show();
    // The offscreen platform activates nothing by itself.
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(pumpUntil([&] { return QApplication::activeWindow() == &window; }));
    EXPECT_FALSE(content->button->hasFocus());
    // The keyboard still reaches the controls in turn.
    window.makeFirstResponder(content->button);
    EXPECT_TRUE(content->button->hasFocus());
}

}  // namespace
}  // namespace platform
