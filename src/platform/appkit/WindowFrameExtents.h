#pragma once

#include <QMargins>
#include <functional>
#include <optional>

class QWidget;

namespace platform {

// What the window system draws around a top-level window (title bar, borders), as far as it
// says, before and after the window is shown. X11 window managers publish it on the window
// (_NET_FRAME_EXTENTS) once they frame it, and most also answer _NET_REQUEST_FRAME_EXTENTS for
// a window that is not shown yet; other platforms (a Wayland compositor's decorations, the
// offscreen platform, which draws nothing) say it only through Qt's frame margins. Main thread
// only.
class WindowFrameExtents {
public:
    // The extents the window system has given `window`, if it has given any: Qt's frame margins
    // once it knows them, else (X11) the window's own _NET_FRAME_EXTENTS. Creates the native
    // window if there is none yet.
    static std::optional<QMargins> published(QWidget& window);

    // Asks the window manager which extents it would give `window`, not shown yet, and waits a
    // short while for the answer; none where no window manager answers. Only X11 window managers
    // are asked.
    static std::optional<QMargins> requestFromWindowManager(QWidget& window);

    // Calls `handler` on the main queue, with the window, each time the window manager publishes
    // new extents for a window (X11 only): when it frames a window, or changes its frame. One
    // handler per process; an empty one stops the calls.
    static void setChangeHandler(std::function<void(QWidget&)> handler);
};

}  // namespace platform
