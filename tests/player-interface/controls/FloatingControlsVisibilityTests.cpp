#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>
#include <vector>

#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSViewGeometryNotifications.h"
#include "platform/appkit/NSWindow.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "player-interface/controls/MediaPlayerFloatingControlsVisibilityController.h"
#include "player-interface/views/VideoPlayerView.h"
#include "support/ManualClock.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using Controller = MediaPlayerFloatingControlsVisibilityController;
using platform::alphaValue;
using platform::NSCursor;

class FakeControls final : public Controller::Controls {
public:
    bool isUserInteracting() const override { return interacting; }
    void setUserInteractivityDelegate(
        std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> d) override {
        delegate = std::move(d);
    }
    bool interacting = false;
    std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> delegate;
};

class FakeWindowController final : public MediaPlayerFloatingControlsVisibilityControllerDelegate {
public:
    explicit FakeWindowController(platform::NSWindow* window) : window_(window) {}
    platform::NSWindow* window() override { return window_; }
    QWidget* windowTitlebarContainerView() const override { return titlebar; }
    void showTitlebar(bool animated) override { calls.push_back(animated ? "show" : "show now"); }
    void hideTitlebar(bool animated) override { calls.push_back(animated ? "hide" : "hide now"); }

    QWidget* titlebar = nullptr;
    std::vector<std::string> calls;

private:
    platform::NSWindow* window_;
};

class ControlsSizedWidget final : public QWidget {
public:
    QSize sizeHint() const override { return {300, 50}; }
};

// A player of 800×500 in a window, its panel near the bottom; the pointer starts away from it.
class FloatingControlsTest : public ::testing::Test {
protected:
    FloatingControlsTest() {
        window.setCentralWidget(view);
        window.show();
        QCoreApplication::processEvents();
        putPointer(offPanel);
        controller = Controller::make(view, view->floatingControlsView(), controls);
        controller->setDelegate(windowController);
    }
    ~FloatingControlsTest() override {
        controller->stop();
        NSCursor::setHiddenUntilMouseMoves(false);
    }

    QPoint panelCenter() const {
        QWidget* panel = view->floatingControlsView();
        return panel->mapTo(view, panel->rect().center());
    }
    QPoint inWindow(QPoint inView) const { return view->mapTo(&window, inView); }
    // Moves the real pointer, as the user would.
    void putPointer(QPoint inView) {
        QCursor::setPos(view->mapToGlobal(inView));
        QCoreApplication::processEvents();
    }
    double panelAlpha() const { return alphaValue(view->floatingControlsView()); }
    bool isShown() const {
        return panelAlpha() == 1.0 && !controller->shouldHideCursor() &&
               !NSCursor::isHiddenUntilMouseMoves();
    }
    bool isHidden() const {
        return panelAlpha() == 0.0 && controller->shouldHideCursor() &&
               NSCursor::isHiddenUntilMouseMoves();
    }

    std::shared_ptr<platform::ManualClock> clock = platform::ManualClock::make();
    std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<platform::AVSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<SubtitlesView> primary = SubtitlesView::make(
        true, MediaPlayerTimeObserverManager(synchronizer, platform::kCMTimeZero));
    std::shared_ptr<SubtitlesView> secondary = SubtitlesView::make(
        false, MediaPlayerTimeObserverManager(synchronizer, platform::kCMTimeZero));
    ControlsSizedWidget controlsView;
    platform::NSWindow window{
        {100, 100, 800, 500},
        platform::NSWindowStyleMaskTitled | platform::NSWindowStyleMaskClosable |
            platform::NSWindowStyleMaskMiniaturizable | platform::NSWindowStyleMaskResizable};
    VideoPlayerView* view =
        new VideoPlayerView(std::make_shared<platform::AVSampleBufferDisplayLayer>(), primary,
                            secondary, &controlsView);
    const QPoint offPanel{100, 100};
    std::shared_ptr<FakeControls> controls = std::make_shared<FakeControls>();
    std::shared_ptr<FakeWindowController> windowController =
        std::make_shared<FakeWindowController>(&window);
    std::shared_ptr<Controller> controller;
};

