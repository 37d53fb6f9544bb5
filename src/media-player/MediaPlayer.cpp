#include "media-player/MediaPlayer.h"

#include <any>

#include <fmt/format.h>

#include "media-player/NowPlayingManager.h"
#include "media-player/session/WorkspaceNotifications.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

std::shared_ptr<QLSampleBufferRenderSynchronizer> makeSynchronizer(
    const platform::CMClockRef& clock) {
    return clock ? std::make_shared<QLSampleBufferRenderSynchronizer>(clock)
                 : std::make_shared<QLSampleBufferRenderSynchronizer>();
}

}  // namespace

void MediaPlayer::make(std::shared_ptr<MediaSource> mediaSource,
                       std::shared_ptr<VideoTrack> videoTrack,
                       std::shared_ptr<AudioTrack> audioTrack,
                       std::shared_ptr<SubtitlesTrack> primarySubtitlesTrack,
                       std::shared_ptr<SubtitlesTrack> secondarySubtitlesTrack,
                       std::optional<platform::CMTime> initialTime,
                       std::shared_ptr<platform::DispatchQueue> queue, Completion completion,
                       Environment environment) {
    platform::precondition(queue != nullptr, "MediaPlayer::make needs a completion queue.");
    platform::DispatchQueue::main().async([=, environment = std::move(environment)] {
        std::shared_ptr<MediaPlayer> player = create(mediaSource, environment);
        player->setSelectedVideoTrack(videoTrack);
        player->setSelectedAudioTrack(audioTrack);
        player->setSelectedPrimarySubtitlesTrack(primarySubtitlesTrack);
        player->setSelectedSecondarySubtitlesTrack(secondarySubtitlesTrack);

        // The player is handed over only once it holds routing ownership, so the caller's
        // completion keeps it alive until then.
        auto requestOwnership = [player, queue, completion] {
            player->holdsAudioRoutingOwnership_ = true;
            player->environment_.audioRoutingOwnershipManager->requestOwnership(
                queue, [player, completion] { completion(player); });
        };
        if (initialTime) {
            player->seek(*initialTime, queue, requestOwnership);
        } else {
            requestOwnership();
        }
    });
}

std::shared_ptr<MediaPlayer> MediaPlayer::create(std::shared_ptr<MediaSource> mediaSource,
                                                 Environment environment) {
    auto player =
        std::make_shared<MediaPlayer>(Passkey{}, std::move(mediaSource), std::move(environment));
    player->startObserving();
    NowPlayingManager::shared()->registerPlayer(player);
    return player;
}

MediaPlayer::MediaPlayer(Passkey, std::shared_ptr<MediaSource> mediaSource, Environment environment)
    : displayLayer_(environment.displayLayer ? environment.displayLayer
                                             : std::make_shared<QLSampleBufferDisplayLayer>()),
      audioRenderer_(environment.audioRenderer ? environment.audioRenderer
                                               : std::make_shared<QLAirPlayAudioRenderer>()),
      renderSynchronizer_(makeSynchronizer(environment.clock)),
      timeObserverManager_(renderSynchronizer_, mediaSource->startTime()),
      queue_(platform::DispatchQueue::makeSerial(queueLabel, platform::DispatchQoS::userInitiated)),
      environment_(std::move(environment)) {
    audioRenderer_->setAudioTimePitchAlgorithm(platform::AVAudioTimePitchAlgorithmSpectral);
    // The subtitles views are widgets, and the player's state is the interface's to read.
    platform::precondition(platform::DispatchQueue::main().isCurrent(),
                           "MediaPlayer must be created on the main thread.");
    if (!environment_.audioRoutingOwnershipManager) {
        environment_.audioRoutingOwnershipManager = &AudioRoutingOwnershipManager::shared();
    }
    if (!environment_.textStyleUpdateNotifier) {
        environment_.textStyleUpdateNotifier = SubtitleTextStyleUpdateNotifier::shared();
    }
    if (!environment_.workspaceNotificationCenter) {
        environment_.workspaceNotificationCenter = &workspaceNotificationCenter();
    }

    mediaSource_ = std::move(mediaSource);
    renderSynchronizer_->setRate(0, mediaSource_->startTime());
    renderSynchronizer_->addRenderer(displayLayer_);
    renderSynchronizer_->addRenderer(audioRenderer_);

    // The views register their observers in synchronizer time: frames carry the file's times.
    primarySubtitlesView_ = SubtitlesView::make(
        true, MediaPlayerTimeObserverManager(renderSynchronizer_, platform::kCMTimeZero));
    secondarySubtitlesView_ = SubtitlesView::make(
        false, MediaPlayerTimeObserverManager(renderSynchronizer_, platform::kCMTimeZero));

    visualDataProvider_ =
        VisualDataProvider::make(mediaSource_, displayLayer_, primarySubtitlesView_,
                                 secondarySubtitlesView_, environment_.decoderWrapper);
    audioDataProvider_ =
        AudioDataProvider::make(mediaSource_, audioRenderer_, environment_.decoderWrapper);
    primarySubtitlesDataProvider_ =
        ExternalSubtitlesDataProvider::make(mediaSource_, primarySubtitlesView_);
    secondarySubtitlesDataProvider_ =
        ExternalSubtitlesDataProvider::make(mediaSource_, secondarySubtitlesView_);

    // One recursive lock guards both subtitles positions, so that choosing a track in one can
    // read and clear the other while holding it.
    selectedSecondarySubtitlesTrack_.setLock(selectedPrimarySubtitlesTrack_.lock());

    audioRenderer_->setAllowedAudioSpatializationFormats(allowedAudioSpatializationFormats);
}

