#include <gtest/gtest.h>

#include <QCborArray>
#include <QCborMap>
#include <QCborValue>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <functional>
#include <limits>
#include <memory>
#include <thread>

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSOperationQueue.h"
#include "platform/appkit/NSViewController.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/appkit/NSWindowRestorationStore.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/ConstrainedFolder.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

constexpr const char* didFinishRestoring = "NSApplicationDidFinishRestoringWindowsNotification";

class StatefulViewController : public NSViewController {
public:
    void encodeRestorableState(NSKeyedArchiver& coder) const override {
        coder.encodeInt64(value, "value");
    }
    void restoreState(NSKeyedUnarchiver& coder) override { value = coder.decodeInt64("value"); }
    std::int64_t value = 0;
};

class StatefulWindowController : public NSWindowController {
public:
    void encodeRestorableState(NSKeyedArchiver& coder) const override {
        coder.encodeString(text, "text");
    }
    void restoreState(NSKeyedUnarchiver& coder) override {
        text = coder.decodeString("text").value_or("");
    }
    std::string text;
    std::shared_ptr<StatefulViewController> content = std::make_shared<StatefulViewController>();

protected:
    std::shared_ptr<NSWindow> makeManagedWindow() override {
        auto window = std::make_shared<NSWindow>(
            CGRect{0, 0, 300, 200},
            NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskResizable);
        window->setIdentifier("player");
        content->setIdentifier("content");
        window->setContentViewController(content);
        return window;
    }
};

// How the documents of a test answer restoration.
struct Behaviour {
    bool holdAnswer = false;
    std::vector<std::string> requestedIdentifiers;
    std::vector<std::string> restoredNotes;
    NSDocument::RestoreWindowCompletion heldAnswer;
    std::function<void()> sendHeldAnswer;
};
Behaviour behaviour;

class RestorableDocument : public NSDocument {
public:
    void makeWindowControllers() override {
        auto controller = std::make_shared<StatefulWindowController>();
        controller->setShouldCloseDocument(true);
        addWindowController(controller);
    }
    void encodeRestorableState(NSKeyedArchiver& coder, NSOperationQueue& queue) override {
        // Written on the background queue, as slow encoders do.
        queue.addOperation([&coder, note = note] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            coder.encodeString(note, "note");
        });
    }
    void restoreDocumentWindow(const std::string& identifier,
                               std::shared_ptr<NSKeyedUnarchiver> state,
                               RestoreWindowCompletion completion) override {
        behaviour.requestedIdentifiers.push_back(identifier);
        behaviour.restoredNotes.push_back(state->decodeString("note").value_or("<none>"));
        if (behaviour.holdAnswer) {
            behaviour.sendHeldAnswer = [this, identifier, state, completion] {
                NSDocument::restoreDocumentWindow(identifier, state, completion);
            };
            return;
        }
        NSDocument::restoreDocumentWindow(identifier, std::move(state), std::move(completion));
    }
    std::string note;
};

void pumpEvents() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
    }
}

class NSWindowRestorationStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        behaviour = {};
        observation = NotificationCenter::defaultCenter().addObserver(
            didFinishRestoring, nullptr, [this](const Notification& notification) {
                finishedSenders.push_back(notification.object);
            });
    }
    void TearDown() override {
        for (auto* controller : {&firstLaunch, &secondLaunch}) {
            auto documents = controller->documents();
            for (const auto& document : documents) {
                document->close();
            }
        }
        pumpEvents();
    }

    static std::unique_ptr<NSDocumentController> makeController() {
        auto controller = std::make_unique<NSDocumentController>();
        controller->setDocumentFactory(
            [](const std::string&) { return std::make_shared<RestorableDocument>(); });
        return controller;
    }
    URL makeFile(const std::string& name) {
        const QString path = directory.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return URL::fileURL(path.toStdString());
    }
    std::shared_ptr<RestorableDocument> open(NSDocumentController& controller, const URL& url) {
        std::shared_ptr<NSDocument> opened;
        controller.openDocumentWithContentsOfURL(
            url, true,
            [&](std::shared_ptr<NSDocument> document, bool, auto) { opened = document; });
        return std::static_pointer_cast<RestorableDocument>(opened);
    }
    std::string storePath() const { return directory.filePath("state/windows.cbor").toStdString(); }
    // What was written last brings back no window at the next launch.
    void expectNothingAtTheNextLaunch() {
        finishedSenders.clear();
        auto nextLaunch = makeController();
        NSWindowRestorationStore(storePath()).restoreWindows(*nextLaunch, &application);
        EXPECT_EQ(finishedSenders.size(), 1u);
        EXPECT_TRUE(nextLaunch->documents().empty());
    }

    QTemporaryDir directory;
    std::unique_ptr<NSDocumentController> firstLaunchController = makeController();
    NSDocumentController& firstLaunch = *firstLaunchController;
    std::unique_ptr<NSDocumentController> secondLaunchController = makeController();
    NSDocumentController& secondLaunch = *secondLaunchController;
    std::vector<const void*> finishedSenders;
    ObserverToken observation;
    const int application = 0;
};

