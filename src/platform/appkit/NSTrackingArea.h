#pragma once

#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <memory>
#include <vector>

namespace platform {

enum NSTrackingAreaOptions : unsigned {
    NSTrackingMouseEnteredAndExited = 0x01,
    NSTrackingMouseMoved = 0x02,
    NSTrackingActiveWhenFirstResponder = 0x10,
    NSTrackingActiveInKeyWindow = 0x20,
    NSTrackingActiveInActiveApp = 0x40,
    NSTrackingActiveAlways = 0x80,
};

constexpr NSTrackingAreaOptions operator|(NSTrackingAreaOptions a, NSTrackingAreaOptions b) {
    return static_cast<NSTrackingAreaOptions>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// Receives the events of a tracking area; locations are in the coordinates of the window that
// shows the tracked view (its top-level widget). Main thread only.
class NSTrackingAreaOwner {
public:
    virtual ~NSTrackingAreaOwner() = default;
    virtual void mouseEntered(QPoint locationInWindow) = 0;
    virtual void mouseExited(QPoint locationInWindow) = 0;
    virtual void mouseMoved(QPoint locationInWindow) = 0;
};

// A rectangle of a view, in that view's coordinates and fixed at creation, whose owner hears
// when the pointer enters it, leaves it or moves inside it. The pointer is followed by its
// position in the window, so the area reports the same whichever of the view's descendants (or
// whatever lies on top) is under the pointer; entering and leaving concern the area as a whole.
// Moves are reported only with no mouse button down. Holds its owner weakly. Main thread only.
class NSTrackingArea {
public:
    NSTrackingArea(QRect rect, NSTrackingAreaOptions options,
                   std::weak_ptr<NSTrackingAreaOwner> owner);
    ~NSTrackingArea();
    NSTrackingArea(const NSTrackingArea&) = delete;
    NSTrackingArea& operator=(const NSTrackingArea&) = delete;

    QRect rect() const { return rect_; }
    NSTrackingAreaOptions options() const { return options_; }
    std::shared_ptr<NSTrackingAreaOwner> owner() const { return owner_.lock(); }
    // The view the area is installed on, or null.
    QWidget* view() const { return view_; }
    // Whether the pointer is taken to be inside the area now.
    bool isInside() const { return inside_; }

private:
    friend class TrackingAreaRegistry;

    bool isActive() const;
    bool contains(QPoint locationInWindow) const;
    void pointerAt(QPoint locationInWindow, bool buttonsDown);
    void pointerLeft(QPoint locationInWindow);

    QRect rect_;
    NSTrackingAreaOptions options_;
    std::weak_ptr<NSTrackingAreaOwner> owner_;
    QPointer<QWidget> view_;
    bool inside_ = false;
};

// Installs `area` on `view` (an area belongs to one view at a time). The view keeps it until it
// is removed; the pointer's position at installation decides whether it starts inside, without
// an event.
void addTrackingArea(QWidget* view, const std::shared_ptr<NSTrackingArea>& area);
void removeTrackingArea(QWidget* view, const std::shared_ptr<NSTrackingArea>& area);
std::vector<std::shared_ptr<NSTrackingArea>> trackingAreas(const QWidget* view);

}  // namespace platform