TEST_F(FloatingControlsTest, MouseRestingOnThePanelRunsNoTimerAndMovingOffStartsAFreshOne) {
    ASSERT_FALSE(view->floatingControlsView()->rect().contains(
        view->floatingControlsView()->mapFrom(view, offPanel)));
    EXPECT_EQ(controls->delegate.lock(), controller);

    controller->mouseMoved(inWindow(panelCenter()));
    EXPECT_TRUE(isShown());
    EXPECT_EQ(controller->timer(), nullptr);

    controller->mouseMoved(inWindow(offPanel));
    const auto first = controller->timer();
    ASSERT_NE(first, nullptr);
    EXPECT_DOUBLE_EQ(first->timeInterval(), 2.0);
    EXPECT_FALSE(first->repeats());
    EXPECT_TRUE(first->isScheduled());

    // A pending timer restarts without showing again.
    controller->mouseMoved(inWindow(offPanel + QPoint(5, 0)));
    ASSERT_NE(controller->timer(), nullptr);
    EXPECT_NE(controller->timer(), first);
    EXPECT_FALSE(first->isValid());
    EXPECT_EQ(windowController->calls, (std::vector<std::string>{"show", "show"}));

    controller->mouseMoved(inWindow(panelCenter()));
    EXPECT_EQ(controller->timer(), nullptr);
    EXPECT_TRUE(isShown());
}

TEST_F(FloatingControlsTest, TheTimerHidesControlsTitleBarAndPointerUntilTheMouseMoves) {
    controller->updateTrackingArea();
    controller->mouseEntered(inWindow(offPanel));
    ASSERT_NE(controller->timer(), nullptr);

    // No title bar of our own (the window manager draws it): nothing keeps the controls up.
    controller->timer()->fire();
    EXPECT_TRUE(isHidden());
    EXPECT_EQ(controller->timer(), nullptr);
    EXPECT_EQ(windowController->calls.back(), "hide");

    // The next movement brings back both, with a fresh timer.
    putPointer(offPanel + QPoint(10, 0));
    EXPECT_TRUE(isShown());
    EXPECT_EQ(windowController->calls.back(), "show");
    EXPECT_NE(controller->timer(), nullptr);
}

TEST_F(FloatingControlsTest, TheTitleBarKeepsControlsUpInAWindowButNotInFullScreen) {
    QWidget titlebar(&window);
    titlebar.setGeometry(0, 0, 800, 28);
    windowController->titlebar = &titlebar;

    putPointer(view->mapFrom(&window, QPoint(400, 10)));
    EXPECT_FALSE(controller->shouldHideControls());
    controller->scheduleHideTimer(offPanel);
    controller->timer()->fire();
    EXPECT_TRUE(isShown());
    EXPECT_EQ(controller->timer(), nullptr);

    putPointer(offPanel);
    EXPECT_TRUE(controller->shouldHideControls());

    window.toggleFullScreen();
    QCoreApplication::processEvents();
    putPointer(view->mapFrom(&window, QPoint(400, 10)));
    controller->scheduleHideTimer(offPanel);
    controller->timer()->fire();
    EXPECT_TRUE(isHidden());
}

TEST_F(FloatingControlsTest, AMiniaturizedOrWindowlessPlayerHidesAndSchedulesNothing) {
    window.showMinimized();
    ASSERT_TRUE(window.isMiniaturized());
    EXPECT_TRUE(controller->shouldHideControls());
    controller->scheduleHideTimerAtMouseLocation();
    EXPECT_EQ(controller->timer(), nullptr);
    controller->userInteractionDidEnd();
    EXPECT_EQ(controller->timer(), nullptr);

    QWidget loose;
    QWidget* panel = new QWidget(&loose);
    panel->setGeometry(0, 0, 10, 10);
    auto windowless = Controller::make(&loose, panel, std::make_shared<FakeControls>());
    EXPECT_TRUE(windowless->shouldHideControls());
    windowless->scheduleHideTimerAtMouseLocation();
    EXPECT_EQ(windowless->timer(), nullptr);
}

