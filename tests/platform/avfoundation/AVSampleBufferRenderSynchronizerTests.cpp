#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/ManualClock.h"

namespace {

using namespace platform;

CMTime seconds(double value) {
    return CMTimeMakeWithSeconds(value, 1000);
}

class SynchronizerTest : public ::testing::Test {
protected:
    void TearDown() override { DispatchQueue::main().drain(); }

    // Runs what was delivered to the main queue.
    static void deliver() { DispatchQueue::main().drain(); }

    std::shared_ptr<ManualClock> clock = ManualClock::make();
    AVSampleBufferRenderSynchronizer synchronizer{clock};
};

TEST_F(SynchronizerTest, TimeStandsStillAtRateZeroAndFollowsTheClockAtTheRate) {
    EXPECT_EQ(synchronizer.currentTime(), kCMTimeZero);
    EXPECT_EQ(synchronizer.rate(), 0.0f);
    clock->advanceSeconds(5);
    EXPECT_EQ(synchronizer.currentTime(), kCMTimeZero);

    synchronizer.setRate(1);
    clock->advanceSeconds(1.5);
    EXPECT_EQ(synchronizer.currentTime(), seconds(1.5));

    synchronizer.setRate(2, CMTimeMake(10, 1));
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(10, 1));
    clock->advanceSeconds(0.25);
    EXPECT_EQ(synchronizer.currentTime(), seconds(10.5));

    // A rate change keeps the time continuous.
    synchronizer.setRate(0.5);
    clock->advanceSeconds(1);
    EXPECT_EQ(synchronizer.currentTime(), seconds(11));

    synchronizer.setRate(0);
    clock->advanceSeconds(30);
    EXPECT_EQ(synchronizer.currentTime(), seconds(11));

    // A jump while stopped stays frozen where it landed.
    synchronizer.setRate(0, CMTimeMake(3, 1));
    clock->advanceSeconds(2);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(3, 1));

    synchronizer.setRate(-1);
    clock->advanceSeconds(1);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(2, 1));
}

TEST_F(SynchronizerTest, AnchorsAtAHostTime) {
    const CMTime past = clock->time();
    clock->advanceSeconds(2);
    synchronizer.setRate(1, CMTimeMake(10, 1), past);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(12, 1));
    // A future anchor: the time line reaches 20 s one second from now.
    synchronizer.setRate(1, CMTimeMake(20, 1), CMTimeAdd(clock->time(), CMTimeMake(1, 1)));
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(19, 1));
    clock->advanceSeconds(1);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(20, 1));
}

TEST_F(SynchronizerTest, TimebaseMapsTimesToHostTimes) {
    synchronizer.setRate(2, CMTimeMake(10, 1));
    const auto anchor = synchronizer.timebase()->anchor();
    EXPECT_EQ(anchor.hostTimeForTime(CMTimeMake(11, 1)),
              CMTimeAdd(clock->time(), CMTimeMake(1, 2)));
    EXPECT_EQ(anchor.timeAtHostTime(CMTimeAdd(clock->time(), CMTimeMake(1, 2))), CMTimeMake(11, 1));
    synchronizer.setRate(0);
    EXPECT_FALSE(CMTIME_IS_VALID(synchronizer.timebase()->anchor().hostTimeForTime(seconds(20))));
    EXPECT_GT(synchronizer.timebase()->anchor().generation, anchor.generation);
}

TEST(SynchronizerRealClockTest, SetRateAndTimeIsAtomicForReaders) {
    AVSampleBufferRenderSynchronizer synchronizer;
    synchronizer.setRate(1, CMTimeMake(100, 1));
    std::atomic<bool> done{false};
    std::atomic<int> mixed{0};
    std::thread reader([&] {
        while (!done) {
            const double time = CMTimeGetSeconds(synchronizer.currentTime());
            const bool first = time >= 100 && time < 150;
            const bool second = time >= 200 && time < 250;
            if (!first && !second) {
                ++mixed;
            }
        }
    });
    for (int round = 0; round < 20000; ++round) {
        synchronizer.setRate(round % 2 == 0 ? 2.0f : 1.0f,
                             CMTimeMake(round % 2 == 0 ? 200 : 100, 1));
    }
    done = true;
    reader.join();
    EXPECT_EQ(mixed.load(), 0);
}

TEST_F(SynchronizerTest, PostsOneRateNotificationPerActualChange) {
    std::vector<float> ratesSeen;
    auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferRenderSynchronizerRateDidChangeNotification,
        static_cast<const void*>(&synchronizer),
        [&](const Notification&) { ratesSeen.push_back(synchronizer.rate()); });
    synchronizer.setRate(1);
    synchronizer.setRate(1);
    synchronizer.setRate(1, CMTimeMake(5, 1));
    synchronizer.setRate(0, CMTimeMake(7, 1));
    synchronizer.setRate(0);
    synchronizer.setRate(0, kCMTimeZero, clock->time());
    synchronizer.setRate(1.5, CMTimeMake(2, 1), clock->time());
    // Each notification saw its change in place.
    EXPECT_EQ(ratesSeen, (std::vector<float>{1, 0, 1.5}));
}

