#include "platform/appkit/NSApplication.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QMenuBar>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/appkit/NSWindowRestorationStore.h"
#include "platform/dispatch/MainQueueEventLoopBinding.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

namespace {

NSApplication* sharedApplication = nullptr;

// The name the restoration store posts under once the previous launch's windows are back.
constexpr const char* kDidFinishRestoringWindowsNotification =
    "NSApplicationDidFinishRestoringWindowsNotification";

// The one write end that the signal handler may touch.
int signalWriteDescriptor = -1;

void writeSignalByte(int signalNumber) {
    const int savedErrno = errno;
    const auto byte = static_cast<char>(signalNumber);
    [[maybe_unused]] const auto written = ::write(signalWriteDescriptor, &byte, 1);
    errno = savedErrno;
}

// The actions every window answers by itself when nothing closer to the focus took them.
bool isWindowAction(std::string_view action) {
    return action == "toggleFullScreen:" || action == "performClose:" ||
           action == "performMiniaturize:";
}

bool performWindowAction(NSWindow& window, std::string_view action, QObject* sender) {
    if (action == "toggleFullScreen:") {
        window.toggleFullScreen(sender);
        return true;
    }
    if (action == "performClose:") {
        window.close();
        return true;
    }
    if (action == "performMiniaturize:") {
        window.showMinimized();
        return true;
    }
    return false;
}

}  // namespace

// Puts the main menu into every titled NSWindow as it is shown.
class NSApplication::WindowWatcher : public QObject {
public:
    explicit WindowWatcher(NSApplication& application) : application_(application) {}

    bool eventFilter(QObject* watched, QEvent* event) override {
        const bool isShow = event->type() == QEvent::Show;
        if ((isShow || event->type() == QEvent::WindowActivate) && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow()) {
                if (auto* window = dynamic_cast<NSWindow*>(widget)) {
                    if (isShow) {
                        application_.installMainMenu(*window);
                    } else {
                        lastKeyWindow = window;
                    }
                }
            }
        }
        return false;
    }

    QPointer<NSWindow> lastKeyWindow;

private:
    NSApplication& application_;
};

// Turns SIGINT and SIGTERM into a terminate() on the main thread, through a socket pair that
// the event loop watches (a handler may do nothing but write to it).
class NSApplication::TerminationSignals {
public:
    explicit TerminationSignals(NSApplication& application) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, descriptors_.data()) != 0) {
            logWarning("Failed to watch for termination signals: {}.", std::strerror(errno));
            return;
        }
        ::fcntl(descriptors_[0], F_SETFL, O_NONBLOCK);
        ::fcntl(descriptors_[1], F_SETFL, O_NONBLOCK);
        signalWriteDescriptor = descriptors_[1];
        notifier_ = std::make_unique<QSocketNotifier>(descriptors_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(),
                         [this, &application] {
                             std::array<char, 16> bytes{};
                             while (::read(descriptors_[0], bytes.data(), bytes.size()) > 0) {
                             }
                             application.terminate();
                         });
        struct sigaction action {};
        action.sa_handler = writeSignalByte;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t i = 0; i < signals_.size(); ++i) {
            ::sigaction(signals_[i], &action, &previousActions_[i]);
        }
    }

    ~TerminationSignals() {
        if (!notifier_) {
            return;
        }
        for (std::size_t i = 0; i < signals_.size(); ++i) {
            ::sigaction(signals_[i], &previousActions_[i], nullptr);
        }
        signalWriteDescriptor = -1;
        notifier_.reset();
        ::close(descriptors_[0]);
        ::close(descriptors_[1]);
    }

    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    static constexpr std::array<int, 2> signals_{SIGINT, SIGTERM};
    std::array<int, 2> descriptors_{-1, -1};
    std::array<struct sigaction, 2> previousActions_{};
    std::unique_ptr<QSocketNotifier> notifier_;
};

