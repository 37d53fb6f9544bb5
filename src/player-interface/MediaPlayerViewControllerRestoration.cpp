#include <utility>

#include "media-player/MediaPlayer.h"
#include "platform/coremedia/CMTimeCoding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "player-interface/MediaPlayerViewController.h"

namespace quillon {

namespace {

// The first track whose identifier is exactly `id`.
template <typename Track>
std::shared_ptr<Track> trackWithIdentifier(const std::vector<std::shared_ptr<Track>>& tracks,
                                           const std::optional<std::string>& id) {
    if (!id) {
        return nullptr;
    }
    for (const auto& track : tracks) {
        if (track->id() == *id) {
            return track;
        }
    }
    return nullptr;
}

template <typename Track>
void encodeTrackIdentifier(platform::NSKeyedArchiver& coder, const std::shared_ptr<Track>& track,
                           const char* key) {
    if (track) {
        coder.encodeString(track->id(), key);
    }
}

}  // namespace

void MediaPlayerViewController::encodeRestorableState(platform::NSKeyedArchiver& coder) const {
    NSViewController::encodeRestorableState(coder);
    MediaPlayer& player = *mediaPlayer_;
    encodeTrackIdentifier(coder, player.selectedVideoTrack(), selectedVideoTrackIdKey);
    encodeTrackIdentifier(coder, player.selectedAudioTrack(), selectedAudioTrackIdKey);
    encodeTrackIdentifier(coder, player.selectedPrimarySubtitlesTrack(),
                          selectedPrimarySubtitlesTrackIdKey);
    encodeTrackIdentifier(coder, player.selectedSecondarySubtitlesTrack(),
                          selectedSecondarySubtitlesTrackIdKey);
    const auto [time, rate] = player.queue()->sync(
        [&] { return std::pair(player.currentTime(), player.desiredPlaybackRate()); });
    platform::encodeCMTime(coder, time, currentTimeKey);
    platform::encodeFloat(coder, rate, desiredPlaybackRateKey);
}

void MediaPlayerViewController::restoreState(platform::NSKeyedUnarchiver& coder) {
    NSViewController::restoreState(coder);
    MediaPlayer& player = *mediaPlayer_;
    const MediaSource& source = *player.mediaSource();

    // A video track that has gone keeps the current one: there is always a picture to show.
    if (auto video = trackWithIdentifier(source.videoTracks(),
                                         coder.decodeString(selectedVideoTrackIdKey))) {
        player.setSelectedVideoTrack(std::move(video));
    }
    // The others were chosen by the user, who may have chosen none.
    player.setSelectedAudioTrack(
        trackWithIdentifier(source.audioTracks(), coder.decodeString(selectedAudioTrackIdKey)));

    const auto subtitlesTracks = source.allSubtitlesTracks();
    player.setSelectedPrimarySubtitlesTrack(trackWithIdentifier(
        subtitlesTracks, coder.decodeString(selectedPrimarySubtitlesTrackIdKey)));

    player.setSelectedSecondarySubtitlesTrack(nullptr);
    if (auto secondary = trackWithIdentifier(
            subtitlesTracks, coder.decodeString(selectedSecondarySubtitlesTrackIdKey))) {
        const auto primary = player.selectedPrimarySubtitlesTrack();
        if (!primary) {
            player.setSelectedPrimarySubtitlesTrack(std::move(secondary));
        } else if (primary != secondary) {
            player.setSelectedSecondarySubtitlesTrack(std::move(secondary));
        }
    }

    if (coder.containsValue(currentTimeKey)) {
        const platform::CMTime time = platform::decodeCMTime(coder, currentTimeKey);
        // A value that is no time is as good as none.
        if (CMTIME_IS_VALID(time)) {
            player.queue()->sync([&] { player.seekOnQueue(time); });
        }
    }
    if (coder.containsValue(desiredPlaybackRateKey)) {
        const float rate = platform::decodeFloat(coder, desiredPlaybackRateKey);
        player.queue()->sync([&] { player.setDesiredPlaybackRate(rate); });
    }

    isRestoredFromPersistedState_ = true;
}

}  // namespace quillon
