#include "player-interface/picture-in-picture/QLPictureInPictureController.h"

#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowSystemCapabilities.h"
#include "platform/foundation/Localization.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"
#include "player-interface/style/ControlsSymbolImages.h"
#include "player-interface/views/VideoPlayerView.h"

#include <QVBoxLayout>

namespace quillon {

namespace {

constexpr const char* kPictureInPictureActiveKey = "pictureInPictureActive";

}  // namespace

// Lets the player play and pause for the floating window without the controller keeping it.
class QLPictureInPictureController::MediaPlayerPlaybackDelegate final
    : public QLPictureInPicturePlaybackDelegate {
public:
    explicit MediaPlayerPlaybackDelegate(std::weak_ptr<MediaPlayer> player)
        : player_(std::move(player)) {}

    void pictureInPictureControllerSetPlaying(QLPictureInPictureController&,
                                              bool playing) override {
        if (const auto player = player_.lock()) {
            player->pictureInPictureControllerSetPlaying(playing);
        }
    }

    bool pictureInPictureControllerIsPlaybackPaused(QLPictureInPictureController&) override {
        const auto player = player_.lock();
        return player == nullptr || player->pictureInPictureControllerIsPlaybackPaused();
    }

private:
    std::weak_ptr<MediaPlayer> player_;
};

// --- Class properties ---

bool QLPictureInPictureController::isPictureInPictureSupported() {
    return platform::PIPViewController::isClassPresent();
}

std::string QLPictureInPictureController::pictureInPictureControlTitleStart() {
    return platform::localizedString("Enter Picture in Picture", "");
}

std::string QLPictureInPictureController::pictureInPictureControlTitleStop() {
    return platform::localizedString("Exit Picture in Picture", "");
}

std::shared_ptr<platform::NSImage>
QLPictureInPictureController::pictureInPictureButtonStartImage() {
    return controlsSymbolImage("pip.enter");
}

std::shared_ptr<platform::NSImage> QLPictureInPictureController::pictureInPictureButtonStopImage() {
    return controlsSymbolImage("pip.exit");
}

// --- Making ---

std::shared_ptr<QLPictureInPictureController> QLPictureInPictureController::make(
    VideoPlayerView* videoContainerView,
    std::weak_ptr<QLPictureInPicturePlaybackDelegate> playbackDelegate) {
    if (!isPictureInPictureSupported()) {
        return nullptr;
    }
    return std::make_shared<QLPictureInPictureController>(Passkey{}, videoContainerView,
                                                          std::move(playbackDelegate));
}

std::shared_ptr<QLPictureInPictureController> QLPictureInPictureController::make(
    VideoPlayerView* videoContainerView, const std::shared_ptr<MediaPlayer>& player) {
    const auto adapter = std::make_shared<MediaPlayerPlaybackDelegate>(player);
    auto controller = make(videoContainerView, adapter);
    if (controller) {
        controller->ownedPlaybackDelegate_ = adapter;
    }
    return controller;
}

QLPictureInPictureController::QLPictureInPictureController(
    Passkey, VideoPlayerView* videoContainerView,
    std::weak_ptr<QLPictureInPicturePlaybackDelegate> playbackDelegate)
    : videoContainerView_(videoContainerView), playbackDelegate_(std::move(playbackDelegate)) {}

QLPictureInPictureController::~QLPictureInPictureController() {
    // A controller that goes while the picture floats gives the picture back to its view.
    if (pipViewController_) {
        pipViewController_->setDelegate({});
    }
    returnVideoViewToContainer();
    if (pictureInPictureActive_ && videoContainerView_) {
        videoContainerView_->pictureInPictureDidStop();
    }
}

// --- Derived properties ---

platform::CGSize QLPictureInPictureController::effectiveVideoSize() const {
    if (videoContainerView_ && videoContainerView_->effectiveVideoSize()) {
        return *videoContainerView_->effectiveVideoSize();
    }
    return platform::CGSizeZero;
}

bool QLPictureInPictureController::isPlaying() {
    const auto delegate = playbackDelegate_.lock();
    return delegate != nullptr && !delegate->pictureInPictureControllerIsPlaybackPaused(*this);
}

QRect QLPictureInPictureController::videoRectInVideoContainerView() const {
    const platform::CGSize size = effectiveVideoSize();
    if (!videoContainerView_ || size.width <= 0 || size.height <= 0) {
        return {};
    }
    return VideoPlayerView::aspectFitRect(videoContainerView_->rect(), size.width / size.height);
}

// --- Observation and delegate ---

platform::ObserverToken QLPictureInPictureController::observePictureInPictureActive(
    std::function<void()> handler) {
    return activeObservers_.addObserver(
        kPictureInPictureActiveKey, nullptr,
        [handler = std::move(handler)](const platform::Notification&) { handler(); });
}

void QLPictureInPictureController::setPictureInPictureActive(bool active) {
    pictureInPictureActive_ = active;
    activeObservers_.post(kPictureInPictureActiveKey);
}

void QLPictureInPictureController::setDelegate(
    std::weak_ptr<QLPictureInPictureControllerDelegate> delegate) {
    delegate_ = std::move(delegate);
}

// --- Starting ---

void QLPictureInPictureController::startPictureInPicture() {
    const auto keepAlive = shared_from_this();
    if (const auto delegate = delegate_.lock()) {
        delegate->pictureInPictureControllerWillStartPictureInPicture(*this);
    }
    QPointer<VideoPlayerView> container = videoContainerView_;
    QWidget* videoView = nullptr;
    if (container) {
        container->pictureInPictureWillStart();
        videoView = container->videoViewForPictureInPicture();
        if (videoView != nullptr) {
            adjustVideoViewFrameIfNeeded(videoView);
        }
    }

    // The presented controller owns its view, so the picture sits inside that view rather than
    // being it, and leaves it before the controller goes.
    presentedViewController_ = std::make_shared<platform::NSViewController>();
    QWidget* presentedView = presentedViewController_->view();
    auto* layout = new QVBoxLayout(presentedView);
    layout->setContentsMargins(0, 0, 0, 0);

    std::shared_ptr<const platform::NSError> error;
    const bool started = QLSafelyUsePrivateAPI(
        [&](QLPrivateAPIErrorSlot*) {
            pipViewController_ = std::make_shared<platform::PIPViewController>();
            invalidatePlaybackState();
            pipViewController_->setDelegate(weak_from_this());
            pipViewController_->setUseAutoLayout(true);
            pipViewController_->presentViewControllerAsPictureInPicture(presentedViewController_);
            if (videoView != nullptr) {
                layout->addWidget(videoView);
                videoView->show();
                videoViewInPictureInPicture_ = videoView;
            }
        },
        &error);

    if (started) {
        if (QWidget* window = containerWindow()) {
            auto* nsWindow = dynamic_cast<platform::NSWindow*>(window);
            const bool inFullScreen =
                nsWindow != nullptr ? nsWindow->isInFullScreen() : window->isFullScreen();
            // Where the compositor stacks and places windows itself, a window hidden now would
            // come back wherever it chose, and the floating window cannot stay above it anyway:
            // the player window stays, with the placeholder where the picture was.
            if (!inFullScreen && platform::WindowSystemCapabilities::keepsWindowsOnTop()) {
                if (nsWindow != nullptr) {
                    nsWindow->orderOut();
                } else {
                    window->hide();
                }
            }
            if (nsWindow != nullptr) {
                windowWillCloseObservation_ =
                    platform::NotificationCenter::defaultCenter().addObserver(
                        platform::NSWindowWillCloseNotification, nsWindow,
                        [weakSelf = weak_from_this()](const platform::Notification&) {
                            if (const auto self = weakSelf.lock()) {
                                self->isContainerWindowClosing_ = true;
                                self->stopPictureInPictureIfNeeded();
                            }
                        });
            }
        }
        setPictureInPictureActive(true);
        return;
    }

    invalidatePictureInPictureState();
    if (const auto delegate = delegate_.lock(); delegate && error) {
        delegate->pictureInPictureControllerFailedToStartPictureInPicture(*this, *error);
    }
}

void QLPictureInPictureController::adjustVideoViewFrameIfNeeded(QWidget* view) {
    QWidget* superview = view->parentWidget();
    if (superview == nullptr || !videoContainerView_) {
        return;
    }
    std::vector<QWidget*> siblings;
    for (QObject* child : superview->children()) {
        if (child->isWidgetType()) {
            siblings.push_back(static_cast<QWidget*>(child));
        }
    }
    const auto position = std::find(siblings.begin(), siblings.end(), view);
    const auto index = static_cast<std::size_t>(position - siblings.begin());
    const bool wasShown = !view->isHidden();

    // Where the picture is, in the superview's coordinates, so that it leaves from there.
    const QRect videoRect = videoRectInVideoContainerView();
    const QPoint origin =
        superview->mapFromGlobal(videoContainerView_->mapToGlobal(videoRect.topLeft()));

    view->setParent(nullptr);
    view->setGeometry(QRect(origin, videoRect.size()));
    view->setParent(superview);
    if (index == 0 || index >= siblings.size()) {
        view->lower();
    } else if (index + 1 < siblings.size()) {
        // Directly above the sibling that was below it: below the one that was above it.
        view->stackUnder(siblings[index + 1]);
    }
    if (wasShown) {
        view->show();
    }
}

// --- Playback state ---

void QLPictureInPictureController::invalidatePlaybackState() {
    const auto pip = pipViewController_;
    if (!pip) {
        return;
    }
    QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
        pip->setAspectRatio(effectiveVideoSize());
        pip->setPlaying(isPlaying());
    });
}

