#pragma once

#include "platform/appkit/NSImageView.h"

namespace quillon {

// An image view by which the window can be dragged about, like its title bar.
class DraggableImageView : public platform::NSImageView {
public:
    using platform::NSImageView::NSImageView;

    bool mouseDownCanMoveWindow() const override { return true; }
};

}  // namespace quillon
