#include "media-player/timing/MediaPlayerTimeObserverManager.h"

#include <atomic>

#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

using platform::CMTime;

MediaPlayerTimeObserverManager::MediaPlayerTimeObserverManager(
    std::shared_ptr<platform::AVSampleBufferRenderSynchronizer> renderSynchronizer,
    CMTime startTime)
    : renderSynchronizer_(std::move(renderSynchronizer)), startTime_(startTime) {
    platform::precondition(renderSynchronizer_ != nullptr,
                           "A time observer manager needs a render synchronizer.");
}

MediaPlayerTimeObserverManager::ObserverRef MediaPlayerTimeObserverManager::addPeriodicTimeObserver(
    CMTime interval, std::shared_ptr<platform::DispatchQueue> queue, PeriodicBlock block) const {
    auto token = renderSynchronizer_->addPeriodicTimeObserver(
        interval, std::move(queue),
        [startTime = startTime_, block = std::move(block)](CMTime time) {
            block(platform::CMTimeSubtract(time, startTime));
        });
    return std::make_shared<Observer>(std::move(token));
}

MediaPlayerTimeObserverManager::ObserverRef MediaPlayerTimeObserverManager::addBoundaryTimeObserver(
    const std::vector<CMTime>& times, std::shared_ptr<platform::DispatchQueue> queue,
    BoundaryBlock block) const {
    std::vector<CMTime> absoluteTimes;
    absoluteTimes.reserve(times.size());
    for (const CMTime& time : times) {
        absoluteTimes.push_back(platform::CMTimeAdd(startTime_, time));
    }
    auto token = renderSynchronizer_->addBoundaryTimeObserver(std::move(absoluteTimes),
                                                              std::move(queue), std::move(block));
    return std::make_shared<Observer>(std::move(token));
}

MediaPlayerTimeObserverManager::ObserverRef
MediaPlayerTimeObserverManager::addSingleBoundaryTimeObserver(
    CMTime time, std::shared_ptr<platform::DispatchQueue> queue, BoundaryBlock block) const {
    const CMTime absolute = platform::CMTimeAdd(startTime_, time);
    // Deliveries wait for the registration below to finish, so they always find the observer.
    // The gate stays open once opened: each delivery that passes opens it again for the next,
    // since a boundary may be crossed again (after a backward seek) before the first delivery
    // has removed the registration, and a second delivery that waited for good would block its
    // queue for ever.
    platform::DispatchSemaphore registrationFinished;
    auto fired = std::make_shared<std::atomic<bool>>(false);
    auto observerBox = std::make_shared<Atomic<ObserverRef>>(nullptr);
    auto sharedBlock = std::make_shared<BoundaryBlock>(std::move(block));
    // The synchronizer keeps the registration's block; holding the synchronizer weakly there
    // keeps the two from owning each other.
    std::weak_ptr<platform::AVSampleBufferRenderSynchronizer> weakSynchronizer =
        renderSynchronizer_;
    auto token = renderSynchronizer_->addBoundaryTimeObserver(
        {absolute}, queue,
        [registrationFinished, fired, observerBox, sharedBlock, weakSynchronizer] {
            registrationFinished.wait();
            registrationFinished.signal();
            if (fired->exchange(true)) {
                return;
            }
            if (const auto synchronizer = weakSynchronizer.lock()) {
                if (const auto observer = observerBox->wrappedValue()) {
                    remove(*synchronizer, *observer);
                }
            }
            (*sharedBlock)();
        });
    auto observer = std::make_shared<Observer>(std::move(token));
    observerBox->setWrappedValue(observer);
    if (platform::CMTimeCompare(absolute, renderSynchronizer_->currentTime()) <= 0) {
        // Already reached: the synchronizer will not report it.
        if (!fired->exchange(true)) {
            remove(*renderSynchronizer_, *observer);
            auto& target = queue ? *queue : platform::DispatchQueue::main();
            target.async([sharedBlock] { (*sharedBlock)(); });
        }
    }
    registrationFinished.signal();
    return observer;
}

void MediaPlayerTimeObserverManager::removeTimeObserver(const ObserverRef& observer) const {
    if (observer) {
        remove(*renderSynchronizer_, *observer);
    }
}

void MediaPlayerTimeObserverManager::remove(
    platform::AVSampleBufferRenderSynchronizer& synchronizer, Observer& observer) {
    observer._underlyingObserver.modify([&](platform::AVTimeObserverToken& token) {
        if (token) {
            synchronizer.removeTimeObserver(token);
            token.reset();
        }
    });
}

}  // namespace quillon
