#include "platform/appkit/WindowActivation.h"

#include "platform/appkit/X11Connection.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace platform {

namespace {

bool isWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

xcb_atom_t internAtom(xcb_connection_t* c, const char* name) {
    const auto cookie = xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

// Tags `window` with the launch's id and ends the launch's startup notification: the message
// goes to the root window in pieces of 20 bytes, the first as _NET_STARTUP_INFO_BEGIN, the
// others as _NET_STARTUP_INFO, to whoever listens for property changes there (the launcher).
void endStartupNotification(xcb_connection_t* c, xcb_window_t window, std::string_view id) {
    const xcb_atom_t startupID = internAtom(c, "_NET_STARTUP_ID");
    const xcb_atom_t utf8 = internAtom(c, "UTF8_STRING");
    const xcb_atom_t begin = internAtom(c, "_NET_STARTUP_INFO_BEGIN");
    const xcb_atom_t more = internAtom(c, "_NET_STARTUP_INFO");
    if (startupID == XCB_ATOM_NONE || utf8 == XCB_ATOM_NONE || begin == XCB_ATOM_NONE ||
        more == XCB_ATOM_NONE) {
        return;
    }
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, startupID, utf8, 8,
                        static_cast<uint32_t>(id.size()), id.data());

    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
    if (geometry == nullptr) {
        return;
    }
    const xcb_window_t root = geometry->root;
    std::free(geometry);

    const std::string message = startupNotificationRemoveMessage(id);
    for (std::size_t sent = 0; sent < message.size(); sent += 20) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 8;
        event.window = root;
        event.type = sent == 0 ? begin : more;
        std::memcpy(event.data.data8, message.data() + sent,
                    std::min<std::size_t>(20, message.size() - sent));
        xcb_send_event(c, 0, root, XCB_EVENT_MASK_PROPERTY_CHANGE,
                       reinterpret_cast<const char*>(&event));
    }
    xcb_flush(c);
}

}  // namespace

std::string startupNotificationRemoveMessage(std::string_view id) {
    std::string message = "remove: ID=";
    for (const char character : id) {
        if (character == ' ' || character == '"' || character == '\\') {
            message += '\\';
        }
        message += character;
    }
    message += '\0';
    return message;
}

DesktopWindowActivator::DesktopWindowActivator()
    : DesktopWindowActivator(isWayland(), [](QWidget& window) { window.activateWindow(); }) {}

DesktopWindowActivator::DesktopWindowActivator(bool onWayland, ActivationRequest request)
    : onWayland_(onWayland), request_(std::move(request)) {}

void DesktopWindowActivator::activate(QWidget& window, const LaunchActivation& launch) {
    window.show();
    window.raise();
    if (!launch.activationToken.empty() && onWayland_) {
        // Read by the wayland plugin during the request; no later request may reuse it.
        qputenv("XDG_ACTIVATION_TOKEN", QByteArray::fromStdString(launch.activationToken));
        request_(window);
        qunsetenv("XDG_ACTIVATION_TOKEN");
    } else {
        request_(window);
    }
    if (!launch.startupID.empty()) {
        if (xcb_connection_t* c = x11Connection()) {
            endStartupNotification(c, static_cast<xcb_window_t>(window.winId()), launch.startupID);
        }
    }
}

}  // namespace platform
