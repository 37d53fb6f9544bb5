#pragma once

#include <QMainWindow>
#include <QMargins>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/graphics/CGGeometry.h"

namespace platform {

class NSToolbar;
class NSViewController;
class NSWindowController;

enum NSWindowStyleMask : unsigned {
    NSWindowStyleMaskBorderless = 0,
    NSWindowStyleMaskTitled = 1 << 0,
    NSWindowStyleMaskClosable = 1 << 1,
    NSWindowStyleMaskMiniaturizable = 1 << 2,
    NSWindowStyleMaskResizable = 1 << 3,
    NSWindowStyleMaskFullScreen = 1 << 14,
};

// Posted by a window, with the window as object, on the main thread.
inline constexpr const char* NSWindowWillCloseNotification = "NSWindowWillCloseNotification";
inline constexpr const char* NSWindowWillEnterFullScreenNotification =
    "NSWindowWillEnterFullScreenNotification";
inline constexpr const char* NSWindowDidEnterFullScreenNotification =
    "NSWindowDidEnterFullScreenNotification";
inline constexpr const char* NSWindowWillExitFullScreenNotification =
    "NSWindowWillExitFullScreenNotification";
inline constexpr const char* NSWindowDidExitFullScreenNotification =
    "NSWindowDidExitFullScreenNotification";
inline constexpr const char* NSWindowWillBeginSheetNotification =
    "NSWindowWillBeginSheetNotification";
inline constexpr const char* NSWindowDidEndSheetNotification = "NSWindowDidEndSheetNotification";
// Posted when something the window's restorable state is made of has changed.
inline constexpr const char* NSWindowRestorableStateDidInvalidateNotification =
    "org.quillon.platform.NSWindowRestorableStateDidInvalidate";

constexpr NSWindowStyleMask operator|(NSWindowStyleMask a, NSWindowStyleMask b) {
    return static_cast<NSWindowStyleMask>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}

// A top-level window: the application's menu bar and an optional toolbar above the content
// view, which is the view of the content view controller. Rectangles are in Qt's coordinates
// (origin at the top left, y downwards); the frame is the window's area with what the window
// system draws around it (frameMargins: title bar, borders), the content rectangle the area
// below the menu bar and the toolbar. Until the window system has framed the window, its frame
// is what the window manager says it will be; a window placed on that word is set right, if the
// word was wrong, once the window is framed: its frame keeps the place and the size it was
// given, and its content its aspect ratio.
//
// Full screen is the window system's state of the window: whoever changes it (the window, the
// window manager, the Escape key), the full-screen bit and the will/did notifications follow
// Qt's window-state events. In full screen the menu bar hides and comes back while the pointer
// is at the top edge of the screen.
//
// While the user resizes a resizable window, its content keeps `contentAspectRatio`: the window
// manager is asked to keep it, and a size that does not keep it is corrected once the resizing
// settles.
//
// A window that is not resizable takes the size its content asks for (its layout's size hint)
// and follows it when the content changes, as constraints would size it. The window owns
// neither its toolbar nor its content view controller: it gives their widgets back when it
// goes. Main thread only.
class NSWindow : public QMainWindow {
public:
    NSWindow(const CGRect& contentRect, NSWindowStyleMask styleMask);
    ~NSWindow() override;

    NSWindowStyleMask styleMask() const { return styleMask_; }
    // Changes the window's decorations; the full-screen bit is the window's own and is kept.
    void setStyleMask(NSWindowStyleMask styleMask);
    bool isInFullScreen() const { return (styleMask_ & NSWindowStyleMaskFullScreen) != 0; }
    // Asks the window system to enter or leave full screen; the will notification goes first,
    // the did notification once the window's state has changed.
    void toggleFullScreen(QObject* sender = nullptr);
    // The menu bar shows outside full screen and, in full screen, only while the pointer keeps
    // to it after reaching the top edge. The application calls this after installing the menus.
    void updateMenuBarVisibility();

    std::string identifier() const;
    void setIdentifier(const std::string& identifier);

    std::string title() const;
    void setTitle(const std::string& title);

    NSToolbar* toolbar() const { return toolbar_.get(); }
    void setToolbar(std::shared_ptr<NSToolbar> toolbar);

    NSViewController* contentViewController() const { return contentViewController_.get(); }
    // Loads the controller's view and makes it the content view.
    void setContentViewController(std::shared_ptr<NSViewController> controller);
    QWidget* contentView() const { return centralWidget(); }

    CGRect frame() const;
    // What the window system draws around the window (title bar, borders): what it says it has
    // drawn once it has framed the window; before that, what its window manager says it will
    // draw, or else what it drew around the last window it framed. None for a window without a
    // title bar or in full screen, and where no window manager says anything.
    QMargins frameMargins() const;
    // The frame that a content rectangle of this size needs: the menu bar's and the toolbar's
    // heights added above, and what the window system draws around the window.
    CGRect frameRectForContentRect(const CGRect& contentRect) const;
    // What lies above the content view at `width`: the menu bar (when it shows) and the toolbar.
    int chromeHeight(int width) const;
    // How long an animated change to `newFrame` takes: 0.2 seconds for every 150 points that an
    // edge moves.
    double animationResizeTime(const CGRect& newFrame) const;

