#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>

#include "media-player/MediaPlayerTestSupport.h"
#include "media-player/NowPlayingManager.h"
#include "media-player/media-source/MediaSourceMetadata.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/mediaplayer/MPNowPlayingInfoCenter.h"
#include "platform/mediaplayer/MPRemoteCommandCenter.h"

namespace quillon::test {
namespace {

using platform::MPNowPlayingInfo;
using platform::MPNowPlayingPlaybackState;
using platform::MPRemoteCommandHandlerStatus;
using platform::nowPlayingInfoValue;

// Keeps the values like the real centre and counts what was published.
class RecordingInfoCenter final : public platform::MPNowPlayingInfoCenter {
public:
    std::optional<std::string> identifier() const {
        const auto info = nowPlayingInfo();
        return info ? nowPlayingInfoValue<std::string>(
                          *info, platform::MPNowPlayingInfoPropertyExternalContentIdentifier)
                    : std::nullopt;
    }
    int publications() const { return publications_; }

protected:
    void nowPlayingInfoDidChange(const std::optional<MPNowPlayingInfo>&) override {
        ++publications_;
    }

private:
    std::atomic<int> publications_{0};
};

class NowPlayingManagerTest : public ::testing::Test {
protected:
    void TearDown() override {
        manager.reset();
        for (auto& player : players) {
            player.reset();
        }
        platform::DispatchQueue::main().drain();
    }

    std::shared_ptr<MediaPlayer> makePlayer(std::string_view media) {
        return makePlayer(openMedia(media));
    }
    std::shared_ptr<MediaPlayer> makePlayer(std::shared_ptr<MediaSource> media) {
        MediaPlayer::Environment env;
        auto clock = platform::ManualClock::make();
        env.clock = clock;
        env.audioRenderer = std::make_shared<RecordingAudioRenderer>(clock);
        env.displayLayer = std::make_shared<RecordingDisplayLayer>();
        env.audioRoutingOwnershipManager = &routingOwnership;
        env.workspaceNotificationCenter = &workspaceCenter;
        // Players are made on the main queue, which this thread pumps.
        std::shared_ptr<MediaPlayer> player;
        platform::DispatchQueue::main().async(
            [&, source = std::move(media)] { player = MediaPlayer::create(source, env); });
        EXPECT_TRUE(eventually([&] { return player != nullptr; }));
        players.push_back(player);
        return player;
    }

    void makeManager(NowPlayingManager::PerformAfterRestoration performAfterRestoration = {}) {
        manager = NowPlayingManager::make(
            {&infoCenter, &commands, nullptr, std::move(performAfterRestoration)});
    }

    bool publishedFor(const std::shared_ptr<MediaPlayer>& player) {
        return eventually([&] { return infoCenter.identifier() == player->mediaSource()->id(); });
    }

    // Every command the manager sets up, and whether it has exactly one target.
    std::vector<platform::MPRemoteCommand*> configuredCommands() {
        return {&commands.pauseCommand,
                &commands.playCommand,
                &commands.stopCommand,
                &commands.togglePlayPauseCommand,
                &commands.skipBackwardCommand,
                &commands.skipForwardCommand,
                &commands.changePlaybackRateCommand,
                &commands.changePlaybackPositionCommand};
    }

    template <typename Event = platform::MPRemoteCommandEvent, typename... Args>
    MPRemoteCommandHandlerStatus send(platform::MPRemoteCommand& command, Args... args) {
        return command.dispatch(Event(command, args...));
    }

    static bool isPlaying(MediaPlayer& player) {
        return player.queue()->sync([&] { return player.isPlaying(); });
    }
    static double currentSeconds(MediaPlayer& player) {
        return player.queue()->sync(
            [&] { return platform::CMTimeGetSeconds(player.currentTime()); });
    }

