#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "media-player/media-source/MediaSource.h"
#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/appkit/NSViewController.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/URL.h"
#include "platform/graphics/CGGeometry.h"
#include "player-interface/views/MediaPlayerViewDraggingDelegate.h"
#include "player-interface/widgets/PlaybackRateSlider.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowControllerDelegate.h"

class QMenu;
class QMouseEvent;
class QWheelEvent;

namespace platform {
class NSOpenPanel;
}  // namespace platform

namespace quillon {

class MediaPlayer;
class MediaPlayerControlsViewController;
class MediaPlayerDocumentProgressWindowController;
class MediaPlayerFloatingControlsVisibilityController;
class MediaPlayerFloatingControlsVisibilityControllerDelegate;
class MediaTrack;
class QLPictureInPictureController;
class VideoPlayerView;

// The content view controller of one player window: picks the video or the audio view, owns the
// controls, the floating-controls visibility and Picture in Picture controllers, applies the
// start-up preferences on the first appearance, tells the window which size it wants, keeps the
// player's state across launches, and answers the Tracks and Controls menus and subtitle files
// opened or dropped by the user. Main thread only.
class MediaPlayerViewController : public platform::NSViewController,
                                  public MediaPlayerViewDraggingDelegate,
                                  public MediaPlayerDocumentProgressWindowControllerDelegate,
                                  public std::enable_shared_from_this<MediaPlayerViewController> {
    struct Passkey {};

public:
    static constexpr const char* preferredSizeDidChangeNotification =
        "org.quillon.MediaPlayerViewController.preferredSizeDidChange";

    // Keys of the player's restorable state.
    static constexpr const char* selectedVideoTrackIdKey =
        "org.quillon.MediaPlayer.selectedVideoTrack.id";
    static constexpr const char* selectedAudioTrackIdKey =
        "org.quillon.MediaPlayer.selectedAudioTrack.id";
    static constexpr const char* selectedPrimarySubtitlesTrackIdKey =
        "org.quillon.MediaPlayer.selectedPrimarySubtitlesTrack.id";
    static constexpr const char* selectedSecondarySubtitlesTrackIdKey =
        "org.quillon.MediaPlayer.selectedSecondarySubtitlesTrack.id";
    static constexpr const char* currentTimeKey = "org.quillon.MediaPlayer.currentTime";
    static constexpr const char* desiredPlaybackRateKey =
        "org.quillon.MediaPlayer.desiredPlaybackRate";

    // What a subtitle file load hands back: the attached tracks of that file, or why it failed.
    using ExternalSubtitlesResult =
        std::variant<std::vector<std::shared_ptr<ExternalSubtitlesTrack>>, MediaSource::LoadError>;

    static std::shared_ptr<MediaPlayerViewController> make(std::shared_ptr<MediaPlayer> player);
    MediaPlayerViewController(Passkey, std::shared_ptr<MediaPlayer> player);
    ~MediaPlayerViewController() override;

    const std::shared_ptr<MediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    bool hasVideo() const { return hasVideo_; }
    bool isControlsViewFloating() const { return hasVideo_; }
    bool isResizable() const { return hasVideo_; }
    bool isRestoredFromPersistedState() const { return isRestoredFromPersistedState_; }

    // None until the view is loaded, and always for media without a picture.
    VideoPlayerView* videoPlayerView() const;
    const std::shared_ptr<MediaPlayerControlsViewController>& controlsViewController() const {
        return controlsViewController_;
    }
    const std::shared_ptr<MediaPlayerFloatingControlsVisibilityController>&
    floatingControlsVisibilityController() const {
        return floatingControlsVisibilityController_;
    }
    const std::shared_ptr<QLPictureInPictureController>& pictureInPictureController() const {
        return pictureInPictureController_;
    }
    // Held weakly; passed on to the floating-controls visibility controller.
    void setFloatingControlsVisibilityControllerDelegate(
        std::weak_ptr<MediaPlayerFloatingControlsVisibilityControllerDelegate> delegate);

    // Sizes in points for the window controller.
    platform::CGSize minimumSize();
    platform::CGSize preferredSize();
    // The rules behind the two: a resizable view with a picture of `aspectRatio` grows its
    // fitting size to that ratio; the preferred size is the picture's size when that is larger
    // in both dimensions, 640 × 480 without a picture when that is, else the minimum.
    static platform::CGSize minimumSize(platform::CGSize fittingSize, bool isResizable,
                                        std::optional<double> aspectRatio);
    static platform::CGSize preferredSize(platform::CGSize minimumSize, bool isResizable,
                                          std::optional<platform::CGSize> effectiveVideoSize);

    void loadView() override;
    void viewDidLoad() override;
    void viewDidAppear() override;
    void viewWillDisappear() override;

    void mouseUp(QMouseEvent* event);
    void scrollWheel(QWheelEvent* event);

    void updateEffectiveVideoSize();
    void handleFirstAppearance();

    void encodeRestorableState(platform::NSKeyedArchiver& coder) const override;
    void restoreState(platform::NSKeyedUnarchiver& coder) override;

    // The menu actions by selector name: "updateTracksMenu:" (sender: the QMenu),
    // "selectVideoTrack:", "selectAudioTrack:", "selectPrimarySubtitlesTrack:",
    // "selectSecondarySubtitlesTrack:" (sender: a platform::NSMenuItem),
    // "updatePlaybackRateSlider:", "selectPlaybackRate:" (sender: the DiscreteSlider),
    // "openExternalSubtitles:". Anything else goes on to the controls view controller.
    bool tryToPerform(std::string_view action, QObject* sender) override;
    // "openExternalSubtitles:" is enabled while the view is in a window and no subtitle file is
    // loading.
    std::optional<bool> validateAction(std::string_view action) override;

    void updateTracksMenu(QObject* sender);
    void selectVideoTrack(QObject* sender);
    void selectAudioTrack(QObject* sender);
    void selectPrimarySubtitlesTrack(QObject* sender);
    void selectSecondarySubtitlesTrack(QObject* sender);
    void updatePlaybackRateSlider(QObject* sender);
    void selectPlaybackRate(QObject* sender);
    void openExternalSubtitles(QObject* sender);

    // A track item's title: the language names (or "Unknown Language") joined by "/", then the
    // title in quotes when there is one; external tracks are marked as added.
    static std::string trackMenuItemTitle(const MediaTrack& track, bool isExternal);
    // The live track an item stands for, if any.
    static std::shared_ptr<MediaTrack> trackFromMenuItem(QObject* sender);

    // MediaPlayerViewDraggingDelegate
    bool isLoadingExternalSubtitles() const override {
        return externalSubtitlesOperationUUID_.has_value();
    }
    void loadExternalSubtitles(const platform::URL& url) override;

    void didLoadExternalSubtitles(const std::string& operationUUID, ExternalSubtitlesResult result);
    void endExternalSubtitlesOperation();

    // MediaPlayerDocumentProgressWindowControllerDelegate
    void mediaPlayerDocumentProgressWindowControllerDidCancel(
        MediaPlayerDocumentProgressWindowController& controller) override;

    const std::shared_ptr<MediaPlayerDocumentProgressWindowController>&
    externalSubtitlesProgressWindowController() const {
        return externalSubtitlesProgressWindowController_;
    }

private:
    class ViewEventFilter;

    void selectPlaybackRateFromSlider(PlaybackRateSlider& slider);
    void selectedMediaTrackDidChange();
    void selectedVideoTrackDidChange();

    // Sets the given selection to none the way the player's setters do.
    void clearPrimarySubtitlesSelection();
    void clearSecondarySubtitlesSelection();

    void addTrackMenuItems(QMenu& menu, const std::string& sectionTitle, std::string_view action,
                           const std::vector<std::shared_ptr<MediaTrack>>& tracks,
                           const std::vector<std::shared_ptr<MediaTrack>>& externalTracks,
                           const std::shared_ptr<MediaTrack>& selectedTrack);
    void addTrackMenuItem(const std::shared_ptr<MediaTrack>& track, QMenu& menu,
                          std::string_view action, bool isExternal,
                          const std::shared_ptr<MediaTrack>& selectedTrack);

    std::vector<std::string> subtitleFileExtensions() const;

    std::shared_ptr<MediaPlayer> mediaPlayer_;
    bool hasVideo_;
    bool isRestoredFromPersistedState_ = false;
    bool isFirstAppearance_ = true;
    QPointer<VideoPlayerView> videoPlayerView_;
    std::unique_ptr<ViewEventFilter> viewEventFilter_;
    std::shared_ptr<MediaPlayerControlsViewController> controlsViewController_;
    std::shared_ptr<MediaPlayerFloatingControlsVisibilityController>
        floatingControlsVisibilityController_;
    std::shared_ptr<QLPictureInPictureController> pictureInPictureController_;
    std::weak_ptr<MediaPlayerFloatingControlsVisibilityControllerDelegate>
        floatingControlsVisibilityControllerDelegate_;
    MediaPlayerTimeObserverManager::ObserverRef periodicTimeObserver_;
    std::vector<platform::ObserverToken> notificationObservations_;

    std::optional<std::string> externalSubtitlesOperationUUID_;
    std::shared_ptr<MediaPlayerDocumentProgressWindowController>
        externalSubtitlesProgressWindowController_;
    std::shared_ptr<platform::NSOpenPanel> externalSubtitlesOpenPanel_;
};

}  // namespace quillon
