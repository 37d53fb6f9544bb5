#include <gtest/gtest.h>

#include <QCursor>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <memory>
#include <string>
#include <vector>

#include "platform/appkit/NSTrackingArea.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

class RecordingOwner : public NSTrackingAreaOwner {
public:
    void mouseEntered(QPoint location) override { record("entered", location); }
    void mouseExited(QPoint location) override { record("exited", location); }
    void mouseMoved(QPoint location) override { record("moved", location); }

    std::vector<std::string> events;
    std::vector<QPoint> locations;
    std::function<void()> onEvent;

private:
    void record(const char* what, QPoint location) {
        events.emplace_back(what);
        locations.push_back(location);
        if (onEvent) {
            onEvent();
        }
    }
};

// A window of 400×300 holding the tracked view at (100, 50), 200×100, with one child.
class TrackingAreaTest : public ::testing::Test {
protected:
    TrackingAreaTest() {
        window.resize(400, 300);
        view->setGeometry(100, 50, 200, 100);
        child->setGeometry(10, 10, 50, 50);
        window.show();
    }

    // The window system's report of the pointer at `location` in the window.
    void pointerAt(QPoint location, Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent event(QEvent::MouseMove, location, window.mapToGlobal(location), Qt::NoButton,
                          buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(window.windowHandle(), &event);
    }

    std::shared_ptr<NSTrackingArea> install(NSTrackingAreaOptions options) {
        auto area = std::make_shared<NSTrackingArea>(view->rect(), options, owner);
        addTrackingArea(view, area);
        return area;
    }

    QWidget window;
    QWidget* view = new QWidget(&window);
    QWidget* child = new QWidget(view);
    std::shared_ptr<RecordingOwner> owner = std::make_shared<RecordingOwner>();
    const NSTrackingAreaOptions all =
        NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved | NSTrackingActiveAlways;
};

TEST_F(TrackingAreaTest, ReportsTheAreaAsAWholeWhateverChildIsUnderThePointer) {
    auto area = install(all);
    EXPECT_EQ(trackingAreas(view), std::vector{area});
    QWidget* late = new QWidget(view);
    late->setGeometry(100, 10, 50, 50);
    late->show();

    pointerAt({5, 5});
    pointerAt({120, 70});   // onto the child
    pointerAt({125, 70});   // still on the child
    pointerAt({220, 70});   // onto the child added after installation
    pointerAt({290, 140});  // the view's own corner
    pointerAt({300, 150});  // just outside
    pointerAt({350, 200});

    EXPECT_EQ(owner->events,
              (std::vector<std::string>{"entered", "moved", "moved", "moved", "exited"}));
    // Locations are the window's, not the child's.
    EXPECT_EQ(owner->locations.front(), QPoint(120, 70));
    EXPECT_EQ(owner->locations.back(), QPoint(300, 150));
}

TEST_F(TrackingAreaTest, HonoursItsOptions) {
    auto movesOnly = std::make_shared<RecordingOwner>();
    addTrackingArea(view,
                    std::make_shared<NSTrackingArea>(
                        view->rect(), NSTrackingMouseMoved | NSTrackingActiveAlways, movesOnly));
    // Without an activity option an area never reports.
    auto inactive = std::make_shared<RecordingOwner>();
    addTrackingArea(
        view, std::make_shared<NSTrackingArea>(
                  view->rect(), NSTrackingMouseEnteredAndExited | NSTrackingMouseMoved, inactive));
    install(NSTrackingMouseEnteredAndExited | NSTrackingActiveAlways);

    pointerAt({150, 100});
    pointerAt({160, 100});
    pointerAt({10, 10});

    EXPECT_EQ(owner->events, (std::vector<std::string>{"entered", "exited"}));
    EXPECT_EQ(movesOnly->events, std::vector<std::string>{"moved"});
    EXPECT_TRUE(inactive->events.empty());
}

TEST_F(TrackingAreaTest, DragsReportCrossingsButNoMoves) {
    install(all);
    pointerAt({150, 100}, Qt::LeftButton);
    pointerAt({160, 100}, Qt::LeftButton);
    pointerAt({10, 10}, Qt::LeftButton);
    EXPECT_EQ(owner->events, (std::vector<std::string>{"entered", "exited"}));
}

TEST_F(TrackingAreaTest, StartsInsideWithoutAnEventWhenInstalledUnderThePointer) {
    QCursor::setPos(window.mapToGlobal(QPoint(150, 100)));
    QCoreApplication::processEvents();
    auto area = install(all);
    EXPECT_TRUE(area->isInside());
    pointerAt({151, 100});
    EXPECT_EQ(owner->events, std::vector<std::string>{"moved"});
    QCursor::setPos(window.mapToGlobal(QPoint(390, 290)));
    QCoreApplication::processEvents();
}

TEST_F(TrackingAreaTest, ARemovedAreaFallsSilentEvenWhenItsOwnerRemovesIt) {
    auto area = install(all);
    auto other = std::make_shared<RecordingOwner>();
    auto second = std::make_shared<NSTrackingArea>(view->rect(), all, other);
    addTrackingArea(view, second);
    // The first owner takes both areas away while it is being told.
    owner->onEvent = [&] {
        removeTrackingArea(view, area);
        removeTrackingArea(view, second);
        area.reset();
    };
    pointerAt({150, 100});
    pointerAt({160, 100});
    EXPECT_EQ(owner->events, std::vector<std::string>{"entered"});
    EXPECT_TRUE(other->events.empty());
    EXPECT_TRUE(trackingAreas(view).empty());
    EXPECT_EQ(second->view(), nullptr);
}

}  // namespace
}  // namespace platform
