#include "player-interface/window/MediaPlayerWindowControllerTitlebar.h"

#include <fmt/format.h>

#include "platform/appkit/NSVisualEffectView.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/Log.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "platform/private-interfaces/NSException.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"

namespace quillon {

namespace {

// The window's private "setTitlebarAlphaValue:" as the object runtime would send it: what the
// system has under that name, or the runtime's unrecognized-selector exception.
using SetTitlebarAlphaValueMethod = std::function<void(platform::NSWindow&, double, bool)>;
constexpr const char* setTitlebarAlphaValueSelector = "setTitlebarAlphaValue:";

// The window's standard close button: none of our widgets, since the window system draws the
// title bar and its buttons, so the superview chain that would hold the title bar's views is
// empty.
QWidget* standardCloseButton(platform::NSWindow&) {
    return nullptr;
}

template <typename Matches>
QWidget* findTitlebarAncestor(platform::NSWindow& window, Matches&& matches) {
    QWidget* closeButton = standardCloseButton(window);
    for (QWidget* view = closeButton ? closeButton->parentWidget() : nullptr; view != nullptr;
         view = view->parentWidget()) {
        if (matches(*view)) {
            return view;
        }
    }
    return nullptr;
}

}  // namespace

QWidget* MediaPlayerWindowControllerTitlebar::titlebarContainerView(platform::NSWindow& window) {
    QWidget* view = findTitlebarAncestor(window, [](const QWidget& candidate) {
        return candidate.metaObject()->className() == QStringLiteral("NSTitlebarContainerView");
    });
    if (view == nullptr) {
        platform::logLine(platform::LogLevel::debug,
                          "Failed to find the titlebar’s container view.");
    }
    return view;
}

platform::NSVisualEffectView* MediaPlayerWindowControllerTitlebar::titlebarVisualEffectView(
    platform::NSWindow& window) {
    QWidget* view = findTitlebarAncestor(window, [](const QWidget& candidate) {
        return dynamic_cast<const platform::NSVisualEffectView*>(&candidate) != nullptr;
    });
    if (view == nullptr) {
        platform::logLine(platform::LogLevel::debug,
                          "Failed to find the titlebar’s visual effect view.");
    }
    return static_cast<platform::NSVisualEffectView*>(view);
}

void MediaPlayerWindowControllerTitlebar::setTitlebarAlphaValue(platform::NSWindow& window,
                                                                double alpha, bool animated) {
    QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
        const auto method = platform::DynamicSymbols::lookup<SetTitlebarAlphaValueMethod>(
            setTitlebarAlphaValueSelector);
        if (!method) {
            throw platform::NSException(
                platform::NSInvalidArgumentException,
                fmt::format("{}: unrecognized selector sent", setTitlebarAlphaValueSelector));
        }
        (*method)(window, alpha, animated);
    });
}

}  // namespace quillon