TEST_F(NSWindowRestorationStoreTest, WindowsComeBackWithTheirDocumentsAndStates) {
    const URL url = makeFile("Film.mkv");
    {
        NSWindowRestorationStore store(storePath());
        auto document = open(firstLaunch, url);
        ASSERT_TRUE(document);
        document->note = "from the document";
        auto* controller =
            static_cast<StatefulWindowController*>(document->windowControllers()[0].get());
        controller->text = "from the window controller";
        controller->content->value = 42;
        controller->window()->setFrame(CGRect{40, 60, 320, 240}, false);
        store.writeNow();
    }

    NSWindowRestorationStore store(storePath());
    store.restoreWindows(secondLaunch, &application);
    EXPECT_EQ(finishedSenders, std::vector<const void*>{&application});
    EXPECT_EQ(behaviour.requestedIdentifiers, std::vector<std::string>{"player"});
    EXPECT_EQ(behaviour.restoredNotes, std::vector<std::string>{"from the document"});
    ASSERT_EQ(secondLaunch.documents().size(), 1u);
    auto document = secondLaunch.documents()[0];
    EXPECT_EQ(document->fileURL()->path(), url.path());
    auto* controller =
        static_cast<StatefulWindowController*>(document->windowControllers()[0].get());
    EXPECT_EQ(controller->text, "from the window controller");
    EXPECT_EQ(controller->content->value, 42);
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_EQ(controller->window()->frame().size, (CGSize{320, 240}));

    // Closed by the user: not there at the next launch.
    controller->close();
    EXPECT_TRUE(secondLaunch.documents().empty());
    store.writeNow();
    expectNothingAtTheNextLaunch();
}

