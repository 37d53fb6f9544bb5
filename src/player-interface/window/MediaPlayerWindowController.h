#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "media-player/MediaPlayer.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/graphics/CGGeometry.h"
#include "player-interface/controls/MediaPlayerFloatingControlsVisibilityControllerDelegate.h"
#include "player-interface/window/MediaPlayerWindowControllerTitlebar.h"

namespace platform {
class NSVisualEffectView;
}

namespace quillon {

class MediaPlayerViewController;

// Runs the window of one player: makes the window and its content view controller, keeps the
// window's aspect ratio, minimum size and frame in line with the player's sizes, keeps the
// title bar opaque in full screen and while a sheet is attached (otherwise it follows the
// floating controls), enters full screen on the first appearance when the user asked for it,
// and titles the window from the media's metadata. Main thread only.
class MediaPlayerWindowController
    : public platform::NSWindowController,
      public MediaPlayerFloatingControlsVisibilityControllerDelegate,
      public std::enable_shared_from_this<MediaPlayerWindowController> {
public:
    static constexpr const char* mediaPlayerWindowIdentifier =
        "org.quillon.player.MediaPlayerWindow";
    static constexpr const char* mediaPlayerViewControllerIdentifier =
        "org.quillon.player.MediaPlayerWindowController.mediaPlayerViewController";

    static std::shared_ptr<MediaPlayerWindowController> make(std::shared_ptr<MediaPlayer> player);
    // The same with the title bar reached through `titlebar` (tests record it).
    static std::shared_ptr<MediaPlayerWindowController> make(
        std::shared_ptr<MediaPlayer> player,
        std::shared_ptr<MediaPlayerWindowControllerTitlebar> titlebar);
    ~MediaPlayerWindowController() override;

    const std::shared_ptr<MediaPlayer>& mediaPlayer() const { return mediaPlayer_; }
    // Null until the window has loaded.
    const std::shared_ptr<MediaPlayerViewController>& mediaPlayerViewController() const {
        return mediaPlayerViewController_;
    }

    // Called by the document once the window is shown or restored: enters full screen on the
    // first appearance of a window that was not restored, when the user asked for it, once
    // window restoration has finished.
    void handleWindowShown();
    bool isRestoredFromPersistedState() const { return isRestoredFromPersistedState_; }
    void restoreState(platform::NSKeyedUnarchiver& coder) override;
    std::string windowTitleForDocumentDisplayName(const std::string& displayName) const override;

    // The window, made on first use.
    using platform::NSWindowController::window;
    platform::NSWindow* window() override { return platform::NSWindowController::window(); }
    // The floating controls' title-bar hooks.
    QWidget* windowTitlebarContainerView() const override { return windowTitlebarContainerView_; }
    void showTitlebar(bool animated) override;
    void hideTitlebar(bool animated) override;

    // The title bar alpha the floating controls last asked for.
    double desiredTitlebarAlpha() const { return desiredTitlebarAlpha_; }
    // In full screen or with a sheet attached the title bar stays opaque; false without a window.
    bool isTitlebarAlwaysShown() const;
    // Whether the content's minimum size is in force (it is not in full screen).
    bool areMinimumSizeConstraintsActive() const { return minimumSizeConstraintsActive_; }
    platform::CGSize minimumContentSize() const { return minimumContentSize_; }
    // A preferred-size change in full screen waits for the window to leave it.
    bool needsSetWindowFrameFromPreferredSize() const {
        return needsSetWindowFrameFromPreferredSize_;
    }
    // Takes the content's minimum size from the view controller again.
    void updateMinimumSizeConstraints();
    // The frame size that shows the view controller's preferred content size, scaled down
    // uniformly until it fits `visibleFrame` (never scaled up).
    platform::CGSize preferredWindowFrameSize(const platform::NSWindow& window,
                                              const platform::CGRect& visibleFrame) const;
    // Runs once: enters full screen when QPEnterFullScreenAutomaticallyOnOpen is on, unless the
    // window was restored or already is in full screen.
    void enterFullScreenAutomaticallyIfNeeded();

protected:
    std::shared_ptr<platform::NSWindow> makeManagedWindow() override;
    void windowDidLoad() override;

private:
    MediaPlayerWindowController(std::shared_ptr<MediaPlayer> player,
                                std::shared_ptr<MediaPlayerWindowControllerTitlebar> titlebar);

    void setTitlebarAlpha(double alpha, bool animated);
    void setMinimumSizeConstraintsActive(bool active);
    void applyMinimumSizeConstraints();
    // Keeps the top-left corner at `topLeft`, else where the frame has it now.
    void setWindowFrameFromPreferredSize(std::optional<platform::CGPoint> topLeft = std::nullopt);
    void observeNotifications();

    void preferredSizeDidChange();
    void windowWillEnterFullScreen();
    void windowDidEnterFullScreen();
    void windowWillExitFullScreen();
    void windowDidExitFullScreen();
    void windowWillBeginSheet();
    void windowDidEndSheet();

    std::shared_ptr<MediaPlayer> mediaPlayer_;
    bool isRestoredFromPersistedState_ = false;
    bool isFirstAppearance_ = true;
    QPointer<QWidget> windowTitlebarContainerView_;
    QPointer<platform::NSVisualEffectView> windowTitlebarVisualEffectView_;
    std::shared_ptr<MediaPlayerViewController> mediaPlayerViewController_;
    // The content view's "width ≥ constant" and "height ≥ constant", in force only together.
    platform::CGSize minimumContentSize_{0, 0};
    bool minimumSizeConstraintsActive_ = false;
    bool needsSetWindowFrameFromPreferredSize_ = false;
    // Where the window's top-left corner was before full screen. The window system gives the
    // window its frame back only some time after it has left full screen, so the corner to keep
    // is taken from here.
    std::optional<platform::CGPoint> frameOriginBeforeFullScreen_;
    double desiredTitlebarAlpha_ = 1.0;
    std::shared_ptr<MediaPlayerWindowControllerTitlebar> titlebar_;
    std::vector<platform::ObserverToken> observations_;
};

}  // namespace quillon
