#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <thread>
#include <vector>

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTestSupport.h"
#include "platform/dispatch/MainQueueEventLoopBinding.h"

using namespace platform;
using dispatch_test::hangTimeout;

namespace {

// Leaves the main queue empty for the next test even when an assertion failed midway.
struct MainQueueTest : ::testing::Test {
    ~MainQueueTest() override { DispatchQueue::main().drain(); }
};

}  // namespace

TEST_F(MainQueueTest, DrainRunsWhatWasQueuedSoFarOnTheCallingThread) {
    auto& main = DispatchQueue::main();
    std::vector<int> order;
    std::vector<bool> onMain;
    const auto thisThread = std::this_thread::get_id();
    for (int index = 0; index < 3; ++index) {
        main.async([&, index] {
            order.push_back(index);
            onMain.push_back(main.isCurrent() && std::this_thread::get_id() == thisThread);
            // Queued while draining: waits for the next drain.
            main.async([&order, index] { order.push_back(10 + index); });
        });
    }
    EXPECT_FALSE(main.isCurrent());
    main.drain();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(onMain, (std::vector<bool>{true, true, true}));
    main.drain();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 10, 11, 12}));
}

TEST_F(MainQueueTest, SyncFromAnotherThreadRunsOnThePumpingThread) {
    std::thread::id ranOn;
    std::atomic<int> result = 0;
    std::thread caller([&] {
        result = DispatchQueue::main().sync([&] {
            ranOn = std::this_thread::get_id();
            return 5;
        });
    });
    EXPECT_TRUE(runMainQueueUntil([&] { return result.load() == 5; }, hangTimeout));
    caller.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST_F(MainQueueTest, GroupNotifyOnEmptyGroupRunsLaterNotInline) {
    DispatchGroup group;
    bool notified = false;
    group.notify(DispatchQueue::main(), [&] { notified = true; });
    EXPECT_FALSE(notified);
    DispatchQueue::main().drain();
    EXPECT_TRUE(notified);
}

TEST_F(MainQueueTest, RunUntilGivesUpAfterTheTimeout) {
    EXPECT_FALSE(runMainQueueUntil([] { return false; }, std::chrono::milliseconds(20)));
}

TEST(MainQueueEventLoop, QtEventLoopRunsTheMainQueue) {
    int argc = 1;
    char name[] = "platform_dispatch_tests";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    // Queued before the binding: the binding must pick it up.
    std::vector<int> order;
    DispatchQueue::main().async([&] { order.push_back(0); });
    {
        auto binding = bindMainQueueToQtEventLoop();
        EXPECT_TRUE(DispatchQueue::main().isCurrent());  // the GUI thread is the main queue

        std::atomic<bool> fromWorkerOnMain = false;
        DispatchQueue::global().async([&] {
            // A sync onto the main queue from a worker is served by the event loop.
            DispatchQueue::main().sync(
                [&] { fromWorkerOnMain = DispatchQueue::main().isCurrent(); });
            DispatchQueue::main().async([&] {
                order.push_back(1);
                QCoreApplication::quit();
            });
        });
        QTimer::singleShot(std::chrono::duration_cast<std::chrono::milliseconds>(hangTimeout),
                           &application, [] { QCoreApplication::exit(1); });
        EXPECT_EQ(QCoreApplication::exec(), 0);
        EXPECT_TRUE(fromWorkerOnMain.load());
    }
    EXPECT_EQ(order, (std::vector<int>{0, 1}));
    EXPECT_FALSE(DispatchQueue::main().isCurrent());
}
