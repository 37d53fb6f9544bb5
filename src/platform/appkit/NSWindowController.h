#pragma once

#include <QObject>
#include <memory>
#include <string>

#include "platform/appkit/NSResponder.h"
#include "platform/appkit/NSWindow.h"

namespace platform {

class NSDocument;
class NSKeyedArchiver;
class NSKeyedUnarchiver;

// Owns a window and shows it on request. A controller made without a window makes it on first
// use: `window()` calls `makeManagedWindow` (what loading the controller's interface file does
// elsewhere), marks the window as managed by this controller and then runs `windowDidLoad`,
// once. Main thread only.
class NSWindowController : public NSResponder {
public:
    explicit NSWindowController(std::shared_ptr<NSWindow> window);
    virtual ~NSWindowController();
    NSWindowController(const NSWindowController&) = delete;
    NSWindowController& operator=(const NSWindowController&) = delete;

    // The window, made on first use.
    NSWindow* window();
    NSWindow* window() const { return window_.get(); }
    bool isWindowLoaded() const { return window_ != nullptr; }
    // Brings the window to the front, on screen, with the keyboard. The first time a document's
    // window is shown, it cascades from the last window of its kind shown (WindowCascade).
    virtual void showWindow(QObject* sender = nullptr);
    // Whether showWindow cascades a document's window; on by default.
    bool shouldCascadeWindows() const { return shouldCascadeWindows_; }
    void setShouldCascadeWindows(bool value) { shouldCascadeWindows_ = value; }
    // Closes the window (its close notification is posted).
    virtual void close();

    // The document this controller shows, set by the document when it adds the controller.
    NSDocument* document() const { return document_; }
    void setDocument(NSDocument* document);
    // Whether closing the window closes the document too.
    bool shouldCloseDocument() const { return shouldCloseDocument_; }
    void setShouldCloseDocument(bool value) { shouldCloseDocument_ = value; }
    virtual std::string windowTitleForDocumentDisplayName(const std::string& displayName) const {
        return displayName;
    }
    // Titles the window, once it is loaded and has a document, with
    // windowTitleForDocumentDisplayName of the document's display name. Runs when the window
    // loads and when the document changes.
    void synchronizeWindowTitleWithDocumentName();

    // The controller's own part of its window's restorable state.
    virtual void encodeRestorableState(NSKeyedArchiver& /*coder*/) const {}
    virtual void restoreState(NSKeyedUnarchiver& /*coder*/) {}

protected:
    // For controllers that make their window on first use.
    NSWindowController();
    // Makes the window of a controller made without one; the default has none to make.
    virtual std::shared_ptr<NSWindow> makeManagedWindow() { return nullptr; }
    virtual void windowDidLoad() {}

private:
    std::shared_ptr<NSWindow> window_;
    bool isLoadingWindow_ = false;
    NSDocument* document_ = nullptr;
    bool shouldCloseDocument_ = false;
    bool shouldCascadeWindows_ = true;
    bool hasShownWindow_ = false;
};

}  // namespace platform