struct NSApplication::Private {
    MainQueueEventLoopBinding mainQueueBinding;
    std::unique_ptr<WindowWatcher> windowWatcher;
    std::unique_ptr<TerminationSignals> terminationSignals;
    ObserverToken restorationObservation;
    QMetaObject::Connection lastWindowClosedConnection;
    bool quitOnLastWindowClosedBefore = true;
    bool hasConsideredUntitledFile = false;
    std::unique_ptr<WindowActivator> windowActivator = std::make_unique<DesktopWindowActivator>();
    LaunchActivation pendingLaunch;
};

NSApplication::NSApplication(QApplication& application, NSDocumentController* documentController,
                             NSWindowRestorationStore* restorationStore)
    : application_(application),
      documentController_(documentController),
      restorationStore_(restorationStore),
      d_(std::make_unique<Private>()) {
    precondition(sharedApplication == nullptr, "Only one NSApplication may exist at a time.");
    sharedApplication = this;
    d_->windowWatcher = std::make_unique<WindowWatcher>(*this);
    application_.installEventFilter(d_->windowWatcher.get());
    d_->terminationSignals = std::make_unique<TerminationSignals>(*this);
    // The application decides itself when no window is left (see quitIfNothingIsLeft).
    d_->quitOnLastWindowClosedBefore = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    d_->lastWindowClosedConnection = QObject::connect(
        &application_, &QGuiApplication::lastWindowClosed, d_->windowWatcher.get(), [this] {
            // A window that replaces the one that closed may still be on its
            // way: look once the events of this turn have run.
            QTimer::singleShot(0, d_->windowWatcher.get(), [this] { quitIfNothingIsLeft(); });
        });
}

NSApplication::~NSApplication() {
    QObject::disconnect(d_->lastWindowClosedConnection);
    QApplication::setQuitOnLastWindowClosed(d_->quitOnLastWindowClosedBefore);
    application_.removeEventFilter(d_->windowWatcher.get());
    // The menus go before the windows that show them only where the window outlives us; a
    // menu bar just forgets a deleted menu's action.
    mainMenu_.clear();
    sharedApplication = nullptr;
}

NSApplication* NSApplication::shared() {
    return sharedApplication;
}

NSDocumentController* NSApplication::documentController() const {
    return documentController_ != nullptr ? documentController_ : NSDocumentController::shared();
}

NSWindowRestorationStore& NSApplication::restorationStore() const {
    return restorationStore_ != nullptr ? *restorationStore_ : NSWindowRestorationStore::shared();
}

int NSApplication::run() {
    finishLaunching();
    isRunning_ = true;
    const int exitCode = QApplication::exec();
    isRunning_ = false;
    closeDocuments();
    return exitCode;
}

