#include "player-interface/controls/MediaPlayerControlsViewController.h"

#include <fmt/format.h>

#include <QApplication>
#include <QEvent>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/common/ErrorAlerts.h"
#include "player-interface/controls/SpelledOutDuration.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/widgets/AccessibleSlider.h"

namespace quillon {

namespace {

constexpr const char* showEndTimeInsteadOfRemainingTimeKey = "QPShowEndTimeInsteadOfRemainingTime";

constexpr double minimumJumpInterval = 1;
constexpr double maximumJumpInterval = 300;

std::string scrubberAccessibilityValue(double seconds) {
    if (auto words = spelledOutDuration(seconds)) {
        return *std::move(words);
    }
    return fmt::format("{}", seconds);
}

}  // namespace

// Turns the view's events into the controller's calls: layout of the scrubber, wheel events
// anywhere over the controls, and clicks on the end or remaining time.
class MediaPlayerControlsViewController::ViewEventFilter final : public QObject {
public:
    explicit ViewEventFilter(MediaPlayerControlsViewController& controller)
        : controller_(controller) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        MediaPlayerControlsView* const view = controller_.controlsView_;
        if (view == nullptr) {
            return false;
        }
        switch (event->type()) {
            case QEvent::Resize:
                if (watched == view->scrubber()) {
                    controller_.viewDidLayout();
                }
                break;
            case QEvent::Wheel:
                // The scrubber takes its own wheel events; the rest of the row passes them on.
                if (watched == view) {
                    controller_.scrollWheel(static_cast<QWheelEvent*>(event));
                    return true;
                }
                break;
            case QEvent::MouseButtonRelease:
                if ((watched == view->endTimeLabel() || watched == view->remainingTimeLabel()) &&
                    static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                    controller_.toggleEndAndRemainingTimeLabelVisibility();
                    return true;
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    MediaPlayerControlsViewController& controller_;
};

std::shared_ptr<MediaPlayerControlsViewController> MediaPlayerControlsViewController::make(
    std::shared_ptr<MediaPlayer> player, platform::AudioRouteServiceRef routes) {
    return std::make_shared<MediaPlayerControlsViewController>(Passkey{}, std::move(player),
                                                               std::move(routes));
}

MediaPlayerControlsViewController::MediaPlayerControlsViewController(
    Passkey, std::shared_ptr<MediaPlayer> player, platform::AudioRouteServiceRef routes)
    : mediaPlayer_(std::move(player)), endTime_(mediaPlayer_->duration()) {
    timeFormatter_.alwaysIncludeHours = platform::CMTimeGetSeconds(endTime_) >= 3600;
    shouldShowEndTimeInsteadOfRemainingTime_ =
        platform::UserDefaults::standard().boolForKey(showEndTimeInsteadOfRemainingTimeKey);

    // This desktop gives the renderer no output context of its own; without one the output
    // device could never be chosen, so the controls make one for their player.
    platform::AVOutputContextRef outputContext;
    if (const auto& renderer = mediaPlayer_->audioRenderer()) {
        outputContext = renderer->ql_outputContext();
        if (!outputContext) {
            ownOutputContext_ = platform::AVAudioOutputContext::make();
            ownOutputContext_->addRenderer(renderer);
            outputContext = ownOutputContext_;
        }
    }
    if (outputContext) {
        routePickerController_ =
            routes ? QLRoutePickerController::make(outputContext, std::move(routes))
                   : QLRoutePickerController::make(outputContext);
    }
}

MediaPlayerControlsViewController::~MediaPlayerControlsViewController() {
    QObject::disconnect(firstResponderObserver_);
    removeLabelsTimeObserver();
    removeScrubberTimeObserver();
    if (pictureInPictureController_) {
        pictureInPictureController_->setDelegate({});
    }
}

MediaPlayerControlsView* MediaPlayerControlsViewController::controlsView() {
    view();
    return controlsView_;
}

void MediaPlayerControlsViewController::setUserInteractivityDelegate(
    std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> delegate) {
    userInteractivityDelegate_ = std::move(delegate);
}

// --- View life ---

void MediaPlayerControlsViewController::loadView() {
    auto view = std::make_unique<MediaPlayerControlsView>();
    controlsView_ = view.get();
    setView(std::move(view));
}

void MediaPlayerControlsViewController::viewDidLoad() {
    MediaPlayerControlsView& view = *controlsView_;
    const std::weak_ptr<MediaPlayerControlsViewController> weakSelf = weak_from_this();

    if (routePickerController_) {
        if (auto button = routePickerController_->takeRoutePickerButtonView()) {
            view.setRoutePickerButtonView(std::move(button));
        }
        routePickerController_->setDelegate(
            std::weak_ptr<QLRoutePickerControllerDelegate>(weakSelf));
        if (QAbstractButton* button = view.routePickerButtonView()) {
            button->setHidden(!routePickerController_->shouldShowRoutePickerButton());
        }
    }

    Scrubber& scrubber = *view.scrubber();
    scrubber.setMinValue(0);
    scrubber.setMaxValue(platform::CMTimeGetSeconds(endTime_));
    scrubber.setScrollingValueAmount(scrubberScrollingValueAmount);
    scrubber.setAccessibilityValueFormatter(scrubberAccessibilityValue);
    scrubber.action().set(shared_from_this(),
                          &MediaPlayerControlsViewController::scrubberValueDidChange);
    scrubber.setDelegate(std::weak_ptr<ScrubberDelegate>(weakSelf));

    // Posted from a background queue: only the weak reference travels there, so that the
    // controller never ends on that queue.
    rateDidChangeObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
        MediaPlayer::rateDidChangeNotification, mediaPlayer_.get(),
        [weakSelf](const platform::Notification&) {
            platform::DispatchQueue::main().async([weakSelf] {
                if (const auto self = weakSelf.lock()) {
                    self->mediaPlayerRateDidChange();
                }
            });
        });

    durationDidChangeObservation_ = platform::NotificationCenter::defaultCenter().addObserver(
        MediaPlayer::durationDidChangeNotification, mediaPlayer_.get(),
        [weakSelf](const platform::Notification&) {
            platform::DispatchQueue::main().async([weakSelf] {
                if (const auto self = weakSelf.lock()) {
                    self->mediaPlayerDurationDidChange();
                }
            });
        });

    updatePlayPauseButtonState();
    view.endTimeLabel()->setText(QString::fromStdString(
        timeFormatter_.stringFromSeconds(platform::CMTimeGetSeconds(endTime_))));
    updateEndAndRemainingTimeLabelVisibility();
    updateUserInteractionState();
    addLabelsTimeObserver();

    view.pictureInPictureButton()->setHidden(!pictureInPictureController_);
    updatePictureInPictureButton();

    QObject::connect(view.playPauseButton(), &QToolButton::clicked, &view,
                     [this] { togglePlayPauseState(); });
    QObject::connect(view.pictureInPictureButton(), &QToolButton::clicked, &view, [this] {
        if (pictureInPictureButtonStops_) {
            stopPictureInPicture();
        } else {
            startPictureInPicture();
        }
    });

    viewEventFilter_ = std::make_unique<ViewEventFilter>(*this);
    for (QObject* watched : std::initializer_list<QObject*>{
             &view, view.scrubber(), view.endTimeLabel(), view.remainingTimeLabel()}) {
        watched->installEventFilter(viewEventFilter_.get());
    }
}

void MediaPlayerControlsViewController::viewWillAppear() {
    updateKeyViewLoop();
}

void MediaPlayerControlsViewController::viewDidAppear() {
    QObject::disconnect(firstResponderObserver_);
    firstResponderObserver_ = QObject::connect(qApp, &QApplication::focusChanged, controlsView_,
                                               [this] { firstResponderDidChange(); });
    firstResponderDidChange();
}

void MediaPlayerControlsViewController::viewWillDisappear() {
    QObject::disconnect(firstResponderObserver_);
}

void MediaPlayerControlsViewController::viewDidLayout() {
    addScrubberTimeObserver();
}

void MediaPlayerControlsViewController::updateKeyViewLoop() {
    MediaPlayerControlsView* const view = controlsView_;
    QWidget* const playPauseButton = view->playPauseButton();
    QWidget::setTabOrder(view, playPauseButton);
    if (routePickerController_ && view->routePickerButtonView() != nullptr) {
        QWidget::setTabOrder(playPauseButton, view->routePickerButtonView());
    }
    QWidget* const window = view->window();
    if (window != view && !window->isVisible()) {
        view->setFocus(Qt::OtherFocusReason);
    }
}

// --- Keyboard focus ---

bool MediaPlayerControlsViewController::isFirstResponderInControls() const {
    MediaPlayerControlsView* const view = controlsView_;
    if (view == nullptr) {
        return false;
    }
    QWidget* const window = view->window();
    if (window == view) {
        return false;
    }
    QWidget* const firstResponder = window->focusWidget();
    if (firstResponder == nullptr) {
        return false;
    }
    return firstResponder == view || view->isAncestorOf(firstResponder);
}

void MediaPlayerControlsViewController::firstResponderDidChange() {
    if (isFirstResponderInControls()) {
        noteMomentaryUserInteraction();
    }
}

// --- Play state and time ---

void MediaPlayerControlsViewController::mediaPlayerDurationDidChange() {
    endTime_ = mediaPlayer_->duration();
    if (platform::CMTimeGetSeconds(endTime_) >= 3600) {
        timeFormatter_.alwaysIncludeHours = true;
    }
    if (controlsView_ == nullptr) {
        return;
    }
    controlsView_->scrubber()->setMaxValue(platform::CMTimeGetSeconds(endTime_));
    controlsView_->endTimeLabel()->setText(QString::fromStdString(
        timeFormatter_.stringFromSeconds(platform::CMTimeGetSeconds(endTime_))));
    if (periodicTimeObserverForScrubber_) {
        // Its interval follows the length of the media.
        addScrubberTimeObserver();
    }
    updateTimeLabels(currentMediaTime());
}

void MediaPlayerControlsViewController::mediaPlayerRateDidChange() {
    updatePlayPauseButtonState();
}

void MediaPlayerControlsViewController::updatePlayPauseButtonState() {
    if (controlsView_ == nullptr) {
        return;
    }
    const bool playing = mediaPlayer_->queue()->sync([&] { return mediaPlayer_->isPlaying(); });
    controlsView_->playPauseButton()->setChecked(playing);
}

void MediaPlayerControlsViewController::updateEndAndRemainingTimeLabelVisibility() {
    if (controlsView_ == nullptr) {
        return;
    }
    controlsView_->endTimeLabel()->setHidden(!shouldShowEndTimeInsteadOfRemainingTime_);
    controlsView_->remainingTimeLabel()->setHidden(shouldShowEndTimeInsteadOfRemainingTime_);
}

platform::CMTime MediaPlayerControlsViewController::currentMediaTime() const {
    const MediaPlayerTimeObserverManager& manager = mediaPlayer_->timeObserverManager();
    return platform::CMTimeSubtract(manager.renderSynchronizer()->currentTime(),
                                    manager.startTime());
}

void MediaPlayerControlsViewController::addLabelsTimeObserver() {
    removeLabelsTimeObserver();
    std::weak_ptr<MediaPlayerControlsViewController> weakSelf = weak_from_this();
    periodicTimeObserverForLabels_ = mediaPlayer_->timeObserverManager().addPeriodicTimeObserver(
        platform::CMTimeMake(1, 1), nullptr, [weakSelf](platform::CMTime) {
            if (const auto self = weakSelf.lock()) {
                self->updateTimeLabels(self->currentMediaTime());
            }
        });
    updateTimeLabels(currentMediaTime());
}

void MediaPlayerControlsViewController::removeLabelsTimeObserver() {
    if (periodicTimeObserverForLabels_) {
        mediaPlayer_->timeObserverManager().removeTimeObserver(periodicTimeObserverForLabels_);
        periodicTimeObserverForLabels_.reset();
    }
}

void MediaPlayerControlsViewController::updateTimeLabels(platform::CMTime time) {
    if (controlsView_ == nullptr) {
        return;
    }
    const double seconds = platform::CMTimeGetSeconds(time);
    const double remaining = platform::CMTimeGetSeconds(endTime_) - seconds;
    controlsView_->currentTimeLabel()->setText(
        QString::fromStdString(timeFormatter_.stringFromSeconds(seconds)));
    // Negated rather than written with a sign, so that the end itself reads "-00:00".
    controlsView_->remainingTimeLabel()->setText(
        QString::fromStdString(timeFormatter_.stringFromSeconds(-remaining)));
}

platform::CMTime MediaPlayerControlsViewController::scrubberTimeObserverInterval(
    double durationSeconds, double scrubberWidth, double scaleFactor) {
    constexpr double minimumInterval = 0.001;
    // Before the first layout the scrubber has no width; one pixel keeps the interval finite
    // until the observer is installed again for the real width.
    const double pixels = std::max(std::ceil(scrubberWidth * scaleFactor), 1.0);
    double interval = std::max(durationSeconds / pixels, minimumInterval);
    if (!std::isfinite(interval)) {
        // An indefinite duration: the knob cannot be placed anyway; update now and then.
        interval = 1;
    }
    return platform::CMTimeMakeWithSeconds(interval, 1000);
}

void MediaPlayerControlsViewController::addScrubberTimeObserver() {
    removeScrubberTimeObserver();
    if (controlsView_ == nullptr) {
        return;
    }
    Scrubber* const scrubber = controlsView_->scrubber();
    QWidget* const window = scrubber->window();
    const double scaleFactor = window != nullptr && window->windowHandle() != nullptr
                                   ? scrubber->devicePixelRatioF()
                                   : 1.0;
    scrubberObserverInterval_ = scrubberTimeObserverInterval(platform::CMTimeGetSeconds(endTime_),
                                                             scrubber->width(), scaleFactor);

    std::weak_ptr<MediaPlayerControlsViewController> weakSelf = weak_from_this();
    periodicTimeObserverForScrubber_ = mediaPlayer_->timeObserverManager().addPeriodicTimeObserver(
        scrubberObserverInterval_, nullptr, [weakSelf](platform::CMTime) {
            if (const auto self = weakSelf.lock()) {
                self->updateScrubber(self->currentMediaTime());
            }
        });
    updateScrubber(currentMediaTime());
}

void MediaPlayerControlsViewController::removeScrubberTimeObserver() {
    if (periodicTimeObserverForScrubber_) {
        mediaPlayer_->timeObserverManager().removeTimeObserver(periodicTimeObserverForScrubber_);
        periodicTimeObserverForScrubber_.reset();
    }
}

void MediaPlayerControlsViewController::updateScrubber(platform::CMTime time) {
    if (controlsView_ == nullptr) {
        return;
    }
    Scrubber* const scrubber = controlsView_->scrubber();
    scrubber->setValue(platform::CMTimeGetSeconds(time));
    scrubber->update();
    postAccessibilityValueChanged(scrubber, scrubber->value());
}

// --- Actions ---

bool MediaPlayerControlsViewController::tryToPerform(std::string_view action, QObject* sender) {
    if (action == "togglePlayPauseState:") {
        togglePlayPauseState();
    } else if (action == "toggleEndAndRemainingTimeLabelVisibility:") {
        toggleEndAndRemainingTimeLabelVisibility();
    } else if (action == "stepBackward:") {
        stepBackward();
    } else if (action == "stepForward:") {
        stepForward();
    } else if (action == "jumpBackward:") {
        jumpBackward();
    } else if (action == "jumpForward:") {
        jumpForward();
    } else if (action == "jumpToBeginning:") {
        jumpToBeginning();
    } else if (action == "jumpToEnd:") {
        jumpToEnd();
    } else if (action == "updatePictureInPictureMenuItem:") {
        // Only a menu item can be updated; anything else is taken and left alone.
        if (auto* item = dynamic_cast<platform::NSMenuItem*>(sender)) {
            updatePictureInPictureMenuItem(*item);
        }
    } else if (action == "startPictureInPicture:") {
        startPictureInPicture();
    } else if (action == "stopPictureInPicture:") {
        stopPictureInPicture();
    } else {
        return NSViewController::tryToPerform(action, sender);
    }
    return true;
}

void MediaPlayerControlsViewController::togglePlayPauseState() {
    mediaPlayer_->queue()->sync([&] { mediaPlayer_->togglePlayPause(); });
    // A click has flipped the button already; show what the player made of it.
    updatePlayPauseButtonState();
}

void MediaPlayerControlsViewController::toggleEndAndRemainingTimeLabelVisibility() {
    shouldShowEndTimeInsteadOfRemainingTime_ = !shouldShowEndTimeInsteadOfRemainingTime_;
    platform::UserDefaults::standard().set(shouldShowEndTimeInsteadOfRemainingTime_,
                                           showEndTimeInsteadOfRemainingTimeKey);
    updateEndAndRemainingTimeLabelVisibility();
}

void MediaPlayerControlsViewController::pauseThenRunOnQueue(
    const std::function<void(MediaPlayer&)>& operation) {
    mediaPlayer_->queue()->sync([&] { mediaPlayer_->pause(); });
    mediaPlayer_->queue()->sync([&] { operation(*mediaPlayer_); });
}

void MediaPlayerControlsViewController::stepBackward() {
    pauseThenRunOnQueue(
        [](MediaPlayer& player) { player.skip(-1, MediaPlayer::SkipUnit::frames); });
}

void MediaPlayerControlsViewController::stepForward() {
    pauseThenRunOnQueue([](MediaPlayer& player) { player.skip(1, MediaPlayer::SkipUnit::frames); });
}

double MediaPlayerControlsViewController::clampedJumpInterval(double storedSeconds) {
    // Written so that a stored value that is not a number gives the minimum too.
    if (!(storedSeconds > minimumJumpInterval)) {
        return minimumJumpInterval;
    }
    return std::min(storedSeconds, maximumJumpInterval);
}

void MediaPlayerControlsViewController::jump(double direction) {
    const double interval =
        clampedJumpInterval(jumpIntervalInSeconds(platform::UserDefaults::standard()));
    mediaPlayer_->queue()->sync(
        [&] { mediaPlayer_->skip(direction * interval, MediaPlayer::SkipUnit::seconds); });
}

void MediaPlayerControlsViewController::jumpBackward() {
    jump(-1);
}

void MediaPlayerControlsViewController::jumpForward() {
    jump(1);
}

void MediaPlayerControlsViewController::jumpToBeginning() {
    pauseThenRunOnQueue(
        [](MediaPlayer& player) { player.seekOnQueue(platform::CMTimeMake(0, 1)); });
}

void MediaPlayerControlsViewController::jumpToEnd() {
    const platform::CMTime end = mediaPlayer_->mediaSource()->duration();
    pauseThenRunOnQueue([end](MediaPlayer& player) { player.seekOnQueue(end); });
}

void MediaPlayerControlsViewController::scrubberValueDidChange(Scrubber& scrubber) {
    const platform::CMTime time = platform::CMTimeMakeWithSeconds(scrubber.value(), 1000);
    mediaPlayer_->queue()->sync([&] { mediaPlayer_->seekOnQueue(time); });
}

void MediaPlayerControlsViewController::scrollWheel(QWheelEvent* event) {
    if (controlsView_ != nullptr) {
        QCoreApplication::sendEvent(controlsView_->scrubber(), event);
    }
}

// --- Scrubbing and user interaction ---

void MediaPlayerControlsViewController::scrubberDidBeginTracking() {
    mediaPlayer_->queue()->sync([&] { mediaPlayer_->beginSeekingInteractively(); });
    updateUserInteractionState();
    updateScrubber(currentMediaTime());
}

void MediaPlayerControlsViewController::scrubberDidEndTracking() {
    mediaPlayer_->queue()->sync([&] { mediaPlayer_->endSeekingInteractively(); });
    updateUserInteractionState();
}

void MediaPlayerControlsViewController::updateUserInteractionState() {
    const bool seeking =
        mediaPlayer_->queue()->sync([&] { return mediaPlayer_->isSeekingInteractively(); });
    const bool wasInteracting = isUserInteracting_;
    isUserInteracting_ =
        seeking || (routePickerController_ && routePickerController_->isShowingRoutePicker());
    if (isUserInteracting_ == wasInteracting) {
        return;
    }
    if (const auto delegate = userInteractivityDelegate_.lock()) {
        if (isUserInteracting_) {
            delegate->userInteractionDidBegin();
        } else {
            delegate->userInteractionDidEnd();
        }
    }
}

void MediaPlayerControlsViewController::noteMomentaryUserInteraction() {
    if (isUserInteracting_) {
        return;
    }
    isUserInteracting_ = true;
    if (const auto delegate = userInteractivityDelegate_.lock()) {
        delegate->userInteractionDidBegin();
    }
    isUserInteracting_ = false;
    if (const auto delegate = userInteractivityDelegate_.lock()) {
        delegate->userInteractionDidEnd();
    }
}

// --- Route picker ---

void MediaPlayerControlsViewController::routePickerControllerDidChangeShouldShowRoutePickerButton(
    QLRoutePickerController&, bool shouldShowRoutePickerButton) {
    if (controlsView_ != nullptr) {
        if (QAbstractButton* button = controlsView_->routePickerButtonView()) {
            button->setHidden(!shouldShowRoutePickerButton);
        }
    }
}

void MediaPlayerControlsViewController::routePickerControllerWillShowRoutePicker(
    QLRoutePickerController&) {
    updateUserInteractionState();
}

void MediaPlayerControlsViewController::routePickerControllerDidHideRoutePicker(
    QLRoutePickerController&) {
    updateUserInteractionState();
}

// --- Picture in Picture ---

const std::shared_ptr<QLPictureInPictureController>&
MediaPlayerControlsViewController::pictureInPictureController() const {
    return pictureInPictureController_;
}

void MediaPlayerControlsViewController::setPictureInPictureController(
    std::shared_ptr<QLPictureInPictureController> controller) {
    if (controller == pictureInPictureController_) {
        return;
    }
    if (pictureInPictureController_) {
        pictureInPictureController_->setDelegate({});
    }
    pictureInPictureController_ = std::move(controller);
    pictureInPictureActiveKeyValueObservation_.remove();
    if (pictureInPictureController_) {
        pictureInPictureController_->setDelegate(
            std::weak_ptr<QLPictureInPictureControllerDelegate>(weak_from_this()));
        std::weak_ptr<MediaPlayerControlsViewController> weakSelf = weak_from_this();
        pictureInPictureActiveKeyValueObservation_ =
            pictureInPictureController_->observePictureInPictureActive([weakSelf] {
                if (const auto self = weakSelf.lock()) {
                    self->updatePictureInPictureButton();
                }
            });
    }
    if (controlsView_ != nullptr) {
        controlsView_->pictureInPictureButton()->setHidden(!pictureInPictureController_);
    }
    updatePictureInPictureButton();
}

void MediaPlayerControlsViewController::updatePictureInPictureButton() {
    const bool active =
        pictureInPictureController_ && pictureInPictureController_->isPictureInPictureActive();
    pictureInPictureButtonStops_ = active;
    if (controlsView_ != nullptr && controlsView_->isPictureInPictureActive() != active) {
        controlsView_->setPictureInPictureActive(active);
    }
}

void MediaPlayerControlsViewController::updatePictureInPictureMenuItem(
    platform::NSMenuItem& menuItem) {
    if (!pictureInPictureController_) {
        menuItem.setVisible(false);
        return;
    }
    // A player window that gains a controller later shows the item again.
    menuItem.setVisible(true);
    const bool active = pictureInPictureController_->isPictureInPictureActive();
    menuItem.setText(QString::fromStdString(
        active ? QLPictureInPictureController::pictureInPictureControlTitleStop()
               : QLPictureInPictureController::pictureInPictureControlTitleStart()));
    menuItem.setAction(active ? "stopPictureInPicture:" : "startPictureInPicture:");
}

void MediaPlayerControlsViewController::startPictureInPicture() {
    if (pictureInPictureController_) {
        pictureInPictureController_->startPictureInPicture();
    }
}

void MediaPlayerControlsViewController::stopPictureInPicture() {
    if (pictureInPictureController_) {
        pictureInPictureController_->stopPictureInPicture();
    }
}

void MediaPlayerControlsViewController::pictureInPictureControllerFailedToStartPictureInPicture(
    QLPictureInPictureController&, const platform::NSError& error) {
    if (controlsView_ == nullptr) {
        return;
    }
    QWidget* const window = controlsView_->window();
    if (window == controlsView_) {
        return;
    }
    auto alert = makeUnknownErrorAlert(
        platform::localizedString("Failed to start Picture in Picture.",
                                  "The message text of the alert that is shown after a failure "
                                  "to start Picture in Picture playback."),
        error);
    platform::NSAlert::beginSheetModalForWindow(std::move(alert), window, {});
}

}  // namespace quillon
