#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "media-player/media-types/Atomic.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// Time observers on a render synchronizer in a time line shifted by a start time: callers give
// and receive times on their own line (media time for the player, whose start time is the
// source's; synchronizer time for the subtitle views, whose start time is zero), and the manager
// adds the start time when it registers and subtracts it when it reports.
//
// A value: copies share the synchronizer.
class MediaPlayerTimeObserverManager {
public:
    // One registration; its synchronizer token can be removed exactly once, under the
    // observer's own lock.
    class Observer {
    public:
        explicit Observer(platform::AVTimeObserverToken token)
            : _underlyingObserver(std::move(token)) {}

        // The synchronizer's token; empty once removed.
        Atomic<platform::AVTimeObserverToken> _underlyingObserver;
    };

    using ObserverRef = std::shared_ptr<Observer>;
    using PeriodicBlock = std::function<void(platform::CMTime)>;
    using BoundaryBlock = std::function<void()>;

    MediaPlayerTimeObserverManager(
        std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> renderSynchronizer,
        platform::CMTime startTime);

    const std::shared_ptr<platform::AVSampleBufferRenderSynchronizer>& renderSynchronizer() const {
        return renderSynchronizer_;
    }
    platform::CMTime startTime() const { return startTime_; }

    // The block gets the synchronizer's reports less the start time, on the queue (the main
    // queue when none is given).
    ObserverRef addPeriodicTimeObserver(platform::CMTime interval,
                                        std::shared_ptr<platform::DispatchQueue> queue,
                                        PeriodicBlock block) const;

    // The block runs at each of the times (plus the start time) that playback crosses.
    ObserverRef addBoundaryTimeObserver(const std::vector<platform::CMTime>& times,
                                        std::shared_ptr<platform::DispatchQueue> queue,
                                        BoundaryBlock block) const;

    // A one-shot boundary: the block runs exactly once, asynchronously on the queue (the main
    // queue when none is given): when playback crosses the time, or soon after registration
    // when the synchronizer already stands at or past it. The registration is removed before the
    // block runs.
    ObserverRef addSingleBoundaryTimeObserver(platform::CMTime time,
                                              std::shared_ptr<platform::DispatchQueue> queue,
                                              BoundaryBlock block) const;

    // Removes the registration the observer holds, if it still holds one; removing twice, or
    // after a one-shot observer ran, does nothing.
    void removeTimeObserver(const ObserverRef& observer) const;

    // The same, for an observer kept as an untyped value.
    void removeTimeObserver(const std::shared_ptr<void>& observer) const {
        removeTimeObserver(std::static_pointer_cast<Observer>(observer));
    }

private:
    static void remove(platform::AVSampleBufferRenderSynchronizer& synchronizer,
                       Observer& observer);

    std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> renderSynchronizer_;
    platform::CMTime startTime_;
};

}  // namespace quillon
