#include <QPushButton>

#include "application/MediaPlayerDocumentTestSupport.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/ProcessInfoTermination.h"
#include "player-interface/MediaPlayerDocumentProgressWindowController.h"
#include "player-interface/MediaPlayerWindowController.h"

namespace quillon::test {
namespace {

using Call = platform::ProcessInfoTermination::Call;

const Call loadingStarted{Call::Kind::disableAutomaticTermination, "Started loading media."};
const Call loadingFinished{Call::Kind::enableAutomaticTermination, "Finished loading media."};

MediaPlayerDocumentProgressWindowController* progressWindowController(
    const platform::NSDocument& document) {
    if (document.windowControllers().empty()) {
        return nullptr;
    }
    return dynamic_cast<MediaPlayerDocumentProgressWindowController*>(
        document.windowControllers().front().get());
}

TEST_F(MediaPlayerDocumentTest, ThePlayerWindowReplacesTheProgressWindowOnceLoaded) {
    platform::ProcessInfoTermination::ScopedCallRecording termination;
    auto document = open("h264-aac.mkv");
    ASSERT_TRUE(document);

    auto* progress = progressWindowController(*document);
    ASSERT_NE(progress, nullptr);
    EXPECT_EQ(progress->statusText(), "Opening “h264-aac.mkv”…");
    EXPECT_TRUE(progress->documentIconImage());
    EXPECT_TRUE(progress->window()->isVisible());
    EXPECT_FALSE(document->automaticTerminationManager().isAutomaticTerminationEnabled());

    ASSERT_TRUE(pumpUntil([&] { return document->mediaPlayerWindowController() != nullptr; }));
    const auto& playerWindow = document->mediaPlayerWindowController();
    ASSERT_EQ(document->windowControllers().size(), 1u);
    EXPECT_EQ(document->windowControllers()[0], playerWindow);
    EXPECT_TRUE(playerWindow->shouldCloseDocument());
    EXPECT_TRUE(playerWindow->window()->isVisible());
    EXPECT_TRUE(document->mediaSource());
    EXPECT_EQ(termination.calls(), (std::vector<Call>{loadingStarted, loadingFinished}));

    // Opening the file again brings the same document forward.
    EXPECT_EQ(open("h264-aac.mkv"), document);
    EXPECT_EQ(controller.documents().size(), 1u);
}

TEST_F(MediaPlayerDocumentTest, CancellingClosesAtOnceAndALateSourceOnlyEndsTheTerminationHold) {
    platform::ProcessInfoTermination::ScopedCallRecording termination;
    auto document = open("h264-aac.mkv");
    ASSERT_TRUE(document);
    auto* progress = progressWindowController(*document);
    ASSERT_NE(progress, nullptr);
    progress->cancelButton()->click();

    EXPECT_TRUE(document->isLoadCancelled());
    EXPECT_TRUE(document->isClosed());
    EXPECT_TRUE(controller.documents().empty());
    EXPECT_TRUE(document->windowControllers().empty());

    ASSERT_TRUE(pumpUntil(
        [&] { return document->automaticTerminationManager().isAutomaticTerminationEnabled(); }));
    pumpFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(document->mediaPlayerWindowController());
    EXPECT_FALSE(document->mediaSource());
    EXPECT_EQ(termination.calls(), (std::vector<Call>{loadingStarted, loadingFinished}));
}

TEST_F(MediaPlayerDocumentTest, ClosingTheProgressWindowGivesUpTheLoad) {
    auto document = open("h264-aac.mkv");
    ASSERT_TRUE(document);
    auto* progress = progressWindowController(*document);
    ASSERT_NE(progress, nullptr);
    progress->window()->close();
    EXPECT_TRUE(document->isClosed());
    ASSERT_TRUE(pumpUntil(
        [&] { return document->automaticTerminationManager().isAutomaticTerminationEnabled(); }));
    pumpFor(std::chrono::milliseconds(300));
    EXPECT_FALSE(document->mediaPlayerWindowController());
}

TEST_F(MediaPlayerDocumentTest, AFileWithOnlySubtitlesShowsTheAlertAndDismissingItCloses) {
    auto document = open("subtitles.srt");
    ASSERT_TRUE(document);
    auto* progress = progressWindowController(*document);
    ASSERT_NE(progress, nullptr);
    QWidget* progressWindow = progress->window();

    ASSERT_TRUE(pumpUntil([&] { return !alertsOn(progressWindow).empty(); }));
    platform::NSAlert* alert = alertsOn(progressWindow).front();
    const auto expected =
        MediaSource::LoadError::noDecodableTracks({MediaType::video, MediaType::audio});
    EXPECT_EQ(alert->messageText(), expected.localizedDescription());
    EXPECT_TRUE(document->automaticTerminationManager().isAutomaticTerminationEnabled());
    EXPECT_FALSE(document->isClosed());

    ASSERT_FALSE(alert->alertButtons().empty());
    alert->alertButtons().front()->click();
    EXPECT_TRUE(document->isClosed());
    EXPECT_TRUE(controller.documents().empty());
}

TEST_F(MediaPlayerDocumentTest, ADocumentWithoutFileOrTypeGetsTheGenericIcon) {
    auto document = std::make_shared<MediaPlayerDocument>();
    document->makeWindowControllers();
    auto* progress = progressWindowController(*document);
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->documentIconImage());
    EXPECT_EQ(progress->statusText(), "Opening “Untitled”…");
}

TEST_F(MediaPlayerDocumentTest, OnlyOneOpenPanelAndOpeningAFileDismissesIt) {
    controller.openDocument();
    auto panel = controller.openPanel();
    ASSERT_TRUE(panel);
    ASSERT_TRUE(panel->isVisible());

    bool secondAnswered = false;
    auto second = platform::NSOpenPanel::openPanel();
    controller.beginOpenPanel(second, {"mkv"}, [&](auto) { secondAnswered = true; });
    EXPECT_EQ(controller.openPanel(), panel);
    EXPECT_EQ(second->dialog(), nullptr);

    auto document = open("h264-aac.mkv");
    EXPECT_TRUE(document);
    EXPECT_FALSE(controller.openPanel());
    EXPECT_FALSE(panel->isVisible());
    EXPECT_FALSE(secondAnswered);
}

}  // namespace
}  // namespace quillon::test
