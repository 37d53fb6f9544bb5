#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchQueue.h"
#include "player-interface/common/WindowRestorationObserver.h"

namespace quillon {
namespace {

using platform::DispatchQueue;
using platform::NotificationCenter;

// Runs `work` as main-thread code: on the main queue, pumped by the test thread.
void onMain(std::function<void()> work) {
    DispatchQueue::main().async(std::move(work));
    DispatchQueue::main().drain();
}

class WindowRestorationObserverTest : public ::testing::Test {
protected:
    void finishRestoration() {
        onMain([&] {
            center.post(platform::NSApplicationDidFinishRestoringWindowsNotification, &application);
        });
    }

    NotificationCenter center;
    int application = 0;
    WindowRestorationObserver observer{center, &application};
    std::vector<std::string> ran;
};

TEST_F(WindowRestorationObserverTest, QueuedWorkRunsInOrderOnceWhenRestorationFinishes) {
    onMain([&] {
        observer.performAfterRestoration([&] { ran.push_back("first"); });
        observer.performAfterRestoration([&] { ran.push_back("second"); });
    });
    EXPECT_TRUE(ran.empty());
    EXPECT_FALSE(observer.isRestorationComplete());

    // The notification from another sender is not the application's.
    int stranger = 0;
    onMain([&] {
        center.post(platform::NSApplicationDidFinishRestoringWindowsNotification, &stranger);
    });
    EXPECT_TRUE(ran.empty());

    finishRestoration();
    EXPECT_TRUE(observer.isRestorationComplete());
    EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));

    finishRestoration();  // a second notification runs nothing again
    EXPECT_EQ(ran.size(), 2u);
}

TEST_F(WindowRestorationObserverTest, WorkAfterRestorationRunsBeforeTheCallReturns) {
    finishRestoration();
    onMain([&] {
        observer.performAfterRestoration([&] { ran.push_back("now"); });
        ran.push_back("returned");
    });
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "returned"}));
}

TEST_F(WindowRestorationObserverTest, WorkQueuedByQueuedWorkRunsAtOnceAndOnlyOnce) {
    onMain([&] {
        observer.performAfterRestoration([&] {
            ran.push_back("outer");
            observer.performAfterRestoration([&] { ran.push_back("inner"); });
            ran.push_back("outer done");
        });
    });
    finishRestoration();
    finishRestoration();
    EXPECT_EQ(ran, (std::vector<std::string>{"outer", "inner", "outer done"}));
}

TEST_F(WindowRestorationObserverTest, WorkForAReceiverThatIsGoneIsDropped) {
    struct Receiver {
        std::vector<std::string>& log;
        std::string name;
    };
    auto kept = std::make_shared<Receiver>(Receiver{ran, "kept"});
    auto gone = std::make_shared<Receiver>(Receiver{ran, "gone"});
    onMain([&] {
        observer.performAfterRestoration(gone, [](Receiver& r) { r.log.push_back(r.name); });
        observer.performAfterRestoration(kept, [](Receiver& r) { r.log.push_back(r.name); });
    });
    const std::weak_ptr<Receiver> watch = gone;
    gone.reset();
    EXPECT_TRUE(watch.expired());  // the queue does not keep the receiver alive
    finishRestoration();
    EXPECT_EQ(ran, std::vector<std::string>{"kept"});
}

TEST(WindowRestorationObserverDeathTest, UseOffTheMainThreadStopsTheProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    NotificationCenter center;
    WindowRestorationObserver observer(center, nullptr);
    EXPECT_DEATH(observer.performAfterRestoration([] {}), "only be used on the main thread");
}

}  // namespace
}  // namespace quillon
