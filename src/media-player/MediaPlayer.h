#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media-player/data-providers/AudioDataProvider.h"
#include "media-player/data-providers/ExternalSubtitlesDataProvider.h"
#include "media-player/data-providers/VisualDataProvider.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleUpdateNotifier.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-types/Atomic.h"
#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "media-player/renderers/QLSampleBufferDisplayLayer.h"
#include "media-player/renderers/QLSampleBufferRenderSynchronizer.h"
#include "media-player/session/AudioRoutingOwnershipManager.h"
#include "media-player/session/AutomaticTerminationManager.h"
#include "media-player/session/IdleSleepManager.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "media-player/timing/MediaPlayerTimeObserverManager.h"
#include "platform/clock/CMClock.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ObserverToken.h"

namespace quillon {

// Where the player plays and whom it tells. The defaults are the product's; tests put
// manual clocks, recording renderers and private managers in place.
struct MediaPlayerEnvironment {
    platform::CMClockRef clock;                                // host time clock when null
    std::shared_ptr<QLSampleBufferDisplayLayer> displayLayer;  // a new layer when null
    std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer;     // a new renderer when null
    AudioRoutingOwnershipManager* audioRoutingOwnershipManager = nullptr;      // shared()
    std::shared_ptr<SubtitleTextStyleUpdateNotifier> textStyleUpdateNotifier;  // shared()
    platform::NotificationCenter* workspaceNotificationCenter = nullptr;
    // What the providers' decode sessions make of the tracks' decoders (tests stand decoders that
    // misbehave in); the tracks' decoders themselves when empty.
    CoreMediaCompatibleDecodeSession::DecoderWrapper decoderWrapper;
};

// Plays one opened MediaSource: one player per open document. It owns the clock (the render
// synchronizer) with the display layer and the audio renderer, the two subtitles views, the four
// data providers that feed them, the four track selections, and the play, rate and seek state.
//
// Threads. Creation runs on the main thread (make hops there). Selections may change from any
// thread but `queue`; every read of one takes its box's lock, and the two subtitles boxes share
// one recursive lock. Everything marked "on queue" (play, pause, rate, seeking) must run on
// `queue`: callers wrap it in queue()->sync; seek() does that hop itself. Notifications are posted
// on the default centre from the global user-interactive queue, never from the main thread, with
// the player (a MediaPlayer*) as object.
//
// Owned by shared_ptr; every block the player hands to a queue, a provider, an observer or a
// centre holds it weakly and does nothing once it has gone.
class MediaPlayer : public std::enable_shared_from_this<MediaPlayer> {
    struct Passkey {};

public:
    // What the picture-in-picture window needs of the player's state.
    class PictureInPictureController {
    public:
        virtual ~PictureInPictureController() = default;
        // Called on the main queue after every change of the effective rate.
        virtual void invalidatePlaybackState() = 0;
    };

    // Pending seek: the newest target with every completion that was asked for on the way.
    struct SeekOperation {
        struct CompletionHandlerInfo {
            std::shared_ptr<platform::DispatchQueue> queue;
            std::function<void()> handler;
        };

        platform::CMTime targetTime;  // media time, clamped
        std::vector<CompletionHandlerInfo> completionHandlers;
    };

    enum class SkipUnit { seconds, frames };

    using Environment = MediaPlayerEnvironment;

    using Completion = std::function<void(std::shared_ptr<MediaPlayer>)>;
    using PlaybackFailureHandler = std::function<void(std::shared_ptr<const platform::Error>)>;

    static constexpr const char* queueLabel = "Media Player Queue";

