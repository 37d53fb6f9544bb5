#include "media-player/NowPlayingManager.h"

#include <algorithm>

#include <QImage>

#include "media-player/MediaPlayer.h"
#include "media-player/media-source/MediaSourceMetadata.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

using platform::MPNowPlayingInfo;
using platform::MPNowPlayingPlaybackState;
using platform::MPRemoteCommand;
using platform::MPRemoteCommandEvent;
using platform::MPRemoteCommandHandlerStatus;

namespace {

// Keys that the new values replace; the rest stay.
void merge(MPNowPlayingInfo& into, MPNowPlayingInfo from) {
    for (auto& [key, value] : from) {
        into.insert_or_assign(key, std::move(value));
    }
}

template <typename Body>
void onPlayerQueue(MediaPlayer& player, Body&& body) {
    player.queue()->sync(std::forward<Body>(body));
}

}  // namespace

const std::shared_ptr<NowPlayingManager>& NowPlayingManager::shared() {
    static platform::NeverDestroyed<std::shared_ptr<NowPlayingManager>> manager(make());
    return manager.get();
}

std::shared_ptr<NowPlayingManager> NowPlayingManager::make(Environment environment) {
    return std::make_shared<NowPlayingManager>(Passkey{}, std::move(environment));
}

NowPlayingManager::NowPlayingManager(Passkey, Environment environment)
    : queue_(platform::DispatchQueue::makeSerial(queueLabel, platform::DispatchQoS::userInitiated)),
      infoCenter_(environment.infoCenter ? *environment.infoCenter
                                         : platform::MPNowPlayingInfoCenter::defaultCenter()),
      commandCenter_(environment.commandCenter
                         ? *environment.commandCenter
                         : platform::MPRemoteCommandCenter::sharedCommandCenter()),
      notificationCenter_(environment.notificationCenter
                              ? *environment.notificationCenter
                              : platform::NotificationCenter::defaultCenter()),
      performAfterRestoration_(std::move(environment.performAfterRestoration)) {
    for (MPRemoteCommand* command : commandCenter_.allCommands()) {
        command->setEnabled(false);
    }
    infoCenter_.setNowPlayingInfo(std::nullopt);
    infoCenter_.setPlaybackState(MPNowPlayingPlaybackState::stopped);
}

NowPlayingManager::~NowPlayingManager() {
    // Nothing else refers to the manager any more: blocks on its queue hold it weakly.
    for (const auto& [command, target] : remoteCommandAndTargetPairs_) {
        command->removeTarget(target);
        command->setEnabled(false);
    }
}

void NowPlayingManager::setPerformAfterRestoration(
    PerformAfterRestoration performAfterRestoration) {
    performAfterRestoration_ = std::move(performAfterRestoration);
}

std::shared_ptr<MediaPlayer> NowPlayingManager::currentMediaPlayer() const {
    return queue_->sync([this] { return currentMediaPlayer_.lock(); });
}

void NowPlayingManager::registerPlayer(const std::shared_ptr<MediaPlayer>& player) {
    platform::precondition(player != nullptr, "Only an existing player can be registered.");
    const MediaPlayer* identity = player.get();
    std::weak_ptr<MediaPlayer> weakPlayer = player;
    queue_->async([weakSelf = weak_from_this(), identity, weakPlayer] {
        if (const auto self = weakSelf.lock()) {
            self->mediaPlayersSortedByLeastRecentlyUsed_.push_back({identity, weakPlayer});
        }
    });
    auto token = notificationCenter_.addObserver(
        "", identity, [weakSelf = weak_from_this()](const platform::Notification& notification) {
            if (const auto self = weakSelf.lock()) {
                self->mediaPlayerDidChange(notification);
            }
        });
    {
        std::lock_guard lock(observationsMutex_);
        observations_.insert_or_assign(identity, Observation{weakPlayer, std::move(token)});
    }
    scheduleUpdate();
}

void NowPlayingManager::unregisterPlayer(const MediaPlayer* player) {
    std::optional<Observation> observation;
    {
        std::lock_guard lock(observationsMutex_);
        if (const auto found = observations_.find(player); found != observations_.end()) {
            observation = std::move(found->second);
            observations_.erase(found);
        }
    }
    // Dropped outside the lock: it waits for deliveries in flight, which take that lock.
    observation.reset();
    queue_->async([weakSelf = weak_from_this(), player] {
        if (const auto self = weakSelf.lock()) {
            std::erase_if(self->mediaPlayersSortedByLeastRecentlyUsed_,
                          [player](const Entry& entry) { return entry.identity == player; });
        }
    });
    scheduleUpdate();
}