TEST_F(FloatingControlsTest, WhileTheUserWorksTheControlsNothingChanges) {
    controller->mouseMoved(inWindow(offPanel));
    ASSERT_NE(controller->timer(), nullptr);

    controls->interacting = true;
    controller->userInteractionDidBegin();
    EXPECT_EQ(controller->timer(), nullptr);
    EXPECT_TRUE(isShown());
    const auto calls = windowController->calls;

    controller->mouseEntered(inWindow(offPanel));
    controller->mouseMoved(inWindow(offPanel));
    controller->mouseExited(inWindow({-5, -5}));
    EXPECT_EQ(controller->timer(), nullptr);
    EXPECT_TRUE(isShown());
    EXPECT_EQ(windowController->calls, calls);

    // The end schedules from wherever the pointer is.
    controls->interacting = false;
    putPointer(panelCenter());
    controller->userInteractionDidEnd();
    EXPECT_EQ(controller->timer(), nullptr);
    putPointer(offPanel);
    controller->userInteractionDidEnd();
    ASSERT_NE(controller->timer(), nullptr);
    EXPECT_DOUBLE_EQ(controller->timer()->timeInterval(), Controller::hideDelay);
}

TEST_F(FloatingControlsTest, TheTrackingAreaFollowsThePlayersGeometryOnlyOnceInstalled) {
    window.resize(700, 450);
    QCoreApplication::processEvents();
    EXPECT_EQ(controller->trackingArea(), nullptr);
    EXPECT_TRUE(platform::trackingAreas(view).empty());

    controller->updateTrackingArea();
    auto area = controller->trackingArea();
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->rect(), view->rect());
    EXPECT_EQ(static_cast<unsigned>(area->options()), 0x83u);

    window.resize(900, 520);
    QCoreApplication::processEvents();
    ASSERT_EQ(platform::trackingAreas(view).size(), 1u);
    EXPECT_NE(controller->trackingArea(), area);
    EXPECT_EQ(controller->trackingArea()->rect(), view->rect());
    EXPECT_EQ(area->view(), nullptr);

    area = controller->trackingArea();
    platform::NotificationCenter::defaultCenter().post(platform::NSViewBoundsDidChangeNotification,
                                                       static_cast<const QWidget*>(view));
    EXPECT_NE(controller->trackingArea(), area);
    EXPECT_EQ(platform::trackingAreas(view).size(), 1u);

    controller->mouseMoved(inWindow(offPanel));
    controller->stop();
    EXPECT_EQ(controller->trackingArea(), nullptr);
    EXPECT_EQ(controller->timer(), nullptr);
    window.resize(800, 500);
    QCoreApplication::processEvents();
    EXPECT_TRUE(platform::trackingAreas(view).empty());
}

TEST_F(FloatingControlsTest, PointerEventsOverThePlayerDriveTheControls) {
    controller->updateTrackingArea();
    auto send = [&](QEvent::Type type, QPoint inView) {
        const QPoint local = inWindow(inView);
        QMouseEvent event(type, local, window.mapToGlobal(local), Qt::NoButton, Qt::NoButton,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &event);
    };
    controller->mouseExited(inWindow(offPanel));
    ASSERT_TRUE(isHidden());

    // Over a child of the player (the panel) the area still counts as one.
    send(QEvent::MouseMove, panelCenter());
    EXPECT_TRUE(isShown());
    EXPECT_EQ(controller->timer(), nullptr);
    send(QEvent::MouseMove, offPanel);
    EXPECT_NE(controller->timer(), nullptr);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(window.windowHandle(), &leave);
    EXPECT_TRUE(isHidden());
    EXPECT_EQ(controller->timer(), nullptr);
}

TEST_F(FloatingControlsTest, APendingTimerKeepsNoReleasedControllerAlive) {
    controller->mouseMoved(inWindow(offPanel));
    const auto timer = controller->timer();
    std::weak_ptr<Controller> weak = controller;
    controller.reset();
    EXPECT_TRUE(weak.expired());
    EXPECT_FALSE(timer->isValid());
    timer->fire();  // nobody left to call
    controller = Controller::make(view, view->floatingControlsView(), controls);
}

}  // namespace
}  // namespace quillon
