#include "platform/appkit/NSTrackingArea.h"

#include <QCursor>
#include <QEnterEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWindow>
#include <algorithm>

#include "platform/foundation/FatalError.h"

namespace platform {

// Every installed area, followed through the mouse events of the window that shows its view.
// One application-wide filter: it sees each event as the window system delivers it, before Qt
// hands it to whichever widget lies under the pointer, so children, overlays and widgets added
// later need no watching of their own.
class TrackingAreaRegistry : public QObject {
public:
    static TrackingAreaRegistry& shared() {
        static QPointer<TrackingAreaRegistry> instance;
        if (instance == nullptr) {
            instance = new TrackingAreaRegistry;
            instance->setParent(QCoreApplication::instance());
            QCoreApplication::instance()->installEventFilter(instance);
        }
        return *instance;
    }

    void add(QWidget* view, const std::shared_ptr<NSTrackingArea>& area) {
        precondition(area->view_ == nullptr, "A tracking area belongs to one view at a time.");
        purge();
        area->view_ = view;
        const QWidget* top = view->window();
        area->inside_ = view->isVisible() && area->contains(top->mapFromGlobal(QCursor::pos()));
        areas_.push_back(area);
    }

    void remove(QWidget* view, const std::shared_ptr<NSTrackingArea>& area) {
        if (area == nullptr || area->view_ != view) {
            return;
        }
        area->view_ = nullptr;
        area->inside_ = false;
        std::erase(areas_, area);
    }

    std::vector<std::shared_ptr<NSTrackingArea>> areasOf(const QWidget* view) {
        purge();
        std::vector<std::shared_ptr<NSTrackingArea>> result;
        std::copy_if(areas_.begin(), areas_.end(), std::back_inserter(result),
                     [view](const auto& area) { return area->view_ == view; });
        return result;
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        const QEvent::Type type = event->type();
        if ((type != QEvent::MouseMove && type != QEvent::MouseButtonPress &&
             type != QEvent::MouseButtonRelease && type != QEvent::Enter &&
             type != QEvent::Leave) ||
            !watched->isWindowType() || areas_.empty()) {
            return false;
        }
        // A copy: owners may add and remove areas while they are told.
        const auto areas = areas_;
        for (const auto& area : areas) {
            QWidget* view = area->view_;
            if (view == nullptr || view->window()->windowHandle() != watched) {
                continue;
            }
            if (type == QEvent::Leave) {
                area->pointerLeft(view->window()->mapFromGlobal(QCursor::pos()));
            } else if (type == QEvent::Enter) {
                area->pointerAt(static_cast<QEnterEvent*>(event)->position().toPoint(), false);
            } else {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                area->pointerAt(mouse->position().toPoint(), mouse->buttons() != Qt::NoButton);
            }
        }
        return false;
    }

private:
    // Areas whose view has gone.
    void purge() {
        std::erase_if(areas_, [](const auto& area) { return area->view_ == nullptr; });
    }

    std::vector<std::shared_ptr<NSTrackingArea>> areas_;
};

NSTrackingArea::NSTrackingArea(QRect rect, NSTrackingAreaOptions options,
                               std::weak_ptr<NSTrackingAreaOwner> owner)
    : rect_(rect), options_(options), owner_(std::move(owner)) {}

NSTrackingArea::~NSTrackingArea() = default;

bool NSTrackingArea::isActive() const {
    if ((options_ & NSTrackingActiveAlways) != 0) {
        return true;
    }
    if ((options_ & NSTrackingActiveInActiveApp) != 0) {
        return QGuiApplication::applicationState() == Qt::ApplicationActive;
    }
    if ((options_ & NSTrackingActiveInKeyWindow) != 0) {
        return view_->window()->isActiveWindow();
    }
    if ((options_ & NSTrackingActiveWhenFirstResponder) != 0) {
        return view_->hasFocus();
    }
    return false;
}

bool NSTrackingArea::contains(QPoint locationInWindow) const {
    return view_->isVisible() && rect_.contains(view_->mapFrom(view_->window(), locationInWindow));
}

void NSTrackingArea::pointerAt(QPoint locationInWindow, bool buttonsDown) {
    const bool inside = contains(locationInWindow);
    const bool entering = inside != inside_;
    inside_ = inside;
    const auto owner = owner_.lock();
    if (owner == nullptr || !isActive()) {
        return;
    }
    if (entering) {
        if ((options_ & NSTrackingMouseEnteredAndExited) != 0) {
            if (inside) {
                owner->mouseEntered(locationInWindow);
            } else {
                owner->mouseExited(locationInWindow);
            }
        }
    } else if (inside && !buttonsDown && (options_ & NSTrackingMouseMoved) != 0) {
        owner->mouseMoved(locationInWindow);
    }
}

void NSTrackingArea::pointerLeft(QPoint locationInWindow) {
    if (!inside_) {
        return;
    }
    inside_ = false;
    const auto owner = owner_.lock();
    if (owner != nullptr && isActive() && (options_ & NSTrackingMouseEnteredAndExited) != 0) {
        owner->mouseExited(locationInWindow);
    }
}

void addTrackingArea(QWidget* view, const std::shared_ptr<NSTrackingArea>& area) {
    TrackingAreaRegistry::shared().add(view, area);
}

void removeTrackingArea(QWidget* view, const std::shared_ptr<NSTrackingArea>& area) {
    TrackingAreaRegistry::shared().remove(view, area);
}

std::vector<std::shared_ptr<NSTrackingArea>> trackingAreas(const QWidget* view) {
    return TrackingAreaRegistry::shared().areasOf(view);
}

}  // namespace platform