void NowPlayingManager::mediaPlayerDidChange(const platform::Notification& notification) {
    const auto* identity = static_cast<const MediaPlayer*>(notification.object);
    platform::precondition(identity != nullptr, "A player's notification names the player.");
    if (notification.name == MediaPlayer::durationDidChangeNotification) {
        // Learnt by reading, which any player that plays does on its own: no sign of the
        // user's attention, so the current player stays what it is.
        scheduleUpdate();
        return;
    }
    std::weak_ptr<MediaPlayer> player;
    {
        std::lock_guard lock(observationsMutex_);
        const auto found = observations_.find(identity);
        if (found == observations_.end()) {
            return;  // unregistered meanwhile
        }
        player = found->second.player;
    }
    queue_->async([weakSelf = weak_from_this(), identity, player] {
        if (const auto self = weakSelf.lock()) {
            auto& list = self->mediaPlayersSortedByLeastRecentlyUsed_;
            std::erase_if(list,
                          [identity](const Entry& entry) { return entry.identity == identity; });
            list.push_back({identity, player});
        }
    });
    scheduleUpdate();
}

void NowPlayingManager::scheduleUpdate() {
    auto& mainQueue = platform::DispatchQueue::main();
    if (!mainQueue.isCurrent()) {
        mainQueue.async([weakSelf = weak_from_this()] {
            if (const auto self = weakSelf.lock()) {
                self->scheduleUpdate();
            }
        });
        return;
    }
    // Every call asks for its own update, in order: restoration must not reorder them.
    auto work = [weakSelf = weak_from_this()] {
        if (const auto self = weakSelf.lock()) {
            self->queue_->async([weakSelf] {
                if (const auto self = weakSelf.lock()) {
                    self->update();
                }
            });
        }
    };
    if (performAfterRestoration_) {
        performAfterRestoration_(std::move(work));
    } else {
        work();
    }
}

void NowPlayingManager::update() {
    // A player whose entry outlived it is going: its unregistration is on the way.
    std::shared_ptr<MediaPlayer> candidate;
    for (auto entry = mediaPlayersSortedByLeastRecentlyUsed_.rbegin();
         entry != mediaPlayersSortedByLeastRecentlyUsed_.rend() && !candidate; ++entry) {
        candidate = entry->player.lock();
    }
    if (!candidate) {
        currentMediaPlayer_.reset();
        removeRemoteCommands();
        nowPlayingInfo_.reset();
        infoCenter_.setNowPlayingInfo(std::nullopt);
        playbackState_ = MPNowPlayingPlaybackState::stopped;
        infoCenter_.setPlaybackState(playbackState_);
        return;
    }
    MPNowPlayingInfo info = nowPlayingInfo_.value_or(MPNowPlayingInfo{});
    if (candidate != currentMediaPlayer_.lock()) {
        currentMediaPlayer_ = candidate;
        registerRemoteCommands();
        // A fresh start: artwork, artist or lyrics of the previous file must not stay behind
        // when the new one has none.
        info = makeStaticNowPlayingInfo(*candidate->mediaSource());
    }
    auto [dynamicInfo, state] = makeDynamicNowPlayingInfo(*candidate);
    merge(info, std::move(dynamicInfo));
    nowPlayingInfo_ = info;
    infoCenter_.setNowPlayingInfo(std::move(info));
    playbackState_ = state;
    infoCenter_.setPlaybackState(state);
}

