#include "platform/appkit/WindowCascade.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "platform/appkit/NSWindow.h"
#include "platform/appkit/WindowSystemCapabilities.h"

namespace platform {

namespace {

// How finely the scale is lowered when the frame's chrome does not follow the content (a menu
// bar that wraps as the window narrows).
constexpr double kScaleDecrement = 0.005;

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

// The windows of `window`'s kind that are up where they were put, the last shown first.
std::vector<const NSWindow*> windowsOfItsKindUp(const NSWindow& window) {
    std::vector<const NSWindow*> result;
    const auto& windows = shownWindows();
    for (auto each = windows.rbegin(); each != windows.rend(); ++each) {
        const NSWindow* candidate = each->data();
        if (candidate != nullptr && candidate != &window && candidate->isVisible() &&
            !candidate->isInFullScreen() && !candidate->isMinimized() &&
            candidate->identifier() == window.identifier()) {
            result.push_back(candidate);
        }
    }
    return result;
}

QRect toQRect(const CGRect& rect) {
    return {static_cast<int>(std::lround(rect.origin.x)),
            static_cast<int>(std::lround(rect.origin.y)),
            static_cast<int>(std::lround(rect.size.width)),
            static_cast<int>(std::lround(rect.size.height))};
}

// The frame at `topLeft`, scaled down no further than `minimumScale` so that it fits within
// `available`, if it can.
std::optional<QRect> fittedAt(const QPoint& topLeft,
                              const std::function<QSize(double)>& frameSizeAtScale,
                              double minimumScale, const QRect& available) {
    if (!available.contains(topLeft)) {
        return std::nullopt;
    }
    const QSize room(available.right() - topLeft.x() + 1, available.bottom() - topLeft.y() + 1);
    const QSize whole = frameSizeAtScale(1.0);
    if (whole.width() <= room.width() && whole.height() <= room.height()) {
        return QRect(topLeft, whole);
    }
    if (minimumScale >= 1.0) {
        return std::nullopt;
    }
    // The frame's chrome (title bar, menu bar) does not scale with the content. (Measured at
    // half size, not at none: a menu bar wraps as its window narrows.)
    const QSize chrome = frameSizeAtScale(0.5) * 2 - whole;
    const QSize content = whole - chrome;
    if (content.width() <= 0 || content.height() <= 0) {
        return std::nullopt;
    }
    double scale = std::min(double(room.width() - chrome.width()) / content.width(),
                            double(room.height() - chrome.height()) / content.height());
    for (; scale >= minimumScale; scale -= kScaleDecrement) {
        const QSize size = frameSizeAtScale(std::min(scale, 1.0));
        if (size.width() <= room.width() && size.height() <= room.height()) {
            return QRect(topLeft, size);
        }
    }
    return std::nullopt;
}

}  // namespace

QRect WindowCascade::cascadedFrame(const QRect& previousFrame,
                                   const std::function<QSize(double)>& frameSizeAtScale,
                                   double minimumScale, int step, const QRect& available,
                                   const std::vector<QPoint>& taken) {
    const auto isTaken = [&](const QPoint& point) {
        return std::find(taken.begin(), taken.end(), point) != taken.end();
    };
    QPoint next = previousFrame.topLeft() + QPoint(step, step);
    if (available.isEmpty()) {
        return QRect(next, frameSizeAtScale(1.0));
    }
    while (isTaken(next) && available.contains(next)) {
        next += QPoint(step, step);
    }
    if (const auto frame = fittedAt(next, frameSizeAtScale, minimumScale, available)) {
        return *frame;
    }
    // Too little room below and right of the step: start again at the top left, beside the
    // windows that started there before.
    for (QPoint corner = available.topLeft(); corner.x() <= available.right();
         corner += QPoint(step, 0)) {
        if (isTaken(corner)) {
            continue;
        }
        if (const auto frame = fittedAt(corner, frameSizeAtScale, minimumScale, available)) {
            return *frame;
        }
    }
    return QRect(available.topLeft(), frameSizeAtScale(1.0));
}

void WindowCascade::cascade(NSWindow& window) {
    const std::vector<const NSWindow*> others = windowsOfItsKindUp(window);
    moveToEnd(window);
    if (others.empty() || !WindowSystemCapabilities::placesWindowsWhereAsked()) {
        return;
    }
    const NSWindow& previous = *others.front();
    const int titleBar = previous.frameMargins().top();
    const int step = titleBar > 0 ? titleBar : fallbackStep;
    QScreen* screen = previous.screen();
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    const QRect available = screen != nullptr ? screen->availableGeometry() : QRect();

    const CGSize content = window.contentRectForFrameRect(window.frame()).size;
    const auto frameSizeAtScale = [&](double scale) {
        const CGSize scaled{std::round(content.width * scale), std::round(content.height * scale)};
        return toQRect(window.frameRectForContentRect({{0, 0}, scaled})).size();
    };
    double minimumScale = 1.0;
    if ((window.styleMask() & NSWindowStyleMaskResizable) && content.width > 0 &&
        content.height > 0) {
        const QSize least =
            window.contentView() != nullptr ? window.contentView()->minimumSize() : QSize();
        minimumScale = std::min(1.0, std::max({smallestScale, least.width() / content.width,
                                               least.height() / content.height}));
    }
    std::vector<QPoint> taken;
    for (const NSWindow* other : others) {
        taken.push_back(toQRect(other->frame()).topLeft());
    }
    const QRect frame = cascadedFrame(toQRect(previous.frame()), frameSizeAtScale, minimumScale,
                                      step, available, taken);
    window.setFrame({{static_cast<CGFloat>(frame.x()), static_cast<CGFloat>(frame.y())},
                     {static_cast<CGFloat>(frame.width()), static_cast<CGFloat>(frame.height())}},
                    false);
}

void WindowCascade::noteWindowShown(NSWindow& window) {
    moveToEnd(window);
}

}  // namespace platform
