#include "platform/appkit/NSWindowRestorationStore.h"

#include <QApplication>
#include <QCborArray>
#include <QCborStreamReader>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>
#include <QVariant>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <optional>

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSOperationQueue.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/appkit/WindowCascade.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URLBookmark.h"

namespace platform {
namespace {

// The same name the application's restoration observer listens for.
constexpr const char* didFinishRestoringWindowsNotification =
    "NSApplicationDidFinishRestoringWindowsNotification";

constexpr int fileFormatVersion = 1;
// The native window's side of Qt::WA_ShowWithoutActivating.
constexpr const char* showWithoutActivatingProperty = "_q_showWithoutActivating";

const QString versionKey = QStringLiteral("version");
const QString windowsKey = QStringLiteral("windows");
const QString bookmarkKey = QStringLiteral("bookmark");
const QString identifierKey = QStringLiteral("identifier");
const QString documentStateKey = QStringLiteral("documentState");
const QString windowControllerStateKey = QStringLiteral("windowControllerState");
const QString viewControllerStatesKey = QStringLiteral("viewControllerStates");
const QString frameKey = QStringLiteral("frame");
const QString fullScreenKey = QStringLiteral("fullScreen");

QByteArray toByteArray(const std::vector<std::uint8_t>& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<qsizetype>(bytes.size()));
}

std::vector<std::uint8_t> toBytes(const QByteArray& bytes) {
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

std::string defaultFilePath() {
    QString stateHome = qEnvironmentVariable("XDG_STATE_HOME");
    if (stateHome.isEmpty() || !QDir::isAbsolutePath(stateHome)) {
        stateHome = QDir::homePath() + QStringLiteral("/.local/state");
    }
    return (stateHome + QStringLiteral("/quillon-player/windows.cbor")).toStdString();
}

// Calls `visit` for `controller` and every controller below it.
void forEachViewController(NSViewController* controller,
                           const std::function<void(NSViewController&)>& visit) {
    if (controller == nullptr) {
        return;
    }
    visit(*controller);
    for (const auto& child : controller->childViewControllers()) {
        forEachViewController(child.get(), visit);
    }
}

std::optional<std::vector<std::uint8_t>> dataValue(const QCborMap& map, const QString& key) {
    QCborValue value = map.value(key);
    if (!value.isByteArray()) {
        return std::nullopt;
    }
    return toBytes(value.toByteArray());
}

// An unarchiver for stored state; null when the state is missing or unreadable.
std::shared_ptr<NSKeyedUnarchiver> unarchiver(
    const std::optional<std::vector<std::uint8_t>>& data) {
    if (!data) {
        return nullptr;
    }
    try {
        return std::make_shared<NSKeyedUnarchiver>(*data);
    } catch (...) {
        return nullptr;
    }
}

// Puts back what the window's controllers and the window itself kept.
// Four finite numbers, a size that is not empty, none beyond what a window can be.
std::optional<CGRect> usableFrame(const QCborValue& stored) {
    const QCborArray numbers = stored.toArray();
    if (numbers.size() != 4) {
        return std::nullopt;
    }
    double values[4];
    for (qsizetype i = 0; i < 4; ++i) {
        const QCborValue number = numbers.at(i);
        if (!number.isDouble() && !number.isInteger()) {
            return std::nullopt;
        }
        values[i] = number.toDouble();
        if (!(std::abs(values[i]) <= QWIDGETSIZE_MAX)) {
            return std::nullopt;
        }
    }
    if (!(values[2] > 0 && values[3] > 0)) {
        return std::nullopt;
    }
    return CGRect{values[0], values[1], values[2], values[3]};
}

// `behindOthers`: shown without taking the focus and below the windows already up.
void restoreWindowState(NSWindow& window, const QCborMap& entry, bool behindOthers) {
    if (NSWindowController* controller = window.windowController()) {
        if (auto coder = unarchiver(dataValue(entry, windowControllerStateKey))) {
            controller->restoreState(*coder);
            coder->finishDecoding();
        }
    }
    const QCborMap viewControllerStates = entry.value(viewControllerStatesKey).toMap();
    forEachViewController(window.contentViewController(), [&](NSViewController& controller) {
        if (!controller.identifier()) {
            return;
        }
        if (auto coder = unarchiver(dataValue(viewControllerStates,
                                              QString::fromStdString(*controller.identifier())))) {
            controller.restoreState(*coder);
            coder->finishDecoding();
        }
    });
    if (entry.contains(frameKey)) {
        if (const auto frame = usableFrame(entry.value(frameKey))) {
            window.setFrame(*frame, false);
        } else {
            logInfo("Ignoring the stored {} of a window: it is no place on a screen.",
                    frameKey.toStdString());
        }
    }
    if (behindOthers) {
        const bool showedWithoutActivating = window.testAttribute(Qt::WA_ShowWithoutActivating);
        window.setAttribute(Qt::WA_ShowWithoutActivating);
        // Qt hands the attribute to the native window only as it makes one; the window has one
        // already (its frame was measured on it).
        QWindow* handle = window.windowHandle();
        const QVariant handleShowedWithoutActivating =
            handle != nullptr ? handle->property(showWithoutActivatingProperty) : QVariant();
        if (handle != nullptr) {
            handle->setProperty(showWithoutActivatingProperty, true);
        }
        window.show();
        window.lower();
        window.setAttribute(Qt::WA_ShowWithoutActivating, showedWithoutActivating);
        if (handle != nullptr) {
            handle->setProperty(showWithoutActivatingProperty, handleShowedWithoutActivating);
        }
    } else {
        window.makeKeyAndOrderFront();
    }
    // The window keeps its stored place; windows opened after it step from there.
    WindowCascade::noteWindowShown(window);
    if (entry.value(fullScreenKey).toBool() && !window.isInFullScreen()) {
        window.toggleFullScreen();
    }
}

// The answer to one stored window's request, counted once: when the document answers, or else
// when the last holder of the request lets go of it unanswered (a window closed while it was
// being restored, a document that went away first). One such window must not hold back the end
// of restoration, and with it every later write, for ever.
class RestorationAnswer {
public:
    explicit RestorationAnswer(std::function<void()> finish) : finish_(std::move(finish)) {}
    ~RestorationAnswer() {
        if (answered_.exchange(true)) {
            return;
        }
        // Let go of on any thread, maybe in the middle of the holder's own work.
        if (QCoreApplication* application = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(application, finish_, Qt::QueuedConnection);
        } else {
            finish_();
        }
    }
    RestorationAnswer(const RestorationAnswer&) = delete;
    RestorationAnswer& operator=(const RestorationAnswer&) = delete;

    void answer() {
        if (!answered_.exchange(true)) {
            finish_();
        }
    }

private:
    std::function<void()> finish_;
    std::atomic<bool> answered_{false};
};

}  // namespace

NSWindowRestorationStore& NSWindowRestorationStore::shared() {
    static NeverDestroyed<NSWindowRestorationStore> store(defaultFilePath());
    return store.get();
}

NSWindowRestorationStore::NSWindowRestorationStore(std::string filePath)
    : filePath_(std::move(filePath)), writer_(filePath_, "the windows") {
    invalidationObservation_ = NotificationCenter::defaultCenter().addObserver(
        NSWindowRestorableStateDidInvalidateNotification, nullptr,
        [this](const Notification&) { setNeedsWrite(); });
    // A window the user closes must not come back at the next launch.
    closeObservation_ = NotificationCenter::defaultCenter().addObserver(
        NSWindowWillCloseNotification, nullptr, [this](const Notification&) { setNeedsWrite(); });
}

NSWindowRestorationStore::~NSWindowRestorationStore() {
    *alive_ = false;
}

NSDocumentController* NSWindowRestorationStore::documentController() const {
    return documentController_ != nullptr ? documentController_ : NSDocumentController::shared();
}

QCborMap NSWindowRestorationStore::readFile() const {
    QFile file(QString::fromStdString(filePath_));
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        logError("Failed to read the stored windows from {}: {}.", filePath_,
                 file.errorString().toStdString());
        return {};
    }
    QCborParserError error;
    QCborValue root = QCborValue::fromCbor(file.readAll(), &error);
    if (error.error != QCborError::NoError || !root.isMap()) {
        logWarning("The stored windows in {} are unreadable ({}); no window is restored.",
                   filePath_,
                   error.error != QCborError::NoError ? error.errorString().toStdString()
                                                      : std::string("not a map"));
        return {};
    }
    QCborMap map = root.toMap();
    if (map.value(versionKey).toInteger() != fileFormatVersion) {
        logWarning("The stored windows in {} are of an unknown version; no window is restored.",
                   filePath_);
        return {};
    }
    return map;
}