    static constexpr const char* selectedVideoTrackDidChangeNotification =
        "org.quillon.MediaPlayer.selectedVideoTrackDidChange";
    static constexpr const char* selectedAudioTrackDidChangeNotification =
        "org.quillon.MediaPlayer.selectedAudioTrackDidChange";
    static constexpr const char* selectedPrimarySubtitlesTrackDidChangeNotification =
        "org.quillon.MediaPlayer.selectedPrimarySubtitlesTrackDidChange";
    static constexpr const char* selectedSecondarySubtitlesTrackDidChangeNotification =
        "org.quillon.MediaPlayer.selectedSecondarySubtitlesTrackDidChange";
    static constexpr const char* rateDidChangeNotification =
        "org.quillon.MediaPlayer.rateDidChange";
    static constexpr const char* didSeekNotification = "org.quillon.MediaPlayer.didSeek";
    // The source's duration, which the file did not state, became better known.
    static constexpr const char* durationDidChangeNotification =
        "org.quillon.MediaPlayer.durationDidChange";
    // Posted by the playback preferences when the user allows or forbids spatialized audio.
    static constexpr const char* audioSpatializationAllowedDidChangeNotification =
        "org.quillon.PlaybackPreferences.audioSpatializationAllowedDidChangeNotification";

    // Creates a player on the main queue, applies the selections (video, audio, primary and
    // secondary subtitles), seeks to `initialTime` when given, takes audio-routing ownership, and
    // then calls `completion` with the player on `queue`. Any thread.
    static void make(std::shared_ptr<MediaSource> mediaSource,
                     std::shared_ptr<VideoTrack> videoTrack, std::shared_ptr<AudioTrack> audioTrack,
                     std::shared_ptr<SubtitlesTrack> primarySubtitlesTrack,
                     std::shared_ptr<SubtitlesTrack> secondarySubtitlesTrack,
                     std::optional<platform::CMTime> initialTime,
                     std::shared_ptr<platform::DispatchQueue> queue, Completion completion,
                     Environment environment = {});

    // A player with nothing selected. Main thread only.
    static std::shared_ptr<MediaPlayer> create(std::shared_ptr<MediaSource> mediaSource,
                                               Environment environment = {});

    MediaPlayer(Passkey, std::shared_ptr<MediaSource> mediaSource, Environment environment);
    ~MediaPlayer();
    MediaPlayer(const MediaPlayer&) = delete;
    MediaPlayer& operator=(const MediaPlayer&) = delete;

    // For log lines: "<MediaPlayer: 0x…>".
    std::string description() const;

    const std::shared_ptr<MediaSource>& mediaSource() const { return mediaSource_; }
    const std::shared_ptr<platform::DispatchQueue>& queue() const { return queue_; }
    const MediaPlayerTimeObserverManager& timeObserverManager() const {
        return timeObserverManager_;
    }
    const std::shared_ptr<QLSampleBufferDisplayLayer>& displayLayer() const {
        return displayLayer_;
    }
    const std::shared_ptr<QLAirPlayAudioRenderer>& audioRenderer() const { return audioRenderer_; }
    const std::shared_ptr<QLSampleBufferRenderSynchronizer>& renderSynchronizer() const {
        return renderSynchronizer_;
    }
    const std::shared_ptr<SubtitlesView>& primarySubtitlesView() const {
        return primarySubtitlesView_;
    }
    const std::shared_ptr<SubtitlesView>& secondarySubtitlesView() const {
        return secondarySubtitlesView_;
    }
    // Blocks until every notification the player has posted so far has reached its observers
    // (they are delivered from a concurrent queue, in no order). Not from an observer.
    void waitForPostedNotifications() const { postedNotifications_.wait(); }

    // The providers' queues, for work that must be ordered with theirs.
    const std::shared_ptr<platform::DispatchQueue>& visualDataProviderQueue() const {
        return visualDataProvider_->queue();
    }
    const std::shared_ptr<platform::DispatchQueue>& subtitlesDataProviderQueue(bool primary) const {
        return (primary ? primarySubtitlesDataProvider_ : secondarySubtitlesDataProvider_)->queue();
    }

    // --- Track selection (any thread but queue) ---
    std::shared_ptr<VideoTrack> selectedVideoTrack() const;
    std::shared_ptr<AudioTrack> selectedAudioTrack() const;
    std::shared_ptr<SubtitlesTrack> selectedPrimarySubtitlesTrack() const;
    std::shared_ptr<SubtitlesTrack> selectedSecondarySubtitlesTrack() const;

