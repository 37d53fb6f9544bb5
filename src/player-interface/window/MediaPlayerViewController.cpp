#include "player-interface/window/MediaPlayerViewController.h"

#include <cmath>

#include <QCoreApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QThread>
#include <QWheelEvent>

#include "media-player/MediaPlayer.h"
#include "platform/appkit/NSCursor.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/common/WindowRestorationObserver.h"
#include "player-interface/controls/MediaPlayerControlsViewController.h"
#include "player-interface/controls/MediaPlayerFloatingControlsVisibilityController.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/views/AudioPlayerView.h"
#include "player-interface/views/VideoPlayerView.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowController.h"

namespace quillon {

using platform::CGSize;

namespace {

constexpr const char* playAutomaticallyOnOpenKey = "QPPlayAutomaticallyOnOpen";

// The size in which a track's pictures are shown, when it can size a window: the file decides
// it, and a size that is not finite and positive would make the window's geometry NaN.
std::optional<CGSize> windowVideoSize(const std::shared_ptr<VideoTrack>& track) {
    if (!track) {
        return std::nullopt;
    }
    const CGSize size = track->dimensions().effectiveSize;
    if (!std::isfinite(size.width) || !std::isfinite(size.height) || !(size.width > 0) ||
        !(size.height > 0) || !std::isfinite(size.width / size.height)) {
        return std::nullopt;
    }
    return size;
}

}  // namespace

// Mouse-up and scrolling over the player view, which the controller handles as the view's
// responder.
class MediaPlayerViewController::ViewEventFilter : public QObject {
public:
    explicit ViewEventFilter(MediaPlayerViewController& controller) : controller_(controller) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != controller_.view()) {
            return false;
        }
        switch (event->type()) {
            case QEvent::MouseButtonRelease:
                controller_.mouseUp(static_cast<QMouseEvent*>(event));
                return false;
            case QEvent::Wheel:
                controller_.scrollWheel(static_cast<QWheelEvent*>(event));
                return true;
            default:
                return false;
        }
    }

private:
    MediaPlayerViewController& controller_;
};

std::shared_ptr<MediaPlayerViewController> MediaPlayerViewController::make(
    std::shared_ptr<MediaPlayer> player) {
    return std::make_shared<MediaPlayerViewController>(Passkey{}, std::move(player));
}

MediaPlayerViewController::MediaPlayerViewController(Passkey, std::shared_ptr<MediaPlayer> player)
    : mediaPlayer_(std::move(player)),
      hasVideo_(!mediaPlayer_->mediaSource()->videoTracks().empty()),
      controlsViewController_(MediaPlayerControlsViewController::make(mediaPlayer_)) {
    addChildViewController(controlsViewController_);
}

MediaPlayerViewController::~MediaPlayerViewController() {
    if (periodicTimeObserver_) {
        mediaPlayer_->timeObserverManager().removeTimeObserver(periodicTimeObserver_);
    }
    // The player may outlive the window; it must not keep telling a controller whose view is gone.
    if (pictureInPictureController_) {
        mediaPlayer_->setPictureInPictureController(nullptr);
    }
}

VideoPlayerView* MediaPlayerViewController::videoPlayerView() const {
    return videoPlayerView_;
}

void MediaPlayerViewController::setFloatingControlsVisibilityControllerDelegate(
    std::weak_ptr<MediaPlayerFloatingControlsVisibilityControllerDelegate> delegate) {
    floatingControlsVisibilityControllerDelegate_ = std::move(delegate);
    if (floatingControlsVisibilityController_) {
        floatingControlsVisibilityController_->setDelegate(
            floatingControlsVisibilityControllerDelegate_);
    }
}

void MediaPlayerViewController::loadView() {
    QWidget* controlsView = controlsViewController_->controlsView();
    std::unique_ptr<MediaPlayerView> view;
    if (hasVideo_) {
        auto videoView = std::make_unique<VideoPlayerView>(*mediaPlayer_, controlsView);
        videoPlayerView_ = videoView.get();
        view = std::move(videoView);
    } else {
        view = std::make_unique<AudioPlayerView>(controlsView);
    }
    view->setDraggingDelegate(shared_from_this());
    viewEventFilter_ = std::make_unique<ViewEventFilter>(*this);
    view->installEventFilter(viewEventFilter_.get());
    setView(std::move(view));
}

