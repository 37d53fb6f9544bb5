#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "media-player/session/AudioRoutingOwnershipManager.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"

namespace {

using namespace quillon;
using platform::AVAudioRoutingArbiter;
using platform::DispatchQueue;

// Holds each arbitration's answer until the test gives it.
class RecordingArbiter final : public AVAudioRoutingArbiter {
public:
    void beginArbitrationWithCategory(platform::AVAudioRoutingArbitrationCategory category,
                                      CompletionHandler handler) override {
        std::lock_guard lock(mutex);
        ++begins;
        lastCategory = category;
        pending = std::move(handler);
    }

    void leaveArbitration() override {
        std::lock_guard lock(mutex);
        ++leaves;
    }

    // Answers the pending arbitration on another thread, as the platform does.
    void answer(bool defaultDeviceChanged) {
        CompletionHandler handler;
        {
            std::lock_guard lock(mutex);
            handler = std::move(pending);
        }
        std::thread([handler, defaultDeviceChanged] {
            handler(defaultDeviceChanged, nullptr);
        }).join();
    }

    std::mutex mutex;
    int begins = 0;
    int leaves = 0;
    platform::AVAudioRoutingArbitrationCategory lastCategory{};
    CompletionHandler pending;
};

// Counts completions and waits for them with a limit that only catches hangs.
class Completions {
public:
    std::function<void()> make(const std::shared_ptr<DispatchQueue>& queue) {
        return [this, queue] {
            EXPECT_TRUE(queue->isCurrent());
            std::lock_guard lock(mutex_);
            ++count_;
            condition_.notify_all();
        };
    }
    bool waitFor(int count) {
        std::unique_lock lock(mutex_);
        return condition_.wait_for(lock, std::chrono::seconds(10), [&] { return count_ >= count; });
    }
    int count() {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    int count_ = 0;
};

class AudioRoutingOwnershipManagerTest : public ::testing::Test {
protected:
    std::shared_ptr<RecordingArbiter> arbiter = std::make_shared<RecordingArbiter>();
    AudioRoutingOwnershipManager manager{arbiter};
    std::shared_ptr<DispatchQueue> queue = DispatchQueue::makeSerial("Ownership Test Queue");
    Completions completions;
};

TEST_F(AudioRoutingOwnershipManagerTest, TwoPlayersBeginTheArbitrationOnceAndLeaveItAfterBoth) {
    platform::ScopedLogCapture log;
    manager.requestOwnership(queue, completions.make(queue));
    EXPECT_EQ(arbiter->begins, 1);
    EXPECT_EQ(arbiter->lastCategory, platform::AVAudioRoutingArbitrationCategory::playback);
    EXPECT_TRUE(log.contains("Requesting audio routing ownership."));

    // The second player does not wait for the arbitration that is still running.
    manager.requestOwnership(queue, completions.make(queue));
    ASSERT_TRUE(completions.waitFor(1));
    queue->sync([] {});
    EXPECT_EQ(completions.count(), 1);
    EXPECT_EQ(arbiter->begins, 1);
    EXPECT_EQ(manager.ownerCount(), 2);

    arbiter->answer(false);
    ASSERT_TRUE(completions.waitFor(2));
    EXPECT_TRUE(log.contains(
        "Audio routing arbitration did change default device [false] with error: nil."));

    manager.releaseOwnership();
    EXPECT_EQ(arbiter->leaves, 0) << "one player is still open";
    manager.releaseOwnership();
    EXPECT_EQ(arbiter->leaves, 1);
    EXPECT_TRUE(log.contains("Releasing audio routing ownership."));

    // A player opened afterwards begins a new arbitration.
    manager.requestOwnership(queue, completions.make(queue));
    EXPECT_EQ(arbiter->begins, 2);
    arbiter->answer(true);
    ASSERT_TRUE(completions.waitFor(3));
    EXPECT_TRUE(log.contains("Audio routing arbitration did change default device [true]"));
}

TEST_F(AudioRoutingOwnershipManagerTest, BeforeMacOS11ItCompletesWithoutTheArbiter) {
    platform::ProcessInfo::ScopedOverride system(
        {platform::OperatingSystem::macOS, {10, 15, 7}, "macOS 10.15.7", false});
    manager.requestOwnership(queue, completions.make(queue));
    ASSERT_TRUE(completions.waitFor(1));
    manager.releaseOwnership();
    EXPECT_EQ(arbiter->begins, 0);
    EXPECT_EQ(arbiter->leaves, 0);
    EXPECT_EQ(manager.ownerCount(), 0);
}

TEST(AudioRoutingArbiterTest, TheSoundServerStandInGrantsAtOnceAndAsynchronously) {
    const auto arbiter = AVAudioRoutingArbiter::sharedRoutingArbiter();
    std::mutex mutex;
    std::condition_variable condition;
    bool answered = false;
    std::thread::id caller = std::this_thread::get_id();
    std::thread::id answerer;
    arbiter->beginArbitrationWithCategory(
        platform::AVAudioRoutingArbitrationCategory::playback,
        [&](bool changed, std::shared_ptr<const platform::Error> error) {
            EXPECT_FALSE(changed);
            EXPECT_EQ(error, nullptr);
            std::lock_guard lock(mutex);
            answerer = std::this_thread::get_id();
            answered = true;
            condition.notify_all();
        });
    std::unique_lock lock(mutex);
    ASSERT_TRUE(condition.wait_for(lock, std::chrono::seconds(10), [&] { return answered; }));
    EXPECT_NE(answerer, caller);
    arbiter->leaveArbitration();
}

}  // namespace
