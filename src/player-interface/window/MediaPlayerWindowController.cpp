#include "player-interface/window/MediaPlayerWindowController.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "media-player/media-source/MediaSourceMetadata.h"
#include "platform/appkit/NSVisualEffectView.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/common/WindowRestorationObserver.h"
#include "player-interface/window/MediaPlayerViewController.h"
#include "player-interface/window/MediaPlayerWindow.h"

namespace quillon {

namespace {

using platform::CGRect;
using platform::CGSize;

bool isMacOSBefore11() {
    return platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0);
}

// The window's first content size; windowDidLoad sizes and centres the window itself.
constexpr CGRect initialContentRect{{0, 0}, {640, 360}};

}  // namespace

std::shared_ptr<MediaPlayerWindowController> MediaPlayerWindowController::make(
    std::shared_ptr<MediaPlayer> player) {
    return make(std::move(player), std::make_shared<MediaPlayerWindowControllerTitlebar>());
}

std::shared_ptr<MediaPlayerWindowController> MediaPlayerWindowController::make(
    std::shared_ptr<MediaPlayer> player,
    std::shared_ptr<MediaPlayerWindowControllerTitlebar> titlebar) {
    return std::shared_ptr<MediaPlayerWindowController>(
        new MediaPlayerWindowController(std::move(player), std::move(titlebar)));
}

MediaPlayerWindowController::MediaPlayerWindowController(
    std::shared_ptr<MediaPlayer> player,
    std::shared_ptr<MediaPlayerWindowControllerTitlebar> titlebar)
    : mediaPlayer_(std::move(player)), titlebar_(std::move(titlebar)) {
    platform::precondition(mediaPlayer_ != nullptr, "A player window needs a player.");
    platform::precondition(titlebar_ != nullptr, "A player window needs a title bar access.");
}

MediaPlayerWindowController::~MediaPlayerWindowController() {
    // No handler may run for a controller that is going.
    observations_.clear();
}

std::shared_ptr<platform::NSWindow> MediaPlayerWindowController::makeManagedWindow() {
    auto window = std::make_shared<MediaPlayerWindow>(
        initialContentRect, platform::NSWindowStyleMaskTitled |
                                platform::NSWindowStyleMaskClosable |
                                platform::NSWindowStyleMaskMiniaturizable);
    window->setIdentifier(mediaPlayerWindowIdentifier);
    return window;
}

void MediaPlayerWindowController::windowDidLoad() {
    auto* window = dynamic_cast<MediaPlayerWindow*>(platform::NSWindowController::window());
    platform::precondition(window != nullptr, "The player window controller has no window.");
    // Moving by the window background and redisplaying on screen-profile changes are the window
    // system's own business here: it moves windows by their title bar and repaints on its own.

    windowTitlebarContainerView_ = titlebar_->titlebarContainerView(*window);
    if (isMacOSBefore11()) {
        if (platform::NSVisualEffectView* effectView =
                titlebar_->titlebarVisualEffectView(*window)) {
            effectView->setState(platform::NSVisualEffectState::active);
            windowTitlebarVisualEffectView_ = effectView;
        }
    }

    auto viewController = MediaPlayerViewController::make(mediaPlayer_);
    viewController->setIdentifier(std::string(mediaPlayerViewControllerIdentifier));
    if (!viewController->isControlsViewFloating()) {
        window->setTitlebarAppearsTransparent(true);
    }
    viewController->setFloatingControlsVisibilityControllerDelegate(
        std::weak_ptr<MediaPlayerFloatingControlsVisibilityControllerDelegate>(shared_from_this()));
    if (viewController->isResizable()) {
        window->setStyleMask(window->styleMask() | platform::NSWindowStyleMaskResizable);
    }
    mediaPlayerViewController_ = viewController;
    window->setContentViewController(viewController);

    minimumSizeConstraintsActive_ = false;
    updateMinimumSizeConstraints();
    if (!window->isInFullScreen()) {
        setMinimumSizeConstraintsActive(true);
    }

    window->setContentAspectRatio(viewController->preferredSize());
    if (const auto visibleFrame = platform::NSWindow::mainScreenVisibleFrame()) {
        const CGSize size = preferredWindowFrameSize(*window, *visibleFrame);
        window->setFrame(CGRect{{0, 0}, size}, false);
        window->center();
    }

    platform::NSWindowController::windowDidLoad();
    observeNotifications();

    desiredTitlebarAlpha_ = 1.0;
    setTitlebarAlpha(1.0, false);
}