void MediaPlayerViewController::viewDidLoad() {
    NSViewController::viewDidLoad();
    if (videoPlayerView_) {
        if (isControlsViewFloating()) {
            floatingControlsVisibilityController_ =
                MediaPlayerFloatingControlsVisibilityController::make(
                    videoPlayerView_, videoPlayerView_->floatingControlsView(),
                    controlsViewController_);
            if (floatingControlsVisibilityController_) {
                floatingControlsVisibilityController_->setDelegate(
                    floatingControlsVisibilityControllerDelegate_);
            }
        }
        pictureInPictureController_ =
            QLPictureInPictureController::make(videoPlayerView_, mediaPlayer_);
        mediaPlayer_->setPictureInPictureController(pictureInPictureController_);
        controlsViewController_->setPictureInPictureController(pictureInPictureController_);
    }

    auto& center = platform::NotificationCenter::defaultCenter();
    const void* player = mediaPlayer_.get();
    std::weak_ptr<MediaPlayerViewController> weakSelf = weak_from_this();
    // The player posts from a global queue; everything here belongs on the main thread.
    auto onMain = [weakSelf](void (MediaPlayerViewController::*handler)()) {
        return [weakSelf, handler](const platform::Notification&) {
            platform::DispatchQueue::main().async([weakSelf, handler] {
                if (auto self = weakSelf.lock()) {
                    ((*self).*handler)();
                }
            });
        };
    };
    if (hasVideo_) {
        notificationObservations_.push_back(
            center.addObserver(MediaPlayer::selectedVideoTrackDidChangeNotification, player,
                               onMain(&MediaPlayerViewController::selectedVideoTrackDidChange)));
        updateEffectiveVideoSize();
    }
    for (const char* name : {MediaPlayer::selectedVideoTrackDidChangeNotification,
                             MediaPlayer::selectedAudioTrackDidChangeNotification,
                             MediaPlayer::selectedPrimarySubtitlesTrackDidChangeNotification,
                             MediaPlayer::selectedSecondarySubtitlesTrackDidChangeNotification}) {
        notificationObservations_.push_back(center.addObserver(
            name, player, onMain(&MediaPlayerViewController::selectedMediaTrackDidChange)));
    }

    periodicTimeObserver_ = mediaPlayer_->timeObserverManager().addPeriodicTimeObserver(
        platform::CMTimeMake(1, 1), nullptr, [weakSelf](platform::CMTime) {
            if (auto self = weakSelf.lock()) {
                self->invalidateRestorableState();
            }
        });
}

void MediaPlayerViewController::viewDidAppear() {
    NSViewController::viewDidAppear();
    if (floatingControlsVisibilityController_) {
        floatingControlsVisibilityController_->updateTrackingArea();
        floatingControlsVisibilityController_->scheduleHideTimerAtMouseLocation();
    }
    platform::precondition(QThread::currentThread() == QCoreApplication::instance()->thread(),
                           "The player's view must appear on the main thread.");
    WindowRestorationObserver::shared().performAfterRestoration(
        shared_from_this(),
        [](MediaPlayerViewController& controller) { controller.handleFirstAppearance(); });
}

void MediaPlayerViewController::viewWillDisappear() {
    NSViewController::viewWillDisappear();
    if (floatingControlsVisibilityController_) {
        floatingControlsVisibilityController_->stop();
    }
}

void MediaPlayerViewController::mouseUp(QMouseEvent* /*event*/) {
    if (floatingControlsVisibilityController_) {
        platform::NSCursor::setHiddenUntilMouseMoves(
            floatingControlsVisibilityController_->shouldHideCursor());
    }
}

void MediaPlayerViewController::scrollWheel(QWheelEvent* event) {
    controlsViewController_->scrollWheel(event);
}

void MediaPlayerViewController::selectedMediaTrackDidChange() {
    invalidateRestorableState();
}

