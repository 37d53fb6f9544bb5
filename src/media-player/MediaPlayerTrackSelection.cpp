#include <mutex>

#include "media-player/MediaPlayer.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

// Runs `work` on the provider's queue after cancelling what runs there; the provider is held
// weakly, so work that arrives after it has gone does nothing.
template <typename Provider, typename Work>
void restartProvider(const std::shared_ptr<Provider>& provider, Work work) {
    provider->restart(true,
                      [weakProvider = std::weak_ptr<Provider>(provider), work = std::move(work)] {
                          if (const auto strongProvider = weakProvider.lock()) {
                              work(*strongProvider);
                          }
                      });
}

std::shared_ptr<ExternalSubtitlesTrack> asExternal(const std::shared_ptr<SubtitlesTrack>& track) {
    return std::dynamic_pointer_cast<ExternalSubtitlesTrack>(track);
}

}  // namespace

std::shared_ptr<VideoTrack> MediaPlayer::selectedVideoTrack() const {
    return selectedVideoTrack_.wrappedValue();
}
std::shared_ptr<AudioTrack> MediaPlayer::selectedAudioTrack() const {
    return selectedAudioTrack_.wrappedValue();
}
std::shared_ptr<SubtitlesTrack> MediaPlayer::selectedPrimarySubtitlesTrack() const {
    return selectedPrimarySubtitlesTrack_.wrappedValue();
}
std::shared_ptr<SubtitlesTrack> MediaPlayer::selectedSecondarySubtitlesTrack() const {
    return selectedSecondarySubtitlesTrack_.wrappedValue();
}

template <typename Track>
void MediaPlayer::setSelectedTrack(Selection<Track>& box, const Hook<Track>& willSet,
                                   const std::shared_ptr<Track>& newValue,
                                   const Hook<Track>& didSet, const char* notificationName) {
    // The re-seek below waits for the queue.
    platform::precondition(!queue_->isCurrent(),
                           "A track selection must not change on the Media Player Queue.");
    std::shared_ptr<Track> oldValue;
    {
        std::lock_guard lock(*box.lock());
        const bool unchanged = box.modify([&](std::shared_ptr<Track>& stored) {
            if (stored == newValue) {
                return true;
            }
            oldValue = stored;
            return false;
        });
        if (unchanged) {
            return;
        }
        if (willSet) {
            willSet(oldValue);
        }
        box.modify([&](std::shared_ptr<Track>& stored) { stored = newValue; });
        if (didSet) {
            didSet(newValue);
        }
    }
    if (newValue) {
        queue_->sync([this] { reseekToCurrentTime(); });
    }
    postNotification(notificationName);
}

void MediaPlayer::setSelectedVideoTrack(std::shared_ptr<VideoTrack> track) {
    const Hook<VideoTrack> didSet = [this](const std::shared_ptr<VideoTrack>& newValue) {
        restartProvider(visualDataProvider_, [newValue](VisualDataProvider& provider) {
            provider.selectVideoTrack(newValue);
        });
        if (newValue) {
            primarySubtitlesView_->updateVideoDimensions(newValue->dimensions());
            secondarySubtitlesView_->updateVideoDimensions(newValue->dimensions());
        }
        audioRenderer_->setAllowedAudioSpatializationFormats(allowedAudioSpatializationFormats);
    };
    setSelectedTrack<VideoTrack>(selectedVideoTrack_, {}, track, didSet,
                                 selectedVideoTrackDidChangeNotification);
}

void MediaPlayer::setSelectedAudioTrack(std::shared_ptr<AudioTrack> track) {
    const Hook<AudioTrack> didSet = [this](const std::shared_ptr<AudioTrack>& newValue) {
        restartProvider(audioDataProvider_, [newValue](AudioDataProvider& provider) {
            provider.selectAudioTrack(newValue);
        });
    };
    setSelectedTrack<AudioTrack>(selectedAudioTrack_, {}, track, didSet,
                                 selectedAudioTrackDidChangeNotification);
}

void MediaPlayer::setSelectedPrimarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track) {
    setSelectedSubtitlesTrack(true, std::move(track));
}

void MediaPlayer::setSelectedSecondarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track) {
    setSelectedSubtitlesTrack(false, std::move(track));
}

void MediaPlayer::setSelectedSubtitlesTrack(bool primary, std::shared_ptr<SubtitlesTrack> track) {
    const Hook<SubtitlesTrack> willSet = [this, primary](const auto& oldValue) {
        subtitlesWillSet(primary, oldValue);
    };
    const Hook<SubtitlesTrack> didSet = [this, primary](const auto& newValue) {
        subtitlesDidSet(primary, newValue);
    };
    setSelectedTrack<SubtitlesTrack>(
        primary ? selectedPrimarySubtitlesTrack_ : selectedSecondarySubtitlesTrack_, willSet, track,
        didSet,
        primary ? selectedPrimarySubtitlesTrackDidChangeNotification
                : selectedSecondarySubtitlesTrackDidChangeNotification);
}

void MediaPlayer::subtitlesWillSet(bool primary, const std::shared_ptr<SubtitlesTrack>& oldValue) {
    if (asExternal(oldValue)) {
        restartProvider(primary ? primarySubtitlesDataProvider_ : secondarySubtitlesDataProvider_,
                        [](ExternalSubtitlesDataProvider& provider) {
                            provider.selectSubtitlesTrack(nullptr);
                        });
    } else {
        restartProvider(visualDataProvider_, [primary](VisualDataProvider& provider) {
            if (primary) {
                provider.selectPrimarySubtitlesTrack(nullptr);
            } else {
                provider.selectSecondarySubtitlesTrack(nullptr);
            }
        });
    }
}

void MediaPlayer::subtitlesDidSet(bool primary, const std::shared_ptr<SubtitlesTrack>& newValue) {
    // The provider that held the position may still be busy on its own queue: its late frames
    // and clears must not reach what the new one hands the view.
    (primary ? primarySubtitlesView_ : secondarySubtitlesView_)
        ->acceptFramesOnlyFrom(newValue.get());
    const auto external = asExternal(newValue);
    if (!external) {
        restartProvider(visualDataProvider_, [primary, newValue](VisualDataProvider& provider) {
            if (primary) {
                provider.selectPrimarySubtitlesTrack(newValue);
            } else {
                provider.selectSecondarySubtitlesTrack(newValue);
            }
        });
        return;
    }
    // An external track is read by one provider only, so it shows in one position at most. The
    // other box shares this box's lock, which the caller holds.
    auto& other = primary ? selectedSecondarySubtitlesTrack_ : selectedPrimarySubtitlesTrack_;
    if (other.wrappedValue() == newValue) {
        setSelectedSubtitlesTrack(!primary, nullptr);
        // The track's decoder must not be used from two queues: the other provider lets go of
        // the track before this one takes it.
        const auto& previousProvider =
            primary ? secondarySubtitlesDataProvider_ : primarySubtitlesDataProvider_;
        previousProvider->queue()->sync([] {});
    }
    restartProvider(primary ? primarySubtitlesDataProvider_ : secondarySubtitlesDataProvider_,
                    [external](ExternalSubtitlesDataProvider& provider) {
                        provider.selectSubtitlesTrack(external);
                    });
}

}  // namespace quillon