TEST_F(SynchronizerTest, BoundaryFiresWhenPlaybackCrossesItNeverOnAJump) {
    std::vector<int> fired;
    auto observer = synchronizer.addBoundaryTimeObserver({CMTimeMake(2, 1), CMTimeMake(1, 1)},
                                                         nullptr, [&] { fired.push_back(1); });

    // Jumping over and onto the boundaries, and standing on one, fires nothing.
    synchronizer.setRate(0, CMTimeMake(3, 1));
    synchronizer.setRate(0, CMTimeMake(1, 1));
    synchronizer.setRate(1, CMTimeMake(1, 1));
    deliver();
    EXPECT_TRUE(fired.empty());

    clock->advanceSeconds(0.5);
    deliver();
    EXPECT_TRUE(fired.empty());
    clock->advanceSeconds(0.5);
    EXPECT_EQ(synchronizer.currentTime(), CMTimeMake(2, 1));
    EXPECT_TRUE(fired.empty()) << "delivery is asynchronous";
    deliver();
    EXPECT_EQ(fired.size(), 1u);

    // Back before it, and across it again.
    synchronizer.setRate(1, seconds(1.9));
    clock->advanceSeconds(0.2);
    deliver();
    EXPECT_EQ(fired.size(), 2u);

    synchronizer.removeTimeObserver(observer);
    synchronizer.setRate(1, seconds(1.9));
    clock->advanceSeconds(0.2);
    deliver();
    EXPECT_EQ(fired.size(), 2u);
    EXPECT_EQ(clock->armedAlarmCount(), 0u);
}

TEST_F(SynchronizerTest, CrossingsCountUpToARateChangeThatFollowsThem) {
    int fired = 0;
    auto observer =
        synchronizer.addBoundaryTimeObserver({CMTimeMake(1, 1)}, nullptr, [&] { ++fired; });
    synchronizer.setRate(1);
    // The clock passes the boundary without its alarm being run yet; the seek that follows
    // must not swallow the crossing that playback made before it.
    synchronizer.setRate(1, CMTimeMake(1, 2));
    clock->advanceSeconds(0.25);
    deliver();
    EXPECT_EQ(fired, 0);
    synchronizer.setRate(0, seconds(0.9));
    synchronizer.setRate(1);
    clock->advanceSeconds(0.2);
    synchronizer.setRate(0, kCMTimeZero);
    deliver();
    EXPECT_EQ(fired, 1);
    synchronizer.removeTimeObserver(observer);
}