    // Each restarts its provider and, for a track (not none), re-seeks to the current time so
    // that playback goes on with it; then posts its notification. Selecting what is selected
    // already does nothing. An external subtitles track is shown in one position at most:
    // choosing it in one clears it from the other.
    void setSelectedVideoTrack(std::shared_ptr<VideoTrack> track);
    void setSelectedAudioTrack(std::shared_ptr<AudioTrack> track);
    void setSelectedPrimarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track);
    void setSelectedSecondarySubtitlesTrack(std::shared_ptr<SubtitlesTrack> track);

    // Set by the player view controller; any thread.
    void setPictureInPictureController(std::shared_ptr<PictureInPictureController> controller);

    // --- Playback failure (any thread) ---
    // A decoder that takes no more packets ends playback for good: its provider stops, the
    // player pauses, and play does nothing from then on. The handler hears of it once, on the
    // main queue, with the error; also when it is set after the failure.
    void setPlaybackFailureHandler(PlaybackFailureHandler handler);
    // The error that ended playback; null while the player can play.
    std::shared_ptr<const platform::Error> playbackError() const;

    // --- Playing and rate (on queue) ---
    // While seeking, what playback will be once the seek ends.
    bool isPlaying() const;
    float rate() const;
    float desiredPlaybackRate() const { return desiredPlaybackRate_; }
    // Takes effect at once while playing.
    void setDesiredPlaybackRate(float rate);
    bool isSeekingInteractively() const { return isSeekingInteractively_; }
    void play();
    void pause();
    void togglePlayPause();
    // Current playback position, media time.
    platform::CMTime currentTime() const;
    platform::CMTime duration() const { return mediaSource_->duration(); }
    // False while the duration is only a guess (MediaSource::isDurationFinal): playing does not
    // end there, and seeks are not held to it.
    bool isDurationFinal() const { return mediaSource_->isDurationFinal(); }

    // --- Seeking ---
    // Any thread but queue: seekOnQueue synchronously on queue. `handler` runs on
    // `completionQueue` once the seek (or a later one that replaced it) has finished; without a
    // queue nothing is called.
    void seek(platform::CMTime time, std::shared_ptr<platform::DispatchQueue> completionQueue = {},
              std::function<void()> handler = {});
    // On queue. The target is clamped into [0, duration] (a duration that is only a guess
    // holds back nothing past it); seeks that arrive while one runs merge
    // into one pending seek to the newest target, keeping every completion in order.
    void seekOnQueue(platform::CMTime time,
                     std::optional<SeekOperation::CompletionHandlerInfo> completion = {});
    // On queue.
    void skip(double amount, SkipUnit unit);
    void reseekToCurrentTime();
    // On queue: bracket scrubbing; the rate comes back at its end.
    void beginSeekingInteractively();
    void endSeekingInteractively();

    // Picture-in-picture playback delegate; any thread but queue.
    void pictureInPictureControllerSetPlaying(bool playing);
    bool pictureInPictureControllerIsPlaybackPaused();

    // --- Handlers of observed notifications (normally called by the centres) ---
    void synchronizerRateDidChange(const platform::Notification& notification);
    void audioRendererWasFlushedAutomatically(const platform::Notification& notification);
    void audioSpatializationAllowedDidChange(const platform::Notification& notification);
    void userSpecifiedTextStyleDidChange();
    void systemWillSleep(const platform::Notification& notification);
    void userSessionDidResignActive(const platform::Notification& notification);
    void mediaSourceDurationDidChange(const platform::Notification& notification);

private:
    // Mono, stereo and multichannel.
    static constexpr std::uint64_t allowedAudioSpatializationFormats = 7;

    template <typename Track>
    using Selection = Atomic<std::shared_ptr<Track>>;
    template <typename Track>
    using Hook = std::function<void(const std::shared_ptr<Track>&)>;

    // Observer registrations that need the player's weak self.
    void startObserving();

