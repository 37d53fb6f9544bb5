#include "platform/appkit/NSTimer.h"

#include <QTimer>
#include <cmath>

#include "platform/foundation/FatalError.h"

namespace platform {

// The Qt timer that stands for the run loop's schedule. It may be let go of while its own
// timeout is being delivered, so it is then deleted later rather than at once.
class NSTimer::Driver : public QTimer {
public:
    bool firing = false;
};

NSTimer::NSTimer(double seconds, bool repeats, Block block)
    : interval_(std::max(seconds, 0.0)),
      repeats_(repeats),
      block_(std::move(block)),
      driver_(std::make_unique<Driver>()) {
    driver_->setSingleShot(!repeats_);
    driver_->setTimerType(Qt::PreciseTimer);
    driver_->setInterval(static_cast<int>(std::lround(interval_ * 1000)));
    QObject::connect(driver_.get(), &QTimer::timeout, driver_.get(), [this] {
        // The block may drop the last reference to this timer; keep it until the end.
        const std::shared_ptr<NSTimer> self = scheduledSelf_;
        Driver* driver = driver_.get();
        driver->firing = true;
        fire();
        // When `self` is the last reference, the timer goes with it, inside this very timeout.
        if (self.use_count() > 1) {
            driver->firing = false;
        }
    });
}

NSTimer::~NSTimer() {
    if (driver_ && driver_->firing) {
        driver_->stop();
        driver_.release()->deleteLater();
    }
}

std::shared_ptr<NSTimer> NSTimer::timerWithTimeInterval(double seconds, bool repeats, Block block) {
    return std::shared_ptr<NSTimer>(new NSTimer(seconds, repeats, std::move(block)));
}

std::shared_ptr<NSTimer> NSTimer::scheduledTimerWithTimeInterval(double seconds, bool repeats,
                                                                 Block block) {
    auto timer = timerWithTimeInterval(seconds, repeats, std::move(block));
    timer->addToMainRunLoop();
    return timer;
}

void NSTimer::addToMainRunLoop() {
    precondition(!scheduledSelf_, "A timer can be added to the run loop only once.");
    if (!valid_) {
        return;
    }
    scheduledSelf_ = shared_from_this();
    driver_->start();
}

bool NSTimer::isScheduled() const {
    return driver_->isActive();
}

void NSTimer::fire() {
    if (!valid_) {
        return;
    }
    // The block may let go of the last reference to this timer, and invalidating it lets go of
    // the block.
    const std::shared_ptr<NSTimer> self = shared_from_this();
    const Block block = block_;
    block(*this);
    if (!repeats_) {
        invalidate();
    }
}

void NSTimer::invalidate() {
    valid_ = false;
    driver_->stop();
    block_ = nullptr;
    // Last: this may be the final reference to the timer.
    std::shared_ptr<NSTimer> run = std::move(scheduledSelf_);
}

}  // namespace platform
