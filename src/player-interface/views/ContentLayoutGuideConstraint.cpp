#include "player-interface/views/ContentLayoutGuideConstraint.h"

#include "platform/appkit/NSWindowContentLayoutGuide.h"

namespace quillon {

std::optional<platform::CGFloat> ContentLayoutGuideTopConstraint::minimumY(
    const QWidget& view) const {
    if (window.isNull() || !window->isAncestorOf(&view)) {
        return std::nullopt;
    }
    return platform::contentLayoutGuideFrame(*window, view).origin.y + constant;
}

QWidget* windowOfView(const QWidget& view) {
    QWidget* window = view.window();
    return window != &view ? window : nullptr;
}

bool WindowChangeTracker::update(const QWidget& view) {
    QWidget* window = windowOfView(view);
    const bool changed = window != window_.data() || (window == nullptr && wasInWindow_);
    window_ = window;
    wasInWindow_ = window != nullptr;
    return changed;
}

}  // namespace quillon
