#include <gtest/gtest.h>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchPredicate.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTestSupport.h"

using namespace platform;
using dispatch_test::hangTimeout;

namespace {

// The queues' threads make fork-style death tests unsafe; re-run the binary instead.
struct DispatchDeathTest : ::testing::Test {
    DispatchDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

}  // namespace

TEST_F(DispatchDeathTest, SyncOntoTheQueueItselfStops) {
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::makeSerial("Media Player Queue");
            queue->sync([&] { queue->sync([] {}); });
        },
        "Deadlock: sync onto the queue \"Media Player Queue\"");

    // From the queue's own thread, not a sync section.
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::makeSerial("Worker Queue");
            DispatchSemaphore never;
            queue->async([&] { queue->sync([] {}); });
            (void)never.wait(hangTimeout);
        },
        "Deadlock: sync onto the queue \"Worker Queue\"");
}

TEST_F(DispatchDeathTest, SyncBackThroughAChainOfSyncsStops) {
    EXPECT_DEATH(
        {
            auto first = DispatchQueue::makeSerial("First Queue");
            auto second = DispatchQueue::makeSerial("Second Queue");
            DispatchSemaphore never;
            first->async([&] { second->sync([&] { first->sync([] {}); }); });
            (void)never.wait(hangTimeout);
        },
        "Deadlock: sync onto the queue \"First Queue\"");
}

TEST_F(DispatchDeathTest, SyncOntoTheMainQueueWhileRunningItStops) {
    EXPECT_DEATH(
        {
            DispatchQueue::main().async([] { DispatchQueue::main().sync([] {}); });
            DispatchQueue::main().drain();
        },
        "Deadlock: sync onto the queue \"Main Queue\"");

    // The pumping thread runs a worker's sync; that block syncs back onto the worker's queue,
    // which the worker holds while it waits.
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::makeSerial("Held Queue");
            queue->async([&] { DispatchQueue::main().sync([&] { queue->sync([] {}); }); });
            (void)runMainQueueUntil([] { return false; }, hangTimeout);
        },
        "Deadlock: sync onto the queue \"Held Queue\"");
}

TEST_F(DispatchDeathTest, MisuseStopsWithAMessage) {
    EXPECT_DEATH(DispatchGroup().leave(), "leave\\(\\) called more often than enter\\(\\)");
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::makeSerial("Expected Queue");
            dispatchPrecondition(DispatchPredicate::onQueue(*queue));
        },
        "expected to run on the queue \"Expected Queue\"");
    EXPECT_DEATH(
        {
            auto queue = DispatchQueue::makeSerial("Throwing Queue");
            DispatchSemaphore never;
            queue->async([] { throw std::runtime_error("nobody catches this"); });
            (void)never.wait(hangTimeout);
        },
        "\"Throwing Queue\" threw an exception nobody catches: nobody catches this");
}

TEST(DispatchPrecondition, PassesWhereItHolds) {
    auto queue = DispatchQueue::makeSerial("Checked Queue");
    queue->sync([&] { dispatchPrecondition(DispatchPredicate::onQueue(*queue)); });
    dispatchPrecondition(DispatchPredicate::notOnQueue(*queue));
}
