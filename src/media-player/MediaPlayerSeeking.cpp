#include <cmath>

#include "media-player/MediaPlayer.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

// Frames per second assumed when the video track does not say.
constexpr AVRational kFallbackFrameRate{23976, 1000};

// Repositions one provider at `time` through its restart. The group is left in every case, also
// when the provider has gone, so that the seek always finishes.
template <typename Provider, typename Reposition>
void restartForSeek(const std::shared_ptr<Provider>& provider, const platform::DispatchGroup& group,
                    const std::shared_ptr<platform::DispatchQueue>& completionQueue,
                    Reposition reposition) {
    group.enter();
    provider->restart(true, [weakProvider = std::weak_ptr<Provider>(provider), group,
                             completionQueue, reposition] {
        auto leave = [group] { group.leave(); };
        if (const auto strongProvider = weakProvider.lock()) {
            reposition(*strongProvider, completionQueue, leave);
        } else {
            leave();
        }
    });
}

}  // namespace

void MediaPlayer::seek(platform::CMTime time,
                       std::shared_ptr<platform::DispatchQueue> completionQueue,
                       std::function<void()> handler) {
    std::optional<SeekOperation::CompletionHandlerInfo> completion;
    if (completionQueue) {
        completion =
            SeekOperation::CompletionHandlerInfo{std::move(completionQueue), std::move(handler)};
    }
    queue_->sync([&] { seekOnQueue(time, std::move(completion)); });
}

void MediaPlayer::seekOnQueue(platform::CMTime time,
                              std::optional<SeekOperation::CompletionHandlerInfo> completion) {
    platform::precondition(queue_->isCurrent(), "seekOnQueue runs on the Media Player Queue.");
    platform::precondition(CMTIME_IS_VALID(time), "A seek needs a valid time.");
    // A source with a negative duration would make the range empty: zero wins. A duration that
    // is only a guess may lie before the real end.
    const platform::CMTime end = isDurationFinal() ? duration() : platform::kCMTimePositiveInfinity;
    const platform::CMTime clamped =
        platform::CMTimeMaximum(platform::kCMTimeZero, platform::CMTimeMinimum(time, end));
    if (!isSeeking()) {
        // Only the first request of a burst remembers the rate to come back to.
        desiredRateAfterSeeking_ = renderSynchronizer_->rate();
    }
    // The clock jumps at once, so the picture's time stands at the target while providers work.
    setSynchronizerRate(0, platform::CMTimeAdd(mediaSource_->startTime(), clamped));
    enqueueSeekOperation(clamped, std::move(completion));
}

void MediaPlayer::enqueueSeekOperation(
    platform::CMTime time, std::optional<SeekOperation::CompletionHandlerInfo> completion) {
    SeekOperation operation{time, {}};
    if (nextSeekOperation_) {
        operation.completionHandlers = std::move(nextSeekOperation_->completionHandlers);
    }
    if (completion) {
        operation.completionHandlers.push_back(std::move(*completion));
    }
    nextSeekOperation_ = std::move(operation);
    // Scrubbing alone does not hold seeks back.
    if (!isPerformingSeekOperation_ && !isPerformingPostSeekOperation_) {
        performNextSeekOperation();
    }
}

void MediaPlayer::performNextSeekOperation() {
    if (!nextSeekOperation_) {
        isPerformingSeekOperation_ = false;
        if (!isSeekingInteractively_ && !isPerformingPostSeekOperation_) {
            isPerformingPostSeekOperation_ = true;
            performPostSeekOperation();
        }
        return;
    }
    SeekOperation operation = std::move(*nextSeekOperation_);
    nextSeekOperation_.reset();
    isPerformingSeekOperation_ = true;
    const platform::CMTime target =
        platform::CMTimeAdd(mediaSource_->startTime(), operation.targetTime);

    // Every provider restarts, selected track or not: each also clears what it showed.
    const platform::DispatchGroup group;
    auto provide = [target](auto& provider, const auto& completionQueue, auto leave) {
        provider.provideMediaData(target, false, completionQueue, std::move(leave));
    };
    auto seekAndProvide = [target](auto& provider, const auto& completionQueue, auto leave) {
        provider.seekAndProvide(target, false, completionQueue, std::move(leave));
    };
    restartForSeek(visualDataProvider_, group, queue_, provide);
    restartForSeek(audioDataProvider_, group, queue_, provide);
    restartForSeek(primarySubtitlesDataProvider_, group, queue_, seekAndProvide);
    restartForSeek(secondarySubtitlesDataProvider_, group, queue_, seekAndProvide);

    group.notify(*queue_, [weakSelf = weak_from_this(),
                           handlers = std::move(operation.completionHandlers)]() mutable {
        if (const auto self = weakSelf.lock()) {
            self->didFinishSeekOperation(std::move(handlers));
        }
    });
}

void MediaPlayer::didFinishSeekOperation(
    std::vector<SeekOperation::CompletionHandlerInfo> handlers) {
    for (auto& info : handlers) {
        if (info.handler) {
            info.queue->async(std::move(info.handler));
        }
    }
    postNotification(didSeekNotification);
    performNextSeekOperation();
}

void MediaPlayer::performPostSeekOperation() {
    isPerformingPostSeekOperation_ = false;
    if (isSeekingInteractively_ || isPerformingSeekOperation_) {
        performNextSeekOperation();
        return;
    }
    if (isDurationFinal() && platform::CMTimeCompare(currentTime(), duration()) >= 0) {
        didPlayToEnd();
    } else {
        // isPlaying and rate reported this rate all through the seek: nothing to announce.
        setSynchronizerRate(desiredRateAfterSeeking_);
    }
}

void MediaPlayer::reseekToCurrentTime() {
    seekOnQueue(currentTime());
}

void MediaPlayer::beginSeekingInteractively() {
    platform::precondition(queue_->isCurrent(),
                           "beginSeekingInteractively runs on the Media Player Queue.");
    if (!isSeeking()) {
        desiredRateAfterSeeking_ = renderSynchronizer_->rate();
    }
    setSynchronizerRate(0);
    isSeekingInteractively_ = true;
}

void MediaPlayer::endSeekingInteractively() {
    platform::precondition(queue_->isCurrent(),
                           "endSeekingInteractively runs on the Media Player Queue.");
    isSeekingInteractively_ = false;
    if (!isPerformingSeekOperation_ && !isPerformingPostSeekOperation_) {
        isPerformingPostSeekOperation_ = true;
        performPostSeekOperation();
    }
}

void MediaPlayer::skip(double amount, SkipUnit unit) {
    platform::precondition(queue_->isCurrent(), "skip runs on the Media Player Queue.");
    if (unit == SkipUnit::seconds) {
        seekOnQueue(platform::CMTimeMakeWithSeconds(
            platform::CMTimeGetSeconds(currentTime()) + amount, 1000));
        return;
    }
    AVRational frameRate = kFallbackFrameRate;
    if (const auto track = selectedVideoTrack()) {
        if (const auto trackRate = track->frameRate();
            trackRate && trackRate->num > 0 && trackRate->den > 0) {
            frameRate = *trackRate;
        }
    }
    const auto frames = static_cast<platform::CMTimeValue>(std::llround(amount));
    seekOnQueue(platform::CMTimeAdd(currentTime(),
                                    platform::CMTimeMake(frames * frameRate.den, frameRate.num)));
}

}  // namespace quillon
