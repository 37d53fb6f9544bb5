#include <gtest/gtest.h>

#include "media-player/MediaPlayerTestSupport.h"
#include "media-player/session/WorkspaceNotifications.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

using MediaPlayerCreationTest = MediaPlayerTest;
using MediaPlayerSelectionTest = MediaPlayerTest;

// The first picture the layer got since its last flush covers `target`.
void expectFirstPictureCovers(const RendererRecord& record, CMTime target) {
    ASSERT_TRUE(eventually([&] { return !record.buffersSinceLastFlush().empty(); }));
    const auto first = record.buffersSinceLastFlush().front();
    EXPECT_LE(CMTimeCompare(first.presentationTime, target), 0) << CMTimeGetSeconds(target);
    EXPECT_GT(CMTimeCompare(first.end(), target), 0) << CMTimeGetSeconds(target);
}

std::shared_ptr<ExternalSubtitlesTrack> loadExternalTrack(MediaSource& media,
                                                          std::string_view name) {
    std::shared_ptr<ExternalSubtitlesTrack> external;
    std::atomic<bool> loaded{false};
    media.loadExternalSubtitles(URL::fileURL(mediaPath(name)), [&](auto result) {
        if (auto* subtitles = std::get_if<MediaSource::ExternalSubtitles>(&result)) {
            external = media.addExternalSubtitles(*subtitles).externalSubtitlesTracks.at(0);
        }
        loaded = true;
    });
    EXPECT_TRUE(eventually([&] { return loaded.load(); }));
    return external;
}

TEST_F(MediaPlayerCreationTest, AppliesTheDefaultSelectionsAndHandsThePlayerOverWithOwnership) {
    const auto media = openMedia("gop-1s.mkv");
    const DefaultTracks tracks = selectDefaultTracks(*media);
    ASSERT_TRUE(tracks.video && tracks.audio);
    PlayerNotificationRecord early(nullptr);
    makePlayer(media, tracks);

    EXPECT_EQ(player->selectedVideoTrack(), tracks.video);
    EXPECT_EQ(player->selectedAudioTrack(), tracks.audio);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), tracks.primarySubtitles);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), tracks.secondarySubtitles);
    // Ownership was asked for before the player came back, once.
    EXPECT_EQ(arbiter->begins.load(), 1);
    EXPECT_EQ(routingOwnership.ownerCount(), 1);
    EXPECT_EQ(player->queue()->label(), "Media Player Queue");

    // The two changed selections were announced, the unchanged (empty) subtitles were not.
    ASSERT_TRUE(eventually([&] {
        return early.count(MediaPlayer::selectedAudioTrackDidChangeNotification) == 1 &&
               early.count(MediaPlayer::selectedVideoTrackDidChangeNotification) == 1;
    }));
    settle();
    EXPECT_EQ(early.count(MediaPlayer::selectedPrimarySubtitlesTrackDidChangeNotification), 0);
    EXPECT_EQ(early.count(MediaPlayer::selectedSecondarySubtitlesTrackDidChangeNotification), 0);
    EXPECT_FALSE(early.arrivedOnTestThread());

    // Stopped at the start with the first picture and sound ready.
    EXPECT_EQ(synchronizerRate(), 0);
    EXPECT_EQ(currentTime(), kCMTimeZero);
    // The file's first picture comes a little after zero; it stands in until then.
    ASSERT_TRUE(eventually([&] { return !layer->record.buffersSinceLastFlush().empty(); }));
    EXPECT_LT(CMTimeGetSeconds(layer->record.buffersSinceLastFlush().front().presentationTime),
              0.04);
    ASSERT_TRUE(eventually([&] { return audioRenderer->record.bufferCount() > 0; }));
}

