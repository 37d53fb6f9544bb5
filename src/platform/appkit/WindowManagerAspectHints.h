#pragma once

#include <QWidget>

#include "platform/graphics/CGGeometry.h"

namespace platform {

// Asks the window manager to keep a top-level window's content at a width-to-height ratio while
// the user resizes it: the aspect fields of the window's normal size hints, with the window's
// own chrome above the content (menu bar, toolbar) as the base size that the ratio leaves out.
// Qt writes those hints afresh whenever the window's size limits change, so the fields are put
// back each time it does. Only an X11 window manager is asked; elsewhere (Wayland, offscreen)
// this does nothing and the window corrects its size itself. Main thread only.
class WindowManagerAspectHints {
public:
    // A zero component clears the request.
    static void apply(QWidget& window, CGSize ratio, int chromeHeight);
    static void clear(QWidget& window);
    // Whether the window system can be asked at all.
    static bool isAvailable();
};

}  // namespace platform