void MediaPlayer::startObserving() {
    const std::weak_ptr<MediaPlayer> weakSelf = weak_from_this();

    // A seek to where the picture stands restarts the software decoder from the last key frame.
    visualDataProvider_->setVideoDecoderRestartHandler([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->reseekToCurrentTimeAsync();
        }
    });

    const auto decoderDidFail = [weakSelf](std::shared_ptr<const platform::Error> error) {
        if (const auto self = weakSelf.lock()) {
            self->decoderDidFail(std::move(error));
        }
    };
    visualDataProvider_->setDecoderFailureHandler(decoderDidFail);
    audioDataProvider_->setDecoderFailureHandler(decoderDidFail);

    addEndTimeObserver();

    // The centres call the handlers on the posting thread; each holds the player weakly.
    auto handler = [weakSelf](void (MediaPlayer::*method)(const platform::Notification&)) {
        return [weakSelf, method](const platform::Notification& notification) {
            if (const auto self = weakSelf.lock()) {
                ((*self).*method)(notification);
            }
        };
    };
    auto& center = platform::NotificationCenter::defaultCenter();
    const platform::AVSampleBufferRenderSynchronizer* synchronizer = renderSynchronizer_.get();
    const platform::AVSampleBufferAudioRenderer* audioRenderer = audioRenderer_.get();
    notificationObservations_.push_back(
        center.addObserver(platform::AVSampleBufferRenderSynchronizerRateDidChangeNotification,
                           synchronizer, handler(&MediaPlayer::synchronizerRateDidChange)));
    notificationObservations_.push_back(center.addObserver(
        platform::AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification, audioRenderer,
        handler(&MediaPlayer::audioRendererWasFlushedAutomatically)));
    notificationObservations_.push_back(
        center.addObserver(audioSpatializationAllowedDidChangeNotification, nullptr,
                           handler(&MediaPlayer::audioSpatializationAllowedDidChange)));
    notificationObservations_.push_back(
        center.addObserver(MediaSource::durationDidChangeNotification, mediaSource_.get(),
                           handler(&MediaPlayer::mediaSourceDurationDidChange)));

    userSpecifiedTextStyleObserver_ =
        environment_.textStyleUpdateNotifier->addMediaPlayerObserver([weakSelf] {
            if (const auto self = weakSelf.lock()) {
                self->userSpecifiedTextStyleDidChange();
            }
        });

    auto& workspaceCenter = *environment_.workspaceNotificationCenter;
    notificationObservations_.push_back(workspaceCenter.addObserver(
        NSWorkspaceWillSleepNotification, nullptr, handler(&MediaPlayer::systemWillSleep)));
    notificationObservations_.push_back(
        workspaceCenter.addObserver(NSWorkspaceSessionDidResignActiveNotification, nullptr,
                                    handler(&MediaPlayer::userSessionDidResignActive)));
}

MediaPlayer::~MediaPlayer() {
    NowPlayingManager::shared()->unregisterPlayer(this);
    // No handler may start once the fields begin to go.
    notificationObservations_.clear();
    userSpecifiedTextStyleObserver_.reset();
    if (endTimeObserver_) {
        timeObserverManager_.removeTimeObserver(endTimeObserver_);
    }
    if (holdsAudioRoutingOwnership_) {
        environment_.audioRoutingOwnershipManager->releaseOwnership();
    }
}

void MediaPlayer::addEndTimeObserver() {
    if (endTimeObserver_) {
        timeObserverManager_.removeTimeObserver(endTimeObserver_);
        endTimeObserver_.reset();
    }
    if (!isDurationFinal()) {
        return;
    }
    endTimeObserver_ = timeObserverManager_.addBoundaryTimeObserver(
        {duration()}, queue_, [weakSelf = weak_from_this()] {
            // The crossing waits its turn on the queue. A seek that began meanwhile has moved
            // the clock, and its own end step looks at where it landed; stopping at the end
            // here would throw its target away.
            const auto self = weakSelf.lock();
            if (self && !self->isSeeking() &&
                platform::CMTimeCompare(self->currentTime(), self->duration()) >= 0) {
                self->didPlayToEnd();
            }
        });
}