TEST_F(MediaPlayerCreationTest, AnInitialTimeIsReachedBeforeTheCompletionAndAStartOffsetIsHidden) {
    // The file's clock starts at 10 s; the player speaks media time.
    const auto media = openMedia("start-offset-10s.mkv");
    ASSERT_GT(CMTimeGetSeconds(media->startTime()), 9.0);
    makePlayer(media, videoAndAudio(*media), seconds(1.5));
    EXPECT_EQ(currentTime(), seconds(1.5));
    EXPECT_EQ(CMTimeCompare(player->renderSynchronizer()->currentTime(),
                            CMTimeAdd(media->startTime(), seconds(1.5))),
              0);
    expectFirstPictureCovers(layer->record, CMTimeAdd(media->startTime(), seconds(1.5)));
}

TEST_F(MediaPlayerCreationTest, GoingAwayStopsEveryCallbackAndGivesOwnershipBack) {
    const auto media = openMedia("gop-1s.mkv");
    makePlayer(media, videoAndAudio(*media));
    settle();

    // A seek is still running and notifications are queued when the last owner lets go.
    std::atomic<int> completions{0};
    onQueue([&] {
        player->play();
        player->seekOnQueue(seconds(3), MediaPlayer::SeekOperation::CompletionHandlerInfo{
                                            completionQueue, [&] { ++completions; }});
    });
    const std::weak_ptr<MediaPlayer> weakPlayer = player;
    notifications.reset();
    player.reset();
    // A notification block that caught the player alive still posts; none after it has gone.
    ASSERT_TRUE(eventually([&] { return weakPlayer.expired(); }));
    PlayerNotificationRecord any(nullptr);
    // The last owner may have been a queued block: the player then goes away on that thread, and
    // the weak reference expires before its destructor has given ownership back.
    EXPECT_TRUE(eventually([&] { return routingOwnership.ownerCount() == 0; }));
    EXPECT_TRUE(eventually([&] { return arbiter->leaves.load() == 1; }));

    // Nothing of the gone player runs any more: no completion, no notification, and moving the
    // clock past the end fires no end-of-media action.
    clock->advanceSeconds(12);
    completionQueue->sync([] {});
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    DispatchQueue::main().drain();
    EXPECT_EQ(completions.load(), 0);
    EXPECT_EQ(any.total(), 0);
    // Its power assertion went with it.
    EXPECT_EQ(powerService->held.load(), 0);
}

TEST_F(MediaPlayerSelectionTest, SwitchingTheAudioTrackWhilePlayingKeepsThePositionAndTheRate) {
    const auto media = openMedia("multi-2v3a1s.mkv");
    ASSERT_GE(media->audioTracks().size(), 2u);
    makePlayer(media, videoAndAudio(*media));
    onQueue([&] { player->play(); });
    clock->advanceSeconds(1.0);
    settle();
    const auto flushesBefore = audioRenderer->record.flushCount();

    player->setSelectedAudioTrack(media->audioTracks().at(1));
    ASSERT_TRUE(eventually([&] {
        return notifications->count(MediaPlayer::selectedAudioTrackDidChangeNotification) == 1 &&
               notifications->count(MediaPlayer::didSeekNotification) == 1;
    })) << notifications->count(MediaPlayer::selectedAudioTrackDidChangeNotification)
        << " " << notifications->count(MediaPlayer::didSeekNotification);
    settle();
    EXPECT_EQ(player->selectedAudioTrack(), media->audioTracks().at(1));
    EXPECT_GT(audioRenderer->record.flushCount(), flushesBefore);
    // Playback goes on from where it was, at the same rate.
    EXPECT_EQ(synchronizerRate(), 1.0f);
    EXPECT_EQ(currentTime(), seconds(1.0));
    ASSERT_TRUE(eventually([&] { return !audioRenderer->record.buffersSinceLastFlush().empty(); }));
    const auto firstSound = audioRenderer->record.buffersSinceLastFlush().front();
    EXPECT_GT(CMTimeCompare(firstSound.end(), seconds(1.0)), 0);
    EXPECT_LE(CMTimeCompare(firstSound.presentationTime, seconds(1.0)), 0);

    // Selecting it again changes nothing: no hook, no seek, no notification.
    player->setSelectedAudioTrack(media->audioTracks().at(1));
    settle();
    player->waitForPostedNotifications();
    EXPECT_EQ(notifications->count(MediaPlayer::selectedAudioTrackDidChangeNotification), 1);
    EXPECT_EQ(notifications->count(MediaPlayer::didSeekNotification), 1);

    // None: the provider stops, no re-seek, but the change is announced.
    player->setSelectedAudioTrack(nullptr);
    ASSERT_TRUE(eventually([&] {
        return notifications->count(MediaPlayer::selectedAudioTrackDidChangeNotification) == 2;
    }));
    settle();
    EXPECT_EQ(notifications->count(MediaPlayer::didSeekNotification), 1);
    EXPECT_TRUE(eventually([&] { return !audioRenderer->record.isRequesting(); }));
}

