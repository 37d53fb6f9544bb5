#include <QFontDatabase>
#include <QFontInfo>
#include <QPushButton>

#include "application/MediaPlayerDocumentTestSupport.h"
#include "platform/appkit/NSOpenPanel.h"
#include "platform/foundation/ProcessInfoTermination.h"
#include "player-interface/window/MediaPlayerDocumentProgressWindowController.h"
#include "player-interface/window/MediaPlayerWindowController.h"
#include "support/StuckDecoder.h"

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

// A film's fonts serve its subtitles while its window is open, never its controls, and go with
// the window.
TEST_F(MediaPlayerDocumentTest, AFilmsFontsLastAsLongAsItsWindowAndLeaveTheControlsAlone) {
    auto document = open("attached-fonts.mkv");
    ASSERT_TRUE(document);
    ASSERT_TRUE(pumpUntil([&] { return document->mediaPlayerWindowController() != nullptr; }));
    QStringList families;
    {
        const auto& fonts = document->mediaSource()->attachedFonts();
        ASSERT_TRUE(fonts);
        for (const std::string& name : fonts->familyNames()) {
            families << QString::fromStdString(*fonts->registeredFamily(name));
        }
    }
    ASSERT_EQ(families.size(), 2);
    const auto registered = [&] {
        const QStringList known = QFontDatabase::families();
        return std::any_of(families.begin(), families.end(),
                           [&](const QString& family) { return known.contains(family); });
    };
    EXPECT_TRUE(registered());

    QWidget* window = document->mediaPlayerWindowController()->window();
    const auto widgets = window->findChildren<QWidget*>();
    ASSERT_FALSE(widgets.empty());
    for (const QWidget* widget : widgets) {
        EXPECT_FALSE(families.contains(QFontInfo(widget->font()).family()))
            << widget->metaObject()->className();
    }

    document->close();
    document.reset();
    EXPECT_TRUE(pumpUntil([&] { return !registered(); }));
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

// The first document's video decoder takes no packet: that document alone ends, with an alert
// that gives the error's details, and the other one plays on.
TEST_F(MediaPlayerDocumentTest, AStuckDecoderEndsItsOwnDocumentWithAnAlertAndTheOtherPlaysOn) {
    // Decoding in software, where there is nothing to fall back to.
    ScopedHardwareDecoderContextMaker noHardware{
        [](const AVCodec&, const AVStream&) { return AVCodecContextPointer(); }};
    StuckDecoders stuck{MediaType::video};
    auto otherLayer = std::make_shared<RecordingDisplayLayer>();
    auto otherRenderer = std::make_shared<RecordingAudioRenderer>(clock);
    int made = 0;
    controller.setDocumentFactory([&](const std::string&) {
        auto document = std::make_shared<MediaPlayerDocument>();
        MediaPlayer::Environment environment = this->environment();
        if (made++ == 0) {
            environment.decoderWrapper = stuck.wrapper();
        } else {
            environment.displayLayer = otherLayer;
            environment.audioRenderer = otherRenderer;
        }
        document->setMediaPlayerEnvironment(environment);
        return document;
    });
    const auto stuckDocument = open("h264-aac.mkv");
    const auto playingDocument = open("gop-1s.mkv");
    ASSERT_TRUE(stuckDocument && playingDocument);
    ASSERT_TRUE(pumpUntil([&] {
        return stuckDocument->mediaPlayerWindowController() &&
               playingDocument->mediaPlayerWindowController();
    }));
    const auto player = playingDocument->mediaPlayerWindowController()->mediaPlayer();
    player->queue()->sync([&] { player->play(); });

    QWidget* stuckWindow = stuckDocument->mediaPlayerWindowController()->window();
    ASSERT_TRUE(pumpUntil([&] { return !alertsOn(stuckWindow).empty(); }));
    platform::NSAlert* alert = alertsOn(stuckWindow).front();
    EXPECT_EQ(alert->messageText(), "Unable to load the media.");
    EXPECT_EQ(alert->informativeText(),
              "Please contact support with the following error details:\n\nUnable to start "
              "decoding packet even though there are no more sample buffers to dequeue.");
    EXPECT_EQ(stuck.refusals(), 2);
    const auto stuckPlayer = stuckDocument->mediaPlayerWindowController()->mediaPlayer();
    stuckPlayer->queue()->sync([&] {
        stuckPlayer->play();
        EXPECT_FALSE(stuckPlayer->isPlaying());
    });

    ASSERT_FALSE(alert->alertButtons().empty());
    alert->alertButtons().front()->click();
    EXPECT_TRUE(stuckDocument->isClosed());
    ASSERT_EQ(controller.documents().size(), 1u);
    EXPECT_EQ(controller.documents().front(), playingDocument);

    // The other document's clock runs on, and new pictures keep coming for it.
    const std::size_t pictures = otherLayer->record.bufferCount();
    ASSERT_TRUE(pumpUntil([&] {
        clock->advanceSeconds(0.04);
        return otherLayer->record.bufferCount() >= pictures + 50;
    }));
    player->queue()->sync([&] {
        EXPECT_TRUE(player->isPlaying());
        EXPECT_GT(platform::CMTimeGetSeconds(player->currentTime()), 1.0);
    });
}

}  // namespace
}  // namespace quillon::test
