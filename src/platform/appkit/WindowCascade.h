#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <vector>

namespace platform {

class NSWindow;

// Where document windows come up, so that a new one does not hide the one before it. Windows
// cascade among their own kind (windows of one identifier: the players among players, the
// progress windows among progress windows): the first of a kind stays where its controller put
// it; each later one steps down and right from the last window of its kind shown that is still
// up, by that window's title-bar height. A window that the step would take past the screen's
// free area is scaled down, keeping its content's shape, to fit below and right of the step;
// where it would have to shrink below half its size (or below its content's minimum, or at all
// if it cannot be resized), it goes to the top left of the free area instead, to the first place
// there, one step apart, that no window of its kind holds. Windows in full screen or minimised
// are not stepped from. Under Wayland the compositor places windows, and nothing is moved. Main
// thread only.
class WindowCascade {
public:
    // Moves `window`, about to be shown for the first time, to its place in the cascade and
    // counts it as the last window shown.
    static void cascade(NSWindow& window);
    // Counts `window`, shown where it is (a restored window keeps its stored frame), as the last
    // window shown: later windows step from it.
    static void noteWindowShown(NSWindow& window);

    // The step when the window system says nothing of its title bars (no window manager).
    static constexpr int fallbackStep = 24;
    // The least share of its size a stepping window is scaled to before the cascade starts again
    // at the top left.
    static constexpr double smallestScale = 0.5;

    // The frame of a window that cascades from `previousFrame` by `step` within `available`,
    // not onto a top-left corner in `taken`. `frameSizeAtScale` gives the window's frame size
    // with its content scaled by a factor (1: as it is); `minimumScale` is the least factor it
    // may take.
    static QRect cascadedFrame(const QRect& previousFrame,
                               const std::function<QSize(double)>& frameSizeAtScale,
                               double minimumScale, int step, const QRect& available,
                               const std::vector<QPoint>& taken);
};

}  // namespace platform
