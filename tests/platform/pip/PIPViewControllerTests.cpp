#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSViewController.h"
#include "platform/pip/PIPViewController.h"
#include "support/EventPumping.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

using quillon::test::pumpUntil;

class RecordingDelegate : public PIPViewControllerDelegate {
public:
    void pipActionPlay(PIPViewController&) override { events.push_back("play"); }
    void pipActionPause(PIPViewController&) override { events.push_back("pause"); }
    void pipActionStop(PIPViewController&) override { events.push_back("stop"); }
    void pipActionReturn(PIPViewController&) override { events.push_back("return"); }
    void pipWillClose(PIPViewController&) override { events.push_back("willClose"); }
    void pipDidClose(PIPViewController& controller) override {
        events.push_back("didClose");
        if (onDidClose) {
            onDidClose(controller);
        }
    }

    std::vector<std::string> events;
    std::function<void(PIPViewController&)> onDidClose;
};

// The window's geometry as of its last move or resize.
class GeometryRecorder : public QObject {
public:
    explicit GeometryRecorder(QWidget* widget) { widget->installEventFilter(this); }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Move || event->type() == QEvent::Resize) {
            last = static_cast<QWidget*>(watched)->geometry();
        }
        return false;
    }
    QRect last;
};

class PIPViewControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        pip->setDelegate(delegate);
        pip->setUseAutoLayout(true);
    }
    void TearDown() override { QCoreApplication::processEvents(); }

    bool closed() const {
        return !delegate->events.empty() && delegate->events.back() == "didClose";
    }

    std::shared_ptr<RecordingDelegate> delegate = std::make_shared<RecordingDelegate>();
    std::shared_ptr<PIPViewController> pip = std::make_shared<PIPViewController>();
    std::shared_ptr<NSViewController> presented = std::make_shared<NSViewController>();
};

TEST(PictureInPictureWindowFrameTest, FitsTheShapeIntoTheBottomRightCorner) {
    const QRect screen(0, 0, 1920, 1080);
    // A quarter of the width, at most 480 wide.
    EXPECT_EQ(pictureInPictureWindowFrame(screen, {1920, 1080}), QRect(1424, 794, 480, 270));
    // An unknown shape is shown as 16:9.
    EXPECT_EQ(pictureInPictureWindowFrame(screen, CGSizeZero), QRect(1424, 794, 480, 270));
    // A tall picture is bounded by half the screen's height.
    EXPECT_EQ(pictureInPictureWindowFrame(screen, {1080, 1920}), QRect(1600, 524, 304, 540));
    // A small screen still gets the smallest width.
    EXPECT_EQ(pictureInPictureWindowFrame(QRect(100, 50, 800, 600), {4, 3}).size(),
              QSize(240, 180));
}

TEST_F(PIPViewControllerTest, PresentsTheViewInAFloatingWindowAndDismissalGivesItBack) {
    QWidget* view = presented->view();
    pip->setAspectRatio({640, 480});
    pip->presentViewControllerAsPictureInPicture(presented);

    PIPWindow* window = pip->pictureInPictureWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window->isAncestorOf(view));
    EXPECT_EQ(window->width() * 3, window->height() * 4);
    EXPECT_TRUE(PIPViewController::isPresenting(*presented));

    // A new shape reshapes the open window.
    pip->setAspectRatio({1920, 1080});
    EXPECT_EQ(window->width() * 9, window->height() * 16);

    pip->dismissViewController(presented);
    // No longer presented from the moment closing starts; closing ends from the event loop.
    EXPECT_FALSE(PIPViewController::isPresenting(*presented));
    EXPECT_TRUE(delegate->events.empty());
    ASSERT_TRUE(pumpUntil([&] { return closed(); }));
    EXPECT_EQ(delegate->events, std::vector<std::string>{"didClose"});
    EXPECT_EQ(pip->pictureInPictureWindow(), nullptr);
    // The view survived the window and belongs to its controller again.
    EXPECT_EQ(presented->view(), view);
    EXPECT_EQ(view->parentWidget(), nullptr);

    // Dismissing what is not presented does nothing.
    pip->dismissViewController(presented);
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate->events.size(), 1u);
}

TEST_F(PIPViewControllerTest, ControlsReportToTheDelegateAndCloseTheWindow) {
    pip->presentViewControllerAsPictureInPicture(presented);
    PIPWindow* window = pip->pictureInPictureWindow();
    ASSERT_NE(window, nullptr);

    window->playPauseButton()->click();
    pip->setPlaying(true);
    window->playPauseButton()->click();
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"play", "pause"}));

    delegate->events.clear();
    window->returnButton()->click();
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"return", "willClose"}));
    // A second press while closing changes nothing.
    window->closeButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return closed(); }));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"return", "willClose", "didClose"}));

    delegate->events.clear();
    pip->presentViewControllerAsPictureInPicture(presented);
    pip->pictureInPictureWindow()->closeButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return closed(); }));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"willClose", "didClose"}));

    // Closed from outside, as by the window manager: the same, and the close is not refused.
    delegate->events.clear();
    pip->presentViewControllerAsPictureInPicture(presented);
    EXPECT_TRUE(pip->pictureInPictureWindow()->close());
    ASSERT_TRUE(pumpUntil([&] { return closed(); }));
    EXPECT_EQ(delegate->events, (std::vector<std::string>{"willClose", "didClose"}));
}

