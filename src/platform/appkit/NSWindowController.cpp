#include "platform/appkit/NSWindowController.h"

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/WindowCascade.h"
#include "platform/foundation/FatalError.h"

namespace platform {

NSWindowController::NSWindowController(std::shared_ptr<NSWindow> window)
    : window_(std::move(window)) {
    if (window_) {
        window_->setWindowController(this);
    }
}

NSWindowController::NSWindowController() = default;

NSWindowController::~NSWindowController() {
    if (window_ && window_->windowController() == this) {
        window_->setWindowController(nullptr);
    }
}

NSWindow* NSWindowController::window() {
    if (!window_ && !isLoadingWindow_) {
        isLoadingWindow_ = true;
        std::shared_ptr<NSWindow> window = makeManagedWindow();
        isLoadingWindow_ = false;
        if (window) {
            window_ = std::move(window);
            window_->setWindowController(this);
            windowDidLoad();
            synchronizeWindowTitleWithDocumentName();
        }
    }
    return window_.get();
}

void NSWindowController::setDocument(NSDocument* document) {
    document_ = document;
    synchronizeWindowTitleWithDocumentName();
}

void NSWindowController::synchronizeWindowTitleWithDocumentName() {
    if (document_ != nullptr && window_) {
        window_->setTitle(windowTitleForDocumentDisplayName(document_->displayName()));
    }
}

void NSWindowController::showWindow(QObject*) {
    NSWindow* window = this->window();
    if (window == nullptr) {
        return;
    }
    // Only a window's first appearance finds it a place: one the user has moved, or one that
    // was hidden and comes back, stays where it was.
    if (!hasShownWindow_ && !window->isVisible() && shouldCascadeWindows_ &&
        document_ != nullptr) {
        WindowCascade::cascade(*window);
    }
    hasShownWindow_ = true;
    window->makeKeyAndOrderFront();
}

void NSWindowController::close() {
    if (window_) {
        window_->close();
    }
}

}  // namespace platform