    template <typename Track>
    void setSelectedTrack(Selection<Track>& box, const Hook<Track>& willSet,
                          const std::shared_ptr<Track>& newValue, const Hook<Track>& didSet,
                          const char* notificationName);
    void setSelectedSubtitlesTrack(bool primary, std::shared_ptr<SubtitlesTrack> track);
    void subtitlesWillSet(bool primary, const std::shared_ptr<SubtitlesTrack>& oldValue);
    void subtitlesDidSet(bool primary, const std::shared_ptr<SubtitlesTrack>& newValue);

    void postNotification(const char* name);
    void reseekToCurrentTimeAsync();
    // Any thread.
    void decoderDidFail(std::shared_ptr<const platform::Error> error);

    // On queue.
    bool isSeeking() const;
    void setSynchronizerRate(float rate, std::optional<platform::CMTime> time = {});
    void updateForRateChange();
    void didPlayToEnd();
    // Where the end-of-media observer is put: at the duration once that is final, nowhere before.
    void addEndTimeObserver();
    void updateForDurationChange();
    // `newRate`: the rate the change notification announced.
    void checkSynchronizerRateChange(float newRate);
    void handleExternalSynchronizerRateChange(float newRate);
    void enqueueSeekOperation(platform::CMTime time,
                              std::optional<SeekOperation::CompletionHandlerInfo> completion);
    void performNextSeekOperation();
    void didFinishSeekOperation(std::vector<SeekOperation::CompletionHandlerInfo> handlers);
    void performPostSeekOperation();

    std::shared_ptr<QLSampleBufferDisplayLayer> displayLayer_;
    std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer_;
    std::shared_ptr<SubtitlesView> primarySubtitlesView_;
    std::shared_ptr<SubtitlesView> secondarySubtitlesView_;
    Atomic<std::shared_ptr<PictureInPictureController>> pictureInPictureController_{nullptr};
    std::shared_ptr<MediaSource> mediaSource_;
    Selection<VideoTrack> selectedVideoTrack_{nullptr};
    Selection<AudioTrack> selectedAudioTrack_{nullptr};
    Selection<SubtitlesTrack> selectedPrimarySubtitlesTrack_{nullptr};
    Selection<SubtitlesTrack> selectedSecondarySubtitlesTrack_{nullptr};

    // On queue only.
    float desiredPlaybackRate_ = 1.0f;
    float desiredRateAfterSeeking_ = 1.0f;
    bool isSeekingInteractively_ = false;
    bool isPerformingSeekOperation_ = false;
    bool isPerformingPostSeekOperation_ = false;
    std::optional<SeekOperation> nextSeekOperation_;
    // The rates the player gave the synchronizer whose change notifications have not been
    // checked yet, oldest first. More than one can be outstanding: a check waits on the queue
    // behind blocks that were already there, and those may change the rate again.
    std::deque<float> recentlyChangedSynchronizerRates_;

    std::shared_ptr<QLSampleBufferRenderSynchronizer> renderSynchronizer_;
    MediaPlayerTimeObserverManager timeObserverManager_;
    std::shared_ptr<VisualDataProvider> visualDataProvider_;
    std::shared_ptr<AudioDataProvider> audioDataProvider_;
    std::shared_ptr<ExternalSubtitlesDataProvider> primarySubtitlesDataProvider_;
    std::shared_ptr<ExternalSubtitlesDataProvider> secondarySubtitlesDataProvider_;
    std::shared_ptr<platform::DispatchQueue> queue_;
    MediaPlayerTimeObserverManager::ObserverRef endTimeObserver_;
    std::shared_ptr<SubtitleTextStyleUpdateNotifier::ObserverContext>
        userSpecifiedTextStyleObserver_;
    // On queue only.
    AutomaticTerminationManager automaticTerminationManager_;
    IdleSleepManager idleSleepManager_;

    Environment environment_;
    // Set once make() asked for audio-routing ownership, which going away gives back.
    std::atomic<bool> holdsAudioRoutingOwnership_{false};
    mutable std::mutex playbackFailureLock_;
    std::shared_ptr<const platform::Error> playbackError_;
    PlaybackFailureHandler playbackFailureHandler_;
    std::vector<platform::ObserverToken> notificationObservations_;
    const platform::DispatchGroup postedNotifications_;
};

}  // namespace quillon
