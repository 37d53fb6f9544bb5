#include "platform/appkit/NSWindowContentLayoutGuide.h"

#include "platform/appkit/NSWindow.h"

namespace platform {

CGRect contentLayoutGuideFrame(const QWidget& window, const QWidget& view) {
    QRect area = window.rect();
    if (const auto* nsWindow = dynamic_cast<const NSWindow*>(&window)) {
        if (const QWidget* content = nsWindow->contentView()) {
            area = QRect(content->mapTo(&window, QPoint(0, 0)), content->size());
        }
    }
    const QPoint origin = view.mapFrom(&window, area.topLeft());
    return CGRectMake(origin.x(), origin.y(), area.width(), area.height());
}

}  // namespace platform
