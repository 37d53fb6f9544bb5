#pragma once

#include <QCborMap>
#include <QPointer>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "platform/foundation/AtomicFileWriter.h"
#include "platform/foundation/ObserverToken.h"

namespace platform {

class NSOperationQueue;
class NSDocument;
class NSDocumentController;
class NSWindow;

// Keeps the windows of open documents across launches: what each window's document, window
// controller and content view controllers need to come back as they were, the window's frame and
// whether it was in full screen. The state is written to one file soon after a window's
// restorable state is invalidated and by writeNow at quit, whole or not at all: a save that fails
// (a full disk) leaves the state stored last. At launch restoreWindows reopens the documents and
// has them restore their windows. A window the user closed is not restored. Main thread only.
class NSWindowRestorationStore {
public:
    // The application's store: "quillon-player/windows.cbor" in $XDG_STATE_HOME (default
    // ~/.local/state).
    static NSWindowRestorationStore& shared();

    explicit NSWindowRestorationStore(std::string filePath);
    ~NSWindowRestorationStore();
    NSWindowRestorationStore(const NSWindowRestorationStore&) = delete;
    NSWindowRestorationStore& operator=(const NSWindowRestorationStore&) = delete;

    const std::string& filePath() const { return filePath_; }

    // Reopens the stored documents of `controller` and restores their windows, then posts
    // NSApplicationDidFinishRestoringWindowsNotification with `application` as sender once every
    // request has been answered (at once when there is nothing to restore). Writing is held
    // back until then.
    void restoreWindows(NSDocumentController& controller, const void* application);
    bool isRestoring() const { return isRestoring_; }

    // Writes the state of every open document window of the shared document controller (or of
    // the controller given to restoreWindows) now.
    void writeNow();
    // Writes soon, once for any number of requests (on the main queue).
    void setNeedsWrite();
    // How long setNeedsWrite waits for further requests (1 second unless changed).
    void setWriteDelay(std::chrono::milliseconds delay) { writeDelay_ = delay; }
    // Writes now and then no more: the windows that close while the application quits stay
    // stored.
    void applicationWillTerminate();
    // Whether this process writes the state at all (on unless turned off): another process of
    // the session may own it.
    void setWritingEnabled(bool enabled) { isWritingEnabled_ = enabled; }
    bool isWritingEnabled() const { return isWritingEnabled_; }

private:
    NSDocumentController* documentController() const;
    QCborMap readFile() const;
    void restoreWindow(NSDocumentController& controller, const QCborMap& entry);
    void finishOneRestoration();
    // Whether a window that this restoration did not bring back is up: one the user opened at
    // this launch, which the restored windows must not cover.
    bool hasWindowOpenedMeanwhile(const NSWindow& restored) const;

    std::string filePath_;
    AtomicFileWriter writer_;
    NSDocumentController* documentController_ = nullptr;
    bool isRestoring_ = false;
    bool isTerminating_ = false;
    bool isWritingEnabled_ = true;
    int pendingRestorations_ = 0;
    std::vector<QPointer<NSWindow>> restoredWindows_;
    const void* application_ = nullptr;
    bool isWriteScheduled_ = false;
    std::chrono::milliseconds writeDelay_{1000};
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    ObserverToken invalidationObservation_;
    ObserverToken closeObservation_;
};

}  // namespace platform
