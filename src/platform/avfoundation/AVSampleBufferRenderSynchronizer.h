#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/avfoundation/AVQueuedSampleBufferRendering.h"
#include "platform/clock/CMClock.h"
#include "platform/clock/CMTimebase.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"

namespace platform {

// Posted on the default notification centre, with the synchronizer (as a pointer to
// AVSampleBufferRenderSynchronizer) as object, once for every change of its rate, on the thread
// that changed it, after the change has taken effect.
inline const std::string AVSampleBufferRenderSynchronizerRateDidChangeNotification =
    "AVSampleBufferRenderSynchronizerRateDidChangeNotification";

// What a time observer registration answers; hand it back to removeTimeObserver.
class AVTimeObserver;
using AVTimeObserverToken = std::shared_ptr<AVTimeObserver>;

// The clock of a set of renderers: a timebase on a host clock whose rate and time it sets, and
// the time observers on that timebase.
//
// Time and rate. setRate(rate, time) changes both at once: a reader of currentTime on another
// thread sees the old time line or the new one, never a mix. setRate(rate) keeps the time
// continuous.
//
// Time observers, on the platform's terms:
// - a boundary observer's block runs when playback crosses one of its times: moving forward,
//   when the time goes from before a boundary to at or after it; moving backward, the mirror.
//   Jumps (setRate with a time) and changes of rate never fire a boundary, and neither does
//   standing on one.
// - a periodic observer's block runs with the current time once when it is added, at every
//   change of rate or time, and while playing whenever the time crosses a multiple of the
//   interval.
// Blocks run asynchronously on the queue given at registration, or on the main queue when none
// is given, in the order the times were crossed. Once removeTimeObserver has returned, no block
// of that observer starts any more.
class AVSampleBufferRenderSynchronizer {
public:
    using PeriodicBlock = std::function<void(CMTime)>;
    using BoundaryBlock = std::function<void()>;
    using RemovalCompletionHandler = std::function<void(bool didRemoveRenderer)>;

    // Stopped at time zero on the host time clock.
    AVSampleBufferRenderSynchronizer();
    explicit AVSampleBufferRenderSynchronizer(CMClockRef clock);
    virtual ~AVSampleBufferRenderSynchronizer();
    AVSampleBufferRenderSynchronizer(const AVSampleBufferRenderSynchronizer&) = delete;
    AVSampleBufferRenderSynchronizer& operator=(const AVSampleBufferRenderSynchronizer&) = delete;

    const CMClockRef& clock() const { return clock_; }
    CMReadOnlyTimebaseRef timebase() const { return timebase_; }

    float rate() const;
    CMTime currentTime() const;

    virtual void setRate(float rate);
    virtual void setRate(float rate, CMTime time);
    // The time line reads `time` at host time `hostTime` of the clock and moves at `rate`.
    virtual void setRate(float rate, CMTime time, CMTime hostTime);

    // The renderers in the order they were added. A renderer belongs to one synchronizer at a
    // time: adding one that belongs to another stops the process; adding it again does nothing.
    std::vector<AVQueuedSampleBufferRenderingRef> renderers() const;
    void addRenderer(const AVQueuedSampleBufferRenderingRef& renderer);
    // Removes the renderer once the time line reaches `time` (at once for an invalid time or a
    // time already reached), then calls the handler, when given, on a global queue: true when
    // it was removed, false when it did not belong to this synchronizer or the synchronizer went
    // away first.
    void removeRenderer(const AVQueuedSampleBufferRenderingRef& renderer, CMTime time,
                        RemovalCompletionHandler completionHandler);

    virtual AVTimeObserverToken addPeriodicTimeObserver(CMTime interval,
                                                        std::shared_ptr<DispatchQueue> queue,
                                                        PeriodicBlock block);
    virtual AVTimeObserverToken addBoundaryTimeObserver(std::vector<CMTime> times,
                                                        std::shared_ptr<DispatchQueue> queue,
                                                        BoundaryBlock block);
    // Removing an observer twice, or one of another synchronizer, does nothing.
    virtual void removeTimeObserver(const AVTimeObserverToken& observer);

private:
    struct State;

    void changeTiming(float rate, const CMTime* time, const CMTime* hostTime);

    const CMClockRef clock_;
    const CMTimebaseRef timebase_;
    std::shared_ptr<State> state_;
};

using AVSampleBufferRenderSynchronizerRef = std::shared_ptr<AVSampleBufferRenderSynchronizer>;

}  // namespace platform
