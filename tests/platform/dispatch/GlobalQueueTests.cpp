#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTestSupport.h"

using namespace platform;
using dispatch_test::hangTimeout;

TEST(GlobalQueue, BlocksRunConcurrently) {
    // Every block waits until all of them have started: only possible if they run side by side,
    // more of them than this machine may have cores.
    constexpr int blocks = 12;
    std::mutex mutex;
    std::condition_variable allStarted;
    int started = 0;
    std::atomic<int> sawAll = 0;
    DispatchGroup group;
    for (int index = 0; index < blocks; ++index) {
        DispatchQueue::global(DispatchQoS::userInitiated).async(group, [&] {
            std::unique_lock lock(mutex);
            ++started;
            allStarted.notify_all();
            if (allStarted.wait_for(lock, hangTimeout, [&] { return started == blocks; })) {
                ++sawAll;
            }
        });
    }
    ASSERT_EQ(group.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(sawAll.load(), blocks);
}

TEST(GlobalQueue, BlockWaitingOnGroupOfOtherGlobalBlocksDoesNotDeadlock) {
    // Outer blocks each wait for inner blocks queued behind them on the same pool: the pool must
    // grow past the busy workers rather than leave the inner blocks queued.
    constexpr int outerBlocks = 16;
    constexpr int innerBlocks = 4;
    std::atomic<int> innerRan = 0;
    std::atomic<int> outerSucceeded = 0;
    DispatchGroup outer;
    auto& queue = DispatchQueue::global();
    for (int index = 0; index < outerBlocks; ++index) {
        queue.async(outer, [&] {
            DispatchGroup inner;
            for (int innerIndex = 0; innerIndex < innerBlocks; ++innerIndex) {
                queue.async(inner, [&] { ++innerRan; });
            }
            if (inner.wait(hangTimeout) == DispatchTimeoutResult::success) {
                ++outerSucceeded;
            }
        });
    }
    ASSERT_EQ(outer.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(outerSucceeded.load(), outerBlocks);
    EXPECT_EQ(innerRan.load(), outerBlocks * innerBlocks);
}

TEST(GlobalQueue, ThreadsAreNamedAfterTheQueueAndSyncRunsInline) {
    std::mutex mutex;
    std::set<std::string> names;
    DispatchGroup group;
    for (int index = 0; index < 8; ++index) {
        DispatchQueue::global(DispatchQoS::background).async(group, [&] {
            std::lock_guard lock(mutex);
            names.insert(dispatch_test::currentThreadName());
        });
    }
    ASSERT_EQ(group.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(names, std::set<std::string>{"Global Backgrou"});

    auto& queue = DispatchQueue::global(DispatchQoS::utility);
    EXPECT_FALSE(queue.isCurrent());
    EXPECT_TRUE(queue.sync([&] { return queue.isCurrent(); }));
    EXPECT_EQ(queue.sync([] { return dispatch_test::currentThreadName(); }),
              dispatch_test::currentThreadName());
}
