#pragma once

#include <QPointer>
#include <QWidget>
#include <optional>

#include "platform/graphics/CGGeometry.h"

namespace quillon {

// A limit that ties a view's content to the top of its window's content layout guide (the area
// below the title bar and toolbar): `constant` points below that top. It belongs to one window
// and is replaced whenever the view moves to another.
struct ContentLayoutGuideTopConstraint {
    QPointer<QWidget> window;
    platform::CGFloat constant = 0;

    // The guide's top plus the constant in `view`'s coordinates; none once the window is gone.
    std::optional<platform::CGFloat> minimumY(const QWidget& view) const;
};

// The window that `view` sits in, or null when it is in none (a view without a parent is a
// window only to Qt).
QWidget* windowOfView(const QWidget& view);

// Notices when a view moves to another window, which Qt reports only to the widget that was
// reparented: the view asks on every parent change, show and layout.
class WindowChangeTracker {
public:
    // True when `view` is in another window than last time (the first call compares with none).
    bool update(const QWidget& view);

private:
    QPointer<QWidget> window_;
    bool wasInWindow_ = false;
};

}  // namespace quillon
