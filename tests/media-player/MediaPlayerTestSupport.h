#pragma once

#include <gtest/gtest.h>

#include <unistd.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "media-player/MediaPlayer.h"
#include "media-player/data-providers/DataProviderTestSupport.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "media-player/media-source/DefaultTrackSelection.h"
#include "platform/avfoundation/AVAudioRoutingArbiter.h"
#include "platform/avfoundation/IOPMAssertion.h"
#include "platform/foundation/NotificationCenter.h"

namespace quillon::test {

// Grants every arbitration at once, from another thread, and counts begins and leaves.
class GrantingArbiter final : public platform::AVAudioRoutingArbiter {
public:
    void beginArbitrationWithCategory(platform::AVAudioRoutingArbitrationCategory,
                                      CompletionHandler handler) override {
        ++begins;
        std::thread([handler = std::move(handler)] { handler(false, nullptr); }).detach();
    }
    void leaveArbitration() override { ++leaves; }

    std::atomic<int> begins{0};
    std::atomic<int> leaves{0};
};

// Hands out power assertions without a session bus.
class NullPowerAssertionService final : public platform::PowerAssertionService {
public:
    platform::IOReturn createAssertion(const std::string&, platform::IOPMAssertionLevel,
                                       const std::string&,
                                       platform::IOPMAssertionID* assertionID) override {
        *assertionID = ++held;
        return platform::kIOReturnSuccess;
    }
    platform::IOReturn releaseAssertion(platform::IOPMAssertionID) override {
        --held;
        return platform::kIOReturnSuccess;
    }
    std::atomic<int> held{0};
};

// The player's notifications as they arrive (from any sender when `player` is null): how many of
// each, and whether any came on the main (test) thread.
class PlayerNotificationRecord {
public:
    explicit PlayerNotificationRecord(const MediaPlayer* player) {
        for (const char* name :
             {MediaPlayer::selectedVideoTrackDidChangeNotification,
              MediaPlayer::selectedAudioTrackDidChangeNotification,
              MediaPlayer::selectedPrimarySubtitlesTrackDidChangeNotification,
              MediaPlayer::selectedSecondarySubtitlesTrackDidChangeNotification,
              MediaPlayer::rateDidChangeNotification, MediaPlayer::didSeekNotification}) {
            tokens_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
                name, player, [this, testThread = std::this_thread::get_id()](const auto& n) {
                    std::lock_guard lock(mutex_);
                    ++counts_[n.name];
                    onTestThread_ = onTestThread_ || std::this_thread::get_id() == testThread;
                }));
        }
    }

    int count(const std::string& name) const {
        std::lock_guard lock(mutex_);
        const auto found = counts_.find(name);
        return found == counts_.end() ? 0 : found->second;
    }
    int total() const {
        std::lock_guard lock(mutex_);
        int sum = 0;
        for (const auto& [name, value] : counts_) {
            sum += value;
        }
        return sum;
    }
    bool arrivedOnTestThread() const {
        std::lock_guard lock(mutex_);
        return onTestThread_;
    }

private:
    mutable std::mutex mutex_;
    std::map<std::string, int> counts_;
    bool onTestThread_ = false;
    std::vector<platform::ObserverToken> tokens_;
};

// Keeps a queue busy from the moment its block is reached until release (or the end of the
// test), standing in for a provider that is slow to get to the work queued behind it.
class QueueHold {
public:
    explicit QueueHold(platform::DispatchQueue& queue) {
        queue.async([reached = std::make_shared<std::promise<void>>(std::move(reachedPromise_)),
                     released = released_] {
            reached->set_value();
            released.wait();
        });
    }
    ~QueueHold() { release(); }
    QueueHold(const QueueHold&) = delete;
    QueueHold& operator=(const QueueHold&) = delete;

    bool reached() const {
        return reached_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    }
    void release() {
        if (!isReleased_) {
            isReleased_ = true;
            releasePromise_.set_value();
        }
    }

private:
    std::promise<void> reachedPromise_;
    std::future<void> reached_ = reachedPromise_.get_future();
    std::promise<void> releasePromise_;
    std::shared_future<void> released_ = releasePromise_.get_future().share();
    bool isReleased_ = false;
};

// A player on a manual clock with recording renderers, its own routing arbiter, power
// assertions and session centre. Nothing plays until the test moves the clock.
class MediaPlayerTest : public ::testing::Test {
protected:
    void TearDown() override {
        notifications.reset();
        player.reset();
        // The providers' queues finish what was submitted before the providers go; the source
        // is theirs until then, and nothing may be decoding when the program ends.
        EXPECT_TRUE(eventually([&] { return !source || source.use_count() == 1; }));
        // The views go away on the main queue.
        platform::DispatchQueue::main().drain();
        // The player made the shared text style manager, whose first build lays out fonts on
        // its own queue: it must be done before the program's application object goes at exit.
        (void)SubtitleTextStyleManager::shared()->userSpecifiedStyle();
    }

    MediaPlayer::Environment environment() {
        MediaPlayer::Environment env;
        env.clock = clock;
        env.displayLayer = layer;
        env.audioRenderer = audioRenderer;
        env.audioRoutingOwnershipManager = &routingOwnership;
        env.workspaceNotificationCenter = &workspaceCenter;
        return env;
    }

