#pragma once

#include <functional>
#include <string>
#include <string_view>

class QWidget;

namespace platform {

// What a launch hands over so that the window it brings forward may take the focus from the
// launcher: the xdg-activation token (Wayland) and the startup-notification id (X11). Either
// may be empty.
struct LaunchActivation {
    std::string activationToken;
    std::string startupID;

    bool isEmpty() const { return activationToken.empty() && startupID.empty(); }
    friend bool operator==(const LaunchActivation&, const LaunchActivation&) = default;
};

// Brings a top-level window to the front and asks for the focus on behalf of a launch. The
// application uses the desktop's own by default; tests put in one that records.
class WindowActivator {
public:
    virtual ~WindowActivator() = default;
    virtual void activate(QWidget& window, const LaunchActivation& launch) = 0;
};

// The desktop's way. On Wayland the token goes with the activation request: Qt's wayland
// plugin reads XDG_ACTIVATION_TOKEN as the window requests activation. On X11 the window is
// tagged with the startup id (_NET_STARTUP_ID, which the window manager weighs when the window
// asks for the focus) and the launcher's startup notification ends with a "remove" message to
// the root window, so its busy cursor goes. Qt sends that message itself only for the id it was
// started with, and its interface for another id is private. Elsewhere the window only comes
// forward.
class DesktopWindowActivator final : public WindowActivator {
public:
    // What asks the window system for the focus.
    using ActivationRequest = std::function<void(QWidget&)>;

    // On Qt's platform, with QWidget::activateWindow.
    DesktopWindowActivator();
    DesktopWindowActivator(bool onWayland, ActivationRequest request);

    void activate(QWidget& window, const LaunchActivation& launch) override;

private:
    bool onWayland_;
    ActivationRequest request_;
};

// The startup-notification "remove" message for `id`, with its terminating NUL: the id quoted
// where it holds a space, a quote or a backslash.
std::string startupNotificationRemoveMessage(std::string_view id);

}  // namespace platform
