#include "platform/appkit/NSWindowController.h"

namespace platform {

NSWindowController::NSWindowController(std::shared_ptr<NSWindow> window)
    : window_(std::move(window)) {}

NSWindowController::~NSWindowController() = default;

void NSWindowController::showWindow(QObject*) {
    if (window_) {
        window_->makeKeyAndOrderFront();
    }
}

}  // namespace platform
