#include "platform/appkit/NSWindowController.h"

#include "platform/appkit/NSDocument.h"
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
    if (NSWindow* window = this->window()) {
        window->makeKeyAndOrderFront();
    }
}

void NSWindowController::close() {
    if (window_) {
        window_->close();
    }
}

}  // namespace platform
