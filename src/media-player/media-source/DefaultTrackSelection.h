#pragma once

#include <concepts>
#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "media-player/media-source/AudioTrack.h"
#include "media-player/media-source/MediaCharacteristics.h"
#include "media-player/media-source/MediaTrack.h"
#include "media-player/media-source/SubtitlesTrack.h"
#include "media-player/media-source/VideoTrack.h"

namespace quillon {

class MediaSource;

// The tracks a new player starts with. Each may be absent.
struct DefaultTracks {
    std::shared_ptr<VideoTrack> video;
    std::shared_ptr<AudioTrack> audio;
    std::shared_ptr<SubtitlesTrack> primarySubtitles;
    std::shared_ptr<SubtitlesTrack> secondarySubtitles;
};

// The user's preferences that the choice follows, read once per choice.
struct DefaultTrackPreferences {
    // Caption languages in the user's order, as canonical language identifiers.
    std::vector<std::string> languages;
    // Preferred captioning characteristics (MAMediaCharacteristic... constants).
    std::vector<std::string> captioningCharacteristics;
    // Preferred audible characteristics.
    std::vector<std::string> audibleCharacteristics;

    // The user's current caption and accessibility preferences.
    static DefaultTrackPreferences current();
};

// Chooses the starting tracks from the user's caption and accessibility preferences: the
// preferred caption languages, the preferred captioning characteristics and the preferred
// audible characteristics. Subtitles are only chosen when the user asked for captions for the
// hard of hearing, or when the chosen audio is in none of the preferred languages. Reads the
// source's track lists only; callable from any thread.
DefaultTracks selectDefaultTracks(const MediaSource& source);
DefaultTracks selectDefaultTracks(const MediaSource& source,
                                  const DefaultTrackPreferences& preferences);

// The index in `tracks` of the best track for the preferred languages (see rankTracksByLanguage);
// nullopt when there is none.
std::optional<std::size_t> rankTrackIndexByLanguage(
    std::span<const MediaTrack* const> tracks, const std::vector<std::string>& preferredLanguages,
    bool requireLanguageMatch, bool& languageMatched, MediaCharacteristics requiredCharacteristics,
    bool requireCharacteristics);

// The best of `tracks` for the preferred languages. The first preferred language that any
// track has narrows the candidates to the tracks in that language (languageMatched becomes true);
// without one, the candidates are all tracks, or none when `requireLanguageMatch`. The
// candidates are then narrowed to those with every required characteristic (if any has them;
// if none has and `requireCharacteristics`, there is no track), then to the forced ones and then
// to the default ones (each only if any is), and the first remaining one wins. An empty list
// gives none and leaves `languageMatched` as it was.
template <std::derived_from<MediaTrack> Track>
std::shared_ptr<Track> rankTracksByLanguage(const std::vector<std::shared_ptr<Track>>& tracks,
                                            const std::vector<std::string>& preferredLanguages,
                                            bool requireLanguageMatch, bool& languageMatched,
                                            MediaCharacteristics requiredCharacteristics,
                                            bool requireCharacteristics) {
    std::vector<const MediaTrack*> candidates;
    candidates.reserve(tracks.size());
    for (const std::shared_ptr<Track>& track : tracks) {
        candidates.push_back(track.get());
    }
    std::optional<std::size_t> index =
        rankTrackIndexByLanguage(candidates, preferredLanguages, requireLanguageMatch,
                                 languageMatched, requiredCharacteristics, requireCharacteristics);
    return index ? tracks[*index] : nullptr;
}

// The indexes in `subtitlesTracks` of the subtitles for the hard of hearing that
// `captioningCharacteristics` ask for (see selectCaptionCharacteristicsSubtitlesTracks).
std::pair<std::optional<std::size_t>, std::optional<std::size_t>>
selectCaptionCharacteristicsSubtitlesTrackIndexes(
    const std::vector<std::string>& preferredLanguages,
    std::span<const MediaTrack* const> subtitlesTracks,
    const std::vector<std::string>& captioningCharacteristics);

// The subtitles for the hard of hearing that the captioning characteristics ask for, in a
// preferred language only: (first, second). Transcriptions of the dialogue come first; when the
// user also wants music and sound described and the first track does not describe them, a track
// that does is added as the second, or becomes the first when there is no transcription track.
template <std::derived_from<MediaTrack> Track>
std::pair<std::shared_ptr<Track>, std::shared_ptr<Track>>
selectCaptionCharacteristicsSubtitlesTracks(
    const std::vector<std::string>& preferredLanguages,
    const std::vector<std::shared_ptr<Track>>& subtitlesTracks,
    const std::vector<std::string>& captioningCharacteristics) {
    std::vector<const MediaTrack*> candidates;
    candidates.reserve(subtitlesTracks.size());
    for (const std::shared_ptr<Track>& track : subtitlesTracks) {
        candidates.push_back(track.get());
    }
    auto [first, second] = selectCaptionCharacteristicsSubtitlesTrackIndexes(
        preferredLanguages, candidates, captioningCharacteristics);
    return {first ? subtitlesTracks[*first] : nullptr, second ? subtitlesTracks[*second] : nullptr};
}

// The same with the user's captioning characteristics and all subtitles tracks of `source`
// (embedded, then external).
std::pair<std::shared_ptr<SubtitlesTrack>, std::shared_ptr<SubtitlesTrack>>
selectCaptionCharacteristicsSubtitlesTracks(const std::vector<std::string>& preferredLanguages,
                                            const MediaSource& source);

}  // namespace quillon
