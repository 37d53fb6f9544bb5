#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <utility>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

class AVTimeObserver {
public:
    enum class Kind { periodic, boundary };

    AVTimeObserver(const void* owner, Kind kind, std::shared_ptr<DispatchQueue> queue)
        : owner(owner), kind(kind), queue(std::move(queue)) {}

    const void* const owner;
    const Kind kind;
    const std::shared_ptr<DispatchQueue> queue;
    CMTime interval = kCMTimeInvalid;
    std::vector<CMTime> times;

    void setBlocks(AVSampleBufferRenderSynchronizer::PeriodicBlock periodic,
                   AVSampleBufferRenderSynchronizer::BoundaryBlock boundary) {
        std::lock_guard lock(mutex_);
        periodicBlock_ =
            std::make_shared<AVSampleBufferRenderSynchronizer::PeriodicBlock>(std::move(periodic));
        boundaryBlock_ =
            std::make_shared<AVSampleBufferRenderSynchronizer::BoundaryBlock>(std::move(boundary));
    }

    // Runs the block unless the observer was removed by now.
    void run(CMTime reportedTime) {
        std::shared_ptr<AVSampleBufferRenderSynchronizer::PeriodicBlock> periodic;
        std::shared_ptr<AVSampleBufferRenderSynchronizer::BoundaryBlock> boundary;
        {
            std::lock_guard lock(mutex_);
            periodic = periodicBlock_;
            boundary = boundaryBlock_;
        }
        if (kind == Kind::periodic && periodic && *periodic) {
            (*periodic)(reportedTime);
        } else if (kind == Kind::boundary && boundary && *boundary) {
            (*boundary)();
        }
    }

    // Lets go of the blocks, which may hold what holds the observer.
    void remove() {
        std::shared_ptr<AVSampleBufferRenderSynchronizer::PeriodicBlock> periodic;
        std::shared_ptr<AVSampleBufferRenderSynchronizer::BoundaryBlock> boundary;
        std::lock_guard lock(mutex_);
        periodic = std::move(periodicBlock_);
        boundary = std::move(boundaryBlock_);
    }

private:
    std::mutex mutex_;
    std::shared_ptr<AVSampleBufferRenderSynchronizer::PeriodicBlock> periodicBlock_;
    std::shared_ptr<AVSampleBufferRenderSynchronizer::BoundaryBlock> boundaryBlock_;
};

namespace {

// One block to run for one observer: a boundary crossed or a periodic report.
struct Delivery {
    CMTime crossedTime;
    std::shared_ptr<AVTimeObserver> observer;
    CMTime reportedTime;
};

void deliver(const Delivery& delivery) {
    delivery.observer->queue->async(
        [observer = delivery.observer, reported = delivery.reportedTime] {
            observer->run(reported);
        });
}

// k × interval, exactly, or invalid when it does not fit.
CMTime multipleOf(CMTime interval, std::int64_t k) {
    CMTimeValue value = 0;
    if (__builtin_mul_overflow(interval.value, k, &value)) {
        return kCMTimeInvalid;
    }
    return CMTimeMake(value, interval.timescale);
}

// The first multiple of the interval after `time` (direction +1) or before it (-1).
CMTime nextMultiple(CMTime interval, CMTime time, int direction) {
    const double ratio = CMTimeGetSeconds(time) / CMTimeGetSeconds(interval);
    if (!std::isfinite(ratio) || std::fabs(ratio) > 9e15) {
        return kCMTimeInvalid;
    }
    auto k = static_cast<std::int64_t>(std::floor(ratio));
    // The floating-point guess may be one off; settle it with exact comparisons.
    if (direction > 0) {
        while (k > INT64_MIN + 1 && CMTimeCompare(multipleOf(interval, k), time) > 0) {
            --k;
        }
        while (CMTimeCompare(multipleOf(interval, k), time) <= 0) {
            ++k;
        }
    } else {
        ++k;
        while (CMTimeCompare(multipleOf(interval, k), time) < 0) {
            ++k;
        }
        while (CMTimeCompare(multipleOf(interval, k), time) >= 0) {
            --k;
        }
    }
    return multipleOf(interval, k);
}

// Whether `time` lies on the path from `from` to `to` as playback crosses it: (from, to] moving
// forward, [to, from) moving backward.
bool isCrossed(CMTime time, CMTime from, CMTime to, int direction) {
    if (direction > 0) {
        return CMTimeCompare(from, time) < 0 && CMTimeCompare(time, to) <= 0;
    }
    return CMTimeCompare(to, time) <= 0 && CMTimeCompare(time, from) < 0;
}

}  // namespace

