#include "platform/appkit/WindowSystemCapabilities.h"

#include <QGuiApplication>

namespace platform {

namespace {

bool isWaylandClient() {
    // "wayland", "wayland-egl", "wayland-generic", ...
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr &&
           QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

}  // namespace

bool WindowSystemCapabilities::placesWindowsWhereAsked() {
    return !isWaylandClient();
}

bool WindowSystemCapabilities::keepsWindowsOnTop() {
    return !isWaylandClient();
}

}  // namespace platform
