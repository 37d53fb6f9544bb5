#include <QTemporaryDir>

#include "application/AppDelegate.h"
#include "application/MediaPlayerDocumentTestSupport.h"
#include "media-player/NowPlayingManager.h"
#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSOperationQueue.h"
#include "platform/appkit/NSWindowRestorationStore.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/mediaplayer/MPNowPlayingInfoCenter.h"
#include "player-interface/castlink/CastlinkTestSupport.h"
#include "player-interface/common/WindowRestorationObserver.h"
#include "player-interface/window/MediaPlayerWindowController.h"

namespace quillon::test {
namespace {

constexpr const char* playerWindow = MediaPlayerWindowController::mediaPlayerWindowIdentifier;

// What a restoration request was answered with, and how often.
struct Answer {
    int count = 0;
    platform::NSWindow* window = nullptr;
    std::shared_ptr<const platform::NSError> error;

    platform::NSDocument::RestoreWindowCompletion completion() {
        return [this](platform::NSWindow* answeredWindow, auto answeredError) {
            ++count;
            window = answeredWindow;
            error = answeredError;
        };
    }
};

std::shared_ptr<platform::NSKeyedUnarchiver> emptyState() {
    platform::NSKeyedArchiver archiver;
    return std::make_shared<platform::NSKeyedUnarchiver>(archiver.encodedData());
}

void expectError(const Answer& answer, MediaPlayerDocument::WindowRestoreError expected) {
    ASSERT_TRUE(answer.error);
    EXPECT_EQ(answer.error->domain(), "Quillon_Player.MediaPlayerDocument.WindowRestoreError");
    EXPECT_EQ(answer.error->code(), static_cast<std::int64_t>(expected));
}

TEST_F(MediaPlayerDocumentTest, ARequestBeforeTheLoadEndsIsAnsweredWithThePlayerWindow) {
    auto document = open("h264-aac.mkv", false);
    ASSERT_TRUE(document);
    Answer replaced;
    Answer latest;
    document->restoreDocumentWindow(playerWindow, emptyState(), replaced.completion());
    document->restoreDocumentWindow(playerWindow, emptyState(), latest.completion());
    EXPECT_EQ(latest.count, 0);

    ASSERT_TRUE(pumpUntil([&] { return latest.count > 0; }));
    pumpFor(std::chrono::milliseconds(100));
    EXPECT_EQ(latest.count, 1);
    EXPECT_EQ(replaced.count, 0);
    ASSERT_TRUE(document->mediaPlayerWindowController());
    EXPECT_EQ(latest.window, document->mediaPlayerWindowController()->window());
    EXPECT_FALSE(latest.error);
}

TEST_F(MediaPlayerDocumentTest, ARequestBeforeAFailedLoadIsAnsweredWithoutAlert) {
    auto document = open("subtitles.srt", false);
    ASSERT_TRUE(document);
    Answer answer;
    document->restoreDocumentWindow(playerWindow, emptyState(), answer.completion());
    ASSERT_TRUE(pumpUntil([&] { return answer.count > 0; }));
    EXPECT_EQ(answer.window, nullptr);
    expectError(answer, MediaPlayerDocument::WindowRestoreError::failedToLoadMedia);
    EXPECT_TRUE(document->isClosed());
    EXPECT_TRUE(controller.documents().empty());
}

TEST_F(MediaPlayerDocumentTest, ARequestBeforeACancelIsAnsweredAtOnce) {
    auto document = open("h264-aac.mkv", false);
    ASSERT_TRUE(document);
    Answer answer;
    document->restoreDocumentWindow(playerWindow, emptyState(), answer.completion());
    document->cancelLoading();
    EXPECT_EQ(answer.count, 1);
    EXPECT_EQ(answer.window, nullptr);
    expectError(answer, MediaPlayerDocument::WindowRestoreError::loadCancelled);
    EXPECT_TRUE(document->isClosed());
}

TEST_F(MediaPlayerDocumentTest, ARequestAfterTheLoadFindsTheWindowThenRestoresTheSource) {
    auto document = open("h264-aac.mkv");
    ASSERT_TRUE(document);
    ASSERT_TRUE(pumpUntil([&] { return document->mediaPlayerWindowController() != nullptr; }));

    // The stored state carries another identifier than the one the source has now.
    const std::string loadedId = document->mediaSource()->id();
    document->mediaSource()->setId("STORED-IDENTIFIER");
    platform::NSKeyedArchiver coder;
    {
        platform::NSOperationQueue queue("Test Restoration Queue");
        document->encodeRestorableState(coder, queue);
        queue.waitUntilAllOperationsAreFinished();
    }
    document->mediaSource()->setId(loadedId);
    auto state = std::make_shared<platform::NSKeyedUnarchiver>(coder.encodedData());

    Answer answer;
    onMain([&] {
        document->restoreDocumentWindow(playerWindow, state, answer.completion());
        EXPECT_EQ(answer.count, 0) << "answered on the main queue after the source restored";
    });
    ASSERT_TRUE(pumpUntil([&] { return answer.count > 0; }));
    EXPECT_EQ(answer.window, document->mediaPlayerWindowController()->window());
    EXPECT_FALSE(answer.error);
    EXPECT_EQ(document->mediaSource()->id(), "STORED-IDENTIFIER");

    Answer other;
    document->restoreDocumentWindow("org.quillon.player.SomeOtherWindow", emptyState(),
                                    other.completion());
    EXPECT_EQ(other.count, 1);
    expectError(other, MediaPlayerDocument::WindowRestoreError::windowNotAvailable);
}

TEST_F(MediaPlayerDocumentTest, TheStoreReopensAPlayerWindowAtTheNextLaunch) {
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string path = directory.filePath("windows.cbor").toStdString();
    {
        platform::NSWindowRestorationStore store(path);
        auto document = open("h264-aac.mkv");
        ASSERT_TRUE(document);
        ASSERT_TRUE(pumpUntil([&] { return document->mediaPlayerWindowController() != nullptr; }));
        store.writeNow();
        // The first run ends here: closing its window must not write the store again, as a
        // user's close would (which rightly forgets the window).
        store.setWritingEnabled(false);
        document->close();
        pumpFor(std::chrono::milliseconds(100));
    }

    int finished = 0;
    const int application = 0;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        platform::NSApplicationDidFinishRestoringWindowsNotification, &application,
        [&](const platform::Notification&) { ++finished; });
    platform::NSWindowRestorationStore store(path);
    onMain([&] { store.restoreWindows(controller, &application); });
    ASSERT_EQ(controller.documents().size(), 1u);
    auto document = std::dynamic_pointer_cast<MediaPlayerDocument>(controller.documents()[0]);
    ASSERT_TRUE(document);
    EXPECT_EQ(finished, 0) << "the player window does not exist yet";

