#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <memory>

#include "platform/appkit/NSTimer.h"
#include "support/WidgetApplicationEnvironment.h"

namespace platform {
namespace {

// Runs the event loop until `done` or a generous deadline that only catches hangs.
template <typename Predicate>
bool runUntil(Predicate done) {
    QDeadlineTimer deadline(5000);
    while (!done() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

TEST(NSTimer, FiresOnceOnTheRunLoopAndGoesAway) {
    int fired = 0;
    std::weak_ptr<NSTimer> weak;
    {
        auto timer =
            NSTimer::scheduledTimerWithTimeInterval(0.01, false, [&](NSTimer&) { ++fired; });
        weak = timer;
        EXPECT_TRUE(timer->isScheduled());
    }
    // The run loop keeps a scheduled timer alive, and lets go once it has fired.
    ASSERT_FALSE(weak.expired());
    ASSERT_TRUE(runUntil([&] { return weak.expired(); }));
    EXPECT_EQ(fired, 1);
    QCoreApplication::processEvents();
}

TEST(NSTimer, FireRunsTheBlockNowAndInvalidateStopsIt) {
    int fired = 0;
    auto timer = NSTimer::timerWithTimeInterval(2.0, false, [&](NSTimer&) { ++fired; });
    EXPECT_DOUBLE_EQ(timer->timeInterval(), 2.0);
    EXPECT_FALSE(timer->isScheduled());
    timer->addToMainRunLoop();
    timer->fire();
    EXPECT_EQ(fired, 1);
    EXPECT_FALSE(timer->isValid());
    EXPECT_FALSE(timer->isScheduled());
    timer->fire();
    EXPECT_EQ(fired, 1);

    auto stopped = NSTimer::scheduledTimerWithTimeInterval(0, false, [&](NSTimer&) { ++fired; });
    stopped->invalidate();
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, 1);

    // Its owner may let go of the timer from inside the block.
    std::shared_ptr<NSTimer> owned =
        NSTimer::scheduledTimerWithTimeInterval(2.0, false, [&](NSTimer&) { owned.reset(); });
    owned->fire();
    EXPECT_EQ(owned, nullptr);
}

TEST(NSTimer, ABlockMayInvalidateItsOwnRepeatingTimer) {
    int fired = 0;
    std::weak_ptr<NSTimer> weak;
    {
        auto timer = NSTimer::scheduledTimerWithTimeInterval(0.001, true, [&](NSTimer& self) {
            if (++fired == 3) {
                self.invalidate();
            }
        });
        weak = timer;
    }
    ASSERT_TRUE(runUntil([&] { return weak.expired(); }));
    EXPECT_EQ(fired, 3);
    QCoreApplication::processEvents();
}

}  // namespace
}  // namespace platform