void QLPictureInPictureController::configureReplacementRect() {
    const auto pip = pipViewController_;
    QWidget* window = containerWindow();
    if (!pip || window == nullptr) {
        return;
    }
    const QRect videoRect = videoRectInVideoContainerView();
    const QPoint origin =
        window->mapFromGlobal(videoContainerView_->mapToGlobal(videoRect.topLeft()));
    QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
        pip->setReplacementWindow(window);
        pip->setReplacementRect(
            platform::CGRectMake(origin.x(), origin.y(), videoRect.width(), videoRect.height()));
    });
}

// --- The floating window's actions ---

void QLPictureInPictureController::pipActionPlay(platform::PIPViewController&) {
    if (const auto delegate = playbackDelegate_.lock()) {
        delegate->pictureInPictureControllerSetPlaying(*this, true);
    }
}

void QLPictureInPictureController::pipActionPause(platform::PIPViewController&) {
    if (const auto delegate = playbackDelegate_.lock()) {
        delegate->pictureInPictureControllerSetPlaying(*this, false);
    }
}

void QLPictureInPictureController::pipActionStop(platform::PIPViewController& controller) {
    pipActionPause(controller);
}

void QLPictureInPictureController::pipActionReturn(platform::PIPViewController&) {
    isDismissalAnimated_ = true;
    if (isContainerWindowClosing_) {
        return;
    }
    bringContainerWindowToFront();
    configureReplacementRect();
}