void MediaPlayerWindowController::observeNotifications() {
    auto& center = platform::NotificationCenter::defaultCenter();
    const std::weak_ptr<MediaPlayerWindowController> weakSelf = weak_from_this();
    const auto handler = [weakSelf](void (MediaPlayerWindowController::*method)()) {
        return [weakSelf, method](const platform::Notification&) {
            if (auto self = weakSelf.lock()) {
                ((*self).*method)();
            }
        };
    };
    const auto* viewController = mediaPlayerViewController_.get();
    observations_.push_back(center.addObserver(
        MediaPlayerViewController::preferredSizeDidChangeNotification, viewController,
        handler(&MediaPlayerWindowController::preferredSizeDidChange)));

    const platform::NSWindow* window = platform::NSWindowController::window();
    const std::pair<const char*, void (MediaPlayerWindowController::*)()> windowHandlers[] = {
        {platform::NSWindowWillEnterFullScreenNotification,
         &MediaPlayerWindowController::windowWillEnterFullScreen},
        {platform::NSWindowDidEnterFullScreenNotification,
         &MediaPlayerWindowController::windowDidEnterFullScreen},
        {platform::NSWindowWillExitFullScreenNotification,
         &MediaPlayerWindowController::windowWillExitFullScreen},
        {platform::NSWindowDidExitFullScreenNotification,
         &MediaPlayerWindowController::windowDidExitFullScreen},
        {platform::NSWindowWillBeginSheetNotification,
         &MediaPlayerWindowController::windowWillBeginSheet},
        {platform::NSWindowDidEndSheetNotification,
         &MediaPlayerWindowController::windowDidEndSheet},
    };
    for (const auto& [name, method] : windowHandlers) {
        observations_.push_back(center.addObserver(name, window, handler(method)));
    }
}

void MediaPlayerWindowController::restoreState(platform::NSKeyedUnarchiver& coder) {
    platform::NSWindowController::restoreState(coder);
    isRestoredFromPersistedState_ = true;
}

std::string MediaPlayerWindowController::windowTitleForDocumentDisplayName(
    const std::string& displayName) const {
    const auto& source = mediaPlayer_->mediaSource();
    if (source) {
        if (const auto& metadata = source->optionalMetadata(); metadata && metadata->title) {
            return *metadata->title;
        }
    }
    return displayName;
}

void MediaPlayerWindowController::handleWindowShown() {
    platform::precondition(platform::DispatchQueue::main().isCurrent(),
                           "A player window is shown on the main thread.");
    WindowRestorationObserver::shared().performAfterRestoration(
        shared_from_this(), [](MediaPlayerWindowController& controller) {
            controller.enterFullScreenAutomaticallyIfNeeded();
        });
}

void MediaPlayerWindowController::enterFullScreenAutomaticallyIfNeeded() {
    if (!isFirstAppearance_) {
        return;
    }
    isFirstAppearance_ = false;
    if (isRestoredFromPersistedState_) {
        return;
    }
    if (platform::UserDefaults::standard().boolForKey(QPEnterFullScreenAutomaticallyOnOpen)) {
        platform::NSWindow* window = this->window();
        if (window != nullptr && !window->isInFullScreen()) {
            window->toggleFullScreen(nullptr);
        }
    }
}

// Title bar

bool MediaPlayerWindowController::isTitlebarAlwaysShown() const {
    const platform::NSWindow* window = platform::NSWindowController::window();
    if (window == nullptr) {
        return false;
    }
    return window->isInFullScreen() || !window->sheets().empty();
}

void MediaPlayerWindowController::showTitlebar(bool animated) {
    desiredTitlebarAlpha_ = 1.0;
    if (!isTitlebarAlwaysShown()) {
        setTitlebarAlpha(desiredTitlebarAlpha_, animated);
    }
}

void MediaPlayerWindowController::hideTitlebar(bool animated) {
    desiredTitlebarAlpha_ = 0.0;
    if (!isTitlebarAlwaysShown()) {
        setTitlebarAlpha(desiredTitlebarAlpha_, animated);
    }
}

void MediaPlayerWindowController::setTitlebarAlpha(double alpha, bool animated) {
    if (platform::NSWindow* window = platform::NSWindowController::window()) {
        titlebar_->setTitlebarAlphaValue(*window, alpha, animated);
    }
}

// Sizes

void MediaPlayerWindowController::updateMinimumSizeConstraints() {
    const bool wasActive = minimumSizeConstraintsActive_;
    setMinimumSizeConstraintsActive(false);
    minimumContentSize_ =
        mediaPlayerViewController_ ? mediaPlayerViewController_->minimumSize() : CGSize{0, 0};
    if (wasActive) {
        setMinimumSizeConstraintsActive(true);
    }
}

void MediaPlayerWindowController::setMinimumSizeConstraintsActive(bool active) {
    minimumSizeConstraintsActive_ = active;
    applyMinimumSizeConstraints();
}

