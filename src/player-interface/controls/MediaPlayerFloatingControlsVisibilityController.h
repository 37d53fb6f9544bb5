#pragma once

#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/appkit/NSTimer.h"
#include "platform/appkit/NSTrackingArea.h"
#include "platform/foundation/ObserverToken.h"
#include "player-interface/controls/MediaPlayerControlsUserInteractivityDelegate.h"
#include "player-interface/controls/MediaPlayerFloatingControlsVisibilityControllerDelegate.h"

namespace quillon {

class MediaPlayerControlsViewController;
class VideoPlayerView;

// Shows the floating controls panel of a video player while the mouse moves over the player,
// and hides it, with the pointer and (through the delegate) the title bar, two seconds after
// the mouse comes to rest off the panel. The panel stays up while the mouse rests on it or the
// user works the controls. Main thread only.
class MediaPlayerFloatingControlsVisibilityController
    : public MediaPlayerControlsUserInteractivityDelegate,
      public platform::NSTrackingAreaOwner,
      public std::enable_shared_from_this<MediaPlayerFloatingControlsVisibilityController> {
public:
    static constexpr double fadeDuration = 0.2;
    static constexpr double hideDelay = 2.0;
    static constexpr platform::NSTrackingAreaOptions trackingOptions =
        platform::NSTrackingMouseEnteredAndExited | platform::NSTrackingMouseMoved |
        platform::NSTrackingActiveAlways;

    // What the controller asks of the controls: whether the user is working them, and to be
    // told when that starts and ends.
    class Controls {
    public:
        virtual ~Controls() = default;
        virtual bool isUserInteracting() const = 0;
        virtual void setUserInteractivityDelegate(
            std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> delegate) = 0;
    };

    static std::shared_ptr<MediaPlayerFloatingControlsVisibilityController> make(
        VideoPlayerView* mediaPlayerView, QWidget* floatingControlsView,
        std::shared_ptr<MediaPlayerControlsViewController> controlsViewController);
    // The same over any view holding the panel, with the controls seen through `controls`.
    static std::shared_ptr<MediaPlayerFloatingControlsVisibilityController> make(
        QWidget* mediaPlayerView, QWidget* floatingControlsView,
        std::shared_ptr<Controls> controls);
    ~MediaPlayerFloatingControlsVisibilityController() override;

    bool shouldHideCursor() const { return shouldHideCursor_; }
    void setDelegate(std::weak_ptr<MediaPlayerFloatingControlsVisibilityControllerDelegate> d) {
        delegate_ = std::move(d);
    }

    // Installs a tracking area over the player's bounds in place of the current one.
    void updateTrackingArea();
    // Starts a fresh hide timer, unless `point` (in the player's coordinates) lies on the panel.
    void scheduleHideTimer(QPoint point);
    // The same for the pointer's position, when the player's window is on screen.
    void scheduleHideTimerAtMouseLocation();
    void hideControlsIfNeeded();
    bool shouldHideControls() const;
    // Fades the panel (and the title bar) to `alpha`: 1 shows, 0 hides.
    void setControlsVisible(double alpha);
    // Removes the tracking area and drops the timer.
    void stop();

    void mouseEntered(QPoint locationInWindow) override;
    void mouseExited(QPoint locationInWindow) override;
    void mouseMoved(QPoint locationInWindow) override;

    void userInteractionDidBegin() override;
    void userInteractionDidEnd() override;

    const std::shared_ptr<platform::NSTrackingArea>& trackingArea() const { return trackingArea_; }
    // The pending hide timer, if any.
    const std::shared_ptr<platform::NSTimer>& timer() const { return timer_; }

private:
    MediaPlayerFloatingControlsVisibilityController(QWidget* mediaPlayerView,
                                                    QWidget* floatingControlsView,
                                                    std::shared_ptr<Controls> controls);
    void start();
    void showControls();
    void hideControls();
    void setShouldHideCursor(bool flag);
    void dropTimer();
    void mediaPlayerViewFrameDidChange();
    void mediaPlayerViewBoundsDidChange();
    bool isUserInteracting() const;
    QPoint fromWindow(QPoint locationInWindow) const;

    QPointer<QWidget> mediaPlayerView_;
    QPointer<QWidget> floatingControlsView_;
    std::shared_ptr<Controls> controlsViewController_;
    std::shared_ptr<platform::NSTrackingArea> trackingArea_;
    std::shared_ptr<platform::NSTimer> timer_;
    bool shouldHideCursor_ = false;
    std::weak_ptr<MediaPlayerFloatingControlsVisibilityControllerDelegate> delegate_;
    platform::ObserverToken frameObservation_;
    platform::ObserverToken boundsObservation_;
};

}  // namespace quillon