TEST_F(NSWindowRestorationStoreTest, AStoredFrameThatIsNoPlaceOnAScreenIsLeftOut) {
    {
        NSWindowRestorationStore store(storePath());
        ASSERT_TRUE(open(firstLaunch, makeFile("Film.mkv")));
        store.writeNow();
        firstLaunch.documents()[0]->close();
    }
    QFile file(QString::fromStdString(storePath()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QCborMap stored = QCborValue::fromCbor(file.readAll()).toMap();
    file.close();

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<QCborValue> frames{QCborArray{nan, 0, 320, 240},
                                         QCborArray{0, 0, inf, 240},
                                         QCborArray{0, 1e99, 320, 240},
                                         QCborArray{0, 0, -320, 240},
                                         QCborArray{0, 0, 320},
                                         QCborArray{0, 0, QStringLiteral("abc"), 240},
                                         QCborValue(QStringLiteral("abc"))};
    for (const QCborValue& frame : frames) {
        SCOPED_TRACE(frame.toDiagnosticNotation().toStdString());
        QCborMap edited = stored;
        QCborArray windows = edited.value(QStringLiteral("windows")).toArray();
        QCborMap window = windows.at(0).toMap();
        window.insert(QStringLiteral("frame"), frame);
        windows[0] = window;
        edited.insert(QStringLiteral("windows"), windows);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(edited.toCborValue().toCbor());
        file.close();

        auto nextLaunch = makeController();
        ScopedLogCapture log;
        NSWindowRestorationStore(storePath()).restoreWindows(*nextLaunch, &application);
        ASSERT_EQ(nextLaunch->documents().size(), 1u);
        // The window keeps the frame it was made with.
        NSWindow* restored = nextLaunch->documents()[0]->windowControllers()[0]->window();
        EXPECT_EQ(restored->frame().size, (CGSize{300, 200}));
        EXPECT_TRUE(log.contains("Ignoring the stored frame of a window"));
        nextLaunch->documents()[0]->close();
    }
}

TEST_F(NSWindowRestorationStoreTest, TheEndIsPostedOnlyOnceEveryRequestWasAnswered) {
    const URL kept = makeFile("Kept.mkv");
    const URL removed = makeFile("Removed.mkv");
    {
        NSWindowRestorationStore store(storePath());
        ASSERT_TRUE(open(firstLaunch, kept));
        ASSERT_TRUE(open(firstLaunch, removed));
        store.writeNow();
    }
    ASSERT_TRUE(QFile::remove(QString::fromStdString(removed.path())));

    behaviour.holdAnswer = true;
    ScopedLogCapture log;
    NSWindowRestorationStore store(storePath());
    store.restoreWindows(secondLaunch, &application);
    EXPECT_TRUE(store.isRestoring());
    EXPECT_TRUE(finishedSenders.empty());
    EXPECT_EQ(secondLaunch.documents().size(), 1u) << "the missing file is skipped";
    EXPECT_TRUE(log.contains("can't be found"));

    // Writing now would lose the window still being restored.
    store.writeNow();
    ASSERT_TRUE(behaviour.sendHeldAnswer);
    behaviour.sendHeldAnswer();
    EXPECT_EQ(finishedSenders, std::vector<const void*>{&application});
    EXPECT_FALSE(store.isRestoring());
}

TEST_F(NSWindowRestorationStoreTest, AWindowThatGoesAwayUnansweredStillEndsRestoration) {
    const URL url = makeFile("Closed.mkv");
    {
        NSWindowRestorationStore store(storePath());
        ASSERT_TRUE(open(firstLaunch, url));
        store.writeNow();
    }
    behaviour.holdAnswer = true;
    NSWindowRestorationStore store(storePath());
    store.setWriteDelay(std::chrono::milliseconds(0));
    store.restoreWindows(secondLaunch, &application);
    ASSERT_TRUE(store.isRestoring());

    // Closed while its state was being put back: the document lets go of the request.
    ASSERT_EQ(secondLaunch.documents().size(), 1u);
    secondLaunch.documents()[0]->close();
    behaviour.sendHeldAnswer = nullptr;
    pumpEvents();
    EXPECT_FALSE(store.isRestoring());
    EXPECT_EQ(finishedSenders, std::vector<const void*>{&application});

    // Writing works again: the closed window is not kept for the next launch.
    store.writeNow();
    expectNothingAtTheNextLaunch();
}

TEST_F(NSWindowRestorationStoreTest, ACorruptOrMissingFileRestoresNothing) {
    NSWindowRestorationStore(storePath()).restoreWindows(secondLaunch, &application);
    EXPECT_EQ(finishedSenders.size(), 1u);

    QFile file(QString::fromStdString(storePath()));
    ASSERT_TRUE(QDir().mkpath(directory.filePath("state")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("\xbf\x65windows\x9f\x01");  // a map cut short
    file.close();
    ScopedLogCapture log;
    NSWindowRestorationStore(storePath()).restoreWindows(secondLaunch, &application);
    EXPECT_EQ(finishedSenders.size(), 2u);
    EXPECT_TRUE(secondLaunch.documents().empty());
    EXPECT_TRUE(log.contains("unreadable"));
}

TEST_F(NSWindowRestorationStoreTest, AnInvalidatedWindowIsWrittenSoonOnce) {
    NSWindowRestorationStore store(storePath());
    store.setWriteDelay(std::chrono::milliseconds(0));
    auto document = open(firstLaunch, makeFile("Film.mkv"));
    ASSERT_TRUE(document);
    pumpEvents();
    QFile::remove(QString::fromStdString(storePath()));
    document->invalidateRestorableState();
    document->invalidateRestorableState();
    EXPECT_FALSE(QFile::exists(QString::fromStdString(storePath()))) << "not at once";
    pumpEvents();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(storePath())));
}

TEST_F(NSWindowRestorationStoreTest, AFullDiskOrAReadOnlyFolderKeepsTheWindowsStoredLast) {
    quillon::test::ConstrainedFolder folder("quillon-stored-windows");
    const std::string path = folder / "windows.cbor";
    NSWindowRestorationStore store(path);
    ASSERT_TRUE(open(firstLaunch, makeFile("First.mkv")));
    store.writeNow();
    const std::string stored = quillon::test::fileBytes(path);
    ASSERT_FALSE(stored.empty());
    ASSERT_TRUE(open(firstLaunch, makeFile("Second.mkv")));

    struct Constraint {
        std::function<void()> apply;
        std::function<void()> lift;
        std::string reason;
    };
    const Constraint constraints[] = {
        {[&] { folder.fill(); }, [&] { folder.freeSpace(); },
         quillon::test::ConstrainedFolder::reasonWhenFull()},
        {[&] { folder.makeReadOnly(); }, [&] { folder.makeWritable(); },
         folder.reasonWhenReadOnly()},
    };
    for (const Constraint& constraint : constraints) {
        SCOPED_TRACE(constraint.reason);
        constraint.apply();
        ScopedLogCapture log;
        store.writeNow();
        EXPECT_EQ(quillon::test::fileBytes(path), stored);
        EXPECT_EQ(log.levelOf("Failed to store the windows in " + path + ": " + constraint.reason),
                  LogLevel::error);
        constraint.lift();
    }

    // With room again, the next save stores both windows.
    store.writeNow();
    auto nextLaunch = makeController();
    NSWindowRestorationStore(path).restoreWindows(*nextLaunch, &application);
    EXPECT_EQ(nextLaunch->documents().size(), 2u);
    const auto restored = nextLaunch->documents();
    for (const auto& document : restored) {
        document->close();
    }
}

}  // namespace
}  // namespace platform