    ASSERT_TRUE(pumpUntil([&] { return finished > 0; }));
    ASSERT_TRUE(document->mediaPlayerWindowController());
    EXPECT_TRUE(document->mediaPlayerWindowController()->isRestoredFromPersistedState());
    EXPECT_TRUE(document->mediaPlayerWindowController()->window()->isVisible());
}

TEST_F(MediaPlayerDocumentTest, NowPlayingSpeaksForRestoredPlayersOnlyOnceRestorationHasEnded) {
    // Observed before anything makes the application's restoration observer (the first player
    // window does), so this runs first at the end of restoration: the restored player exists,
    // and every update it asked for so far has had its chance to run.
    const platform::NSApplication* restoringApplication = nullptr;
    bool restoredPlayerExisted = false;
    std::optional<platform::MPNowPlayingInfo> publishedAtTheEnd;
    auto observation = platform::NotificationCenter::defaultCenter().addObserver(
        platform::NSApplicationDidFinishRestoringWindowsNotification, nullptr,
        [&](const platform::Notification& notification) {
            if (restoringApplication == nullptr || notification.object != restoringApplication) {
                return;
            }
            const auto& documents = controller.documents();
            const auto document =
                documents.empty() ? nullptr
                                  : std::dynamic_pointer_cast<MediaPlayerDocument>(documents[0]);
            restoredPlayerExisted = document && document->mediaPlayerWindowController();
            NowPlayingManager::shared()->queue()->sync([] {});
            publishedAtTheEnd = platform::MPNowPlayingInfoCenter::defaultCenter().nowPlayingInfo();
        });
    QTemporaryDir directory;
    ASSERT_TRUE(directory.isValid());
    const std::string path = directory.filePath("windows.cbor").toStdString();
    {
        platform::NSWindowRestorationStore store(path);
        auto document = open("h264-aac.mkv");
        ASSERT_TRUE(document);
        ASSERT_TRUE(pumpUntil([&] { return document->mediaPlayerWindowController() != nullptr; }));
        store.writeNow();
        // The first run ends here: closing its window must not write the store again, as a
        // user's close would (which rightly forgets the window).
        store.setWritingEnabled(false);
        document->close();
        pumpFor(std::chrono::milliseconds(100));
    }
    platform::MPNowPlayingInfoCenter& infoCenter =
        platform::MPNowPlayingInfoCenter::defaultCenter();
    // The player of the first run has gone, and Now Playing with it.
    ASSERT_TRUE(pumpUntil([&] {
        NowPlayingManager::shared()->queue()->sync([] {});
        return !infoCenter.nowPlayingInfo().has_value();
    }));
    // The fixture's layer and renderer serve every player: the restored one can take them only
    // once the first run's synchronizer has let them go, which a busy machine can delay.
    ASSERT_TRUE(
        pumpUntil([&] { return layer->timebase() == nullptr && audioRenderer->timebase() == nullptr; }));

    platform::NSWindowRestorationStore store(path);
    platform::UserDefaults defaults((directory.filePath("defaults.ini")).toStdString());
    FakeCastlinkManager castlink;
    platform::NSApplication application(*qApp, &controller, &store);
    AppDelegate::Dependencies dependencies;
    dependencies.application = &application;
    dependencies.userDefaults = &defaults;
    dependencies.castlinkManager = &castlink;
    dependencies.isPictureInPictureSupported = [] { return false; };
    AppDelegate delegate(std::move(dependencies));
    application.setDelegate(&delegate);
    restoringApplication = &application;

    onMain([&] { application.finishLaunching(); });
    ASSERT_TRUE(
        pumpUntil([&] { return WindowRestorationObserver::shared().isRestorationComplete(); }));
    EXPECT_TRUE(restoredPlayerExisted);
    EXPECT_FALSE(publishedAtTheEnd) << "published while restoration was still going on";

    EXPECT_TRUE(pumpUntil([&] { return infoCenter.nowPlayingInfo().has_value(); }));
    application.setDelegate(nullptr);
}

}  // namespace
}  // namespace quillon::test
