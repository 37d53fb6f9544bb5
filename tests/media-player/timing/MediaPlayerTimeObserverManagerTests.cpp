#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "support/ManualClock.h"

namespace {

using namespace platform;
using quillon::MediaPlayerTimeObserverManager;

class TimeObserverManagerTest : public ::testing::Test {
protected:
    void TearDown() override { DispatchQueue::main().drain(); }

    static void deliver() { DispatchQueue::main().drain(); }

    std::shared_ptr<ManualClock> clock = ManualClock::make();
    std::shared_ptr<AVSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<AVSampleBufferRenderSynchronizer>(clock);
    // A source whose media time zero is synchronizer time 10 s.
    MediaPlayerTimeObserverManager manager{synchronizer, CMTimeMake(10, 1)};
};

TEST_F(TimeObserverManagerTest, PeriodicObserverReportsMediaTime) {
    synchronizer->setRate(0, CMTimeMake(12, 1));
    std::vector<CMTime> reports;
    auto observer = manager.addPeriodicTimeObserver(CMTimeMake(1, 2), nullptr,
                                                    [&](CMTime time) { reports.push_back(time); });
    deliver();
    synchronizer->setRate(1);
    clock->advanceSeconds(0.5);
    deliver();
    EXPECT_EQ(reports, (std::vector<CMTime>{CMTimeMake(2, 1), CMTimeMake(2, 1), CMTimeMake(5, 2)}));
    manager.removeTimeObserver(observer);
}

TEST_F(TimeObserverManagerTest, BoundaryAtTheDurationFiresAtStartPlusDuration) {
    auto queue = DispatchQueue::makeSerial("Media Player Queue");
    DispatchSemaphore fired;
    std::atomic<int> count{0};
    auto observer = manager.addBoundaryTimeObserver({CMTimeMake(5, 1)}, queue, [&] {
        ++count;
        fired.signal();
    });
    synchronizer->setRate(1, CMTimeMake(14, 1));
    clock->advanceSeconds(0.999);
    queue->sync([] {});
    EXPECT_EQ(count.load(), 0);
    clock->advanceSeconds(0.001);
    ASSERT_EQ(fired.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(synchronizer->currentTime(), CMTimeMake(15, 1));
    manager.removeTimeObserver(observer);
    manager.removeTimeObserver(observer);
    EXPECT_EQ(observer->_underlyingObserver.wrappedValue(), nullptr);
}

TEST_F(TimeObserverManagerTest, SingleBoundaryAlreadyPassedRunsOnceOnTheMainQueue) {
    synchronizer->setRate(0, CMTimeMake(13, 1));
    int runs = 0;
    auto observer =
        manager.addSingleBoundaryTimeObserver(CMTimeMake(2, 1), nullptr, [&] { ++runs; });
    EXPECT_EQ(runs, 0) << "asynchronous";
    EXPECT_EQ(observer->_underlyingObserver.wrappedValue(), nullptr) << "removed at once";
    deliver();
    EXPECT_EQ(runs, 1);

    // Crossing the time again later never reaches the block.
    synchronizer->setRate(1, CMTimeMake(11, 1));
    clock->advanceSeconds(2);
    deliver();
    EXPECT_EQ(runs, 1);
}

TEST_F(TimeObserverManagerTest, SingleBoundaryStandingOnItCountsAsReached) {
    synchronizer->setRate(0, CMTimeMake(12, 1));
    auto queue = DispatchQueue::makeSerial("One-Shot Test Queue");
    DispatchSemaphore ran;
    auto observer =
        manager.addSingleBoundaryTimeObserver(CMTimeMake(2, 1), queue, [&] { ran.signal(); });
    ASSERT_EQ(ran.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
}

TEST_F(TimeObserverManagerTest, SingleBoundaryReachedDuringPlaybackRunsOnceAndIsGone) {
    synchronizer->setRate(1, CMTimeMake(10, 1));
    int runs = 0;
    auto observer =
        manager.addSingleBoundaryTimeObserver(CMTimeMake(1, 1), nullptr, [&] { ++runs; });
    EXPECT_NE(observer->_underlyingObserver.wrappedValue(), nullptr);
    clock->advanceSeconds(1.5);
    deliver();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(observer->_underlyingObserver.wrappedValue(), nullptr);

    synchronizer->setRate(1, CMTimeMake(10, 1));
    clock->advanceSeconds(1.5);
    deliver();
    EXPECT_EQ(runs, 1);
    manager.removeTimeObserver(observer);
}

// A synchronizer that keeps each boundary block for the test to call, as a platform whose
// deliveries are already on their way when the registration goes would.
class CapturingSynchronizer : public AVSampleBufferRenderSynchronizer {
public:
    using AVSampleBufferRenderSynchronizer::AVSampleBufferRenderSynchronizer;

    AVTimeObserverToken addBoundaryTimeObserver(std::vector<CMTime> times,
                                                std::shared_ptr<DispatchQueue> queue,
                                                BoundaryBlock block) override {
        auto token = AVSampleBufferRenderSynchronizer::addBoundaryTimeObserver(times, queue, [] {});
        std::lock_guard lock(mutex);
        blocks.push_back(block);
        tokens.push_back(token);
        if (deliverDuringRegistration) {
            deliveryQueue->async(block);
            // Gives the early delivery every chance to run before the registration returns.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return token;
    }

    void removeTimeObserver(const AVTimeObserverToken& observer) override {
        {
            std::lock_guard lock(mutex);
            removed.push_back(observer);
        }
        AVSampleBufferRenderSynchronizer::removeTimeObserver(observer);
    }

    std::mutex mutex;
    std::vector<BoundaryBlock> blocks;
    std::vector<AVTimeObserverToken> tokens;
    std::vector<AVTimeObserverToken> removed;
    bool deliverDuringRegistration = false;
    std::shared_ptr<DispatchQueue> deliveryQueue;
};

TEST(SingleBoundaryObserverTest, ASecondDeliveryPassesAndTheBlockRunsOnce) {
    auto synchronizer = std::make_shared<CapturingSynchronizer>(ManualClock::make());
    MediaPlayerTimeObserverManager manager{synchronizer, kCMTimeZero};
    auto queue = DispatchQueue::makeSerial("Subtitles Test Queue");
    std::atomic<int> runs{0};
    auto observer = manager.addSingleBoundaryTimeObserver(CMTimeMake(1, 1), queue, [&] { ++runs; });
    ASSERT_EQ(synchronizer->blocks.size(), 1u);

    // The boundary is crossed, playback seeks back and crosses it again before the queue ran
    // the first delivery: two deliveries reach the block.
    queue->async(synchronizer->blocks[0]);
    queue->async(synchronizer->blocks[0]);
    std::atomic<bool> queueStillRuns{false};
    DispatchSemaphore done;
    queue->async([&] {
        queueStillRuns = true;
        done.signal();
    });
    ASSERT_EQ(done.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success)
        << "the second delivery blocked its queue";
    EXPECT_TRUE(queueStillRuns.load());
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(synchronizer->removed.size(), 1u);
}

TEST(SingleBoundaryObserverTest, ADeliveryDuringRegistrationWaitsAndFindsTheObserver) {
    auto synchronizer = std::make_shared<CapturingSynchronizer>(ManualClock::make());
    synchronizer->deliverDuringRegistration = true;
    synchronizer->deliveryQueue = DispatchQueue::makeSerial("Early Delivery Queue");
    MediaPlayerTimeObserverManager manager{synchronizer, kCMTimeZero};
    DispatchSemaphore ran;
    auto observer =
        manager.addSingleBoundaryTimeObserver(CMTimeMake(1, 1), nullptr, [&] { ran.signal(); });
    ASSERT_EQ(ran.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    std::vector<AVTimeObserverToken> removed;
    std::vector<AVTimeObserverToken> tokens;
    {
        std::lock_guard lock(synchronizer->mutex);
        removed = synchronizer->removed;
        tokens = synchronizer->tokens;
    }
    ASSERT_EQ(removed.size(), 1u);
    EXPECT_EQ(removed[0], tokens[0]);
    EXPECT_EQ(observer->_underlyingObserver.wrappedValue(), nullptr);
}

TEST(SingleBoundaryObserverTest, ABlockAlreadyDeliveredIsNotRunAgainByTheRegistration) {
    auto clock = ManualClock::make();
    auto synchronizer = std::make_shared<CapturingSynchronizer>(clock);
    MediaPlayerTimeObserverManager manager{synchronizer, kCMTimeZero};
    synchronizer->setRate(0, CMTimeMake(5, 1));
    int runs = 0;
    auto observer =
        manager.addSingleBoundaryTimeObserver(CMTimeMake(1, 1), nullptr, [&] { ++runs; });
    // The registration found the time passed and queued the block; a delivery from the
    // synchronizer arriving as well changes nothing.
    synchronizer->blocks[0]();
    DispatchQueue::main().drain();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(synchronizer->removed.size(), 1u);
}

TEST(TimeObserverManagerLifetimeTest, AnUnremovedOneShotDoesNotKeepTheSynchronizerAlive) {
    std::weak_ptr<AVSampleBufferRenderSynchronizer> weak;
    {
        auto synchronizer = std::make_shared<AVSampleBufferRenderSynchronizer>(ManualClock::make());
        weak = synchronizer;
        MediaPlayerTimeObserverManager manager{synchronizer, kCMTimeZero};
        auto observer = manager.addSingleBoundaryTimeObserver(CMTimeMake(1, 1), nullptr, [] {});
    }
    EXPECT_TRUE(weak.expired());
}

}  // namespace