void MediaPlayerViewController::selectedVideoTrackDidChange() {
    updateEffectiveVideoSize();
    if (pictureInPictureController_) {
        pictureInPictureController_->invalidatePlaybackState();
    }
    // Posted also when the size stays the same: the window decides what to make of it.
    platform::NotificationCenter::defaultCenter().post(preferredSizeDidChangeNotification,
                                                       static_cast<const void*>(this));
}

void MediaPlayerViewController::updateEffectiveVideoSize() {
    if (!videoPlayerView_) {
        return;
    }
    videoPlayerView_->setEffectiveVideoSize(windowVideoSize(mediaPlayer_->selectedVideoTrack()));
}

CGSize MediaPlayerViewController::minimumSize() {
    const QSize fitting = view()->minimumSizeHint();
    const auto size = windowVideoSize(mediaPlayer_->selectedVideoTrack());
    return minimumSize(
        {static_cast<double>(fitting.width()), static_cast<double>(fitting.height())},
        isResizable(), size ? std::optional(size->width / size->height) : std::nullopt);
}

CGSize MediaPlayerViewController::preferredSize() {
    const CGSize minimum = minimumSize();
    return preferredSize(minimum, isResizable(),
                         windowVideoSize(mediaPlayer_->selectedVideoTrack()));
}

CGSize MediaPlayerViewController::minimumSize(CGSize fittingSize, bool isResizable,
                                              std::optional<double> aspectRatio) {
    if (!isResizable || !aspectRatio) {
        return fittingSize;
    }
    const double w = fittingSize.width;
    const double h = fittingSize.height;
    const double r = *aspectRatio;
    if (w < h * r) {
        return {h * r, h};
    }
    return {w, w / r};
}

CGSize MediaPlayerViewController::preferredSize(CGSize minimumSize, bool isResizable,
                                                std::optional<CGSize> effectiveVideoSize) {
    if (!isResizable) {
        return minimumSize;
    }
    // Only a size that is larger both ways is worth more than the least the controls need.
    const CGSize candidate = effectiveVideoSize.value_or(CGSize{640, 480});
    return minimumSize.width < candidate.width && minimumSize.height < candidate.height
               ? candidate
               : minimumSize;
}

void MediaPlayerViewController::handleFirstAppearance() {
    if (!isFirstAppearance_) {
        return;
    }
    isFirstAppearance_ = false;
    if (isRestoredFromPersistedState_) {
        return;
    }
    auto& defaults = platform::UserDefaults::standard();
    const float rate = defaultPlaybackRate(defaults);
    MediaPlayer& player = *mediaPlayer_;
    player.queue()->sync([&] { player.setDesiredPlaybackRate(rate); });
    if (defaults.boolForKey(playAutomaticallyOnOpenKey)) {
        player.queue()->sync([&] { player.play(); });
    }
}

bool MediaPlayerViewController::tryToPerform(std::string_view action, QObject* sender) {
    using Action = void (MediaPlayerViewController::*)(QObject*);
    static constexpr std::pair<std::string_view, Action> actions[] = {
        {"updateTracksMenu:", &MediaPlayerViewController::updateTracksMenu},
        {"selectVideoTrack:", &MediaPlayerViewController::selectVideoTrack},
        {"selectAudioTrack:", &MediaPlayerViewController::selectAudioTrack},
        {"selectPrimarySubtitlesTrack:", &MediaPlayerViewController::selectPrimarySubtitlesTrack},
        {"selectSecondarySubtitlesTrack:",
         &MediaPlayerViewController::selectSecondarySubtitlesTrack},
        {"updatePlaybackRateSlider:", &MediaPlayerViewController::updatePlaybackRateSlider},
        {"selectPlaybackRate:", &MediaPlayerViewController::selectPlaybackRate},
        {"openExternalSubtitles:", &MediaPlayerViewController::openExternalSubtitles},
    };
    for (const auto& [name, handler] : actions) {
        if (name == action) {
            (this->*handler)(sender);
            return true;
        }
    }
    return controlsViewController_->tryToPerform(action, sender);
}

}  // namespace quillon
