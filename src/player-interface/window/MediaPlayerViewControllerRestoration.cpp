#include <optional>
#include <utility>

#include "media-player/MediaPlayer.h"
#include "platform/coremedia/CMTimeCoding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/Log.h"
#include "player-interface/common/PlaybackRates.h"
#include "player-interface/window/MediaPlayerViewController.h"

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

// A numeric time of the media's own time line, from its start on. A time past the end is
// fine: the seek ends there.
bool isRestorableTime(platform::CMTime time) {
    return CMTIME_IS_NUMERIC(time) && time.timescale > 0 && time.epoch == 0 && time.value >= 0;
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

    // The numbers first: a value the archive can't decode stops every read after it, and the
    // time is the one that can fail so. A value that can't be used is as good as none.
    std::optional<float> rate;
    if (coder.containsValue(desiredPlaybackRateKey)) {
        // As a double, so that a value out of a float's range is seen for what it is.
        const double stored = coder.decodeDouble(desiredPlaybackRateKey);
        if (isPlaybackRateWithinStops(stored)) {
            rate = static_cast<float>(stored);
        } else {
            platform::logWarning("Ignoring the restored {} ({}): a rate from {} to {} is needed.",
                                 desiredPlaybackRateKey, stored, kSlowestPlaybackRate,
                                 kFastestPlaybackRate);
        }
    }
    const auto videoId = coder.decodeString(selectedVideoTrackIdKey);
    const auto audioId = coder.decodeString(selectedAudioTrackIdKey);
    const auto primaryId = coder.decodeString(selectedPrimarySubtitlesTrackIdKey);
    const auto secondaryId = coder.decodeString(selectedSecondarySubtitlesTrackIdKey);
    std::optional<platform::CMTime> time;
    if (coder.containsValue(currentTimeKey)) {
        const platform::CMTime stored = platform::decodeCMTime(coder, currentTimeKey);
        if (isRestorableTime(stored)) {
            time = stored;
        } else {
            platform::logWarning("Ignoring the restored {}: a time from zero on is needed.",
                                 currentTimeKey);
        }
    }

    // A video track that has gone keeps the current one: there is always a picture to show.
    if (auto video = trackWithIdentifier(source.videoTracks(), videoId)) {
        player.setSelectedVideoTrack(std::move(video));
    }
    // The others were chosen by the user, who may have chosen none.
    player.setSelectedAudioTrack(trackWithIdentifier(source.audioTracks(), audioId));

    const auto subtitlesTracks = source.allSubtitlesTracks();
    player.setSelectedPrimarySubtitlesTrack(trackWithIdentifier(subtitlesTracks, primaryId));

    player.setSelectedSecondarySubtitlesTrack(nullptr);
    if (auto secondary = trackWithIdentifier(subtitlesTracks, secondaryId)) {
        const auto primary = player.selectedPrimarySubtitlesTrack();
        if (!primary) {
            player.setSelectedPrimarySubtitlesTrack(std::move(secondary));
        } else if (primary != secondary) {
            player.setSelectedSecondarySubtitlesTrack(std::move(secondary));
        }
    }

    if (time) {
        player.queue()->sync([&] { player.seekOnQueue(*time); });
    }
    if (rate) {
        player.queue()->sync([&] { player.setDesiredPlaybackRate(*rate); });
    }

    isRestoredFromPersistedState_ = true;
}

}  // namespace quillon
