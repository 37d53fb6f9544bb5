#pragma once

#include <QPointer>
#include <functional>
#include <memory>
#include <string>

#include "media-player/MediaPlayer.h"
#include "platform/appkit/NSImage.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/pip/PIPViewController.h"
#include "player-interface/picture-in-picture/QLPictureInPictureControllerDelegate.h"
#include "player-interface/picture-in-picture/QLPictureInPicturePlaybackDelegate.h"

namespace platform {
class NSViewController;
}

namespace quillon {

class VideoPlayerView;

// Moves a player's picture, with its subtitles, into the floating Picture in Picture window and
// back. Every call into the floating window's controller goes through QLSafelyUsePrivateAPI.
//
// Inactive -> (start) active, the player window hidden unless it is in full screen -> (the
// window's return or close control, stopPictureInPicture, or the player window closing)
// closing -> inactive. Returning and stopping keep playing; the floating window's own close
// control pauses. Main thread only.
class QLPictureInPictureController
    : public MediaPlayer::PictureInPictureController,
      public platform::PIPViewControllerDelegate,
      public std::enable_shared_from_this<QLPictureInPictureController> {
    struct Passkey {};

public:
    static bool isPictureInPictureSupported();
    static std::string pictureInPictureControlTitleStart();
    static std::string pictureInPictureControlTitleStop();
    static std::shared_ptr<platform::NSImage> pictureInPictureButtonStartImage();
    static std::shared_ptr<platform::NSImage> pictureInPictureButtonStopImage();

    // Null when Picture in Picture is not supported. Both are held weakly.
    static std::shared_ptr<QLPictureInPictureController> make(
        VideoPlayerView* videoContainerView,
        std::weak_ptr<QLPictureInPicturePlaybackDelegate> playbackDelegate);
    // The same with the player as playback delegate, through an adapter that the controller
    // owns and that holds the player weakly.
    static std::shared_ptr<QLPictureInPictureController> make(
        VideoPlayerView* videoContainerView, const std::shared_ptr<MediaPlayer>& player);

    QLPictureInPictureController(
        Passkey, VideoPlayerView* videoContainerView,
        std::weak_ptr<QLPictureInPicturePlaybackDelegate> playbackDelegate);
    ~QLPictureInPictureController() override;

    void startPictureInPicture();
    void stopPictureInPicture();
    void stopPictureInPictureIfNeeded();

    // The player's playing state or the picture's shape changed.
    void invalidatePlaybackState() override;
    void invalidatePictureInPictureState();

    bool isPictureInPictureActive() const { return pictureInPictureActive_; }
    // Calls `handler` after every setting of pictureInPictureActive until the token goes.
    platform::ObserverToken observePictureInPictureActive(std::function<void()> handler);

    void setDelegate(std::weak_ptr<QLPictureInPictureControllerDelegate> delegate);
    std::shared_ptr<QLPictureInPictureControllerDelegate> delegate() const {
        return delegate_.lock();
    }

    // The container's effective video size, the zero size without one.
    platform::CGSize effectiveVideoSize() const;
    bool isPlaying();
    // The rectangle of the picture inside the container's bounds, in its coordinates.
    QRect videoRectInVideoContainerView() const;

    // The floating window's controller while Picture in Picture runs (tests look at it).
    const std::shared_ptr<platform::PIPViewController>& pipViewController() const {
        return pipViewController_;
    }

    // The floating window's callbacks.
    void pipActionPlay(platform::PIPViewController& controller) override;
    void pipActionPause(platform::PIPViewController& controller) override;
    void pipActionStop(platform::PIPViewController& controller) override;
    void pipActionReturn(platform::PIPViewController& controller) override;
    void pipWillClose(platform::PIPViewController& controller) override;
    void pipDidClose(platform::PIPViewController& controller) override;

private:
    class MediaPlayerPlaybackDelegate;

    void setPictureInPictureActive(bool active);
    void configureReplacementRect();
    void adjustVideoViewFrameIfNeeded(QWidget* view);
    QWidget* containerWindow() const;
    void bringContainerWindowToFront();
    void returnVideoViewToContainer();

    QPointer<VideoPlayerView> videoContainerView_;
    std::weak_ptr<QLPictureInPicturePlaybackDelegate> playbackDelegate_;
    std::shared_ptr<platform::PIPViewController> pipViewController_;
    std::shared_ptr<platform::NSViewController> presentedViewController_;
    bool isDismissalAnimated_ = false;
    bool pictureInPictureActive_ = false;
    std::weak_ptr<QLPictureInPictureControllerDelegate> delegate_;

    // The picture's container while it sits in the presented controller's view.
    QPointer<QWidget> videoViewInPictureInPicture_;
    // Set while the player window closes: it is not brought back then.
    bool isContainerWindowClosing_ = false;
    platform::ObserverToken windowWillCloseObservation_;
    platform::NotificationCenter activeObservers_;
    std::shared_ptr<QLPictureInPicturePlaybackDelegate> ownedPlaybackDelegate_;
};

}  // namespace quillon
