#pragma once

namespace platform {

// What the window system lets an application decide about its own top-level windows. A Wayland
// compositor keeps both to itself: where a window goes and which window is above which. Read
// from the running Qt platform; main thread only.
class WindowSystemCapabilities {
public:
    // Whether a window put at a position is shown there (and can be moved by the application).
    static bool placesWindowsWhereAsked();
    // Whether a window can ask to stay above the others (Qt::WindowStaysOnTopHint is honoured).
    static bool keepsWindowsOnTop();
};

}  // namespace platform