    // Shows the window in front and asks for the focus, through the application when there is
    // one (a later launch's activation goes with it).
    void makeKeyAndOrderFront();
    // Takes the window off the screen without closing it.
    void orderOut();
    bool isKeyWindow() const { return isActiveWindow(); }
    bool isMainWindow() const { return isActiveWindow(); }
    bool isMiniaturized() const { return isMinimized(); }
    // The window system gives no reliable word on virtual desktops: a window counts as on the
    // active one.
    bool isOnActiveSpace() const { return true; }
    // The pointer's position in the window's coordinates, read now rather than from an event.
    CGPoint mouseLocationOutsideOfEventStream() const;
    // Moves and resizes the window to `frame`; with `animate`, over animationResizeTime.
    void setFrame(const CGRect& frame, bool display, bool animate = false);
    // The window system has published new frame extents for the window: a window placed before
    // it was framed is set right if they are not the ones it was placed with.
    void frameExtentsDidChange();
    CGRect contentRectForFrameRect(const CGRect& frameRect) const;
    // The free area of the window's screen (or of the primary screen), if there is a screen.
    static std::optional<CGRect> mainScreenVisibleFrame();
    std::optional<CGRect> screenVisibleFrame() const;
    // The width-to-height ratio that the content keeps while the user resizes; zero for none.
    CGSize contentAspectRatio() const { return contentAspectRatio_; }
    void setContentAspectRatio(CGSize ratio);
    // The frame size nearest to `size` whose content keeps contentAspectRatio: the content width
    // kept, the content height rounded to the nearest point. `size` itself without a ratio.
    CGSize aspectRatioKeepingFrameSize(CGSize size) const;

    // Shows `sheet` (a top-level widget) modal to this window, centred under its top edge. The
    // window does not own it. endSheet closes it; both post the sheet notifications.
    void beginSheet(QWidget* sheet);
    void endSheet(QWidget* sheet);
    const std::vector<QWidget*>& sheets() const { return sheets_; }
    // Counts a sheet that another component shows on this window (alerts), for sheets() and the
    // notifications.
    void noteSheetDidBegin(QWidget* sheet);
    void noteSheetDidEnd(QWidget* sheet);

    // The controller that manages the window, set by that controller.
    NSWindowController* windowController() const { return windowController_; }
    void setWindowController(NSWindowController* controller) { windowController_ = controller; }
    // Posts NSWindowRestorableStateDidInvalidateNotification so that the state is written again.
    void invalidateRestorableState();
    // Moves the window's frame to the middle of its screen's free area.
    void center();
    // Gives `responder` the keyboard focus; null gives it to the window itself, so that no
    // control has it, not even once the window is activated.
    void makeFirstResponder(QWidget* responder);
    // Runs the pending layout passes now, resizing the window if its content asks for it.
    void layoutIfNeeded();

protected:
    // No menu to hide the toolbar.
    QMenu* createPopupMenu() override { return nullptr; }
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Gives the window the frame `frame` (its own area is that less frameMargins).
    void placeFrame(const QRect& frame);
    void windowStateDidChange();
    void pointerDidMove(const QPoint& position);
    void updateAspectRatioHints();
    void correctSizeForAspectRatioIfNeeded();
    // The height of the window's own area whose content keeps contentAspectRatio at its width.
    int aspectRatioKeepingHeight() const;
    bool keepsAspectRatioWhileResizing() const;

    NSWindowStyleMask styleMask_;
    // Set while toggleFullScreen has posted the will notification for the change under way.
    bool isFullScreenChangeAnnounced_ = false;
    // In full screen: the pointer brought the menu bar back.
    bool isMenuBarRevealed_ = false;
    QPointer<QWindow> watchedWindowHandle_;
    QTimer aspectRatioCorrectionTimer_;
    // What the window manager was last asked to keep: the ratio and the chrome above it.
    std::optional<std::pair<CGSize, int>> appliedAspectRatioHints_;
    std::shared_ptr<NSToolbar> toolbar_;
    std::shared_ptr<NSViewController> contentViewController_;
    CGSize contentAspectRatio_{0, 0};
    std::vector<QWidget*> sheets_;
    NSWindowController* windowController_ = nullptr;
    // The extents expected for the native window (by its id) that the window system has not
    // framed yet.
    mutable std::optional<std::pair<WId, QMargins>> expectedFrameMargins_;
    // The frame given to the window before it was shown, and the extents it was placed with:
    // kept until the window system has framed the window with those extents or others.
    std::optional<std::pair<QRect, QMargins>> provisionalFrame_;
};

// What the window system draws around a top-level window's own area (title bar, borders), as
// far as Qt knows: none until the window manager has decorated the window, or where there is no
// window manager. An NSWindow knows more: NSWindow::frameMargins.
QMargins decorationMargins(const QWidget& window);

// Where a sheet of `sheetSize` shows on `window`: centred across it, its top at the top of the
// window's own area, just below the title bar that the window system draws, so that the title
// stays readable above the sheet.
QPoint sheetTopLeft(const QWidget& window, const QSize& sheetSize);

// The window that shows `view`, if that is an NSWindow.
NSWindow* windowOfView(const QWidget* view);

}  // namespace platform