struct AVSampleBufferRenderSynchronizer::State {
    struct PendingRemoval {
        AVQueuedSampleBufferRenderingRef renderer;
        CMTime time;
        RemovalCompletionHandler completionHandler;
    };

    explicit State(CMTimebaseRef timebase) : timebase(std::move(timebase)) {}

    const CMTimebaseRef timebase;

    // Serialises changes of the time line, so that renderers and notification observers see
    // them in the order they were made. Recursive: an observer may change the rate in turn.
    std::recursive_mutex changeMutex;

    std::mutex mutex;
    std::unique_ptr<CMClockAlarm> alarm;
    std::optional<std::int64_t> armedDeadline;
    std::vector<std::shared_ptr<AVTimeObserver>> observers;
    std::vector<AVQueuedSampleBufferRenderingRef> renderers;
    std::vector<PendingRemoval> pendingRemovals;
    // Where the time line stood when crossings were last looked for.
    CMTime lastTime = kCMTimeZero;

    // Under `mutex`: every crossing between lastTime and the time at `host` by `anchor`, in the
    // order playback met them; then lastTime moves there.
    void collectCrossings(const CMTimebaseAnchor& anchor, CMTime host,
                          std::vector<Delivery>& deliveries,
                          std::vector<PendingRemoval>& removalsDue) {
        const CMTime now = anchor.timeAtHostTime(host);
        const int direction = directionOf(anchor);
        const CMTime from = lastTime;
        lastTime = now;
        if (direction == 0 || CMTimeCompare(from, now) == 0) {
            return;
        }
        if ((direction > 0) != (CMTimeCompare(from, now) < 0)) {
            return;
        }
        std::vector<Delivery> crossed;
        for (const auto& observer : observers) {
            if (observer->kind == AVTimeObserver::Kind::boundary) {
                for (const CMTime& time : observer->times) {
                    if (isCrossed(time, from, now, direction)) {
                        crossed.push_back({time, observer, now});
                    }
                }
            } else {
                const CMTime multiple = nextMultiple(observer->interval, from, direction);
                if (CMTIME_IS_VALID(multiple) && isCrossed(multiple, from, now, direction)) {
                    crossed.push_back({multiple, observer, now});
                }
            }
        }
        std::stable_sort(crossed.begin(), crossed.end(), [&](const Delivery& a, const Delivery& b) {
            return CMTimeCompare(a.crossedTime, b.crossedTime) * direction < 0;
        });
        deliveries.insert(deliveries.end(), crossed.begin(), crossed.end());
        takeDueRemovals(now, direction, removalsDue);
    }

    // Under `mutex`: the removals whose time the time line has reached.
    void takeDueRemovals(CMTime now, int direction, std::vector<PendingRemoval>& removalsDue) {
        for (auto it = pendingRemovals.begin(); it != pendingRemovals.end();) {
            const int order = CMTimeCompare(it->time, now);
            if (order == 0 || (direction >= 0 && order < 0) || (direction < 0 && order > 0)) {
                removalsDue.push_back(std::move(*it));
                it = pendingRemovals.erase(it);
            } else {
                ++it;
            }
        }
    }