void NSWindowRestorationStore::restoreWindows(NSDocumentController& controller,
                                              const void* application) {
    documentController_ = &controller;
    application_ = application;
    isRestoring_ = true;
    // One count for this call, so that windows answered at once do not end restoration early.
    pendingRestorations_ = 1;
    const QCborArray windows = readFile().value(windowsKey).toArray();
    for (const QCborValue& window : windows) {
        if (window.isMap()) {
            ++pendingRestorations_;
            restoreWindow(controller, window.toMap());
        }
    }
    finishOneRestoration();
}

void NSWindowRestorationStore::restoreWindow(NSDocumentController& controller,
                                             const QCborMap& entry) {
    const auto bookmark = dataValue(entry, bookmarkKey);
    const std::string identifier = entry.value(identifierKey).toString().toStdString();
    if (!bookmark || identifier.empty()) {
        logWarning("A stored window without its file or identifier is not restored.");
        finishOneRestoration();
        return;
    }
    std::optional<URL> url;
    try {
        bool isStale = false;
        url = URLByResolvingBookmarkData(*bookmark, NSURLBookmarkResolutionWithoutUI, isStale);
    } catch (const Error& error) {
        logInfo("The file of a stored window can't be found: {}", error.localizedDescription());
        finishOneRestoration();
        return;
    }
    auto alive = std::weak_ptr<bool>(alive_);
    auto answer = std::make_shared<RestorationAnswer>([this, alive] {
        if (!alive.expired()) {
            finishOneRestoration();
        }
    });
    controller.reopenDocumentForURL(
        *url, *url, false,
        [this, alive, entry, identifier, answer](std::shared_ptr<NSDocument> document, bool,
                                                 std::shared_ptr<const Error> error) {
            if (alive.expired()) {
                return;
            }
            if (!document) {
                logWarning("Failed to reopen the document of a stored window: {}",
                           error ? error->localizedDescription() : std::string("unknown error"));
                answer->answer();
                return;
            }
            auto state = unarchiver(dataValue(entry, documentStateKey));
            if (!state) {
                // The document gets an empty state rather than none.
                NSKeyedArchiver empty;
                state = std::make_shared<NSKeyedUnarchiver>(empty.encodedData());
            }
            // A document that drops the completion unanswered has let the window go: the
            // answer then counts itself.
            document->restoreDocumentWindow(
                identifier, state,
                [this, alive, entry, answer](NSWindow* window,
                                             std::shared_ptr<const NSError> error) {
                    if (alive.expired()) {
                        return;
                    }
                    if (window != nullptr) {
                        // The file the user opened at this launch stays in front, as it would
                        // if it had come last.
                        const bool behindOthers = hasWindowOpenedMeanwhile(*window);
                        restoredWindows_.emplace_back(window);
                        restoreWindowState(*window, entry, behindOthers);
                    } else {
                        logWarning(
                            "A stored window was not restored: {}",
                            error ? error->localizedDescription() : std::string("no window"));
                    }
                    answer->answer();
                });
        });
}

