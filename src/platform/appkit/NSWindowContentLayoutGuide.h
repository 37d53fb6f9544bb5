#pragma once

#include <QWidget>

#include "platform/graphics/CGGeometry.h"

namespace platform {

// The area of `window` that its title bar and toolbar leave free for content, in the
// coordinates of `view` (a descendant of the window). The window system draws the title bar
// outside the window's widgets, so this is the content view of an NSWindow (below its toolbar)
// and the whole window otherwise.
CGRect contentLayoutGuideFrame(const QWidget& window, const QWidget& view);

}  // namespace platform