TEST_F(PIPViewControllerTest, TheWindowFliesBackToTheReplacementRectangle) {
    QWidget playerWindow;
    playerWindow.setGeometry(100, 100, 640, 360);
    playerWindow.show();
    pip->presentViewControllerAsPictureInPicture(presented);
    pip->setReplacementWindow(&playerWindow);
    pip->setReplacementRect(CGRectMake(10, 20, 320, 180));
    PIPWindow* window = pip->pictureInPictureWindow();
    GeometryRecorder recorder(window);

    window->closeButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return closed(); }));
    EXPECT_EQ(recorder.last, QRect(playerWindow.mapToGlobal(QPoint(10, 20)), QSize(320, 180)));
}

TEST_F(PIPViewControllerTest, FailedPresentationsChangeNothing) {
    {
        PIPViewController::ScopedPresentationFailure failure("No display");
        try {
            pip->presentViewControllerAsPictureInPicture(presented);
            FAIL() << "presentation did not fail";
        } catch (const PIPViewControllerException& exception) {
            EXPECT_EQ(exception.reason(), "No display");
        }
        EXPECT_EQ(pip->pictureInPictureWindow(), nullptr);
        EXPECT_FALSE(PIPViewController::isPresenting(*presented));
    }

    pip->presentViewControllerAsPictureInPicture(presented);
    // Neither a second presentation here nor the same controller in another window.
    EXPECT_THROW(pip->presentViewControllerAsPictureInPicture(std::make_shared<NSViewController>()),
                 PIPViewControllerException);
    PIPViewController other;
    EXPECT_THROW(other.presentViewControllerAsPictureInPicture(presented),
                 PIPViewControllerException);
    EXPECT_EQ(other.pictureInPictureWindow(), nullptr);
    EXPECT_TRUE(PIPViewController::isPresenting(*presented));
}

TEST_F(PIPViewControllerTest, GoingAwayWhilePresentingOrClosingKeepsTheViewAndCallsNobody) {
    QPointer<QWidget> view = presented->view();
    pip->presentViewControllerAsPictureInPicture(presented);
    pip->pictureInPictureWindow()->closeButton()->click();
    pip.reset();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(delegate->events, std::vector<std::string>{"willClose"});
    ASSERT_FALSE(view.isNull());
    EXPECT_EQ(view->parentWidget(), nullptr);
    EXPECT_FALSE(PIPViewController::isPresenting(*presented));
}

TEST_F(PIPViewControllerTest, TheOwnerMayDropTheControllerFromItsDidCloseCallback) {
    delegate->onDidClose = [&](PIPViewController&) { pip.reset(); };
    pip->presentViewControllerAsPictureInPicture(presented);
    pip->pictureInPictureWindow()->closeButton()->click();
    ASSERT_TRUE(pumpUntil([&] { return pip == nullptr; }));
    QCoreApplication::processEvents();
}

TEST(PIPViewControllerClassTest, CanBeMadeAbsent) {
    EXPECT_TRUE(PIPViewController::isClassPresent());
    {
        PIPViewController::ScopedClassAbsence absence;
        EXPECT_FALSE(PIPViewController::isClassPresent());
    }
    EXPECT_TRUE(PIPViewController::isClassPresent());
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST_F(PIPViewControllerTest, TheFloatingWindowResizesFromItsEdgesKeepingThePicturesShape) {
    pip->setAspectRatio({1920, 800});
    pip->presentViewControllerAsPictureInPicture(presented);
    PIPWindow* window = pip->pictureInPictureWindow();
    ASSERT_NE(window, nullptr);
    // The edges and corners resize; the picture itself moves the window.
    EXPECT_EQ(window->resizeEdgesAt({2, 2}), Qt::LeftEdge | Qt::TopEdge);
    EXPECT_EQ(window->resizeEdgesAt({window->width() - 1, window->height() / 2}), Qt::RightEdge);
    EXPECT_EQ(window->resizeEdgesAt({window->width() / 2, window->height() - 2}), Qt::BottomEdge);
    EXPECT_EQ(window->resizeEdgesAt({window->width() / 2, window->height() / 2}), Qt::Edges());

    // However the user (or the window manager) sizes it, the shape comes back.
    window->resize(480, 480);
    ASSERT_TRUE(pumpUntil([&] { return window->size() == QSize(480, 200); }))
        << window->width() << "x" << window->height();
    pip->dismissViewController(presented);
    EXPECT_TRUE(pumpUntil([&] { return closed(); }));
}

}  // namespace
}  // namespace platform
