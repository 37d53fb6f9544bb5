#include <gtest/gtest.h>

#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

#include "platform/appkit/NSDocument.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/appkit/NSWindow.h"
#include "platform/appkit/NSWindowController.h"
#include "platform/foundation/Error.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

class PlainWindowController : public NSWindowController {
public:
    explicit PlainWindowController(std::string identifier = {})
        : identifier_(std::move(identifier)) {}

protected:
    std::shared_ptr<NSWindow> makeManagedWindow() override {
        auto window = std::make_shared<NSWindow>(
            CGRect{0, 0, 200, 100}, NSWindowStyleMaskTitled | NSWindowStyleMaskClosable);
        window->setIdentifier(identifier_);
        return window;
    }

private:
    std::string identifier_;
};

class TestDocument : public NSDocument {
public:
    void readFromURL(const URL& url, const std::string& type) override {
        if (url.lastPathComponent() == "unreadable.mkv") {
            throw NSError("TestDomain", 7);
        }
        readType = type;
    }
    void makeWindowControllers() override {
        ++madeWindowControllers;
        auto controller = std::make_shared<PlainWindowController>("main");
        controller->setShouldCloseDocument(true);
        addWindowController(controller);
    }
    std::string readType;
    int madeWindowControllers = 0;
};

void pumpEvents() {
    for (int round = 0; round < 3; ++round) {
        QCoreApplication::processEvents();
    }
}

class NSDocumentControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(directory.isValid());
        controller.setDocumentFactory(
            [](const std::string&) { return std::make_shared<TestDocument>(); });
    }
    void TearDown() override {
        auto documents = controller.documents();
        for (const auto& document : documents) {
            document->close();
        }
        pumpEvents();
    }
    URL makeFile(const std::string& name) {
        const QString path = directory.filePath(QString::fromStdString(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        return URL::fileURL(path.toStdString());
    }
    struct Opened {
        std::shared_ptr<NSDocument> document;
        bool wasOpen = false;
        std::shared_ptr<const Error> error;
    };
    Opened open(const URL& url, bool display = true) {
        Opened opened;
        controller.openDocumentWithContentsOfURL(
            url, display, [&](std::shared_ptr<NSDocument> document, bool wasOpen, auto error) {
                opened = {std::move(document), wasOpen, std::move(error)};
            });
        return opened;
    }

    QTemporaryDir directory;
    NSDocumentController controller;
};

TEST_F(NSDocumentControllerTest, OpensAFileOnceAndBringsItForwardTheSecondTime) {
    const URL url = makeFile("Film.mkv");
    Opened first = open(url);
    ASSERT_TRUE(first.document);
    EXPECT_FALSE(first.wasOpen);
    auto* document = static_cast<TestDocument*>(first.document.get());
    EXPECT_EQ(document->displayName(), "Film.mkv");
    EXPECT_EQ(document->readType, "org.matroska.mkv");
    ASSERT_EQ(document->windowControllers().size(), 1u);
    EXPECT_EQ(document->windowControllers()[0]->document(), document);
    EXPECT_TRUE(document->windowControllers()[0]->window()->isVisible());

    Opened second = open(url);
    EXPECT_EQ(second.document, first.document);
    EXPECT_TRUE(second.wasOpen);
    EXPECT_EQ(controller.documents().size(), 1u);
    EXPECT_EQ(document->madeWindowControllers, 1);
}

TEST_F(NSDocumentControllerTest, AnotherPathToAnOpenFileBringsItsDocumentForward) {
    const URL url = makeFile("Film.mkv");
    Opened first = open(url);
    ASSERT_TRUE(first.document);
    const QString link = directory.filePath(QStringLiteral("Link to Film.mkv"));
    ASSERT_TRUE(QFile::link(directory.filePath(QStringLiteral("Film.mkv")), link));
    const QString hardLink = directory.filePath(QStringLiteral("Hard link.mkv"));
    ASSERT_EQ(::link(url.path().c_str(), hardLink.toStdString().c_str()), 0);

    for (const URL& other : {URL::fileURL(link.toStdString()), URL::fileURL(hardLink.toStdString()),
                             URL::fileURL(directory.path().toStdString() + "/./Film.mkv")}) {
        Opened again = open(other);
        EXPECT_EQ(again.document, first.document) << other.path();
        EXPECT_TRUE(again.wasOpen);
    }
    // A copy is another file.
    ASSERT_TRUE(QFile::copy(directory.filePath(QStringLiteral("Film.mkv")),
                            directory.filePath(QStringLiteral("Copy.mkv"))));
    EXPECT_NE(
        open(URL::fileURL(directory.filePath(QStringLiteral("Copy.mkv")).toStdString())).document,
        first.document);
    EXPECT_EQ(controller.documents().size(), 2u);
}

TEST_F(NSDocumentControllerTest, WindowsAreTitledThroughTheirControllerWithTheDocumentsName) {
    class TitlingController : public PlainWindowController {
    public:
        std::string windowTitleForDocumentDisplayName(const std::string& name) const override {
            return "«" + name + "»";
        }
    };
    auto document = std::make_shared<TestDocument>();
    document->setFileURL(makeFile("Opening Night.mkv"));
    auto controller = std::make_shared<TitlingController>();
    // Loaded first, then given the document, and the other way round.
    ASSERT_NE(controller->window(), nullptr);
    document->addWindowController(controller);
    EXPECT_EQ(controller->window()->title(), "«Opening Night.mkv»");

    auto later = std::make_shared<TitlingController>();
    document->addWindowController(later);
    EXPECT_EQ(later->window()->title(), "«Opening Night.mkv»");
    document->close();
}

TEST_F(NSDocumentControllerTest, AReadFailureOpensNothingAndReportsTheError) {
    Opened opened = open(makeFile("unreadable.mkv"));
    EXPECT_FALSE(opened.document);
    ASSERT_TRUE(opened.error);
    EXPECT_EQ(opened.error->domain(), "TestDomain");
    EXPECT_TRUE(controller.documents().empty());
}

TEST_F(NSDocumentControllerTest, AFileOfAnUndeclaredKindIsStillTriedAsMedia) {
    EXPECT_EQ(controller.typeForContentsOfURL(URL::fileURL("/tmp/clip.xyz")),
              "public.audiovisual-content");
    EXPECT_EQ(controller.typeForContentsOfURL(URL::fileURL("/tmp/CLIP.MKV")), "org.matroska.mkv");
    const auto extensions = controller.documentFileExtensions();
    EXPECT_NE(std::find(extensions.begin(), extensions.end(), "mkv"), extensions.end());
    EXPECT_EQ(std::find(extensions.begin(), extensions.end(), "srt"), extensions.end());
}

TEST_F(NSDocumentControllerTest, ClosingAWindowClosesTheDocumentOnlyWhenItShould) {
    Opened opened = open(makeFile("Film.mkv"));
    ASSERT_TRUE(opened.document);
    auto extra = std::make_shared<PlainWindowController>();
    opened.document->addWindowController(extra);
    extra->showWindow();

    // A second window that does not own the document just leaves it.
    extra->close();
    EXPECT_EQ(opened.document->windowControllers().size(), 1u);
    EXPECT_EQ(extra->document(), nullptr);
    EXPECT_FALSE(opened.document->isClosed());

    std::weak_ptr<NSWindowController> main = opened.document->windowControllers()[0];
    main.lock()->close();
    EXPECT_TRUE(opened.document->isClosed());
    EXPECT_TRUE(controller.documents().empty());
    EXPECT_TRUE(opened.document->windowControllers().empty());
    // The window controllers go once the close has finished.
    pumpEvents();
    EXPECT_TRUE(main.expired());
}

TEST_F(NSDocumentControllerTest, TheLastWindowClosesTheDocumentToo) {
    auto document = std::make_shared<TestDocument>();
    controller.addDocument(document);
    auto window = std::make_shared<PlainWindowController>();
    document->addWindowController(window);
    window->showWindow();
    window->close();
    EXPECT_TRUE(document->isClosed());
    EXPECT_TRUE(controller.documents().empty());
}

TEST_F(NSDocumentControllerTest, DefaultRestorationFindsTheWindowByIdentifier) {
    Opened opened = open(makeFile("Film.mkv"), false);
    ASSERT_TRUE(opened.document);
    NSWindow* found = nullptr;
    std::shared_ptr<const NSError> error;
    opened.document->restoreDocumentWindow("main", nullptr, [&](NSWindow* window, auto e) {
        found = window;
        error = e;
    });
    EXPECT_EQ(found, opened.document->windowControllers()[0]->window());
    EXPECT_FALSE(error);
    opened.document->restoreDocumentWindow("other", nullptr, [&](NSWindow* window, auto e) {
        found = window;
        error = e;
    });
    EXPECT_EQ(found, nullptr);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain(), NSDocumentWindowRestorationErrorDomain);
}

