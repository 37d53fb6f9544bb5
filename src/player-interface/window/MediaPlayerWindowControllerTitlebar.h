#pragma once

#include <QWidget>
#include <memory>

namespace platform {
class NSWindow;
class NSVisualEffectView;
}  // namespace platform

namespace quillon {

// The player window's title bar as the window's private interfaces reach it. Where the window
// system draws the title bar itself (as it does here), there is no such view and no such call:
// the lookups log their failure and give null, and setting the alpha logs the guarded failure
// and changes nothing. Tests put a recording subclass in place. Main thread only.
class MediaPlayerWindowControllerTitlebar {
public:
    virtual ~MediaPlayerWindowControllerTitlebar() = default;

    // The view that holds the window's title bar, or null (logged) when there is none.
    virtual QWidget* titlebarContainerView(platform::NSWindow& window);
    // The title bar's visual-effect view, or null (logged) when there is none.
    virtual platform::NSVisualEffectView* titlebarVisualEffectView(platform::NSWindow& window);
    // Sets the title bar's opacity, over the window's animation when `animated`. Failures are
    // logged, not reported.
    virtual void setTitlebarAlphaValue(platform::NSWindow& window, double alpha, bool animated);
};

}  // namespace quillon