void QLPictureInPictureController::pipWillClose(platform::PIPViewController&) {
    if (const auto delegate = delegate_.lock()) {
        delegate->pictureInPictureControllerWillStopPictureInPicture(*this);
    }
}

void QLPictureInPictureController::pipDidClose(platform::PIPViewController& controller) {
    const auto keepAlive = shared_from_this();
    if (!isDismissalAnimated_) {
        pipActionStop(controller);
    }
    if (!isContainerWindowClosing_) {
        bringContainerWindowToFront();
    }
    invalidatePictureInPictureState();
    if (videoContainerView_) {
        videoContainerView_->pictureInPictureDidStop();
    }
    if (const auto delegate = delegate_.lock()) {
        delegate->pictureInPictureControllerDidStopPictureInPicture(*this);
    }
}

// --- Stopping ---

void QLPictureInPictureController::stopPictureInPicture() {
    stopPictureInPictureIfNeeded();
}

void QLPictureInPictureController::stopPictureInPictureIfNeeded() {
    if (!pictureInPictureActive_) {
        return;
    }
    const auto keepAlive = shared_from_this();
    windowWillCloseObservation_.remove();
    const auto pip = pipViewController_;
    const auto presented = presentedViewController_;
    if (!pip) {
        invalidatePictureInPictureState();
        return;
    }
    pipActionReturn(*pip);
    pipWillClose(*pip);
    if (!presented || !platform::PIPViewController::isPresenting(*presented)) {
        pipDidClose(*pip);
    } else {
        QLSafelyUsePrivateAPI(
            [&](QLPrivateAPIErrorSlot*) { pip->dismissViewController(presented); });
    }
}

void QLPictureInPictureController::invalidatePictureInPictureState() {
    if (const auto pip = pipViewController_) {
        QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) { pip->setDelegate({}); });
    }
    returnVideoViewToContainer();
    pipViewController_.reset();
    presentedViewController_.reset();
    isDismissalAnimated_ = false;
    isContainerWindowClosing_ = false;
    windowWillCloseObservation_.remove();
    setPictureInPictureActive(false);
}

// --- Windows and views ---

QWidget* QLPictureInPictureController::containerWindow() const {
    return videoContainerView_ ? videoContainerView_->window() : nullptr;
}

void QLPictureInPictureController::bringContainerWindowToFront() {
    QWidget* window = containerWindow();
    if (window == nullptr) {
        return;
    }
    if (auto* nsWindow = dynamic_cast<platform::NSWindow*>(window)) {
        nsWindow->makeKeyAndOrderFront();
    } else {
        window->show();
        window->raise();
        window->activateWindow();
    }
}

void QLPictureInPictureController::returnVideoViewToContainer() {
    QWidget* videoView = videoViewInPictureInPicture_;
    videoViewInPictureInPicture_ = nullptr;
    if (videoView == nullptr || !videoContainerView_) {
        return;
    }
    if (videoView->parentWidget() != videoContainerView_) {
        videoView->hide();
        videoView->setParent(videoContainerView_);
    }
}

}  // namespace quillon
