#pragma once

#include <xcb/xcb.h>

#include <QGuiApplication>

namespace platform {

// The application's connection to the X server; null when there is no GUI application or it
// runs on another platform (Wayland, offscreen).
inline xcb_connection_t* x11Connection() {
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (application == nullptr) {
        return nullptr;
    }
    auto* x11 = application->nativeInterface<QNativeInterface::QX11Application>();
    return x11 != nullptr ? x11->connection() : nullptr;
}

}  // namespace platform
