#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <string>
#include <string_view>

#include "media-player/MediaPlayer.h"
#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/appkit/NSViewController.h"
#include "platform/avfoundation/AVAudioOutputContext.h"
#include "platform/avfoundation/AVRouteDetector.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/ObserverToken.h"
#include "player-interface/controls/MediaPlayerControlsUserInteractivityDelegate.h"
#include "player-interface/controls/MediaPlayerControlsView.h"
#include "player-interface/controls/ScrubberDelegate.h"
#include "player-interface/controls/TimeFormatter.h"
#include "player-interface/picture-in-picture/QLPictureInPictureControllerDelegate.h"
#include "player-interface/route-picker/QLRoutePickerController.h"

class QWheelEvent;

namespace platform {
class NSMenuItem;
}

namespace quillon {

class QLPictureInPictureController;

// The transport controls of one player window: play/pause, the time labels, the scrubber,
// Picture in Picture and the audio route button. It keeps them in step with the player's time
// and rate, turns the user's actions into player operations (each run synchronously on the
// player's queue), and tells its interactivity delegate while the user scrubs or has the route
// picker open, so that floating controls stay up meanwhile. Main thread only.
class MediaPlayerControlsViewController
    : public platform::NSViewController,
      public ScrubberDelegate,
      public QLRoutePickerControllerDelegate,
      public QLPictureInPictureControllerDelegate,
      public std::enable_shared_from_this<MediaPlayerControlsViewController> {
    struct Passkey {};

public:
    // One frame at 23.976 frames per second: the scrubber's value change per unit of scroll.
    static constexpr double scrubberScrollingValueAmount = 1000.0 / 23976.0;

    // `routes`: the sound server's outputs for the route button (null: the shared service).
    static std::shared_ptr<MediaPlayerControlsViewController> make(
        std::shared_ptr<MediaPlayer> player, platform::AudioRouteServiceRef routes = {});

    MediaPlayerControlsViewController(Passkey, std::shared_ptr<MediaPlayer> player,
                                      platform::AudioRouteServiceRef routes);
    ~MediaPlayerControlsViewController() override;

    // The view, loaded on first use.
    MediaPlayerControlsView* controlsView();
    const std::shared_ptr<MediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    // Null when there is no route button (no output context, or the button cannot be made).
    const std::shared_ptr<QLRoutePickerController>& routePickerController() const {
        return routePickerController_;
    }
    bool shouldShowEndTimeInsteadOfRemainingTime() const {
        return shouldShowEndTimeInsteadOfRemainingTime_;
    }
    const TimeFormatter& timeFormatter() const { return timeFormatter_; }

    // True while the player seeks interactively or the route picker is open.
    bool isUserInteracting() const { return isUserInteracting_; }
    std::shared_ptr<MediaPlayerControlsUserInteractivityDelegate> userInteractivityDelegate()
        const {
        return userInteractivityDelegate_.lock();
    }
    void setUserInteractivityDelegate(
        std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> delegate);

    const std::shared_ptr<QLPictureInPictureController>& pictureInPictureController() const;
    void setPictureInPictureController(std::shared_ptr<QLPictureInPictureController> controller);

    // The interval of the scrubber's time observer: about one update per device pixel of knob
    // travel, never more often than every millisecond.
    static platform::CMTime scrubberTimeObserverInterval(double durationSeconds,
                                                         double scrubberWidth, double scaleFactor);
    // The interval in use now (invalid while no observer is installed).
    platform::CMTime currentScrubberTimeObserverInterval() const {
        return scrubberObserverInterval_;
    }

    // The jump interval the actions use for a stored one: 1 to 300 seconds.
    static double clampedJumpInterval(double storedSeconds);

    // Scrolling anywhere over the controls scrubs.
    void scrollWheel(QWheelEvent* event);

    // Responder-chain actions.
    bool tryToPerform(std::string_view action, QObject* sender) override;
    void togglePlayPauseState();
    void toggleEndAndRemainingTimeLabelVisibility();
    void stepBackward();
    void stepForward();
    void jumpBackward();
    void jumpForward();
    void jumpToBeginning();
    void jumpToEnd();
    void updatePictureInPictureMenuItem(platform::NSMenuItem& menuItem);
    void startPictureInPicture();
    void stopPictureInPicture();
    void scrubberValueDidChange(Scrubber& scrubber);

    // Re-installs the scrubber's time observer for the scrubber's new width.
    void viewDidLayout();
    // Runs when the window's focus moves while the view is on screen.
    void firstResponderDidChange();
    bool isFirstResponderInControls() const;

    // NSViewController
    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;

    // ScrubberDelegate
    void scrubberDidBeginTracking() override;
    void scrubberDidEndTracking() override;

    // QLRoutePickerControllerDelegate
    void routePickerControllerDidChangeShouldShowRoutePickerButton(
        QLRoutePickerController& controller, bool shouldShowRoutePickerButton) override;
    void routePickerControllerWillShowRoutePicker(QLRoutePickerController& controller) override;
    void routePickerControllerDidHideRoutePicker(QLRoutePickerController& controller) override;

    // QLPictureInPictureControllerDelegate
    void pictureInPictureControllerFailedToStartPictureInPicture(
        QLPictureInPictureController& controller, const platform::NSError& error) override;

private:
    class ViewEventFilter;

    void mediaPlayerRateDidChange();
    void mediaPlayerDurationDidChange();
    void updatePlayPauseButtonState();
    void updateEndAndRemainingTimeLabelVisibility();
    void addLabelsTimeObserver();
    void removeLabelsTimeObserver();
    void updateTimeLabels(platform::CMTime time);
    void addScrubberTimeObserver();
    void removeScrubberTimeObserver();
    void updateScrubber(platform::CMTime time);
    platform::CMTime currentMediaTime() const;
    void updateUserInteractionState();
    void noteMomentaryUserInteraction();
    void updateKeyViewLoop();
    void updatePictureInPictureButton();
    void jump(double direction);
    void pauseThenRunOnQueue(const std::function<void(MediaPlayer&)>& operation);

    QPointer<MediaPlayerControlsView> controlsView_;
    std::shared_ptr<QLRoutePickerController> routePickerController_;
    // The context made for the route button when the renderer has none of its own.
    std::shared_ptr<platform::AVAudioOutputContext> ownOutputContext_;
    std::shared_ptr<MediaPlayer> mediaPlayer_;
    // The duration as the controls show it; a duration that the file does not state follows the
    // source as it becomes known.
    platform::CMTime endTime_;
    MediaPlayerTimeObserverManager::ObserverRef periodicTimeObserverForLabels_;
    MediaPlayerTimeObserverManager::ObserverRef periodicTimeObserverForScrubber_;
    platform::CMTime scrubberObserverInterval_;
    TimeFormatter timeFormatter_;
    bool shouldShowEndTimeInsteadOfRemainingTime_ = false;
    std::shared_ptr<QLPictureInPictureController> pictureInPictureController_;
    platform::ObserverToken pictureInPictureActiveKeyValueObservation_;
    std::weak_ptr<MediaPlayerControlsUserInteractivityDelegate> userInteractivityDelegate_;
    bool isUserInteracting_ = false;
    // What a click on the Picture in Picture button does: stop when true, else start.
    bool pictureInPictureButtonStops_ = false;
    QMetaObject::Connection firstResponderObserver_;
    platform::ObserverToken rateDidChangeObservation_;
    platform::ObserverToken durationDidChangeObservation_;
    std::unique_ptr<ViewEventFilter> viewEventFilter_;
};

}  // namespace quillon