TEST(NSDocumentControllerSharedTest, TheFirstControllerMadeIsTheSharedOne) {
    NSDocumentController* before = NSDocumentController::shared();
    auto first = std::make_unique<NSDocumentController>();
    NSDocumentController second;
    if (before == nullptr) {
        EXPECT_EQ(NSDocumentController::shared(), first.get());
        first.reset();
        EXPECT_EQ(NSDocumentController::shared(), nullptr);
    } else {
        EXPECT_EQ(NSDocumentController::shared(), before);
    }
}

TEST(NSOpenPanelTest, CancelAndChoiceEachAnswerOnce) {
    QTemporaryDir directory;
    const QString path = directory.filePath("Clip.mkv");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    auto panel = NSOpenPanel::openPanel();
    panel->setAllowedFileTypes({"mkv"});
    std::vector<NSModalResponse> responses;
    panel->begin([&](NSModalResponse response) { responses.push_back(response); });
    ASSERT_NE(panel->dialog(), nullptr);
    EXPECT_TRUE(panel->isVisible());
    panel->cancel();
    panel->cancel();
    EXPECT_EQ(responses, std::vector<NSModalResponse>{NSModalResponseCancel});
    EXPECT_EQ(panel->dialog(), nullptr);
    EXPECT_FALSE(panel->URL());

    panel->begin([&](NSModalResponse response) { responses.push_back(response); });
    ASSERT_NE(panel->dialog(), nullptr);
    panel->dialog()->setDirectory(directory.path());
    panel->dialog()->selectFile(path);
    static_cast<QDialog*>(panel->dialog())->accept();
    ASSERT_EQ(responses.size(), 2u);
    EXPECT_EQ(responses[1], NSModalResponseOK);
    ASSERT_TRUE(panel->URL());
    EXPECT_EQ(panel->URL()->path(), path.toStdString());
}

}  // namespace
TEST(NSOpenPanelTest, OffersTheDeclaredTypesInEitherCaseAndThenAllFiles) {
    const QStringList filters = NSOpenPanel::nameFilters({"mkv", "MP4", "mkv"});
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters[0], QStringLiteral("Supported Files (*.mkv *.MKV *.mp4 *.MP4)"));
    EXPECT_EQ(filters[1], QStringLiteral("All Files (*)"));
}

}  // namespace platform
