#pragma once

#include <QMenu>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/appkit/NSResponder.h"
#include "platform/appkit/WindowActivation.h"
#include "platform/foundation/URL.h"

class QApplication;
class QObject;

namespace platform {

class NSApplication;
class NSDocumentController;
class NSWindow;
class NSWindowRestorationStore;

// What the application asks of its delegate around launch and quit. The delegate is also the
// last responder of the chain before the document controller.
class NSApplicationDelegate : public NSResponder {
public:
    virtual void applicationWillFinishLaunching(NSApplication& /*application*/) {}
    virtual void applicationDidFinishLaunching(NSApplication& /*application*/) {}
    // Whether to do something in place of an untitled document when launched without one.
    virtual bool applicationShouldOpenUntitledFile(NSApplication& /*application*/) { return false; }
    virtual bool applicationOpenUntitledFile(NSApplication& /*application*/) { return false; }
    virtual void applicationWillTerminate(NSApplication& /*application*/) {}
};

// The application object over the QApplication: the launch sequence, the responder chain that
// menu commands travel, the main menu and quitting.
//
// The main queue is run by the Qt event loop for as long as this object lives. The main menu
// is shown as the menu bar of every titled NSWindow. SIGINT and SIGTERM (the session's request
// to quit) end the application as terminate() does. On this desktop the menus live in the
// windows, so the application quits once its last window has closed and no document is still
// loading. Main thread only; one at a time.
class NSApplication {
public:
    // `documentController` and `restorationStore` default to the shared ones, looked up when
    // used.
    explicit NSApplication(QApplication& application,
                           NSDocumentController* documentController = nullptr,
                           NSWindowRestorationStore* restorationStore = nullptr);
    ~NSApplication();
    NSApplication(const NSApplication&) = delete;
    NSApplication& operator=(const NSApplication&) = delete;

    // The live application object; null when there is none.
    static NSApplication* shared();

    NSApplicationDelegate* delegate() const { return delegate_; }
    // Not owned; it must outlive the application object or be replaced first.
    void setDelegate(NSApplicationDelegate* delegate) { delegate_ = delegate; }

    NSDocumentController* documentController() const;

    // Files to open as documents at launch, after the restored windows.
    void setURLsToOpenAtLaunch(std::vector<URL> urls) { urlsToOpenAtLaunch_ = std::move(urls); }
    // Whether the launch restores the previous run's windows and this process keeps their
    // state (on unless turned off before run): off where another process of the session owns
    // that state.
    void setRestoresWindows(bool value) { restoresWindows_ = value; }
    // Whether a launch without documents takes the untitled-file step by itself (on unless
    // turned off before run): off when the session's bus started the application for a request
    // that is still to come.
    void setOpensUntitledFileAtLaunch(bool value) { opensUntitledFileAtLaunch_ = value; }

    // Opens each file as a document, or brings its open document's windows to the front.
    // `launch` is what the launch that asked handed over; the next window brought forward
    // uses it.
    void openURLs(const std::vector<URL>& urls, const LaunchActivation& launch = {});
    // Brings the application forward: the window that was key last (or another of its
    // windows) comes to the front with `launch`; with no document open, the untitled-file step
    // runs once window restoration has finished, and the next window brought forward uses
    // `launch`.
    void activate(const LaunchActivation& launch = {});

    // Brings `window` to the front and asks for the focus, with the launch that is waiting
    // for a window, if any (NSWindow::makeKeyAndOrderFront comes here).
    void orderFrontWindow(QWidget& window);
    // The launch that waits for a window to bring forward (empty when none).
    const LaunchActivation& pendingLaunchActivation() const;
    // The desktop's activator unless replaced.
    void setWindowActivator(std::unique_ptr<WindowActivator> activator);

    // Launches and runs the event loop until the application quits; returns the exit code.
    // In order: applicationWillFinishLaunching, window restoration, the files to open,
    // applicationDidFinishLaunching, then (once restoration has finished, when no document is
    // open) the untitled-file step, then the event loop.
    int run();
    // The launch sequence of run() without the event loop (tests run it and pump events).
    void finishLaunching();
    bool isRunning() const { return isRunning_; }

    // Sends `action` to `target`, or along the responder chain when `target` is null: the key
    // window's focused widget and its ancestors' view controllers, the window's content view
    // controller, the window, its window controller, its document, then the delegate and the
    // document controller. True when a responder performed it.
    bool sendAction(std::string_view action, NSResponder* target, QObject* sender);
    // Whether a menu item sending `action` along the chain is enabled: the first responder that
    // implements the action decides; the actions every window performs are enabled while a
    // window is key; nothing implementing it means disabled.
    bool validateAction(std::string_view action) const;

    // The window that has the keyboard, when it is an NSWindow (a dialog or sheet in front of
    // one counts as that window).
    NSWindow* keyWindow() const;

    // The menus of the menu bar, in order; owned by the application.
    void setMainMenu(std::vector<std::unique_ptr<QMenu>> menus);
    std::vector<QMenu*> mainMenu() const;

    // Puts the menus into a titled window's menu bar (the window does this as it is made, so
    // that its size counts the menu bar from the start; showing a window does it again).
    void installMainMenu(NSWindow& window) const;

    // Ends the application: applicationWillTerminate, the windows' restorable state written
    // (and frozen, so that the windows closing at exit still come back next time), then the
    // event loop stops and the open documents close.
    void terminate(QObject* sender = nullptr);

private:
    class WindowWatcher;
    class TerminationSignals;

    // Offers the key window's part of the responder chain to `visit` in order, with
    // `windowStep` between the window and its controller; true once one of them took it.
    bool walkKeyWindowChain(const std::function<bool(NSResponder&)>& visit,
                            const std::function<bool(NSWindow&)>& windowStep) const;
    void restorationDidFinish();
    void openUntitledFileIfNeeded();
    void quitIfNothingIsLeft();
    // After the event loop: closes what is still open while Qt can still tear it down.
    void closeDocuments();
    NSWindowRestorationStore& restorationStore() const;

    QApplication& application_;
    NSDocumentController* documentController_;
    NSWindowRestorationStore* restorationStore_;
    NSApplicationDelegate* delegate_ = nullptr;
    std::vector<URL> urlsToOpenAtLaunch_;
    std::vector<std::unique_ptr<QMenu>> mainMenu_;
    struct Private;
    std::unique_ptr<Private> d_;
    bool isRunning_ = false;
    bool hasFinishedLaunching_ = false;
    bool isRestorationComplete_ = false;
    bool isTerminating_ = false;
    bool restoresWindows_ = true;
    bool opensUntitledFileAtLaunch_ = true;
};

}  // namespace platform
