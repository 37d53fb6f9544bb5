#include "player-interface/controls/MediaPlayerFloatingControlsVisibilityController.h"

#include <cmath>

#include "platform/appkit/NSAnimationContext.h"
#include "platform/appkit/NSCursor.h"
#include "platform/appkit/NSViewGeometryNotifications.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/NotificationCenter.h"
#include "player-interface/controls/MediaPlayerControlsViewController.h"
#include "player-interface/views/VideoPlayerView.h"

namespace quillon {
namespace {

class ControlsViewControllerAdapter final
    : public MediaPlayerFloatingControlsVisibilityController::Controls {
public:
    explicit ControlsViewControllerAdapter(
        std::shared_ptr<MediaPlayerControlsViewController> controller)
        : controller_(std::move(controller)) {}

    bool isUserInteracting() const override { return controller_->isUserInteracting(); }
    void setUserInteractivityDelegate(
        std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> delegate) override {
        controller_->setUserInteractivityDelegate(std::move(delegate));
    }

private:
    std::shared_ptr<MediaPlayerControlsViewController> controller_;
};

// Maps between views that may sit in different windows.
QPoint convertPoint(QPoint point, const QWidget* from, const QWidget* to) {
    if (from->window() == to->window()) {
        return to->mapFrom(to->window(), from->mapTo(from->window(), point));
    }
    return to->mapFromGlobal(from->mapToGlobal(point));
}

QPoint toQPoint(platform::CGPoint point) {
    return {static_cast<int>(std::floor(point.x)), static_cast<int>(std::floor(point.y))};
}

}  // namespace

std::shared_ptr<MediaPlayerFloatingControlsVisibilityController>
MediaPlayerFloatingControlsVisibilityController::make(
    VideoPlayerView* mediaPlayerView, QWidget* floatingControlsView,
    std::shared_ptr<MediaPlayerControlsViewController> controlsViewController) {
    return make(static_cast<QWidget*>(mediaPlayerView), floatingControlsView,
                std::make_shared<ControlsViewControllerAdapter>(std::move(controlsViewController)));
}

std::shared_ptr<MediaPlayerFloatingControlsVisibilityController>
MediaPlayerFloatingControlsVisibilityController::make(QWidget* mediaPlayerView,
                                                      QWidget* floatingControlsView,
                                                      std::shared_ptr<Controls> controls) {
    std::shared_ptr<MediaPlayerFloatingControlsVisibilityController> controller(
        new MediaPlayerFloatingControlsVisibilityController(mediaPlayerView, floatingControlsView,
                                                            std::move(controls)));
    controller->start();
    return controller;
}

MediaPlayerFloatingControlsVisibilityController::MediaPlayerFloatingControlsVisibilityController(
    QWidget* mediaPlayerView, QWidget* floatingControlsView, std::shared_ptr<Controls> controls)
    : mediaPlayerView_(mediaPlayerView),
      floatingControlsView_(floatingControlsView),
      controlsViewController_(std::move(controls)) {}

MediaPlayerFloatingControlsVisibilityController::
    ~MediaPlayerFloatingControlsVisibilityController() {
    // A closed window's timer must not outlive the controller that it would call.
    if (timer_ != nullptr) {
        timer_->invalidate();
    }
    if (trackingArea_ != nullptr && mediaPlayerView_ != nullptr) {
        platform::removeTrackingArea(mediaPlayerView_, trackingArea_);
    }
}

void MediaPlayerFloatingControlsVisibilityController::start() {
    controlsViewController_->setUserInteractivityDelegate(weak_from_this());
    platform::setPostsFrameChangedNotifications(mediaPlayerView_);
    auto& center = platform::NotificationCenter::defaultCenter();
    const void* object = static_cast<const QWidget*>(mediaPlayerView_);
    const std::weak_ptr<MediaPlayerFloatingControlsVisibilityController> weakSelf =
        weak_from_this();
    frameObservation_ = center.addObserver(platform::NSViewFrameDidChangeNotification, object,
                                           [weakSelf](const platform::Notification&) {
                                               if (auto self = weakSelf.lock()) {
                                                   self->mediaPlayerViewFrameDidChange();
                                               }
                                           });
    boundsObservation_ = center.addObserver(platform::NSViewBoundsDidChangeNotification, object,
                                            [weakSelf](const platform::Notification&) {
                                                if (auto self = weakSelf.lock()) {
                                                    self->mediaPlayerViewBoundsDidChange();
                                                }
                                            });
}

void MediaPlayerFloatingControlsVisibilityController::updateTrackingArea() {
    if (mediaPlayerView_ == nullptr) {
        return;
    }
    if (trackingArea_ != nullptr) {
        platform::removeTrackingArea(mediaPlayerView_, trackingArea_);
    }
    trackingArea_ = std::make_shared<platform::NSTrackingArea>(mediaPlayerView_->rect(),
                                                               trackingOptions, weak_from_this());
    platform::addTrackingArea(mediaPlayerView_, trackingArea_);
}

void MediaPlayerFloatingControlsVisibilityController::mediaPlayerViewFrameDidChange() {
    if (trackingArea_ != nullptr) {
        updateTrackingArea();
    }
}

void MediaPlayerFloatingControlsVisibilityController::mediaPlayerViewBoundsDidChange() {
    if (trackingArea_ != nullptr) {
        updateTrackingArea();
    }
}

void MediaPlayerFloatingControlsVisibilityController::dropTimer() {
    if (timer_ != nullptr) {
        // Moved out first: invalidating may release the last other reference.
        const auto timer = std::move(timer_);
        timer->invalidate();
    }
}

void MediaPlayerFloatingControlsVisibilityController::scheduleHideTimer(QPoint point) {
    dropTimer();
    if (mediaPlayerView_ == nullptr || floatingControlsView_ == nullptr) {
        return;
    }
    const QPoint onPanel = convertPoint(point, mediaPlayerView_, floatingControlsView_);
    if (floatingControlsView_->rect().contains(onPanel)) {
        return;
    }
    const std::weak_ptr<MediaPlayerFloatingControlsVisibilityController> weakSelf =
        weak_from_this();
    timer_ =
        platform::NSTimer::timerWithTimeInterval(hideDelay, false, [weakSelf](platform::NSTimer&) {
            if (auto self = weakSelf.lock()) {
                self->hideControlsIfNeeded();
            }
        });
    timer_->addToMainRunLoop();
}

void MediaPlayerFloatingControlsVisibilityController::scheduleHideTimerAtMouseLocation() {
    platform::NSWindow* window = platform::windowOfView(mediaPlayerView_);
    if (window == nullptr || !window->isOnActiveSpace() || window->isMiniaturized()) {
        return;
    }
    scheduleHideTimer(fromWindow(toQPoint(window->mouseLocationOutsideOfEventStream())));
}

bool MediaPlayerFloatingControlsVisibilityController::shouldHideControls() const {
    platform::NSWindow* window = platform::windowOfView(mediaPlayerView_);
    if (window == nullptr) {
        return true;
    }
    if (!window->isOnActiveSpace() || window->isMiniaturized()) {
        return true;
    }
    const QPoint mouseLocation = toQPoint(window->mouseLocationOutsideOfEventStream());
    const auto delegate = delegate_.lock();
    QWidget* titlebarContainerView =
        delegate == nullptr ? nullptr : delegate->windowTitlebarContainerView();
    if (titlebarContainerView == nullptr) {
        return true;
    }
    platform::NSWindow* delegateWindow = delegate->window();
    if (delegateWindow != nullptr &&
        (delegateWindow->styleMask() & platform::NSWindowStyleMaskFullScreen) != 0) {
        return true;
    }
    const QPoint onTitlebar = convertPoint(mouseLocation, window, titlebarContainerView);
    return !titlebarContainerView->rect().contains(onTitlebar);
}

void MediaPlayerFloatingControlsVisibilityController::hideControlsIfNeeded() {
    if (shouldHideControls()) {
        hideControls();
    }
    dropTimer();
}

void MediaPlayerFloatingControlsVisibilityController::setControlsVisible(double alpha) {
    platform::NSAnimationContext::runAnimationGroup(fadeDuration, [this, alpha] {
        if (floatingControlsView_ != nullptr) {
            platform::animator(floatingControlsView_).setAlphaValue(alpha);
        }
        if (const auto delegate = delegate_.lock()) {
            if (alpha == 1.0) {
                delegate->showTitlebar(true);
            } else if (alpha == 0.0) {
                delegate->hideTitlebar(true);
            }
        }
    });
}

void MediaPlayerFloatingControlsVisibilityController::showControls() {
    setControlsVisible(1.0);
    setShouldHideCursor(false);
}

void MediaPlayerFloatingControlsVisibilityController::hideControls() {
    setControlsVisible(0.0);
    setShouldHideCursor(true);
}

void MediaPlayerFloatingControlsVisibilityController::setShouldHideCursor(bool flag) {
    shouldHideCursor_ = flag;
    platform::NSCursor::setHiddenUntilMouseMoves(flag);
}

void MediaPlayerFloatingControlsVisibilityController::stop() {
    if (trackingArea_ != nullptr) {
        if (mediaPlayerView_ != nullptr) {
            platform::removeTrackingArea(mediaPlayerView_, trackingArea_);
        }
        trackingArea_ = nullptr;
    }
    dropTimer();
}

bool MediaPlayerFloatingControlsVisibilityController::isUserInteracting() const {
    return controlsViewController_->isUserInteracting();
}

QPoint MediaPlayerFloatingControlsVisibilityController::fromWindow(QPoint locationInWindow) const {
    return mediaPlayerView_->mapFrom(mediaPlayerView_->window(), locationInWindow);
}

void MediaPlayerFloatingControlsVisibilityController::mouseEntered(QPoint locationInWindow) {
    if (isUserInteracting() || mediaPlayerView_ == nullptr) {
        return;
    }
    const QPoint point = fromWindow(locationInWindow);
    showControls();
    scheduleHideTimer(point);
}

void MediaPlayerFloatingControlsVisibilityController::mouseMoved(QPoint locationInWindow) {
    if (isUserInteracting() || mediaPlayerView_ == nullptr) {
        return;
    }
    const QPoint point = fromWindow(locationInWindow);
    if (timer_ == nullptr) {
        showControls();
    }
    scheduleHideTimer(point);
}

void MediaPlayerFloatingControlsVisibilityController::mouseExited(QPoint) {
    if (isUserInteracting()) {
        return;
    }
    hideControls();
    dropTimer();
}

void MediaPlayerFloatingControlsVisibilityController::userInteractionDidBegin() {
    showControls();
    dropTimer();
}

void MediaPlayerFloatingControlsVisibilityController::userInteractionDidEnd() {
    scheduleHideTimerAtMouseLocation();
}

}  // namespace quillon
