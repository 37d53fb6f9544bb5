#include "media-player/MediaPlayer.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

constexpr const char* kStartedPlayingReason = "Started playing media.";
constexpr const char* kStoppedPlayingReason = "Stopped playing media.";
constexpr const char* kIdleSleepReason = "Quillon Player started playing media.";

}  // namespace

platform::CMTime MediaPlayer::currentTime() const {
    return platform::CMTimeSubtract(renderSynchronizer_->currentTime(), mediaSource_->startTime());
}

bool MediaPlayer::isSeeking() const {
    return isSeekingInteractively_ || isPerformingSeekOperation_ || isPerformingPostSeekOperation_;
}

bool MediaPlayer::isPlaying() const {
    return rate() > 0;
}

float MediaPlayer::rate() const {
    return isSeeking() ? desiredRateAfterSeeking_ : renderSynchronizer_->rate();
}

void MediaPlayer::setDesiredPlaybackRate(float rate) {
    desiredPlaybackRate_ = rate;
    if (isPlaying()) {
        play();
    }
}

void MediaPlayer::setSynchronizerRate(float rate, std::optional<platform::CMTime> time) {
    platform::logDebug("{}: Setting synchronizer rate to {:g}.", description(), rate);
    // The synchronizer announces changes only, so a rate it already has would leave an
    // expectation behind that a later change by someone else would be mistaken for.
    if (rate != renderSynchronizer_->rate()) {
        recentlyChangedSynchronizerRates_.push_back(rate);
    }
    if (time) {
        renderSynchronizer_->setRate(rate, *time);
    } else {
        renderSynchronizer_->setRate(rate);
    }
}

void MediaPlayer::play() {
    platform::precondition(queue_->isCurrent(), "play runs on the Media Player Queue.");
    // A duration that is only a guess says nothing of where the media ends.
    const bool isFinal = isDurationFinal();
    if ((isFinal && platform::CMTimeCompare(duration(), platform::kCMTimeZero) <= 0) ||
        playbackError()) {
        updateForRateChange();
    } else if (isSeeking()) {
        desiredRateAfterSeeking_ = desiredPlaybackRate_;
        updateForRateChange();
    } else if (!isFinal || platform::CMTimeCompare(currentTime(), duration()) < 0) {
        setSynchronizerRate(desiredPlaybackRate_);
        updateForRateChange();
    } else {
        // At the end, playing starts again from the beginning; the inner play finds the seek
        // running and reports the rate.
        seekOnQueue(platform::kCMTimeZero);
        play();
    }
}

void MediaPlayer::pause() {
    platform::precondition(queue_->isCurrent(), "pause runs on the Media Player Queue.");
    if (isSeeking()) {
        desiredRateAfterSeeking_ = 0;
    } else {
        setSynchronizerRate(0);
    }
    updateForRateChange();
}

void MediaPlayer::togglePlayPause() {
    if (isPlaying()) {
        pause();
    } else {
        play();
    }
}

void MediaPlayer::updateForRateChange() {
    if (rate() > 0) {
        automaticTerminationManager_.disable(kStartedPlayingReason);
        idleSleepManager_.preventIdleSleep(kIdleSleepReason);
    } else {
        automaticTerminationManager_.enable(kStoppedPlayingReason);
        idleSleepManager_.allowIdleSleep();
    }
    platform::DispatchQueue::main().async([weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            if (const auto controller = self->pictureInPictureController_.wrappedValue()) {
                controller->invalidatePlaybackState();
            }
        }
    });
    postNotification(rateDidChangeNotification);
}

void MediaPlayer::didPlayToEnd() {
    setSynchronizerRate(0, platform::CMTimeAdd(mediaSource_->startTime(), duration()));
    pause();
}

void MediaPlayer::checkSynchronizerRateChange(float newRate) {
    // The synchronizer announces its changes in the order they were made, and the player's own
    // were noted in that order too: the oldest one still expected is the only one this can be.
    // Matching only the newest would take an earlier change of the player's own, checked late,
    // for someone else's, and put its stale rate back over a later pause.
    if (!recentlyChangedSynchronizerRates_.empty() &&
        recentlyChangedSynchronizerRates_.front() == newRate) {
        recentlyChangedSynchronizerRates_.pop_front();
        return;
    }
    handleExternalSynchronizerRateChange(newRate);
}

void MediaPlayer::handleExternalSynchronizerRateChange(float newRate) {
    if (isSeeking()) {
        // The clock stays stopped until the seek ends; the outside rate applies afterwards.
        desiredRateAfterSeeking_ = newRate;
        setSynchronizerRate(0);
    }
    updateForRateChange();
}

void MediaPlayer::pictureInPictureControllerSetPlaying(bool playing) {
    queue_->sync([&] {
        if (playing) {
            play();
        } else {
            pause();
        }
    });
}

bool MediaPlayer::pictureInPictureControllerIsPlaybackPaused() {
    return queue_->sync([&] { return !isPlaying(); });
}

}  // namespace quillon