void NSApplication::closeDocuments() {
    if (NSDocumentController* controller = documentController()) {
        const std::vector<std::shared_ptr<NSDocument>> documents = controller->documents();
        for (const auto& document : documents) {
            document->close();
        }
    }
    // Documents and windows are let go of through posted events: deliver them while the
    // QApplication still exists.
    for (int pass = 0; pass < 3; ++pass) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

void NSApplication::finishLaunching() {
    precondition(!hasFinishedLaunching_, "The application has already launched.");
    if (delegate_ != nullptr) {
        delegate_->applicationWillFinishLaunching(*this);
    }

    d_->restorationObservation = NotificationCenter::defaultCenter().addObserver(
        kDidFinishRestoringWindowsNotification, this,
        [this](const Notification&) { restorationDidFinish(); });
    if (!restoresWindows_) {
        restorationStore().setWritingEnabled(false);
    }
    if (NSDocumentController* controller = documentController(); controller && restoresWindows_) {
        restorationStore().restoreWindows(*controller, this);
    } else {
        // Nothing to restore is a restoration that has ended: what waits for its end (first
        // appearances, Now Playing) must hear of it as after any other.
        NotificationCenter::defaultCenter().post(kDidFinishRestoringWindowsNotification, this);
    }
    openURLs(urlsToOpenAtLaunch_);
    urlsToOpenAtLaunch_.clear();
    if (!opensUntitledFileAtLaunch_) {
        d_->hasConsideredUntitledFile = true;
    }

    if (delegate_ != nullptr) {
        delegate_->applicationDidFinishLaunching(*this);
    }
    hasFinishedLaunching_ = true;
    if (isRestorationComplete_) {
        openUntitledFileIfNeeded();
    }
}

void NSApplication::openURLs(const std::vector<URL>& urls, const LaunchActivation& launch) {
    if (!launch.isEmpty()) {
        d_->pendingLaunch = launch;
    }
    NSDocumentController* controller = documentController();
    if (controller == nullptr) {
        return;
    }
    for (const URL& url : urls) {
        controller->openDocumentWithContentsOfURL(
            url, true,
            [url](std::shared_ptr<NSDocument>, bool, std::shared_ptr<const Error> error) {
                if (error) {
                    logError("Failed to open {}: {}.", url.path(), error->localizedDescription());
                }
            });
    }
}

void NSApplication::activate(const LaunchActivation& launch) {
    if (!launch.isEmpty()) {
        d_->pendingLaunch = launch;
    }
    NSWindow* window = d_->windowWatcher->lastKeyWindow;
    if (window == nullptr || !window->isVisible()) {
        window = nullptr;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* candidate = dynamic_cast<NSWindow*>(widget);
            if (candidate != nullptr && candidate->isVisible() &&
                (candidate->styleMask() & NSWindowStyleMaskTitled) != 0) {
                window = candidate;
                break;
            }
        }
    }
    if (window != nullptr) {
        window->makeKeyAndOrderFront();
        return;
    }
    // Asked again: the step runs again (an Open panel that is up stays the only one).
    d_->hasConsideredUntitledFile = false;
    if (hasFinishedLaunching_ && isRestorationComplete_) {
        openUntitledFileIfNeeded();
    }
}

void NSApplication::orderFrontWindow(QWidget& window) {
    // A launch's token is good for one activation.
    const LaunchActivation launch = std::exchange(d_->pendingLaunch, {});
    d_->windowActivator->activate(window, launch);
}

const LaunchActivation& NSApplication::pendingLaunchActivation() const {
    return d_->pendingLaunch;
}

void NSApplication::setWindowActivator(std::unique_ptr<WindowActivator> activator) {
    precondition(activator != nullptr, "the application needs a window activator");
    d_->windowActivator = std::move(activator);
}

void NSApplication::restorationDidFinish() {
    if (isRestorationComplete_) {
        return;
    }
    isRestorationComplete_ = true;
    if (hasFinishedLaunching_) {
        openUntitledFileIfNeeded();
    }
}

void NSApplication::openUntitledFileIfNeeded() {
    if (d_->hasConsideredUntitledFile) {
        return;
    }
    d_->hasConsideredUntitledFile = true;
    const NSDocumentController* controller = documentController();
    if (controller != nullptr && !controller->documents().empty()) {
        return;
    }
    if (delegate_ != nullptr && delegate_->applicationShouldOpenUntitledFile(*this)) {
        delegate_->applicationOpenUntitledFile(*this);
    }
}

void NSApplication::quitIfNothingIsLeft() {
    if (isTerminating_ || !hasFinishedLaunching_) {
        return;
    }
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowType() != Qt::Popup &&
            widget->windowType() != Qt::ToolTip) {
            return;
        }
    }
    if (const NSDocumentController* controller = documentController();
        controller != nullptr && !controller->documents().empty()) {
        return;
    }
    terminate();
}

NSWindow* NSApplication::keyWindow() const {
    for (QWidget* widget = QApplication::activeWindow(); widget != nullptr;) {
        if (auto* window = dynamic_cast<NSWindow*>(widget)) {
            return window;
        }
        QWidget* parent = widget->parentWidget();
        widget = parent != nullptr ? parent->window() : nullptr;
    }
    return nullptr;
}

