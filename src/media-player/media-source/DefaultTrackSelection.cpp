#include "media-player/media-source/DefaultTrackSelection.h"

#include <algorithm>
#include <string_view>

#include "media-player/media-source/MediaSource.h"
#include "platform/accessibility/MACaptionAppearance.h"

namespace quillon {

namespace {

bool containsCharacteristic(const std::vector<std::string>& characteristics,
                            std::string_view characteristic) {
    return std::find(characteristics.begin(), characteristics.end(), characteristic) !=
           characteristics.end();
}

bool hasLanguage(const MediaTrack& track, const std::string& language) {
    const std::vector<std::string>& codes = track.languageCodes();
    return std::find(codes.begin(), codes.end(), language) != codes.end();
}

// Keeps the candidates that pass `test` when at least one does; otherwise keeps them all.
template <typename Test>
void narrowIfAny(std::vector<std::size_t>& candidates, std::span<const MediaTrack* const> tracks,
                 Test test) {
    std::vector<std::size_t> passing;
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(passing),
                 [&](std::size_t index) { return test(*tracks[index]); });
    if (!passing.empty()) {
        candidates = std::move(passing);
    }
}

}  // namespace

std::optional<std::size_t> rankTrackIndexByLanguage(
    std::span<const MediaTrack* const> tracks, const std::vector<std::string>& preferredLanguages,
    bool requireLanguageMatch, bool& languageMatched, MediaCharacteristics requiredCharacteristics,
    bool requireCharacteristics) {
    if (tracks.empty()) {
        return std::nullopt;
    }

    // The user's order of languages wins over the file's order of tracks: a track in the second
    // preferred language is never chosen while any track speaks the first.
    languageMatched = false;
    std::optional<std::string> chosenLanguage;
    for (const std::string& language : preferredLanguages) {
        if (std::any_of(tracks.begin(), tracks.end(),
                        [&](const MediaTrack* track) { return hasLanguage(*track, language); })) {
            chosenLanguage = language;
            break;
        }
    }
    std::vector<std::size_t> candidates;
    for (std::size_t index = 0; index < tracks.size(); ++index) {
        if (!chosenLanguage || hasLanguage(*tracks[index], *chosenLanguage)) {
            candidates.push_back(index);
        }
    }
    if (chosenLanguage) {
        languageMatched = true;
    } else if (requireLanguageMatch) {
        return std::nullopt;
    }

    std::vector<std::size_t> withCharacteristics;
    std::copy_if(candidates.begin(), candidates.end(), std::back_inserter(withCharacteristics),
                 [&](std::size_t index) {
                     return tracks[index]->mediaCharacteristics().contains(requiredCharacteristics);
                 });
    if (!withCharacteristics.empty()) {
        candidates = std::move(withCharacteristics);
    } else if (requireCharacteristics) {
        return std::nullopt;
    }

    // Forced tracks are what the author insists on (signs, foreign dialogue), so they outrank the
    // track the author merely marked as the default.
    narrowIfAny(candidates, tracks, [](const MediaTrack& track) { return track.isForced(); });
    narrowIfAny(candidates, tracks, [](const MediaTrack& track) { return track.isDefault(); });
    return candidates.front();
}

std::pair<std::optional<std::size_t>, std::optional<std::size_t>>
selectCaptionCharacteristicsSubtitlesTrackIndexes(
    const std::vector<std::string>& preferredLanguages,
    std::span<const MediaTrack* const> subtitlesTracks,
    const std::vector<std::string>& captioningCharacteristics) {
    bool languageMatched = false;
    std::optional<std::size_t> first;
    if (containsCharacteristic(
            captioningCharacteristics,
            platform::MAMediaCharacteristicTranscribesSpokenDialogForAccessibility)) {
        first = rankTrackIndexByLanguage(subtitlesTracks, preferredLanguages, true, languageMatched,
                                         MediaCharacteristics::hearingImpaired(), true);
    }
    if (!containsCharacteristic(
            captioningCharacteristics,
            platform::MAMediaCharacteristicDescribesMusicAndSoundForAccessibility)) {
        return {first, std::nullopt};
    }
    if (first && subtitlesTracks[*first]->mediaCharacteristics().contains(
                     MediaCharacteristics::hearingImpairedWithCleanEffects())) {
        return {first, std::nullopt};
    }
    std::optional<std::size_t> second =
        rankTrackIndexByLanguage(subtitlesTracks, preferredLanguages, true, languageMatched,
                                 MediaCharacteristics::hearingImpairedWithCleanEffects(), true);
    if (first) {
        return {first, second};
    }
    return {second, std::nullopt};
}

std::pair<std::shared_ptr<SubtitlesTrack>, std::shared_ptr<SubtitlesTrack>>
selectCaptionCharacteristicsSubtitlesTracks(const std::vector<std::string>& preferredLanguages,
                                            const MediaSource& source) {
    return selectCaptionCharacteristicsSubtitlesTracks(
        preferredLanguages, source.allSubtitlesTracks(),
        platform::MACaptionAppearanceCopyPreferredCaptioningMediaCharacteristics(
            platform::kMACaptionAppearanceDomainUser));
}

DefaultTrackPreferences DefaultTrackPreferences::current() {
    return {
        .languages = platform::MACaptionAppearanceCopySelectedLanguages(
            platform::kMACaptionAppearanceDomainUser),
        .captioningCharacteristics =
            platform::MACaptionAppearanceCopyPreferredCaptioningMediaCharacteristics(
                platform::kMACaptionAppearanceDomainUser),
        .audibleCharacteristics = platform::MAAudibleMediaCopyPreferredCharacteristics(),
    };
}

DefaultTracks selectDefaultTracks(const MediaSource& source) {
    return selectDefaultTracks(source, DefaultTrackPreferences::current());
}

DefaultTracks selectDefaultTracks(const MediaSource& source,
                                  const DefaultTrackPreferences& preferences) {
    const std::vector<std::string>& languages = preferences.languages;

    DefaultTracks tracks;
    bool videoLanguageMatched = false;
    tracks.video = rankTracksByLanguage(source.videoTracks(), languages, false,
                                        videoLanguageMatched, MediaCharacteristics(), false);

    const MediaCharacteristics audioCharacteristics =
        containsCharacteristic(preferences.audibleCharacteristics,
                               platform::MAMediaCharacteristicDescribesVideoForAccessibility)
            ? MediaCharacteristics::describesVideoForAccessibility()
            : MediaCharacteristics();
    bool audioLanguageMatched = false;
    tracks.audio = rankTracksByLanguage(source.audioTracks(), languages, false,
                                        audioLanguageMatched, audioCharacteristics, false);

    // One snapshot of the subtitles: subtitle files may be attached while this runs.
    const std::vector<std::shared_ptr<SubtitlesTrack>> subtitlesTracks =
        source.allSubtitlesTracks();
    std::tie(tracks.primarySubtitles, tracks.secondarySubtitles) =
        selectCaptionCharacteristicsSubtitlesTracks(languages, subtitlesTracks,
                                                    preferences.captioningCharacteristics);

    // Subtitles in the user's language stand in for audio the user would not understand; when the
    // audio already speaks a preferred language they would only be in the way.
    if (!tracks.primarySubtitles && !audioLanguageMatched) {
        bool subtitlesLanguageMatched = false;
        tracks.primarySubtitles =
            rankTracksByLanguage(subtitlesTracks, languages, true, subtitlesLanguageMatched,
                                 MediaCharacteristics(), false);
    }
    return tracks;
}

}  // namespace quillon
