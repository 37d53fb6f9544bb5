#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTestSupport.h"

using namespace platform;
using dispatch_test::hangTimeout;

TEST(DispatchGroup, NotifyRunsOnceAfterTheLastLeave) {
    auto queue = DispatchQueue::makeSerial("Notify");
    DispatchGroup group;
    std::atomic<int> finished = 0;
    std::atomic<int> notifications = 0;
    std::atomic<int> finishedWhenNotified = -1;
    DispatchSemaphore notified;
    for (int index = 0; index < 20; ++index) {
        DispatchQueue::global().async(group, [&] { ++finished; });
    }
    group.notify(*queue, [&, notified] {
        finishedWhenNotified = finished.load();
        ++notifications;
        notified.signal();
    });
    ASSERT_EQ(notified.wait(hangTimeout), DispatchTimeoutResult::success);
    EXPECT_EQ(finishedWhenNotified.load(), 20);

    // A later round of work does not fire the spent notification again.
    group.enter();
    group.leave();
    EXPECT_EQ(queue->sync([&] { return notifications.load(); }), 1);
}

TEST(DispatchGroup, WaitTimesOutWhileEnteredAndSucceedsOnceLeft) {
    DispatchGroup group;
    EXPECT_EQ(group.wait(std::chrono::milliseconds(0)), DispatchTimeoutResult::success);
    group.enter();
    EXPECT_EQ(group.wait(std::chrono::milliseconds(10)), DispatchTimeoutResult::timedOut);
    std::thread leaver([group] { group.leave(); });  // a copy is the same group
    EXPECT_EQ(group.wait(hangTimeout), DispatchTimeoutResult::success);
    leaver.join();
    group.wait();  // already empty: returns at once
}

TEST(DispatchSemaphore, CountsSignalsAndTimesOut) {
    DispatchSemaphore semaphore(2);
    EXPECT_EQ(semaphore.wait(std::chrono::milliseconds(0)), DispatchTimeoutResult::success);
    EXPECT_EQ(semaphore.wait(std::chrono::milliseconds(0)), DispatchTimeoutResult::success);
    EXPECT_EQ(semaphore.wait(std::chrono::milliseconds(10)), DispatchTimeoutResult::timedOut);

    std::thread signaller([semaphore] {
        semaphore.signal();
        semaphore.signal();
    });
    semaphore.wait();
    EXPECT_EQ(semaphore.wait(hangTimeout), DispatchTimeoutResult::success);
    signaller.join();
    EXPECT_EQ(semaphore.wait(std::chrono::milliseconds(0)), DispatchTimeoutResult::timedOut);
}