void MediaPlayer::mediaSourceDurationDidChange(const platform::Notification&) {
    queue_->async([weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->updateForDurationChange();
        }
    });
}

void MediaPlayer::updateForDurationChange() {
    addEndTimeObserver();
    // The end was read only after the clock had passed it (the pictures ran out before their
    // reader found the end): no boundary lies ahead to stop at.
    if (isDurationFinal() && !isSeeking() && renderSynchronizer_->rate() > 0 &&
        platform::CMTimeCompare(currentTime(), duration()) >= 0) {
        didPlayToEnd();
    }
    postNotification(durationDidChangeNotification);
}

std::string MediaPlayer::description() const {
    return fmt::format("<MediaPlayer: {}>", fmt::ptr(this));
}

void MediaPlayer::postNotification(const char* name) {
    platform::DispatchQueue::global(platform::DispatchQoS::userInteractive)
        .async(postedNotifications_, [weakSelf = weak_from_this(), name] {
            if (const auto self = weakSelf.lock()) {
                platform::NotificationCenter::defaultCenter().post(name, self.get());
            }
        });
}

void MediaPlayer::setPictureInPictureController(
    std::shared_ptr<PictureInPictureController> controller) {
    pictureInPictureController_.setWrappedValue(std::move(controller));
}

void MediaPlayer::setPlaybackFailureHandler(PlaybackFailureHandler handler) {
    std::shared_ptr<const platform::Error> error;
    {
        const std::lock_guard lock(playbackFailureLock_);
        playbackFailureHandler_ = handler;
        error = playbackError_;
    }
    if (error && handler) {
        platform::DispatchQueue::main().async([handler, error] { handler(error); });
    }
}

std::shared_ptr<const platform::Error> MediaPlayer::playbackError() const {
    const std::lock_guard lock(playbackFailureLock_);
    return playbackError_;
}

void MediaPlayer::decoderDidFail(std::shared_ptr<const platform::Error> error) {
    PlaybackFailureHandler handler;
    {
        const std::lock_guard lock(playbackFailureLock_);
        // The other provider's decoder may give up too; the first failure is the one told.
        if (playbackError_) {
            return;
        }
        playbackError_ = error;
        handler = playbackFailureHandler_;
    }
    // What the other provider still gives would play on with nothing beside it.
    queue_->async([weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->pause();
        }
    });
    if (handler) {
        platform::DispatchQueue::main().async([handler, error] { handler(error); });
    }
}

// --- Observed notifications ---

void MediaPlayer::reseekToCurrentTimeAsync() {
    queue_->async([weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->reseekToCurrentTime();
        }
    });
}

void MediaPlayer::synchronizerRateDidChange(const platform::Notification&) {
    // Read here, on the thread that changed it: by the time the check runs on the queue someone
    // else may have changed it again, and the player would take its own change for theirs.
    const float newRate = renderSynchronizer_->rate();
    platform::logDebug("{}: Synchronizer rate did change to {:g}.", description(), newRate);
    queue_->async([weakSelf = weak_from_this(), newRate] {
        if (const auto self = weakSelf.lock()) {
            self->checkSynchronizerRateChange(newRate);
        }
    });
}

void MediaPlayer::audioRendererWasFlushedAutomatically(const platform::Notification& notification) {
    std::string flushTime = "[nil]";
    const auto entry =
        notification.userInfo.find(platform::AVSampleBufferAudioRendererFlushTimeKey);
    if (entry != notification.userInfo.end()) {
        if (const auto* time = std::any_cast<platform::CMTime>(&entry->second);
            time && CMTIME_IS_NUMERIC(*time)) {
            flushTime = fmt::format("{}", platform::CMTimeGetSeconds(*time));
        }
    }
    platform::logInfo("{}: Audio renderer was flushed automatically from time {} sec.",
                      description(), flushTime);
    reseekToCurrentTimeAsync();
}

void MediaPlayer::audioSpatializationAllowedDidChange(const platform::Notification&) {
    reseekToCurrentTimeAsync();
}

void MediaPlayer::userSpecifiedTextStyleDidChange() {
    reseekToCurrentTimeAsync();
}

void MediaPlayer::systemWillSleep(const platform::Notification&) {
    queue_->sync([this] { pause(); });
}

void MediaPlayer::userSessionDidResignActive(const platform::Notification&) {
    queue_->sync([this] { pause(); });
}

}  // namespace quillon
