#include "platform/appkit/WindowCascade.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <algorithm>
#include <vector>

#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowSystemCapabilities.h"

namespace platform {

namespace {

// The windows shown, the last one last.
std::vector<QPointer<NSWindow>>& shownWindows() {
    static std::vector<QPointer<NSWindow>> windows;
    return windows;
}

void moveToEnd(NSWindow& window) {
    auto& windows = shownWindows();
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const QPointer<NSWindow>& each) {
                                     return each.isNull() || each.data() == &window;
                                 }),
                  windows.end());
    windows.emplace_back(&window);
}

const NSWindow* lastWindowToStepFrom(const NSWindow& window) {
    const auto& windows = shownWindows();
    for (auto each = windows.rbegin(); each != windows.rend(); ++each) {
        const NSWindow* candidate = each->data();
        if (candidate != nullptr && candidate != &window && candidate->isVisible() &&
            !candidate->isInFullScreen() && !candidate->isMinimized()) {
            return candidate;
        }
    }
    return nullptr;
}

}  // namespace

QPoint WindowCascade::cascadedTopLeft(const QRect& previousFrame, const QSize& frameSize, int step,
                                      const QRect& available) {
    const QPoint next = previousFrame.topLeft() + QPoint(step, step);
    if (available.isEmpty() || available.contains(QRect(next, frameSize))) {
        return next;
    }
    return available.topLeft();
}

void WindowCascade::cascade(NSWindow& window) {
    const NSWindow* previous = lastWindowToStepFrom(window);
    moveToEnd(window);
    if (previous == nullptr || !WindowSystemCapabilities::placesWindowsWhereAsked()) {
        return;
    }
    // The window manager has not decorated the new window yet: it will as it did the last one.
    const QRect previousFrame = previous->frameGeometry();
    const QMargins decorations = decorationMargins(*previous);
    const int step = decorations.top() > 0 ? decorations.top() : fallbackStep;
    const QSize frameSize = window.size().grownBy(decorations);
    QScreen* screen = previous->screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();
    // The frame's corner: until the window manager has framed the new window, only it knows
    // how far below that corner the window's own area will be.
    window.move(cascadedTopLeft(previousFrame, frameSize, step, available));
}

void WindowCascade::noteWindowShown(NSWindow& window) {
    moveToEnd(window);
}

}  // namespace platform
