#include "platform/appkit/NSDocument.h"

#include <QCoreApplication>
#include <algorithm>

#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {
namespace {

// Releases what a window's close made unneeded once the close has finished: the window may be
// the one whose close event is running.
template <typename T>
void releaseLater(T value) {
    if (QCoreApplication::instance() == nullptr) {
        return;
    }
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [value = std::move(value)]() mutable { value = {}; },
        Qt::QueuedConnection);
}

}  // namespace

NSDocument::NSDocument() {
    windowCloseObservation_ = NotificationCenter::defaultCenter().addObserver(
        NSWindowWillCloseNotification, nullptr, [this](const Notification& notification) {
            windowWillClose(static_cast<NSWindow*>(const_cast<void*>(notification.object)));
        });
}

NSDocument::~NSDocument() {
    windowCloseObservation_ = {};
    for (const auto& controller : windowControllers_) {
        if (controller->document() == this) {
            controller->setDocument(nullptr);
        }
    }
}

std::string NSDocument::displayName() const {
    if (fileURL_) {
        return fileURL_->lastPathComponent();
    }
    return "Untitled";
}

void NSDocument::addWindowController(std::shared_ptr<NSWindowController> controller) {
    if (!controller || std::find(windowControllers_.begin(), windowControllers_.end(),
                                 controller) != windowControllers_.end()) {
        return;
    }
    controller->setDocument(this);
    windowControllers_.push_back(std::move(controller));
}

void NSDocument::removeWindowController(NSWindowController* controller) {
    auto position =
        std::find_if(windowControllers_.begin(), windowControllers_.end(),
                     [controller](const auto& each) { return each.get() == controller; });
    if (position == windowControllers_.end()) {
        return;
    }
    std::shared_ptr<NSWindowController> removed = std::move(*position);
    windowControllers_.erase(position);
    if (removed->document() == this) {
        removed->setDocument(nullptr);
    }
    releaseLater(std::move(removed));
}

void NSDocument::readFromURL(const URL&, const std::string&) {}

void NSDocument::showWindows() {
    if (windowControllers_.empty()) {
        makeWindowControllers();
    }
    // Showing may make a controller close the document.
    auto controllers = windowControllers_;
    for (const auto& controller : controllers) {
        controller->showWindow();
    }
}

void NSDocument::close() {
    if (isClosed_) {
        return;
    }
    isClosed_ = true;
    auto keepAlive = weak_from_this().lock();
    auto controllers = std::move(windowControllers_);
    windowControllers_.clear();
    for (const auto& controller : controllers) {
        if (controller->document() == this) {
            controller->setDocument(nullptr);
        }
        controller->close();
    }
    if (documentController_ != nullptr) {
        documentController_->removeDocument(this);
    }
    releaseLater(std::move(controllers));
    releaseLater(std::move(keepAlive));
}

void NSDocument::encodeRestorableState(NSKeyedArchiver&, NSOperationQueue&) {}

void NSDocument::restoreDocumentWindow(const std::string& identifier,
                                       std::shared_ptr<NSKeyedUnarchiver>,
                                       RestoreWindowCompletion completion) {
    auto controllers = windowControllers_;
    for (const auto& controller : controllers) {
        NSWindow* window = controller->window();
        if (window != nullptr && window->identifier() == identifier) {
            completion(window, nullptr);
            return;
        }
    }
    completion(nullptr, std::make_shared<NSError>(NSDocumentWindowRestorationErrorDomain,
                                                  NSDocumentWindowNotFoundError));
}

void NSDocument::invalidateRestorableState() {
    bool hasWindow = false;
    for (const auto& controller : windowControllers_) {
        if (NSWindow* window = std::as_const(*controller).window()) {
            window->invalidateRestorableState();
            hasWindow = true;
        }
    }
    if (!hasWindow) {
        NotificationCenter::defaultCenter().post(NSWindowRestorableStateDidInvalidateNotification,
                                                 this);
    }
}

void NSDocument::windowWillClose(NSWindow* window) {
    auto position = std::find_if(
        windowControllers_.begin(), windowControllers_.end(),
        [window](const auto& controller) { return std::as_const(*controller).window() == window; });
    if (position == windowControllers_.end()) {
        return;
    }
    if ((*position)->shouldCloseDocument() || windowControllers_.size() == 1) {
        close();
    } else {
        removeWindowController(position->get());
    }
}

}  // namespace platform