bool NSApplication::walkKeyWindowChain(const std::function<bool(NSResponder&)>& visit,
                                       const std::function<bool(NSWindow&)>& windowStep) const {
    NSWindow* window = keyWindow();
    if (window == nullptr) {
        return false;
    }
    std::vector<NSResponder*> tried;
    const auto offer = [&](NSResponder* responder) {
        if (responder == nullptr ||
            std::find(tried.begin(), tried.end(), responder) != tried.end()) {
            return false;
        }
        tried.push_back(responder);
        return visit(*responder);
    };
    for (QWidget* widget = window->focusWidget(); widget != nullptr;
         widget = widget->parentWidget()) {
        if (offer(NSViewController::owning(widget))) {
            return true;
        }
        if (widget == window) {
            break;
        }
    }
    if (offer(window->contentViewController()) || offer(dynamic_cast<NSResponder*>(window)) ||
        windowStep(*window)) {
        return true;
    }
    if (NSWindowController* windowController = window->windowController()) {
        return offer(windowController) || offer(windowController->document());
    }
    return false;
}

bool NSApplication::sendAction(std::string_view action, NSResponder* target, QObject* sender) {
    if (target != nullptr) {
        return target->tryToPerform(action, sender);
    }
    const auto perform = [&](NSResponder& responder) {
        return responder.tryToPerform(action, sender);
    };
    if (walkKeyWindowChain(perform, [&](NSWindow& window) {
            return performWindowAction(window, action, sender);
        })) {
        return true;
    }
    if (action == "terminate:") {
        terminate(sender);
        return true;
    }
    return (delegate_ != nullptr && perform(*delegate_)) ||
           (documentController() != nullptr && perform(*documentController()));
}

bool NSApplication::validateAction(std::string_view action) const {
    std::optional<bool> decision;
    const auto validate = [&](NSResponder& responder) {
        decision = responder.validateAction(action);
        return decision.has_value();
    };
    if (walkKeyWindowChain(validate, [&](NSWindow&) {
            if (isWindowAction(action)) {
                decision = true;
            }
            return decision.has_value();
        })) {
        return *decision;
    }
    if (action == "terminate:") {
        return true;
    }
    if ((delegate_ != nullptr && validate(*delegate_)) ||
        (documentController() != nullptr && validate(*documentController()))) {
        return *decision;
    }
    return false;
}

void NSApplication::setMainMenu(std::vector<std::unique_ptr<QMenu>> menus) {
    mainMenu_ = std::move(menus);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = dynamic_cast<NSWindow*>(widget);
            window != nullptr && window->isVisible()) {
            installMainMenu(*window);
        }
    }
}

std::vector<QMenu*> NSApplication::mainMenu() const {
    std::vector<QMenu*> menus;
    menus.reserve(mainMenu_.size());
    for (const auto& menu : mainMenu_) {
        menus.push_back(menu.get());
    }
    return menus;
}

void NSApplication::installMainMenu(NSWindow& window) const {
    if (mainMenu_.empty() || (window.styleMask() & NSWindowStyleMaskTitled) == 0) {
        return;
    }
    QMenuBar* menuBar = window.menuBar();
    const QList<QAction*> present = menuBar->actions();
    for (const auto& menu : mainMenu_) {
        if (!present.contains(menu->menuAction())) {
            menuBar->addMenu(menu.get());
        }
    }
    window.updateMenuBarVisibility();
}

void NSApplication::terminate(QObject* /*sender*/) {
    if (isTerminating_) {
        return;
    }
    isTerminating_ = true;
    if (delegate_ != nullptr) {
        delegate_->applicationWillTerminate(*this);
    }
    restorationStore().applicationWillTerminate();
    // Leaves the windows open: closing them now would count as the user closing them.
    QCoreApplication::exit(0);
}

}  // namespace platform