bool NSWindowRestorationStore::hasWindowOpenedMeanwhile(const NSWindow& restored) const {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const auto* window = dynamic_cast<const NSWindow*>(widget);
        if (window == nullptr || window == &restored || !window->isVisible() ||
            (window->styleMask() & NSWindowStyleMaskTitled) == 0) {
            continue;
        }
        if (std::none_of(restoredWindows_.begin(), restoredWindows_.end(),
                         [window](const QPointer<NSWindow>& other) { return other == window; })) {
            return true;
        }
    }
    return false;
}

void NSWindowRestorationStore::finishOneRestoration() {
    if (pendingRestorations_ <= 0) {
        return;
    }
    if (--pendingRestorations_ > 0) {
        return;
    }
    isRestoring_ = false;
    restoredWindows_.clear();
    NotificationCenter::defaultCenter().post(didFinishRestoringWindowsNotification, application_);
    // What could not be restored is not tried again at the next launch.
    setNeedsWrite();
}

void NSWindowRestorationStore::setNeedsWrite() {
    if (isWriteScheduled_ || isTerminating_ || QCoreApplication::instance() == nullptr) {
        return;
    }
    isWriteScheduled_ = true;
    auto alive = std::weak_ptr<bool>(alive_);
    QTimer::singleShot(writeDelay_, QCoreApplication::instance(), [this, alive] {
        if (alive.expired()) {
            return;
        }
        isWriteScheduled_ = false;
        writeNow();
    });
}