    // Under `mutex`: arms the alarm for the next time playback will cross something.
    void armAlarm(const CMTimebaseAnchor& anchor, CMTime host) {
        const int direction = directionOf(anchor);
        if (direction == 0 || !alarm) {
            return;
        }
        const CMTime now = anchor.timeAtHostTime(host);
        std::optional<CMTime> next;
        auto consider = [&](CMTime time) {
            if (!CMTIME_IS_NUMERIC(time) || !isAhead(time, now, direction)) {
                return;
            }
            if (!next || CMTimeCompare(time, *next) * direction < 0) {
                next = time;
            }
        };
        for (const auto& observer : observers) {
            if (observer->kind == AVTimeObserver::Kind::boundary) {
                for (const CMTime& time : observer->times) {
                    consider(time);
                }
            } else {
                consider(nextMultiple(observer->interval, now, direction));
            }
        }
        for (const auto& removal : pendingRemovals) {
            consider(removal.time);
        }
        if (!next) {
            return;
        }
        const std::int64_t hostNow = CMClockConvertHostTimeToNanoseconds(host);
        // Rounding may put the deadline at or before now; the crossing then shows a nanosecond
        // later.
        const std::int64_t deadline = std::max(
            CMClockConvertHostTimeToNanoseconds(anchor.hostTimeForTime(*next)), hostNow + 1);
        if (armedDeadline == deadline) {
            return;
        }
        armedDeadline = deadline;
        alarm->schedule(CMClockMakeHostTime(deadline));
    }

    static bool isAhead(CMTime time, CMTime now, int direction) {
        return CMTimeCompare(time, now) * direction > 0;
    }

    static int directionOf(const CMTimebaseAnchor& anchor) {
        return anchor.rate > 0 ? 1 : (anchor.rate < 0 ? -1 : 0);
    }

    // Under `mutex`: reports what playback crossed up to now (before anything new is
    // registered, so that a registration never sees crossings from before it was made).
    void catchUp(CMTimebaseAnchor& anchor, CMTime& host, std::vector<PendingRemoval>& removalsDue) {
        timebase->timeAndAnchor(&anchor, &host);
        std::vector<Delivery> deliveries;
        collectCrossings(anchor, host, deliveries, removalsDue);
        for (const auto& delivery : deliveries) {
            deliver(delivery);
        }
    }

    // The alarm came due: report what playback crossed and arm for the next.
    void alarmFired() {
        std::vector<PendingRemoval> removalsDue;
        {
            std::lock_guard lock(mutex);
            armedDeadline.reset();
            CMTimebaseAnchor anchor;
            CMTime host;
            catchUp(anchor, host, removalsDue);
            armAlarm(anchor, host);
        }
        finishRemovals(removalsDue);
    }

    void finishRemovals(std::vector<PendingRemoval>& removalsDue);
    const AVSampleBufferRenderSynchronizer* owner = nullptr;
};

void AVSampleBufferRenderSynchronizer::State::finishRemovals(
    std::vector<PendingRemoval>& removalsDue) {
    for (auto& removal : removalsDue) {
        bool removed = false;
        {
            std::lock_guard lock(mutex);
            const auto it = std::find(renderers.begin(), renderers.end(), removal.renderer);
            if (it != renderers.end()) {
                renderers.erase(it);
                removed = true;
            }
        }
        if (removed) {
            removal.renderer->detach(owner);
        }
        if (removal.completionHandler) {
            DispatchQueue::global().async(
                [handler = std::move(removal.completionHandler), removed] { handler(removed); });
        }
    }
}

AVSampleBufferRenderSynchronizer::AVSampleBufferRenderSynchronizer()
    : AVSampleBufferRenderSynchronizer(CMClockGetHostTimeClock()) {}

AVSampleBufferRenderSynchronizer::AVSampleBufferRenderSynchronizer(CMClockRef clock)
    : clock_(std::move(clock)),
      timebase_(std::make_shared<CMTimebase>(clock_)),
      state_(std::make_shared<State>(timebase_)) {
    state_->owner = this;
    timebase_->setRateAndAnchorTime(0, kCMTimeZero, clock_->time());
    state_->alarm = clock_->makeAlarm([weakState = std::weak_ptr<State>(state_)] {
        if (const auto state = weakState.lock()) {
            state->alarmFired();
        }
    });
}

