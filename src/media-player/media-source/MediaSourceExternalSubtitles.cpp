#include <cstddef>
#include <optional>
#include <utility>

#include "media-player/media-source/ExternalSubtitlesEncodingDetection.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/SubtitleFileNameTags.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"

namespace quillon {

namespace {

platform::DispatchQueue& loadingQueue() {
    return platform::DispatchQueue::global(platform::DispatchQoS::userInitiated);
}

// Opens one subtitle file, wraps its subtitles tracks and detects their encodings, on the
// calling thread (a loading queue); answers `completion` exactly once, from that thread. The
// file's name is read against the media file's (`mediaURL`) for what the tracks leave unsaid.
void loadExternalSubtitlesFile(const platform::URL& url, const platform::URL& mediaURL,
                               platform::CMTime fallbackDuration,
                               std::shared_ptr<const platform::FontCollection> mediaFonts,
                               const MediaSource::ExternalSubtitlesLoadCompletion& completion) {
    std::shared_ptr<MediaSource> source;
    try {
        source = MediaSource::make(url, fallbackDuration, false, std::move(mediaFonts));
    } catch (const MediaSourceLoadError& error) {
        completion(error);
        return;
    } catch (...) {
        stopOnErrorThatIsNotALoadError();
    }

    // Only the subtitles are wanted of a subtitle file; video or audio streams it may also
    // carry are left unused.
    const SubtitleFileNameTags fileNameTags = subtitleFileNameTags(url, mediaURL);
    std::vector<std::shared_ptr<ExternalSubtitlesTrack>> tracks;
    tracks.reserve(source->embeddedSubtitlesTracks().size());
    for (const auto& track : source->embeddedSubtitlesTracks()) {
        tracks.push_back(ExternalSubtitlesTrack::make(source, track, fileNameTags));
    }
    if (tracks.empty()) {
        completion(MediaSourceLoadError::noDecodableTracks({MediaType::subtitles}));
        return;
    }

    try {
        detectCharacterEncodings(*source, tracks);
    } catch (const MediaSourceLoadError& error) {
        completion(error);
        return;
    } catch (...) {
        stopOnErrorThatIsNotALoadError();
    }
    completion(MediaSource::ExternalSubtitles{std::move(source), std::move(tracks)});
}

// The identity of the file a loaded subtitle source was opened from; none when it can't be read
// (the file is then attached without being recognised later).
std::optional<FileResourceIdentifier> fileIdentity(const MediaSource& source) {
    try {
        return FileResourceIdentifier::make(source.fileReferenceURL().value_or(source.url()));
    } catch (const platform::Error&) {
        return std::nullopt;
    }
}

}  // namespace

void MediaSource::loadExternalSubtitles(const platform::URL& url,
                                        ExternalSubtitlesLoadCompletion completion) const {
    loadingQueue().async([url, mediaURL = url_, duration = duration_, fonts = attachedFonts_,
                          completion = std::move(completion)] {
        loadExternalSubtitlesFile(url, mediaURL, duration, fonts, completion);
    });
}

MediaSource::ExternalSubtitles MediaSource::addExternalSubtitles(
    ExternalSubtitles externalSubtitles) {
    platform::precondition(externalSubtitles.mediaSource != nullptr,
                           "Attached subtitles need the source of their file.");
    // The identity is read under the map's lock, so that two attachments of one file can't both
    // find it missing.
    std::optional<ExternalSubtitles> attached =
        fileResourceIdentifierToExternalSubtitlesMap_.modify(
            [&](auto& map) -> std::optional<ExternalSubtitles> {
                const std::optional<FileResourceIdentifier> identifier =
                    fileIdentity(*externalSubtitles.mediaSource);
                if (!identifier) {
                    return std::nullopt;
                }
                const auto [entry, inserted] = map.try_emplace(*identifier, externalSubtitles);
                if (inserted) {
                    return std::nullopt;
                }
                return entry->second;
            });
    if (attached) {
        return std::move(*attached);
    }

    externalSubtitlesTracks_.modify([&](auto& tracks) {
        tracks.insert(tracks.end(), externalSubtitles.externalSubtitlesTracks.begin(),
                      externalSubtitles.externalSubtitlesTracks.end());
    });

    // A change of the subtitle file's own state (its restored identifier) is a change of this
    // source's state. The observation must not keep this source alive: the source owns it.
    auto& center = platform::NotificationCenter::defaultCenter();
    platform::ObserverToken observation = center.addObserver(
        restorableStateWasInvalidatedNotification, externalSubtitles.mediaSource.get(),
        [weakSelf = weak_from_this()](const platform::Notification& notification) {
            if (auto self = weakSelf.lock()) {
                self->externalSubtitlesMediaSourceRestorableStateWasInvalidated(notification);
            }
        });
    externalSubtitlesObservations_.modify(
        [&](auto& observations) { observations.push_back(std::move(observation)); });

    center.post(restorableStateWasInvalidatedNotification, this);
    return externalSubtitles;
}

void MediaSource::attachExternalSubtitlesFound(const std::vector<platform::URL>& subtitleFileURLs,
                                               Completion completion) {
    std::shared_ptr<MediaSource> self = shared_from_this();
    if (subtitleFileURLs.empty()) {
        completion(std::move(self));
        return;
    }

    // One slot per file, so that the files are attached in the scan's order whichever finishes
    // loading first.
    using Slots = Atomic<std::vector<std::optional<ExternalSubtitles>>>;
    auto slots = std::make_shared<Slots>(
        std::vector<std::optional<ExternalSubtitles>>(subtitleFileURLs.size()));
    const platform::DispatchGroup group;
    for (std::size_t index = 0; index < subtitleFileURLs.size(); ++index) {
        group.enter();
        loadingQueue().async([url = subtitleFileURLs[index], mediaURL = url_, duration = duration_,
                              fonts = attachedFonts_, slots, index, group] {
            loadExternalSubtitlesFile(
                url, mediaURL, duration, fonts, [&](ExternalSubtitlesLoadResult result) {
                    // A file found beside the media that doesn't load is simply not offered.
                    if (auto* loaded = std::get_if<ExternalSubtitles>(&result)) {
                        slots->modify([&](auto& values) { values[index] = std::move(*loaded); });
                    }
                });
            group.leave();
        });
    }

    group.notify(
        loadingQueue(), [self = std::move(self), slots, completion = std::move(completion)] {
            for (auto& loaded : slots->modify([](auto& values) { return std::move(values); })) {
                if (loaded) {
                    (void)self->addExternalSubtitles(std::move(*loaded));
                }
            }
            completion(self);
        });
}

}  // namespace quillon