std::pair<MPNowPlayingInfo, MPNowPlayingPlaybackState> NowPlayingManager::makeDynamicNowPlayingInfo(
    MediaPlayer& player) {
    const auto& timeObserverManager = player.timeObserverManager();
    const double elapsed = platform::CMTimeGetSeconds(platform::CMTimeSubtract(
        timeObserverManager.renderSynchronizer()->currentTime(), timeObserverManager.startTime()));
    float rate = 0;
    onPlayerQueue(player, [&] { rate = player.rate(); });
    bool isPlaying = false;
    float desiredRate = 1;
    onPlayerQueue(player, [&] {
        isPlaying = player.isPlaying();
        desiredRate = player.desiredPlaybackRate();
    });
    MPNowPlayingInfo info{
        {platform::MPNowPlayingInfoPropertyElapsedPlaybackTime, elapsed},
        {platform::MPNowPlayingInfoPropertyPlaybackRate, static_cast<double>(rate)},
        {platform::MPNowPlayingInfoPropertyDefaultPlaybackRate, static_cast<double>(desiredRate)},
    };
    // A duration that the file does not state grows (or settles) as the file is read; the
    // player's notification of it brings an update here.
    if (const auto& source = player.mediaSource()) {
        info.emplace(platform::MPMediaItemPropertyPlaybackDuration,
                     platform::CMTimeGetSeconds(source->duration()));
    }
    return {std::move(info),
            isPlaying ? MPNowPlayingPlaybackState::playing : MPNowPlayingPlaybackState::paused};
}

std::vector<NowPlayingManager::RemoteCommandConfiguration>
NowPlayingManager::remoteCommandConfigurations() {
    auto setPreferredIntervals = [](MPRemoteCommand& command) {
        static_cast<platform::MPSkipIntervalCommand&>(command).setPreferredIntervals(
            {std::begin(preferredSkipIntervals), std::end(preferredSkipIntervals)});
    };
    auto interval = [](const MPRemoteCommandEvent& event) {
        const auto* skip = dynamic_cast<const platform::MPSkipIntervalCommandEvent*>(&event);
        return skip ? skip->interval() : 0.0;
    };
    return {
        {commandCenter_.pauseCommand, nullptr,
         [](MediaPlayer& player, const MPRemoteCommandEvent&) {
             onPlayerQueue(player, [&] { player.pause(); });
         }},
        {commandCenter_.playCommand, nullptr,
         [](MediaPlayer& player, const MPRemoteCommandEvent&) {
             onPlayerQueue(player, [&] { player.play(); });
         }},
        {commandCenter_.stopCommand, nullptr,
         [](MediaPlayer& player, const MPRemoteCommandEvent&) {
             onPlayerQueue(player, [&] { player.pause(); });
         }},
        {commandCenter_.togglePlayPauseCommand, nullptr,
         [](MediaPlayer& player, const MPRemoteCommandEvent&) {
             onPlayerQueue(player, [&] { player.togglePlayPause(); });
         }},
        {commandCenter_.skipBackwardCommand, setPreferredIntervals,
         [interval](MediaPlayer& player, const MPRemoteCommandEvent& event) {
             onPlayerQueue(player,
                           [&] { player.skip(-interval(event), MediaPlayer::SkipUnit::seconds); });
         }},
        {commandCenter_.skipForwardCommand, setPreferredIntervals,
         [interval](MediaPlayer& player, const MPRemoteCommandEvent& event) {
             onPlayerQueue(player,
                           [&] { player.skip(interval(event), MediaPlayer::SkipUnit::seconds); });
         }},
        // The desktop's rate control: what the rate menu and slider offer, from slowest to
        // fastest; a rate in between plays as asked.
        {commandCenter_.changePlaybackRateCommand,
         [](MPRemoteCommand& command) {
             static_cast<platform::MPChangePlaybackRateCommand&>(command).setSupportedPlaybackRates(
                 {std::begin(supportedPlaybackRates), std::end(supportedPlaybackRates)});
         },
         [weakSelf = weak_from_this()](MediaPlayer& player, const MPRemoteCommandEvent& event) {
             const auto* change =
                 dynamic_cast<const platform::MPChangePlaybackRateCommandEvent*>(&event);
             if (change == nullptr || !(change->playbackRate() > 0)) {
                 return;
             }
             const float rate = std::clamp(change->playbackRate(), supportedPlaybackRates[0],
                                           std::end(supportedPlaybackRates)[-1]);
             onPlayerQueue(player, [&] { player.setDesiredPlaybackRate(rate); });
             // A paused player posts nothing for a new desired rate, yet the desktop shows it.
             if (const auto self = weakSelf.lock()) {
                 self->scheduleUpdate();
             }
         }},
        {commandCenter_.changePlaybackPositionCommand, nullptr,
         [](MediaPlayer& player, const MPRemoteCommandEvent& event) {
             const auto* change =
                 dynamic_cast<const platform::MPChangePlaybackPositionCommandEvent*>(&event);
             if (change == nullptr) {
                 return;
             }
             onPlayerQueue(player, [&] {
                 player.seekOnQueue(platform::CMTimeMakeWithSeconds(change->positionTime(), 1000));
             });
         }},
    };
}