    // Creates the player through make with the given tracks and waits for its completion.
    void makePlayer(std::shared_ptr<MediaSource> mediaSource, const DefaultTracks& tracks,
                    std::optional<platform::CMTime> initialTime = {}) {
        source = std::move(mediaSource);
        auto delivered = std::make_shared<std::shared_ptr<MediaPlayer>>();
        auto onCompletionQueue = std::make_shared<std::atomic<bool>>(false);
        MediaPlayer::make(
            source, tracks.video, tracks.audio, tracks.primarySubtitles, tracks.secondarySubtitles,
            initialTime, completionQueue,
            [=, queue = completionQueue](std::shared_ptr<MediaPlayer> made) {
                *onCompletionQueue = queue->isCurrent();
                std::atomic_store(delivered.get(), std::move(made));
            },
            environment());
        ASSERT_TRUE(eventually([&] { return std::atomic_load(delivered.get()) != nullptr; }));
        player = std::atomic_load(delivered.get());
        EXPECT_TRUE(onCompletionQueue->load());
        // The selections' re-seeks may still run: let them end, and their notifications land,
        // before anything is counted.
        seekAndWait(currentTime());
        player->waitForPostedNotifications();
        notifications = std::make_unique<PlayerNotificationRecord>(player.get());
    }

    template <typename F>
    decltype(auto) onQueue(F&& body) {
        return player->queue()->sync(std::forward<F>(body));
    }
    float synchronizerRate() { return player->renderSynchronizer()->rate(); }
    platform::CMTime currentTime() {
        return onQueue([&] { return player->currentTime(); });
    }

    // Seeks from the test thread and waits for the completion.
    void seekAndWait(platform::CMTime time) {
        std::atomic<bool> done{false};
        player->seek(time, completionQueue, [&done] { done = true; });
        ASSERT_TRUE(eventually([&] { return done.load(); })) << "seek never finished";
        settle();
    }
    // Moves the clock on to `until` (media time) a quarter of a second at a time while playing,
    // each time waiting until the pictures are ahead of it again (as a decoder that keeps up
    // keeps them), or the end of the media has been read.
    void playOnUntil(double until) {
        while (platform::CMTimeGetSeconds(currentTime()) < until && synchronizerRate() > 0) {
            clock->advanceSeconds(0.25);
            settle();
            ASSERT_TRUE(eventually([&] {
                const auto pictures = layer->record.buffersSinceLastFlush();
                return player->isDurationFinal() ||
                       (!pictures.empty() &&
                        platform::CMTimeCompare(pictures.back().end(), currentTime()) > 0);
            }));
        }
    }
    // Every block submitted to the player's queue so far has run, and the providers have
    // handled their last restarts.
    void settle() {
        for (int round = 0; round < 2; ++round) {
            onQueue([] {});
            platform::DispatchQueue::main().drain();
        }
    }

    std::shared_ptr<platform::ManualClock> clock = platform::ManualClock::make();
    std::shared_ptr<RecordingDisplayLayer> layer = std::make_shared<RecordingDisplayLayer>();
    std::shared_ptr<RecordingAudioRenderer> audioRenderer =
        std::make_shared<RecordingAudioRenderer>(clock);
    std::shared_ptr<GrantingArbiter> arbiter = std::make_shared<GrantingArbiter>();
    AudioRoutingOwnershipManager routingOwnership{arbiter};
    std::shared_ptr<NullPowerAssertionService> powerService =
        std::make_shared<NullPowerAssertionService>();
    platform::PowerAssertionService::ScopedOverride powerOverride{powerService};
    platform::NotificationCenter workspaceCenter;
    std::shared_ptr<platform::DispatchQueue> completionQueue =
        platform::DispatchQueue::makeSerial("Media Player Test Completion Queue");
    std::shared_ptr<MediaSource> source;
    std::shared_ptr<MediaPlayer> player;
    std::unique_ptr<PlayerNotificationRecord> notifications;
};

inline DefaultTracks videoAndAudio(const MediaSource& source) {
    return {source.videoTracks().at(0), source.audioTracks().at(0), nullptr, nullptr};
}

// Eight seconds of raw H.264 pictures (25 a second) as a capture writes them to a pipe: no
// duration, no timestamps. Too large to be read whole when it opens, and its first and last two
// seconds hold far more bytes per second than its middle, so that the bit rate of what is sampled
// puts its duration at about half of what it is, until its end is read. Written once per process.
inline std::shared_ptr<MediaSource> openRawStreamWithAShortGuess() {
    namespace fs = std::filesystem;
    static const fs::path path = [] {
        const fs::path written = fs::temp_directory_path() /
                                 ("quillon-short-guess-" + std::to_string(::getpid()) + ".h264");
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -f lavfi -i "
            "'testsrc2=size=320x240:rate=25:duration=8,noise=alls=80:allf=t:"
            "enable=not(between(t\\,2\\,6))' -c:v libx264 -preset ultrafast -qp 5 -g 25 "
            "-f h264 pipe:1 > '" +
            written.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        std::atexit([] {
            std::error_code error;
            fs::remove(fs::temp_directory_path() /
                           ("quillon-short-guess-" + std::to_string(::getpid()) + ".h264"),
                       error);
        });
        return written;
    }();
    return MediaSource::make(platform::URL::fileURL(path.string()), platform::kCMTimeInvalid, true);
}

}  // namespace quillon::test
