#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

#include "player-interface/views/MediaPlayerView.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

// Counts the moves asked of the window system instead of asking it.
class MoveRecordingView final : public MediaPlayerView {
public:
    using MediaPlayerView::MediaPlayerView;

    int moveRequests = 0;

protected:
    bool startWindowMove() override {
        ++moveRequests;
        return true;
    }
};

// What reaches the parent of the picture: the events the view left to it.
class EventRecordingParent final : public QWidget {
public:
    int presses = 0;
    int releases = 0;
    int doubleClicks = 0;

protected:
    void mousePressEvent(QMouseEvent*) override { ++presses; }
    void mouseReleaseEvent(QMouseEvent*) override { ++releases; }
    void mouseDoubleClickEvent(QMouseEvent*) override { ++doubleClicks; }
};

class MediaPlayerViewWindowMoveTest : public ::testing::Test {
protected:
    MediaPlayerViewWindowMoveTest() {
        parent.resize(200, 200);
        view->setGeometry(0, 0, 200, 200);
    }

    bool send(QEvent::Type type, QPointF position, Qt::MouseButton button,
              Qt::MouseButtons buttons) {
        QMouseEvent event(type, position, view->mapToGlobal(position), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(view, &event);
        return event.isAccepted();
    }
    void press(QPointF at) { send(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton); }
    bool dragTo(QPointF at) { return send(QEvent::MouseMove, at, Qt::NoButton, Qt::LeftButton); }
    void release(QPointF at) { send(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton); }

    const int distance = QApplication::startDragDistance();
    EventRecordingParent parent;
    MoveRecordingView* view = new MoveRecordingView(platform::CGRectMake(0, 0, 200, 200), &parent);
};

TEST_F(MediaPlayerViewWindowMoveTest, DragBeyondTheDragDistanceMovesTheWindowOnce) {
    press({50, 50});
    EXPECT_FALSE(dragTo({50.0 + distance - 1, 50}));
    EXPECT_EQ(view->moveRequests, 0);
    EXPECT_TRUE(dragTo({50.0 + distance, 50}));
    EXPECT_EQ(view->moveRequests, 1);
    dragTo({50.0 + 3 * distance, 50});
    release({50.0 + 3 * distance, 50});
    EXPECT_EQ(view->moveRequests, 1);

    // Moving with no button down, or with another one, is no drag.
    send(QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, {50, 50}, Qt::RightButton, Qt::RightButton);
    send(QEvent::MouseMove, {150, 150}, Qt::NoButton, Qt::RightButton);
    EXPECT_EQ(view->moveRequests, 1);
}

TEST_F(MediaPlayerViewWindowMoveTest, ClicksAndDoubleClicksKeepTheirMeanings) {
    press({50, 50});
    dragTo({51, 50});
    release({51, 50});
    EXPECT_EQ(view->moveRequests, 0);
    EXPECT_EQ(parent.presses, 1);
    EXPECT_EQ(parent.releases, 1);

    send(QEvent::MouseButtonDblClick, {51, 50}, Qt::LeftButton, Qt::LeftButton);
    release({51, 50});
    EXPECT_EQ(view->moveRequests, 0);
    EXPECT_EQ(parent.doubleClicks + parent.presses, 2);
    EXPECT_EQ(parent.releases, 2);
}

TEST_F(MediaPlayerViewWindowMoveTest, FullScreenWindowsStayPut) {
    parent.setWindowState(Qt::WindowFullScreen);
    ASSERT_TRUE(parent.isFullScreen());
    press({50, 50});
    EXPECT_FALSE(dragTo({50.0 + 3 * distance, 50}));
    release({50.0 + 3 * distance, 50});
    EXPECT_EQ(view->moveRequests, 0);
}

}  // namespace
}  // namespace quillon