void NSWindowRestorationStore::applicationWillTerminate() {
    writeNow();
    isTerminating_ = true;
}

void NSWindowRestorationStore::writeNow() {
    if (!isWritingEnabled_) {
        return;
    }
    if (isRestoring_ || isTerminating_) {
        // Writing now would drop the windows that are still being restored.
        if (isRestoring_) {
            isWriteScheduled_ = false;
        }
        return;
    }
    struct PendingEntry {
        QCborMap entry;
        std::shared_ptr<NSKeyedArchiver> documentCoder;
    };
    std::vector<PendingEntry> entries;
    NSOperationQueue backgroundQueue("Window Restoration Queue");
    if (NSDocumentController* controller = documentController()) {
        for (const auto& document : controller->documents()) {
            if (!document->fileURL()) {
                continue;
            }
            std::vector<std::uint8_t> bookmark;
            try {
                bookmark = bookmarkData(*document->fileURL());
            } catch (const Error& error) {
                logWarning("The window of {} is not stored: {}", document->fileURL()->path(),
                           error.localizedDescription());
                continue;
            }
            for (const auto& windowController : document->windowControllers()) {
                NSWindow* window = std::as_const(*windowController).window();
                if (window == nullptr || window->identifier().empty()) {
                    continue;
                }
                PendingEntry pending;
                pending.entry.insert(bookmarkKey, toByteArray(bookmark));
                pending.entry.insert(identifierKey, QString::fromStdString(window->identifier()));
                NSKeyedArchiver controllerCoder;
                windowController->encodeRestorableState(controllerCoder);
                pending.entry.insert(windowControllerStateKey,
                                     toByteArray(controllerCoder.encodedData()));
                QCborMap viewControllerStates;
                forEachViewController(window->contentViewController(),
                                      [&](NSViewController& viewController) {
                                          if (!viewController.identifier()) {
                                              return;
                                          }
                                          NSKeyedArchiver coder;
                                          viewController.encodeRestorableState(coder);
                                          viewControllerStates.insert(
                                              QString::fromStdString(*viewController.identifier()),
                                              toByteArray(coder.encodedData()));
                                      });
                pending.entry.insert(viewControllerStatesKey, viewControllerStates);
                const CGRect frame = window->frame();
                pending.entry.insert(frameKey, QCborArray{frame.origin.x, frame.origin.y,
                                                          frame.size.width, frame.size.height});
                pending.entry.insert(fullScreenKey, window->isInFullScreen());
                pending.documentCoder = std::make_shared<NSKeyedArchiver>();
                document->encodeRestorableState(*pending.documentCoder, backgroundQueue);
                entries.push_back(std::move(pending));
            }
        }
    }
    backgroundQueue.waitUntilAllOperationsAreFinished();

    QCborArray windows;
    for (auto& pending : entries) {
        pending.entry.insert(documentStateKey, toByteArray(pending.documentCoder->encodedData()));
        windows.append(pending.entry);
    }
    QCborMap root;
    root.insert(versionKey, fileFormatVersion);
    root.insert(windowsKey, windows);

    const QByteArray encoded = root.toCborValue().toCbor();
    // A failed save leaves the last stored windows; the next one tries again.
    writer_.write(std::string_view(encoded.constData(), static_cast<std::size_t>(encoded.size())));
}

}  // namespace platform
