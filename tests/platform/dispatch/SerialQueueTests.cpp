#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTestSupport.h"
#include "platform/dispatch/DispatchThread.h"

using namespace platform;
using dispatch_test::hangTimeout;

TEST(SerialQueue, RunsEachProducersBlocksInOrderOneAtATime) {
    auto queue = DispatchQueue::makeSerial("Media Player Queue");
    constexpr int producers = 4;
    constexpr int blocksPerProducer = 500;
    // Written without a lock on purpose: the thread sanitizer build catches any overlap.
    std::vector<std::pair<int, int>> ran;
    DispatchGroup group;
    std::vector<std::thread> threads;
    for (int producer = 0; producer < producers; ++producer) {
        threads.emplace_back([&, producer] {
            for (int index = 0; index < blocksPerProducer; ++index) {
                queue->async(group, [&ran, producer, index] { ran.emplace_back(producer, index); });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    ASSERT_EQ(group.wait(hangTimeout), DispatchTimeoutResult::success);

    ASSERT_EQ(ran.size(), std::size_t{producers * blocksPerProducer});
    std::vector<int> next(producers, 0);
    for (const auto& [producer, index] : ran) {
        EXPECT_EQ(index, next[producer]++) << "producer " << producer;
    }
}

TEST(SerialQueue, ThreadIsNamedAfterTheLabelCutTo15Bytes) {
    auto queue = DispatchQueue::makeSerial("Media Source Queue (Visual Tracks)");
    DispatchSemaphore done;
    std::string name;
    queue->async([&] {
        name = dispatch_test::currentThreadName();
        done.signal();
    });
    ASSERT_EQ(done.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(name, "Media Source Qu");

    EXPECT_EQ(detail::threadNameForLabel("short"), "short");
    // "Queue 1234567" + "é" would be 16 bytes: the whole character goes.
    EXPECT_EQ(detail::threadNameForLabel("Queue 12345678\xC3\xA9"), "Queue 12345678");
}

TEST(SerialQueue, SyncReturnsValuesAndReferencesAndRethrows) {
    auto queue = DispatchQueue::makeSerial("Sync Queue");
    EXPECT_EQ(queue->sync([] { return 42; }), 42);
    EXPECT_EQ(queue->sync([] { return std::make_unique<int>(7); }).operator*(), 7);

    int value = 1;
    int& reference = queue->sync([&value]() -> int& { return value; });
    EXPECT_EQ(&reference, &value);

    EXPECT_THROW(queue->sync([]() -> int { throw std::runtime_error("boom"); }),
                 std::runtime_error);
    // The queue is usable after a throwing sync: the hold was released.
    bool ran = false;
    queue->sync([&] { ran = true; });
    EXPECT_TRUE(ran);
}

TEST(SerialQueue, SyncRunsAfterEarlierBlocksAndExcludesTheQueue) {
    auto queue = DispatchQueue::makeSerial("Exclusive Queue");
    // Touched by async blocks and by syncs from several threads without a lock: any overlap is
    // a data race for the thread sanitizer and a lost update otherwise.
    int counter = 0;
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 4; ++thread) {
        threads.emplace_back([&] {
            for (int index = 0; index < 200; ++index) {
                queue->async([&] { ++counter; });
                const int seen = queue->sync([&] { return ++counter; });
                EXPECT_GE(seen, 2);  // at least this thread's async and this sync
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(queue->sync([&] { return counter; }), 4 * 200 * 2);
}

TEST(SerialQueue, IsCurrentInsideBlocksAndThroughNestedSyncs) {
    auto outer = DispatchQueue::makeSerial("Outer");
    auto inner = DispatchQueue::makeSerial("Inner");
    EXPECT_FALSE(outer->isCurrent());
    const auto [outerInside, innerInside, outerInInner] = outer->sync([&] {
        return inner->sync([&] {
            return std::tuple{outer->isCurrent(), inner->isCurrent(), outer->isCurrent()};
        });
    });
    EXPECT_TRUE(outerInside);
    EXPECT_TRUE(innerInside);
    EXPECT_TRUE(outerInInner);

    DispatchSemaphore done;
    bool currentInAsync = false;
    bool otherInAsync = true;
    outer->async([&] {
        currentInAsync = outer->isCurrent();
        otherInAsync = inner->isCurrent();
        done.signal();
    });
    ASSERT_EQ(done.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_TRUE(currentInAsync);
    EXPECT_FALSE(otherInAsync);
}

TEST(SerialQueue, LettingGoOfTheQueueFinishesQueuedWork) {
    auto queue = DispatchQueue::makeSerial("Short-lived");
    std::atomic<int> ran = 0;
    for (int index = 0; index < 100; ++index) {
        queue->async([&ran] {
            std::this_thread::sleep_for(std::chrono::microseconds(50));
            ++ran;
        });
    }
    queue.reset();  // joins the worker once the queue is empty
    EXPECT_EQ(ran.load(), 100);
}

TEST(SerialQueue, LastReferenceReleasedByItsOwnBlock) {
    DispatchSemaphore done;
    std::atomic<int> ran = 0;
    {
        auto queue = DispatchQueue::makeSerial("Self-releasing");
        queue->async([queue, &ran] { ++ran; });  // holds the queue until it has run
        queue->async([&ran, done] {
            ++ran;
            done.signal();
        });
    }
    ASSERT_EQ(done.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(ran.load(), 2);
}

TEST(SerialQueue, AsyncAfterFiresInDeadlineOrderAndNotBefore) {
    auto queue = DispatchQueue::makeSerial("Timers");
    std::mutex mutex;
    std::vector<std::string> order;
    DispatchGroup group;
    const auto start = dispatchNow();
    auto record = [&](std::string name, DispatchTime deadline) {
        group.enter();
        queue->asyncAfter(deadline, [&, name, deadline] {
            EXPECT_GE(dispatchNow(), deadline) << name;
            std::lock_guard lock(mutex);
            order.push_back(name);
            group.leave();
        });
    };
    // A deadline already gone runs at once, so it is given first: given last, a slow machine
    // (a sanitizer, a loaded CI runner) could pass the other deadlines before it is even queued.
    // The margins leave registering three timers ample time before the first falls due.
    record("past", start - std::chrono::milliseconds(5));
    record("late", start + std::chrono::milliseconds(400));
    record("early", start + std::chrono::milliseconds(200));
    record("early, second", start + std::chrono::milliseconds(200));
    ASSERT_EQ(group.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(order, (std::vector<std::string>{"past", "early", "early, second", "late"}));

    // The duration form, on the global queue.
    DispatchSemaphore fired;
    DispatchQueue::global().asyncAfter(std::chrono::milliseconds(1), [fired] { fired.signal(); });
    EXPECT_EQ(fired.wait(hangTimeout), DispatchTimeoutResult::success);
}