AVSampleBufferRenderSynchronizer::~AVSampleBufferRenderSynchronizer() {
    // First the alarm, which waits for a firing in progress; nothing fires afterwards.
    std::unique_ptr<CMClockAlarm> alarm;
    std::vector<AVQueuedSampleBufferRenderingRef> renderers;
    std::vector<State::PendingRemoval> removals;
    std::vector<std::shared_ptr<AVTimeObserver>> observers;
    {
        std::lock_guard lock(state_->mutex);
        alarm = std::move(state_->alarm);
    }
    alarm.reset();
    {
        std::lock_guard lock(state_->mutex);
        renderers = std::move(state_->renderers);
        removals = std::move(state_->pendingRemovals);
        observers = std::move(state_->observers);
    }
    for (const auto& observer : observers) {
        observer->remove();
    }
    for (const auto& renderer : renderers) {
        renderer->detach(this);
    }
    for (auto& removal : removals) {
        if (removal.completionHandler) {
            DispatchQueue::global().async(
                [handler = std::move(removal.completionHandler)] { handler(false); });
        }
    }
}

float AVSampleBufferRenderSynchronizer::rate() const {
    return static_cast<float>(timebase_->rate());
}

CMTime AVSampleBufferRenderSynchronizer::currentTime() const {
    return timebase_->time();
}

void AVSampleBufferRenderSynchronizer::setRate(float rate) {
    changeTiming(rate, nullptr, nullptr);
}

void AVSampleBufferRenderSynchronizer::setRate(float rate, CMTime time) {
    changeTiming(rate, &time, nullptr);
}

void AVSampleBufferRenderSynchronizer::setRate(float rate, CMTime time, CMTime hostTime) {
    changeTiming(rate, &time, &hostTime);
}

void AVSampleBufferRenderSynchronizer::changeTiming(float rate, const CMTime* time,
                                                    const CMTime* hostTime) {
    precondition(std::isfinite(rate), "The rate of a render synchronizer must be finite.");
    if (time != nullptr) {
        precondition(CMTIME_IS_NUMERIC(*time), "A render synchronizer's time must be numeric.");
    }
    std::lock_guard changeLock(state_->changeMutex);
    std::vector<Delivery> deliveries;
    std::vector<State::PendingRemoval> removalsDue;
    std::vector<AVQueuedSampleBufferRenderingRef> renderers;
    CMTimebaseAnchor newAnchor;
    bool rateChanged = false;
    {
        std::lock_guard lock(state_->mutex);
        CMTimebaseAnchor oldAnchor;
        CMTime host;
        const CMTime oldTime = timebase_->timeAndAnchor(&oldAnchor, &host);
        // What playback crossed up to this moment still counts; the change itself crosses
        // nothing.
        state_->collectCrossings(oldAnchor, host, deliveries, removalsDue);
        const CMTime newTime = time != nullptr ? *time : oldTime;
        const CMTime newHost = hostTime != nullptr ? *hostTime : host;
        rateChanged = static_cast<double>(rate) != oldAnchor.rate;
        newAnchor = timebase_->setRateAndAnchorTime(rate, newTime, newHost);
        state_->lastTime = newAnchor.timeAtHostTime(host);
        const bool timeChanged = CMTimeCompare(state_->lastTime, oldTime) != 0;
        if (rateChanged || timeChanged) {
            for (const auto& observer : state_->observers) {
                if (observer->kind == AVTimeObserver::Kind::periodic) {
                    deliveries.push_back({state_->lastTime, observer, state_->lastTime});
                }
            }
        }
        state_->takeDueRemovals(state_->lastTime, State::directionOf(newAnchor), removalsDue);
        for (const auto& delivery : deliveries) {
            deliver(delivery);
        }
        state_->armedDeadline.reset();
        state_->armAlarm(newAnchor, host);
        renderers = state_->renderers;
    }
    state_->finishRemovals(removalsDue);
    for (const auto& renderer : renderers) {
        renderer->timebaseDidChange(newAnchor);
    }
    if (rateChanged) {
        NotificationCenter::defaultCenter().post(
            AVSampleBufferRenderSynchronizerRateDidChangeNotification,
            static_cast<const void*>(this));
    }
}

std::vector<AVQueuedSampleBufferRenderingRef> AVSampleBufferRenderSynchronizer::renderers() const {
    std::lock_guard lock(state_->mutex);
    return state_->renderers;
}