TEST_F(MediaPlayerSelectionTest, AnExternalTrackShowsInOnePositionAndEmbeddedOnesInBoth) {
    const auto media = openMedia("subtitles-srt.mkv");
    makePlayer(media, {media->videoTracks().at(0), nullptr, nullptr, nullptr});
    const auto embedded = media->embeddedSubtitlesTracks().at(0);

    // The same embedded track may be held by both positions.
    player->setSelectedPrimarySubtitlesTrack(embedded);
    player->setSelectedSecondarySubtitlesTrack(embedded);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), embedded);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), embedded);
    onQueue([&] { player->play(); });
    for (int step = 0; step < 12; ++step) {
        clock->advanceSeconds(0.04);
        settle();
    }
    EXPECT_TRUE(
        eventually([&] { return player->primarySubtitlesView()->pendingFrameCount() > 0; }));

    // An external track chosen as primary, then as secondary, moves: the primary is cleared
    // and announced.
    const auto external = loadExternalTrack(*media, "subtitles.srt");
    ASSERT_TRUE(external);

    player->setSelectedPrimarySubtitlesTrack(external);
    settle();
    ASSERT_TRUE(eventually([&] {
        return notifications->count(
                   MediaPlayer::selectedPrimarySubtitlesTrackDidChangeNotification) == 2;
    }));
    const int secondaryChanges =
        notifications->count(MediaPlayer::selectedSecondarySubtitlesTrackDidChangeNotification);
    player->setSelectedSecondarySubtitlesTrack(external);
    EXPECT_EQ(player->selectedPrimarySubtitlesTrack(), nullptr);
    EXPECT_EQ(player->selectedSecondarySubtitlesTrack(), external);
    ASSERT_TRUE(eventually([&] {
        return notifications->count(
                   MediaPlayer::selectedPrimarySubtitlesTrackDidChangeNotification) == 3 &&
               notifications->count(
                   MediaPlayer::selectedSecondarySubtitlesTrackDidChangeNotification) ==
                   secondaryChanges + 1;
    }));
    settle();
    // The secondary view is fed from the file, the primary one is empty.
    ASSERT_TRUE(
        eventually([&] { return player->secondarySubtitlesView()->pendingFrameCount() > 0; }));
    EXPECT_TRUE(
        eventually([&] { return player->primarySubtitlesView()->pendingFrameCount() == 0; }));
}

// A player showing the embedded track of subtitles-srt.mkv as primary, with subtitles.srt
// loaded beside it, ready to take the position over.
class MediaPlayerProviderSwitchTest : public MediaPlayerTest {
protected:
    void SetUp() override {
        const auto media = openMedia("subtitles-srt.mkv");
        makePlayer(media, {media->videoTracks().at(0), nullptr, nullptr, nullptr});
        embedded = media->embeddedSubtitlesTracks().at(0);
        external = loadExternalTrack(*media, "subtitles.srt");
        ASSERT_TRUE(external);
        player->setSelectedPrimarySubtitlesTrack(embedded);
    }

    std::shared_ptr<SubtitlesTrack> embedded;
    std::shared_ptr<ExternalSubtitlesTrack> external;
};