void NowPlayingManager::registerRemoteCommands() {
    removeRemoteCommands();
    for (auto& configuration : remoteCommandConfigurations()) {
        MPRemoteCommand& command = configuration.command;
        command.setEnabled(true);
        if (configuration.configureCommand) {
            configuration.configureCommand(command);
        }
        auto handler = [weakSelf = weak_from_this(),
                        action = configuration.handleCommand](const MPRemoteCommandEvent& event) {
            const auto self = weakSelf.lock();
            if (!self) {
                return MPRemoteCommandHandlerStatus::noActionableNowPlayingItem;
            }
            // The current player is the queue's to read; the player's queue comes second.
            return self->queue_->sync([&] {
                const auto player = self->currentMediaPlayer_.lock();
                if (!player) {
                    return MPRemoteCommandHandlerStatus::noActionableNowPlayingItem;
                }
                action(*player, event);
                return MPRemoteCommandHandlerStatus::success;
            });
        };
        const auto target = command.addTargetWithHandler(std::move(handler));
        remoteCommandAndTargetPairs_.emplace_back(&command, target);
    }
}

void NowPlayingManager::removeRemoteCommands() {
    for (const auto& [command, target] : remoteCommandAndTargetPairs_) {
        command->removeTarget(target);
        command->setEnabled(false);
    }
    remoteCommandAndTargetPairs_.clear();
}

MPNowPlayingInfo NowPlayingManager::makeStaticNowPlayingInfo(const MediaSource& source) {
    return makeStaticNowPlayingInfo(source.id(), source.url(), source.duration(),
                                    source.mediaType(), *source.optionalMetadata());
}

MPNowPlayingInfo NowPlayingManager::makeStaticNowPlayingInfo(
    const std::string& identifier, const platform::URL& url, platform::CMTime duration,
    MediaType mediaType, const MediaSource::OptionalMetadata& metadata) {
    using platform::MPNowPlayingInfoMediaType;
    MPNowPlayingInfo info{
        {platform::MPNowPlayingInfoPropertyExternalContentIdentifier, identifier},
        {platform::MPNowPlayingInfoPropertyMediaType,
         static_cast<std::int64_t>(mediaType == MediaType::audio
                                       ? MPNowPlayingInfoMediaType::audio
                                       : MPNowPlayingInfoMediaType::video)},
        {platform::MPMediaItemPropertyPlaybackDuration, platform::CMTimeGetSeconds(duration)},
        {platform::MPMediaItemPropertyTitle, metadata.title.value_or(url.lastPathComponent())},
    };
    auto addIfPresent = [&](const char* key, const std::optional<std::string>& value) {
        if (value) {
            info.emplace(key, *value);
        }
    };
    addIfPresent(platform::MPMediaItemPropertyArtist, metadata.artist);
    addIfPresent(platform::MPMediaItemPropertyComposer, metadata.composer);
    addIfPresent(platform::MPMediaItemPropertyAlbumTitle, metadata.albumTitle);
    if (metadata.artwork) {
        const platform::CGSize bounds{static_cast<platform::CGFloat>(metadata.artwork->width()),
                                      static_cast<platform::CGFloat>(metadata.artwork->height())};
        // The asked size is ignored: whoever shows the picture scales it.
        info.emplace(platform::MPMediaItemPropertyArtwork,
                     std::make_shared<const platform::MPMediaItemArtwork>(
                         bounds, [image = *metadata.artwork](platform::CGSize) {
                             const auto bytes = image.data();
                             QImage decoded;
                             decoded.loadFromData(bytes.data(), static_cast<int>(bytes.size()));
                             return decoded;
                         }));
    }
    addIfPresent(platform::MPMediaItemPropertyLyrics, metadata.lyrics);
    addIfPresent(platform::MPMediaItemPropertyGenre, metadata.genre);
    return info;
}

}  // namespace quillon