    std::shared_ptr<GrantingArbiter> arbiter = std::make_shared<GrantingArbiter>();
    AudioRoutingOwnershipManager routingOwnership{arbiter};
    std::shared_ptr<NullPowerAssertionService> powerService =
        std::make_shared<NullPowerAssertionService>();
    platform::PowerAssertionService::ScopedOverride powerOverride{powerService};
    platform::NotificationCenter workspaceCenter;
    RecordingInfoCenter infoCenter;
    platform::MPRemoteCommandCenter commands;
    std::shared_ptr<NowPlayingManager> manager;
    std::vector<std::shared_ptr<MediaPlayer>> players;
};

// A duration that the file does not state is published as it becomes known.
TEST_F(NowPlayingManagerTest, ADurationLearntByReadingIsPublishedAnew) {
    makeManager();
    const auto source = openRawStreamWithAShortGuess();
    auto player = makePlayer(source);
    manager->registerPlayer(player);
    ASSERT_TRUE(publishedFor(player));
    const auto publishedDuration = [&] {
        const auto info = infoCenter.nowPlayingInfo();
        return info ? nowPlayingInfoValue<double>(*info,
                                                  platform::MPMediaItemPropertyPlaybackDuration)
                    : std::nullopt;
    };
    EXPECT_EQ(publishedDuration(), platform::CMTimeGetSeconds(source->duration()));
    ASSERT_LT(*publishedDuration(), 6.0);

    // Its end read, as the player's picture reader reads it, the duration settles.
    while (readVisualPacket(*source, source->videoTracks().at(0), {})) {
    }
    EXPECT_TRUE(eventually([&] { return publishedDuration() == 8.0; }))
        << publishedDuration().value_or(-1);

    // Updates for the earlier steps may still be on their way; the manager must not go on its
    // own queue, after the test, at the end of one.
    player->queue()->sync([] {});
    player->waitForPostedNotifications();
    platform::DispatchQueue::main().drain();
    manager->queue()->sync([] {});
}

// Every player that plays reads on its own: a duration it learns so is no sign of the user's
// attention, and leaves the current player current.
TEST_F(NowPlayingManagerTest, ADurationLearntInTheBackgroundLeavesTheCurrentPlayerAlone) {
    makeManager();
    const auto source = openRawStreamWithAShortGuess();
    auto background = makePlayer(source);
    auto current = makePlayer("h264-aac.mp4");
    manager->registerPlayer(background);
    manager->registerPlayer(current);
    ASSERT_TRUE(publishedFor(current));

    while (readVisualPacket(*source, source->videoTracks().at(0), {})) {
    }
    ASSERT_TRUE(eventually([&] { return source->isDurationFinal(); }));
    background->queue()->sync([] {});
    background->waitForPostedNotifications();
    platform::DispatchQueue::main().drain();
    manager->queue()->sync([] {});
    EXPECT_EQ(infoCenter.identifier(), current->mediaSource()->id());
}

TEST_F(NowPlayingManagerTest, PublishesTheMostRecentlyActivePlayerAndHandsOverWhenItCloses) {
    makeManager();
    EXPECT_FALSE(infoCenter.nowPlayingInfo());
    EXPECT_EQ(infoCenter.playbackState(), MPNowPlayingPlaybackState::stopped);
    for (auto* command : commands.allCommands()) {
        EXPECT_FALSE(command->isEnabled()) << command->name();
    }

    auto video = makePlayer("h264-aac.mp4");
    auto audio = makePlayer("cover-art.m4a");
    // What the players posted while being made must land before they count as activity.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    manager->registerPlayer(video);
    manager->registerPlayer(audio);
    ASSERT_TRUE(publishedFor(audio));

    // An audio file without a title: its file name, audio type, its artwork, paused at 0.
    auto info = *infoCenter.nowPlayingInfo();
    EXPECT_EQ(nowPlayingInfoValue<std::string>(info, platform::MPMediaItemPropertyTitle),
              "cover-art.m4a");
    EXPECT_EQ(nowPlayingInfoValue<std::int64_t>(info, platform::MPNowPlayingInfoPropertyMediaType),
              1);
    EXPECT_NEAR(*nowPlayingInfoValue<double>(info, platform::MPMediaItemPropertyPlaybackDuration),
                2.0, 0.1);
    EXPECT_EQ(
        *nowPlayingInfoValue<double>(info, platform::MPNowPlayingInfoPropertyElapsedPlaybackTime),
        0.0);
    const auto artwork = nowPlayingInfoValue<std::shared_ptr<const platform::MPMediaItemArtwork>>(
        info, platform::MPMediaItemPropertyArtwork);
    ASSERT_TRUE(artwork && *artwork);
    EXPECT_EQ((*artwork)->bounds(), (platform::CGSize{64, 64}));
    EXPECT_EQ((*artwork)->imageWithSize({8, 8}).size(), QSize(64, 64));
    EXPECT_EQ(infoCenter.playbackState(), MPNowPlayingPlaybackState::paused);
    for (auto* command : configuredCommands()) {
        EXPECT_TRUE(command->isEnabled() && command->hasTargets()) << command->name();
    }
    EXPECT_FALSE(commands.nextTrackCommand.isEnabled());
    EXPECT_EQ(commands.skipBackwardCommand.preferredIntervals(), (std::vector<double>{10, 15, 30}));
    EXPECT_EQ(commands.skipForwardCommand.preferredIntervals(), (std::vector<double>{10, 15, 30}));

    // Activity of the other player makes it current; the previous file's artwork goes.
    video->seek(seconds(0.5));
    ASSERT_TRUE(publishedFor(video));
    info = *infoCenter.nowPlayingInfo();
    EXPECT_EQ(nowPlayingInfoValue<std::string>(info, platform::MPMediaItemPropertyTitle),
              "h264-aac.mp4");
    EXPECT_EQ(nowPlayingInfoValue<std::int64_t>(info, platform::MPNowPlayingInfoPropertyMediaType),
              2);
    EXPECT_FALSE(info.contains(platform::MPMediaItemPropertyArtwork));
    ASSERT_TRUE(eventually([&] {
        const auto elapsed = nowPlayingInfoValue<double>(
            *infoCenter.nowPlayingInfo(), platform::MPNowPlayingInfoPropertyElapsedPlaybackTime);
        return elapsed && std::abs(*elapsed - 0.5) < 0.01;
    }));
    for (auto* command : configuredCommands()) {
        EXPECT_TRUE(command->hasTargets()) << command->name();
    }

    // Closing the current player hands over to the other.
    manager->unregisterPlayer(video.get());
    video.reset();
    players.erase(players.begin());
    ASSERT_TRUE(publishedFor(audio));

    // Closing the last one: nothing is published, and the commands go.
    manager->unregisterPlayer(audio.get());
    ASSERT_TRUE(eventually([&] { return !infoCenter.nowPlayingInfo(); }));
    EXPECT_EQ(infoCenter.playbackState(), MPNowPlayingPlaybackState::stopped);
    for (auto* command : configuredCommands()) {
        EXPECT_FALSE(command->isEnabled() || command->hasTargets()) << command->name();
    }
}

TEST_F(NowPlayingManagerTest, PublicationWaitsForRestorationAndKeepsTheOrderOfActivity) {
    std::vector<std::function<void()>> heldBack;
    makeManager([&](std::function<void()> work) { heldBack.push_back(std::move(work)); });
    auto first = makePlayer("h264-aac.mp4");
    auto second = makePlayer("pcm-s16le.wav");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    manager->registerPlayer(first);
    manager->registerPlayer(second);
    first->seek(seconds(0.25));  // the first becomes the most recent
    ASSERT_TRUE(eventually([&] { return heldBack.size() >= 3; }));
    manager->queue()->sync([] {});
    EXPECT_EQ(infoCenter.publications(), 1);  // the manager's own "nothing" at creation
    EXPECT_FALSE(commands.playCommand.isEnabled());

    for (auto& work : heldBack) {
        work();
    }
    ASSERT_TRUE(publishedFor(first));
    manager->queue()->sync([] {});
    EXPECT_EQ(infoCenter.identifier(), first->mediaSource()->id());
}

TEST_F(NowPlayingManagerTest, CommandsActOnTheCurrentPlayerOnItsQueue) {
    makeManager();
    auto player = makePlayer("h264-aac.mp4");
    manager->registerPlayer(player);
    ASSERT_TRUE(publishedFor(player));

    EXPECT_EQ(send(commands.togglePlayPauseCommand), MPRemoteCommandHandlerStatus::success);
    EXPECT_TRUE(isPlaying(*player));
    EXPECT_EQ(send(commands.pauseCommand), MPRemoteCommandHandlerStatus::success);
    EXPECT_FALSE(isPlaying(*player));
    send(commands.playCommand);
    EXPECT_TRUE(isPlaying(*player));
    send(commands.stopCommand);
    EXPECT_FALSE(isPlaying(*player));

    using Position = platform::MPChangePlaybackPositionCommandEvent;
    using Skip = platform::MPSkipIntervalCommandEvent;
    EXPECT_EQ(send<Position>(commands.changePlaybackPositionCommand, 1.5),
              MPRemoteCommandHandlerStatus::success);
    EXPECT_TRUE(eventually([&] { return std::abs(currentSeconds(*player) - 1.5) < 1e-3; }));
    send<Skip>(commands.skipBackwardCommand, 1.0);
    EXPECT_TRUE(eventually([&] { return std::abs(currentSeconds(*player) - 0.5) < 1e-3; }));
    send<Skip>(commands.skipForwardCommand, 0.25);
    EXPECT_TRUE(eventually([&] { return std::abs(currentSeconds(*player) - 0.75) < 1e-3; }));

    // A command waits for the manager's queue first; the player's queue keeps working
    // meanwhile, so nothing the player does can wait for the manager.
    std::promise<void> release;
    manager->queue()->async([gate = release.get_future().share()] { gate.wait(); });
    auto pending = std::async(std::launch::async, [&] { return send(commands.playCommand); });
    player->queue()->sync([] {});
    EXPECT_FALSE(isPlaying(*player));
    release.set_value();
    EXPECT_EQ(pending.get(), MPRemoteCommandHandlerStatus::success);
    EXPECT_TRUE(isPlaying(*player));
    send(commands.pauseCommand);

    // A current player that went without unregistering cannot be acted on. The main queue is
    // not pumped meanwhile, so no update can take the commands away first.
    std::weak_ptr<MediaPlayer> gone = player;
    player.reset();
    players.clear();
    for (int wait = 0; wait < 3000 && !gone.expired(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(gone.expired());
    EXPECT_EQ(send(commands.playCommand), MPRemoteCommandHandlerStatus::noActionableNowPlayingItem);
}

TEST(NowPlayingStaticInfoTest, MetadataFillsOnlyTheKeysItHas) {
    MediaSource::OptionalMetadata metadata;
    auto info = NowPlayingManager::makeStaticNowPlayingInfo(
        "ID", platform::URL::fileURL("/music/a song.flac"), platform::CMTimeMake(3, 2),
        MediaType::audio, metadata);
    EXPECT_EQ(nowPlayingInfoValue<std::string>(info, platform::MPMediaItemPropertyTitle),
              "a song.flac");
    EXPECT_EQ(info.size(), 4u);  // identifier, type, duration, title

    metadata.title = "Title";
    metadata.artist = "Artist";
    metadata.genre = "Genre";
    info = NowPlayingManager::makeStaticNowPlayingInfo("ID", platform::URL::fileURL("/film.mkv"),
                                                       platform::CMTimeMake(3, 2), MediaType::video,
                                                       metadata);
    EXPECT_EQ(nowPlayingInfoValue<std::string>(info, platform::MPMediaItemPropertyTitle), "Title");
    EXPECT_EQ(nowPlayingInfoValue<std::string>(info, platform::MPMediaItemPropertyArtist),
              "Artist");
    EXPECT_EQ(nowPlayingInfoValue<std::string>(info, platform::MPMediaItemPropertyGenre), "Genre");
    EXPECT_FALSE(info.contains(platform::MPMediaItemPropertyComposer));
    EXPECT_EQ(nowPlayingInfoValue<std::int64_t>(info, platform::MPNowPlayingInfoPropertyMediaType),
              2);
    EXPECT_EQ(nowPlayingInfoValue<double>(info, platform::MPMediaItemPropertyPlaybackDuration),
              1.5);
}

}  // namespace
}  // namespace quillon::test
