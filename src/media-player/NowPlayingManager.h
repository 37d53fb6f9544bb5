#pragma once

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "media-player/media-source/MediaSource.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/URL.h"
#include "platform/mediaplayer/MPNowPlayingInfo.h"
#include "platform/mediaplayer/MPNowPlayingInfoCenter.h"
#include "platform/mediaplayer/MPRemoteCommandCenter.h"

namespace quillon {

class MediaPlayer;

// Where the manager publishes and whom it listens to; tests put their own centres in place.
struct NowPlayingManagerEnvironment {
    // Runs work once the windows of the previous launch are restored; the application hands in
    // its restoration observer's. Called on the main thread.
    using PerformAfterRestoration = std::function<void(std::function<void()>)>;

    platform::MPNowPlayingInfoCenter* infoCenter = nullptr;      // defaultCenter()
    platform::MPRemoteCommandCenter* commandCenter = nullptr;    // sharedCommandCenter()
    platform::NotificationCenter* notificationCenter = nullptr;  // defaultCenter()
    PerformAfterRestoration performAfterRestoration;             // at once when empty
};

// Tells the desktop what the application plays and answers its remote commands (media keys,
// the desktop's media controls, headsets), always for the most recently active player: every
// player registers when it is made and unregisters when it goes, and each of its notifications
// counts as activity.
//
// Threads. The player list, the current player, the command targets and the published
// information live on "Now Playing Manager Queue". Updates run there and wait for a player's
// queue to read its rate and playing state; command handlers wait for the manager's queue and
// then for the player's. The player's queue therefore must never wait for the manager's.
//
// The list holds players weakly: a player unregisters from its destructor, which a strong
// reference here would never let run.
class NowPlayingManager : public std::enable_shared_from_this<NowPlayingManager> {
    struct Passkey {};

public:
    using PerformAfterRestoration = NowPlayingManagerEnvironment::PerformAfterRestoration;
    using Environment = NowPlayingManagerEnvironment;

    static constexpr const char* queueLabel = "Now Playing Manager Queue";
    // What the skip commands offer, in seconds.
    static constexpr double preferredSkipIntervals[] = {10, 15, 30};
    // The rates the desktop may ask for, ascending; others are brought into this range.
    static constexpr float supportedPlaybackRates[] = {0.5f, 0.75f, 1.0f, 1.25f, 1.5f, 1.75f, 2.0f};

    // The application's manager, made on first use and never destroyed.
    static const std::shared_ptr<NowPlayingManager>& shared();
    static std::shared_ptr<NowPlayingManager> make(Environment environment = {});

    // Disables every remote command and publishes nothing, stopped.
    NowPlayingManager(Passkey, Environment environment);
    // Takes its targets off the commands; only managers made for tests ever go.
    ~NowPlayingManager();
    NowPlayingManager(const NowPlayingManager&) = delete;
    NowPlayingManager& operator=(const NowPlayingManager&) = delete;

    // Main thread; before the first player registers, so that restoration holds back even the
    // first publication.
    void setPerformAfterRestoration(PerformAfterRestoration performAfterRestoration);

    // From the player's creation, on the main thread.
    void registerPlayer(const std::shared_ptr<MediaPlayer>& player);
    // From the player's destructor (any thread): the player is known by its address only.
    void unregisterPlayer(const MediaPlayer* player);
    // Any notification of a registered player; its object is the player.
    void mediaPlayerDidChange(const platform::Notification& notification);

    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }
    // The player the manager speaks for; none without one. Waits for the manager's queue.
    std::shared_ptr<MediaPlayer> currentMediaPlayer() const;

    // The information that depends on the file only.
    static platform::MPNowPlayingInfo makeStaticNowPlayingInfo(const MediaSource& source);
    static platform::MPNowPlayingInfo makeStaticNowPlayingInfo(
        const std::string& identifier, const platform::URL& url, platform::CMTime duration,
        MediaType mediaType, const MediaSource::OptionalMetadata& metadata);

private:
    struct Entry {
        const MediaPlayer* identity;
        std::weak_ptr<MediaPlayer> player;
    };
    using Action = std::function<void(MediaPlayer&, const platform::MPRemoteCommandEvent&)>;
    struct RemoteCommandConfiguration {
        platform::MPRemoteCommand& command;
        std::function<void(platform::MPRemoteCommand&)> configureCommand;
        Action handleCommand;
    };

    void scheduleUpdate();
    // On queue.
    void update();
    void registerRemoteCommands();
    void removeRemoteCommands();
    std::pair<platform::MPNowPlayingInfo, platform::MPNowPlayingPlaybackState>
    makeDynamicNowPlayingInfo(MediaPlayer& player);
    std::vector<RemoteCommandConfiguration> remoteCommandConfigurations();

    std::shared_ptr<platform::DispatchQueue> queue_;
    // On queue only.
    std::vector<Entry> mediaPlayersSortedByLeastRecentlyUsed_;
    std::weak_ptr<MediaPlayer> currentMediaPlayer_;
    std::vector<std::pair<platform::MPRemoteCommand*, platform::MPRemoteCommand::Target>>
        remoteCommandAndTargetPairs_;
    std::optional<platform::MPNowPlayingInfo> nowPlayingInfo_;
    platform::MPNowPlayingPlaybackState playbackState_ =
        platform::MPNowPlayingPlaybackState::stopped;

    platform::MPNowPlayingInfoCenter& infoCenter_;
    platform::MPRemoteCommandCenter& commandCenter_;
    platform::NotificationCenter& notificationCenter_;
    // Main thread only.
    PerformAfterRestoration performAfterRestoration_;

    struct Observation {
        std::weak_ptr<MediaPlayer> player;
        platform::ObserverToken token;
    };
    std::mutex observationsMutex_;
    std::map<const MediaPlayer*, Observation> observations_;
};

}  // namespace quillon