void AVSampleBufferRenderSynchronizer::addRenderer(
    const AVQueuedSampleBufferRenderingRef& renderer) {
    precondition(renderer != nullptr, "A render synchronizer cannot add a null renderer.");
    if (renderer->owner() == this) {
        return;
    }
    precondition(renderer->attach(this, timebase_),
                 "A renderer cannot be added to a second render synchronizer.");
    {
        std::lock_guard lock(state_->mutex);
        state_->renderers.push_back(renderer);
    }
    renderer->timebaseDidChange(timebase_->anchor());
}

void AVSampleBufferRenderSynchronizer::removeRenderer(
    const AVQueuedSampleBufferRenderingRef& renderer, CMTime time,
    RemovalCompletionHandler completionHandler) {
    std::vector<State::PendingRemoval> removalsDue;
    {
        std::lock_guard lock(state_->mutex);
        const bool belongs = std::find(state_->renderers.begin(), state_->renderers.end(),
                                       renderer) != state_->renderers.end();
        State::PendingRemoval removal{renderer, time, std::move(completionHandler)};
        if (!belongs || !CMTIME_IS_NUMERIC(time)) {
            removalsDue.push_back(std::move(removal));
        } else {
            CMTimebaseAnchor anchor;
            CMTime host;
            const CMTime now = timebase_->timeAndAnchor(&anchor, &host);
            state_->pendingRemovals.push_back(std::move(removal));
            state_->takeDueRemovals(now, State::directionOf(anchor), removalsDue);
            state_->armedDeadline.reset();
            state_->armAlarm(anchor, host);
        }
    }
    state_->finishRemovals(removalsDue);
}

AVTimeObserverToken AVSampleBufferRenderSynchronizer::addPeriodicTimeObserver(
    CMTime interval, std::shared_ptr<DispatchQueue> queue, PeriodicBlock block) {
    precondition(CMTIME_IS_NUMERIC(interval) && CMTimeCompare(interval, kCMTimeZero) > 0,
                 "A periodic time observer needs a positive interval.");
    precondition(static_cast<bool>(block), "A periodic time observer needs a block.");
    auto observer = std::make_shared<AVTimeObserver>(
        state_.get(), AVTimeObserver::Kind::periodic,
        queue ? std::move(queue) : DispatchQueue::main().shared_from_this());
    observer->interval = interval;
    observer->setBlocks(std::move(block), nullptr);
    std::vector<State::PendingRemoval> removalsDue;
    {
        std::lock_guard lock(state_->mutex);
        CMTimebaseAnchor anchor;
        CMTime host;
        state_->catchUp(anchor, host, removalsDue);
        state_->observers.push_back(observer);
        deliver({state_->lastTime, observer, state_->lastTime});
        state_->armedDeadline.reset();
        state_->armAlarm(anchor, host);
    }
    state_->finishRemovals(removalsDue);
    return observer;
}

AVTimeObserverToken AVSampleBufferRenderSynchronizer::addBoundaryTimeObserver(
    std::vector<CMTime> times, std::shared_ptr<DispatchQueue> queue, BoundaryBlock block) {
    precondition(static_cast<bool>(block), "A boundary time observer needs a block.");
    auto observer = std::make_shared<AVTimeObserver>(
        state_.get(), AVTimeObserver::Kind::boundary,
        queue ? std::move(queue) : DispatchQueue::main().shared_from_this());
    observer->times = std::move(times);
    observer->setBlocks(nullptr, std::move(block));
    std::vector<State::PendingRemoval> removalsDue;
    {
        std::lock_guard lock(state_->mutex);
        CMTimebaseAnchor anchor;
        CMTime host;
        state_->catchUp(anchor, host, removalsDue);
        state_->observers.push_back(observer);
        state_->armedDeadline.reset();
        state_->armAlarm(anchor, host);
    }
    state_->finishRemovals(removalsDue);
    return observer;
}

void AVSampleBufferRenderSynchronizer::removeTimeObserver(const AVTimeObserverToken& observer) {
    if (!observer || observer->owner != state_.get()) {
        return;
    }
    observer->remove();
    std::lock_guard lock(state_->mutex);
    std::erase(state_->observers, observer);
}

}  // namespace platform
