#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "media-player/timing/BufferDataRequester.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"

namespace {

using platform::DispatchQueue;
using platform::DispatchSemaphore;
using platform::DispatchTimeoutResult;
using quillon::BufferDataRequester;

constexpr auto hangTimeout = std::chrono::seconds(10);

// A producer whose runs the test can count, hold open and let go.
class RequesterTest : public ::testing::Test {
protected:
    BufferDataRequester requester{2, 10, 0};
    std::shared_ptr<DispatchQueue> producerQueue = DispatchQueue::makeSerial("Test Producer Queue");
    std::atomic<int> runs{0};
    std::atomic<bool> holdRuns{false};
    DispatchSemaphore runStarted;
    DispatchSemaphore releaseRun;

    BufferDataRequester::DataProducer producer() {
        return {producerQueue, [this] {
                    ++runs;
                    runStarted.signal();
                    if (holdRuns) {
                        releaseRun.wait();
                    }
                }};
    }

    // Waits until every run submitted so far has ended and its end reached the requester.
    void settle() {
        producerQueue->sync([] {});
        (void)requester.needsMoreData();
    }
};

TEST_F(RequesterTest, ARunStartsAtOrBelowTheLowWaterMarkOnly) {
    requester.setBufferCount(3);
    requester.setDataProducer(producer());
    settle();
    EXPECT_EQ(runs.load(), 0) << "3 is above the low-water mark";

    requester.setBufferCount(2);
    settle();
    EXPECT_EQ(runs.load(), 1) << "exactly the low-water mark starts a run";

    requester.setBufferCount(5);
    settle();
    EXPECT_EQ(runs.load(), 1);

    // Installing a producer while the consumer is empty starts at once.
    BufferDataRequester empty{2, 10, 0};
    std::atomic<int> emptyRuns{0};
    empty.setDataProducer(BufferDataRequester::DataProducer{producerQueue, [&] { ++emptyRuns; }});
    producerQueue->sync([] {});
    EXPECT_EQ(emptyRuns.load(), 1);
}

TEST_F(RequesterTest, OneRunAtATimeAndNoNewRunWhileTheCountStaysUp) {
    holdRuns = true;
    requester.setDataProducer(producer());
    ASSERT_EQ(runStarted.wait(hangTimeout), DispatchTimeoutResult::success);

    // Counts and a new producer while the run is open start nothing.
    requester.setBufferCount(1);
    requester.setBufferCount(0);
    requester.setDataProducer(producer());
    holdRuns = false;
    releaseRun.signal();
    settle();
    // The consumer was still empty when the run ended: the next run follows by itself.
    settle();
    EXPECT_EQ(runs.load(), 2);

    // A run that leaves the consumer above the low-water mark is not followed by another.
    requester.setBufferCount(4);
    settle();
    EXPECT_EQ(runs.load(), 2);
    requester.setBufferCount(3);
    settle();
    EXPECT_EQ(runs.load(), 2);
}

TEST_F(RequesterTest, ARunFillsTheConsumerUpToTheHighWaterMark) {
    std::atomic<std::int64_t> held{2};
    std::atomic<int> produced{0};
    requester.setBufferCount(held);
    requester.setDataProducer(
        BufferDataRequester::DataProducer{producerQueue, [&] {
                                              ++runs;
                                              // Reporting from the work
                                              // itself must not deadlock.
                                              while (requester.needsMoreData()) {
                                                  ++produced;
                                                  requester.setBufferCount(++held);
                                              }
                                          }});
    settle();
    EXPECT_EQ(runs.load(), 1);
    EXPECT_EQ(produced.load(), 8);
    EXPECT_FALSE(requester.needsMoreData());

    // The consumer shows and drops frames: nothing until it is back at the mark.
    for (std::int64_t count = 9; count >= 3; --count) {
        held = count;
        requester.setBufferCount(count);
    }
    settle();
    EXPECT_EQ(runs.load(), 1);
    held = 2;
    requester.setBufferCount(2);
    settle();
    EXPECT_EQ(runs.load(), 2);
    EXPECT_EQ(held.load(), 10);
}

TEST_F(RequesterTest, RemovingTheProducerStopsFutureRunsButNotTheCurrentOne) {
    holdRuns = true;
    requester.setDataProducer(producer());
    ASSERT_EQ(runStarted.wait(hangTimeout), DispatchTimeoutResult::success);
    requester.setDataProducer(std::nullopt);
    holdRuns = false;
    releaseRun.signal();
    settle();
    EXPECT_EQ(runs.load(), 1) << "the open run finished";

    requester.setBufferCount(0);
    requester.setDataProducer(std::nullopt);
    settle();
    EXPECT_EQ(runs.load(), 1);
}

TEST(BufferDataRequesterLifetimeTest, NoWorkRunsForARequesterThatIsGone) {
    auto producerQueue = DispatchQueue::makeSerial("Busy Producer Queue");
    DispatchSemaphore gate;
    producerQueue->async([gate] { gate.wait(); });
    std::atomic<int> runs{0};
    {
        BufferDataRequester requester{2, 10, 0};
        // Queued behind the busy block, not yet started.
        requester.setDataProducer(
            BufferDataRequester::DataProducer{producerQueue, [&runs] { ++runs; }});
    }
    gate.signal();
    producerQueue->sync([] {});
    EXPECT_EQ(runs.load(), 0);

    // A requester that goes away during a run takes the run's end quietly.
    DispatchSemaphore started;
    DispatchSemaphore release;
    {
        BufferDataRequester requester{2, 10, 0};
        requester.setDataProducer(BufferDataRequester::DataProducer{producerQueue, [&] {
                                                                        ++runs;
                                                                        started.signal();
                                                                        release.wait();
                                                                    }});
        ASSERT_EQ(started.wait(hangTimeout), DispatchTimeoutResult::success);
    }
    release.signal();
    producerQueue->sync([] {});
    EXPECT_EQ(runs.load(), 1);
}

}  // namespace
