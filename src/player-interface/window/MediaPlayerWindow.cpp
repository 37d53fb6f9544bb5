#include "player-interface/window/MediaPlayerWindow.h"

#include <QEvent>

#include "platform/appkit/NSApplication.h"
#include "platform/foundation/ProcessInfo.h"

namespace quillon {

namespace {

// Ctrl+F and nothing else: Shift, Alt, Meta or the keypad make it another shortcut.
bool isToggleFullScreenKeyEquivalent(const QKeyEvent& event) {
    return event.modifiers() == Qt::ControlModifier && event.key() == Qt::Key_F;
}

// Space alone plays or pauses; the menu shows the key, but only a player window takes it, and
// only once the focused control has let it pass.
bool isPlayPauseKeyEquivalent(const QKeyEvent& event) {
    return event.key() == Qt::Key_Space && event.modifiers() == Qt::NoModifier;
}

}  // namespace

MediaPlayerWindow::MediaPlayerWindow(const platform::CGRect& contentRect,
                                     platform::NSWindowStyleMask styleMask)
    : platform::NSWindow(contentRect, styleMask) {}

bool MediaPlayerWindow::performKeyEquivalent(const QKeyEvent& event) {
    if (!isToggleFullScreenKeyEquivalent(event)) {
        return false;
    }
    toggleFullScreen(this);
    return true;
}

platform::CGSize MediaPlayerWindow::validSize(platform::CGSize size, bool forFullScreen,
                                              bool /*force*/) const {
    if (!platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0)) {
        return size;
    }
    const platform::CGSize ratio = contentAspectRatio();
    if (forFullScreen || isMainWindow() || ratio.width == 0 || ratio.height == 0) {
        return size;
    }
    return aspectRatioKeepingFrameSize(
        size, ratio, [this](const platform::CGRect& r) { return contentRectForFrameRect(r); },
        [this](const platform::CGRect& r) { return frameRectForContentRect(r); });
}

bool MediaPlayerWindow::event(QEvent* event) {
    // A menu shortcut on the same keys must not take the key before the window does.
    if (event->type() == QEvent::ShortcutOverride &&
        isToggleFullScreenKeyEquivalent(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return platform::NSWindow::event(event);
}

void MediaPlayerWindow::keyPressEvent(QKeyEvent* event) {
    if (performKeyEquivalent(*event)) {
        event->accept();
        return;
    }
    if (isPlayPauseKeyEquivalent(*event)) {
        if (platform::NSApplication* application = platform::NSApplication::shared()) {
            application->sendAction("togglePlayPauseState:", nullptr, this);
            event->accept();
            return;
        }
    }
    platform::NSWindow::keyPressEvent(event);
}

}  // namespace quillon
