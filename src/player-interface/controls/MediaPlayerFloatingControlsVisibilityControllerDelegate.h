#pragma once

#include <QWidget>

namespace platform {
class NSWindow;
}

namespace quillon {

// What the floating controls need of the player window's controller: its window, the view that
// holds the title bar (none where the window system draws it), and the title bar's visibility.
// Main thread only.
class MediaPlayerFloatingControlsVisibilityControllerDelegate {
public:
    virtual ~MediaPlayerFloatingControlsVisibilityControllerDelegate() = default;
    virtual platform::NSWindow* window() = 0;
    virtual QWidget* windowTitlebarContainerView() const = 0;
    virtual void showTitlebar(bool animated) = 0;
    virtual void hideTitlebar(bool animated) = 0;
};

}  // namespace quillon
