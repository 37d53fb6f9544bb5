#pragma once

#include <functional>
#include <memory>

namespace platform {

// A block timer on the main run loop (the Qt event loop of the main thread). The block should
// hold its own owner weakly: the run loop keeps a scheduled timer, and so its block, alive until
// the timer is invalidated or, without repeats, has fired. Main thread only.
class NSTimer : public std::enable_shared_from_this<NSTimer> {
public:
    using Block = std::function<void(NSTimer&)>;

    // A timer that is not scheduled yet: addToMainRunLoop() starts it.
    static std::shared_ptr<NSTimer> timerWithTimeInterval(double seconds, bool repeats,
                                                          Block block);
    // The same, started at once.
    static std::shared_ptr<NSTimer> scheduledTimerWithTimeInterval(double seconds, bool repeats,
                                                                   Block block);
    ~NSTimer();
    NSTimer(const NSTimer&) = delete;
    NSTimer& operator=(const NSTimer&) = delete;

    // Schedules the timer in the main run loop's default mode.
    void addToMainRunLoop();
    double timeInterval() const { return interval_; }
    bool repeats() const { return repeats_; }
    bool isValid() const { return valid_; }
    bool isScheduled() const;
    // Runs the block now, as if the time had come; a timer without repeats is then invalid.
    void fire();
    // Stops the timer for good and lets go of its block.
    void invalidate();

private:
    class Driver;
    NSTimer(double seconds, bool repeats, Block block);

    double interval_;
    bool repeats_;
    bool valid_ = true;
    Block block_;
    std::unique_ptr<Driver> driver_;
    // The run loop's reference while scheduled.
    std::shared_ptr<NSTimer> scheduledSelf_;
};

}  // namespace platform