TEST_F(SynchronizerTest, BoundariesRunInCrossingOrderOnTheirQueues) {
    auto queue = DispatchQueue::makeSerial("Boundary Test Queue");
    std::vector<int> order;
    DispatchSemaphore done;
    auto late = synchronizer.addBoundaryTimeObserver({seconds(0.3)}, queue, [&] {
        order.push_back(3);
        done.signal();
    });
    auto early = synchronizer.addBoundaryTimeObserver({seconds(0.1), seconds(0.2)}, queue,
                                                      [&] { order.push_back(1); });
    synchronizer.setRate(1);
    clock->advanceSeconds(1);
    ASSERT_EQ(done.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(order, (std::vector<int>{1, 1, 3}));
    synchronizer.removeTimeObserver(late);
    synchronizer.removeTimeObserver(early);
}

TEST_F(SynchronizerTest, BackwardPlaybackCrossesBoundariesToo) {
    int fired = 0;
    auto observer =
        synchronizer.addBoundaryTimeObserver({CMTimeMake(1, 1)}, nullptr, [&] { ++fired; });
    synchronizer.setRate(-1, CMTimeMake(2, 1));
    clock->advanceSeconds(0.5);
    deliver();
    EXPECT_EQ(fired, 0);
    clock->advanceSeconds(0.5);
    deliver();
    EXPECT_EQ(fired, 1);
    synchronizer.removeTimeObserver(observer);
}

TEST_F(SynchronizerTest, RemovedObserverDoesNotRunDeliveriesAlreadyQueued) {
    int fired = 0;
    auto observer =
        synchronizer.addBoundaryTimeObserver({CMTimeMake(1, 1)}, nullptr, [&] { ++fired; });
    synchronizer.setRate(1);
    clock->advanceSeconds(2);
    synchronizer.removeTimeObserver(observer);
    synchronizer.removeTimeObserver(observer);
    deliver();
    EXPECT_EQ(fired, 0);
}

TEST_F(SynchronizerTest, BoundaryAddedAfterTheClockPassedItDoesNotFire) {
    synchronizer.setRate(1);
    clock->advanceSeconds(2);
    int fired = 0;
    auto observer =
        synchronizer.addBoundaryTimeObserver({CMTimeMake(1, 1)}, nullptr, [&] { ++fired; });
    clock->advanceSeconds(1);
    deliver();
    EXPECT_EQ(fired, 0);
    synchronizer.removeTimeObserver(observer);
}

TEST_F(SynchronizerTest, PeriodicObserverReportsOnAddChangesAndIntervals) {
    std::vector<CMTime> reports;
    synchronizer.setRate(0, seconds(0.5));
    auto observer = synchronizer.addPeriodicTimeObserver(
        CMTimeMake(1, 1), nullptr, [&](CMTime time) { reports.push_back(time); });
    deliver();
    EXPECT_EQ(reports, (std::vector<CMTime>{seconds(0.5)}));

    reports.clear();
    synchronizer.setRate(1);
    clock->advanceSeconds(2.75);
    deliver();
    EXPECT_EQ(reports, (std::vector<CMTime>{seconds(0.5), CMTimeMake(1, 1), CMTimeMake(2, 1),
                                            CMTimeMake(3, 1)}));

    reports.clear();
    synchronizer.setRate(1, CMTimeMake(10, 1));
    synchronizer.setRate(1);
    deliver();
    EXPECT_EQ(reports, (std::vector<CMTime>{CMTimeMake(10, 1)}));
    synchronizer.removeTimeObserver(observer);
}

TEST_F(SynchronizerTest, KeepsRenderersInOrderAndGivesThemItsTimebase) {
    auto first = std::make_shared<AVSampleBufferDisplayLayer>();
    auto second = std::make_shared<AVSampleBufferDisplayLayer>();
    EXPECT_EQ(first->timebase(), nullptr);
    synchronizer.addRenderer(first);
    synchronizer.addRenderer(second);
    synchronizer.addRenderer(first);
    EXPECT_EQ(synchronizer.renderers(),
              (std::vector<AVQueuedSampleBufferRenderingRef>{first, second}));
    EXPECT_EQ(first->timebase(), synchronizer.timebase());

    AVSampleBufferRenderSynchronizer other{clock};
    EXPECT_DEATH(other.addRenderer(first), "second render synchronizer");
}

TEST_F(SynchronizerTest, RemovesARendererWhenTheTimeIsReached) {
    auto layer = std::make_shared<AVSampleBufferDisplayLayer>();
    synchronizer.addRenderer(layer);
    std::atomic<int> result{-1};
    DispatchSemaphore done;
    synchronizer.removeRenderer(layer, CMTimeMake(1, 1), [&](bool removed) {
        result = removed;
        done.signal();
    });
    EXPECT_EQ(synchronizer.renderers().size(), 1u);
    synchronizer.setRate(1);
    clock->advanceSeconds(1);
    ASSERT_EQ(done.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(result.load(), 1);
    EXPECT_TRUE(synchronizer.renderers().empty());
    EXPECT_EQ(layer->timebase(), nullptr);

    // Not ours: answered false at once.
    synchronizer.removeRenderer(layer, kCMTimeInvalid, [&](bool removed) {
        result = removed;
        done.signal();
    });
    ASSERT_EQ(done.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(result.load(), 0);
}

TEST(SynchronizerLifetimeTest, PendingRemovalIsAnsweredWhenTheSynchronizerGoes) {
    auto clock = ManualClock::make();
    auto layer = std::make_shared<AVSampleBufferDisplayLayer>();
    std::atomic<int> result{-1};
    DispatchSemaphore done;
    {
        AVSampleBufferRenderSynchronizer synchronizer{clock};
        synchronizer.addRenderer(layer);
        synchronizer.removeRenderer(layer, CMTimeMake(5, 1), [&](bool removed) {
            result = removed;
            done.signal();
        });
    }
    ASSERT_EQ(done.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    EXPECT_EQ(result.load(), 0);
    EXPECT_EQ(layer->timebase(), nullptr);
}

TEST(HostClockTest, AlarmFiresOnItsThreadAndCancelStopsIt) {
    const auto& clock = CMClockGetHostTimeClock();
    const CMTime start = clock->time();
    DispatchSemaphore fired;
    std::atomic<int> count{0};
    auto alarm = clock->makeAlarm([&] {
        ++count;
        fired.signal();
    });
    alarm->schedule(CMTimeAdd(start, CMTimeMake(20, 1000)));
    ASSERT_EQ(fired.wait(std::chrono::seconds(10)), DispatchTimeoutResult::success);
    EXPECT_GE(CMTimeCompare(clock->time(), CMTimeAdd(start, CMTimeMake(20, 1000))), 0);
    alarm->schedule(CMTimeAdd(clock->time(), CMTimeMake(3600, 1)));
    alarm->cancel();
    alarm.reset();
    EXPECT_EQ(count.load(), 1);
}

}  // namespace
