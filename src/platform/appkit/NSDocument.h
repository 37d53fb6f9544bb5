#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSResponder.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/URL.h"

namespace platform {

class NSOperationQueue;
class NSDocumentController;
class NSKeyedArchiver;
class NSKeyedUnarchiver;
class NSWindow;
class NSWindowController;

// One open file and the windows that show it. The document controller makes documents, reads
// their file and keeps them in its list until they close. A document owns its window
// controllers; a window controller that closes the document when its window closes
// (shouldCloseDocument), or the document's last one, closes the document with its window.
// Main thread only, except encodeRestorableState's background work.
class NSDocument : public NSResponder, public std::enable_shared_from_this<NSDocument> {
public:
    // The answer to a window restoration request: the restored window, or none and why not.
    using RestoreWindowCompletion =
        std::function<void(NSWindow* window, std::shared_ptr<const NSError> error)>;

    NSDocument();
    ~NSDocument() override;
    NSDocument(const NSDocument&) = delete;
    NSDocument& operator=(const NSDocument&) = delete;

    const std::optional<URL>& fileURL() const { return fileURL_; }
    void setFileURL(std::optional<URL> url) { fileURL_ = std::move(url); }
    const std::optional<std::string>& fileType() const { return fileType_; }
    void setFileType(std::optional<std::string> type) { fileType_ = std::move(type); }
    // The file's name, or "Untitled" for a document without a file.
    std::string displayName() const;

    const std::vector<std::shared_ptr<NSWindowController>>& windowControllers() const {
        return windowControllers_;
    }
    // Adds `controller` (once) and makes this document the controller's document.
    void addWindowController(std::shared_ptr<NSWindowController> controller);
    // Removes `controller`, which no longer has a document.
    void removeWindowController(NSWindowController* controller);

    // Makes the document's windows; the default makes none.
    virtual void makeWindowControllers() {}
    // Reads the file; throws an Error when it can't. The default reads nothing.
    virtual void readFromURL(const URL& url, const std::string& typeName);
    // Whether the whole file was read by readFromURL.
    virtual bool isEntireFileLoaded() const { return true; }

    // Shows every window of the document, making its windows first when it has none.
    void showWindows();
    // Closes the document's windows and takes it out of the document controller's list. The
    // window controllers are released on the main queue, after the close that may have started
    // this one has finished.
    virtual void close();
    bool isClosed() const { return isClosed_; }

    // The document's part of the restorable state of its windows. Work that may take long goes
    // onto `backgroundQueue`; the caller waits for that queue before it uses the coder.
    virtual void encodeRestorableState(NSKeyedArchiver& coder, NSOperationQueue& backgroundQueue);
    // Restores the document's window called `identifier` from its stored `state`. The default
    // answers with the first window controller's window whose identifier matches, else with
    // none and an error.
    virtual void restoreDocumentWindow(const std::string& identifier,
                                       std::shared_ptr<NSKeyedUnarchiver> state,
                                       RestoreWindowCompletion completion);
    // Asks for the restorable state of the document's windows to be written again soon.
    void invalidateRestorableState();

    NSDocumentController* documentController() const { return documentController_; }
    void setDocumentController(NSDocumentController* controller) {
        documentController_ = controller;
    }

private:
    void windowWillClose(NSWindow* window);

    std::optional<URL> fileURL_;
    std::optional<std::string> fileType_;
    std::vector<std::shared_ptr<NSWindowController>> windowControllers_;
    NSDocumentController* documentController_ = nullptr;
    bool isClosed_ = false;
    ObserverToken windowCloseObservation_;
};

// The error domain and codes of window restoration that the document layer itself reports.
inline constexpr const char* NSDocumentWindowRestorationErrorDomain =
    "org.quillon.platform.NSDocument.WindowRestoration";
inline constexpr std::int64_t NSDocumentWindowNotFoundError = 1;

}  // namespace platform