void MediaPlayerWindowController::applyMinimumSizeConstraints() {
    const platform::NSWindow* window = platform::NSWindowController::window();
    QWidget* contentView = window ? window->contentView() : nullptr;
    if (contentView == nullptr) {
        return;
    }
    if (minimumSizeConstraintsActive_) {
        // Rounded as window frames are, so that a frame of exactly the preferred size fits.
        contentView->setMinimumSize(static_cast<int>(std::lround(minimumContentSize_.width)),
                                    static_cast<int>(std::lround(minimumContentSize_.height)));
    } else {
        contentView->setMinimumSize(0, 0);
    }
}

CGSize MediaPlayerWindowController::preferredWindowFrameSize(const platform::NSWindow& window,
                                                             const CGRect& visibleFrame) const {
    // Points are device-independent pixels for views, windows and screens alike, so the
    // preferred size needs no conversion on its way to the screen.
    const CGSize preferred =
        mediaPlayerViewController_ ? mediaPlayerViewController_->preferredSize() : CGSize{0, 0};
    const double w = preferred.width;
    const double h = preferred.height;

    // The frame counts what the window system draws around the window (its title bar), so the
    // whole window fits the screen's free area.
    const CGRect frame = window.frameRectForContentRect(CGRect{{0, 0}, {w, h}});
    const double chromeWidth = frame.size.width - w;
    const double chromeHeight = frame.size.height - h;

    const CGRect visible = visibleFrame.standardized();
    const double availableWidth = visible.size.width - chromeWidth;
    const double availableHeight = visible.size.height - chromeHeight;

    double scale = 1.0;
    if (availableWidth > 0 && availableHeight > 0) {
        scale = std::max({w / availableWidth, h / availableHeight, 1.0});
    }
    return window.frameRectForContentRect(CGRect{{0, 0}, {w / scale, h / scale}}).size;
}

void MediaPlayerWindowController::setWindowFrameFromPreferredSize(
    std::optional<platform::CGPoint> topLeft) {
    platform::NSWindow* window = platform::NSWindowController::window();
    if (window == nullptr) {
        return;
    }
    const auto visibleFrame = window->screenVisibleFrame();
    if (!visibleFrame) {
        return;
    }
    const CGSize size = preferredWindowFrameSize(*window, *visibleFrame);
    // Frames count downwards from the top here, so keeping the origin keeps the top-left corner.
    const CGRect frame = window->frame();
    const platform::CGPoint origin =
        topLeft.value_or(platform::CGPoint{frame.minX(), frame.minY()});
    window->setFrame(CGRect{origin, size}, true, true);
}

// Notifications

void MediaPlayerWindowController::preferredSizeDidChange() {
    platform::NSWindow* window = platform::NSWindowController::window();
    if (window != nullptr && mediaPlayerViewController_) {
        window->setContentAspectRatio(mediaPlayerViewController_->preferredSize());
    }
    updateMinimumSizeConstraints();
    if (window != nullptr && window->isInFullScreen()) {
        needsSetWindowFrameFromPreferredSize_ = true;
        return;
    }
    needsSetWindowFrameFromPreferredSize_ = false;
    setWindowFrameFromPreferredSize();
}

void MediaPlayerWindowController::windowWillEnterFullScreen() {
    if (const platform::NSWindow* window = platform::NSWindowController::window()) {
        frameOriginBeforeFullScreen_ = window->frame().origin;
    }
    setMinimumSizeConstraintsActive(false);
}

void MediaPlayerWindowController::windowDidEnterFullScreen() {
    setTitlebarAlpha(1.0, false);
}

void MediaPlayerWindowController::windowWillExitFullScreen() {
    const platform::NSWindow* window = platform::NSWindowController::window();
    if (window != nullptr && !window->sheets().empty()) {
        return;
    }
    setTitlebarAlpha(desiredTitlebarAlpha_, false);
}

void MediaPlayerWindowController::windowDidExitFullScreen() {
    if (isMacOSBefore11() && windowTitlebarVisualEffectView_) {
        windowTitlebarVisualEffectView_->setState(platform::NSVisualEffectState::active);
    }
    setMinimumSizeConstraintsActive(true);
    const auto topLeft = std::exchange(frameOriginBeforeFullScreen_, std::nullopt);
    if (needsSetWindowFrameFromPreferredSize_) {
        needsSetWindowFrameFromPreferredSize_ = false;
        setWindowFrameFromPreferredSize(topLeft);
    }
}

void MediaPlayerWindowController::windowWillBeginSheet() {
    setTitlebarAlpha(1.0, !isMacOSBefore11());
}

void MediaPlayerWindowController::windowDidEndSheet() {
    if (!isTitlebarAlwaysShown()) {
        setTitlebarAlpha(desiredTitlebarAlpha_, true);
    }
}

}  // namespace quillon