TEST_F(MediaPlayerProviderSwitchTest, ALateEmbeddedClearLeavesTheExternalCuesThatFollowedIt) {
    const auto& view = player->primarySubtitlesView();
    seekAndWait(seconds(0.5));
    ASSERT_TRUE(eventually([&] { return view->pendingFrameCount(embedded.get()) > 0; }));

    // The visual provider gets to its deselection only after the external provider has handed
    // over its cues and read its file to the end.
    QueueHold visualQueueBusy(*player->visualDataProviderQueue());
    ASSERT_TRUE(eventually([&] { return visualQueueBusy.reached(); }));
    player->setSelectedPrimarySubtitlesTrack(external);
    ASSERT_TRUE(eventually([&] { return view->pendingFrameCount(external.get()) > 0; }));
    player->subtitlesDataProviderQueue(true)->sync([] {});
    visualQueueBusy.release();
    player->visualDataProviderQueue()->sync([] {});
    settle();

    EXPECT_GT(view->pendingFrameCount(external.get()), 0U);
    EXPECT_EQ(view->pendingFrameCount(embedded.get()), 0U);
}

TEST_F(MediaPlayerProviderSwitchTest, EmbeddedCuesDecodedBeforeTheSwitchNeverShow) {
    const auto& view = player->primarySubtitlesView();
    // No seek runs: the next one goes to the providers at once instead of waiting its turn.
    seekAndWait(kCMTimeZero);

    // The visual queue, in order: a seek that decodes embedded cues, a pause, the deselection.
    auto beforeSeek = std::make_unique<QueueHold>(*player->visualDataProviderQueue());
    ASSERT_TRUE(eventually([&] { return beforeSeek->reached(); }));
    std::atomic<bool> seekDone{false};
    player->seek(seconds(0.5), completionQueue, [&] { seekDone = true; });
    QueueHold beforeDeselection(*player->visualDataProviderQueue());
    player->setSelectedPrimarySubtitlesTrack(external);
    beforeSeek.reset();
    ASSERT_TRUE(eventually([&] { return beforeDeselection.reached(); }));
    platform::DispatchQueue::main().drain();
    EXPECT_EQ(view->pendingFrameCount(embedded.get()), 0U);

    beforeDeselection.release();
    ASSERT_TRUE(eventually([&] { return seekDone.load(); }));
    settle();
    EXPECT_TRUE(eventually([&] { return view->pendingFrameCount(external.get()) > 0; }));
    EXPECT_EQ(view->pendingFrameCount(embedded.get()), 0U);
}

TEST_F(MediaPlayerSelectionTest, TheSameEmbeddedTrackFeedsBothViews) {
    const auto media = openMedia("subtitles-srt.mkv");
    makePlayer(media, {media->videoTracks().at(0), nullptr, nullptr, nullptr});
    player->setSelectedPrimarySubtitlesTrack(media->embeddedSubtitlesTracks().at(0));
    player->setSelectedSecondarySubtitlesTrack(media->embeddedSubtitlesTracks().at(0));
    onQueue([&] { player->play(); });
    for (int step = 0; step < 12; ++step) {
        clock->advanceSeconds(0.04);
        settle();
    }
    EXPECT_TRUE(
        eventually([&] { return player->secondarySubtitlesView()->pendingFrameCount() > 0; }));
    EXPECT_TRUE(
        eventually([&] { return player->primarySubtitlesView()->pendingFrameCount() > 0; }));
}

TEST_F(MediaPlayerSelectionTest, SleepAndSessionResignPauseAndAnnounceIt) {
    const auto media = openMedia("gop-1s.mkv");
    makePlayer(media, videoAndAudio(*media));
    for (const char* name :
         {NSWorkspaceWillSleepNotification, NSWorkspaceSessionDidResignActiveNotification}) {
        onQueue([&] { player->play(); });
        const int rateChanges = notifications->count(MediaPlayer::rateDidChangeNotification);
        workspaceCenter.post(name);
        EXPECT_FALSE(onQueue([&] { return player->isPlaying(); })) << name;
        EXPECT_EQ(synchronizerRate(), 0.0f);
        EXPECT_TRUE(eventually([&] {
            return notifications->count(MediaPlayer::rateDidChangeNotification) > rateChanges;
        }));
    }
    EXPECT_FALSE(notifications->arrivedOnTestThread());
}

}  // namespace
