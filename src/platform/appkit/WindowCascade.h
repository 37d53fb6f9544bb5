#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

namespace platform {

class NSWindow;

// Where document windows come up, so that a new one does not hide the one before it: the first
// stays where its controller put it; each later one steps down and right from the last window
// shown that is still up, by that window's title-bar height, and goes back to the top left of
// the screen's free area when the step would take it off that area. Windows in full screen or
// minimised are not stepped from. Under Wayland the compositor places windows, and nothing is
// moved. Main thread only.
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

    // The top-left corner of a window frame of `frameSize` that cascades from `previousFrame`
    // by `step` within `available`.
    static QPoint cascadedTopLeft(const QRect& previousFrame, const QSize& frameSize, int step,
                                  const QRect& available);
};

}  // namespace platform
