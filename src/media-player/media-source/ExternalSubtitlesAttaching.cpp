#include "media-player/media-source/ExternalSubtitlesAttaching.h"

#include "media-player/media-source/MediaSource.h"
#include "platform/dispatch/DispatchGroup.h"

namespace quillon {

namespace {

using ExternalTracks = std::vector<std::shared_ptr<ExternalSubtitlesTrack>>;

// The subtitles tracks of one subtitle file, or none when it does not open or has none.
ExternalTracks loadSubtitleFile(const platform::URL& url, platform::CMTime mainDuration) {
    std::shared_ptr<MediaSource> source;
    try {
        // A subtitle file rarely states a duration; the media's own stands in.
        source = MediaSource::make(url, mainDuration, false);
    } catch (const MediaSourceLoadError&) {
        return {};
    } catch (...) {
        stopOnErrorThatIsNotALoadError();
    }
    ExternalTracks tracks;
    for (const auto& track : source->embeddedSubtitlesTracks()) {
        tracks.push_back(ExternalSubtitlesTrack::make(source, track));
    }
    return tracks;
}

}  // namespace

void attachFoundSubtitleFiles(const std::vector<platform::URL>& subtitleFileURLs,
                              const std::shared_ptr<MediaSource>& mainSource,
                              std::function<void(std::shared_ptr<MediaSource>)> completion) {
    if (subtitleFileURLs.empty()) {
        completion(mainSource);
        return;
    }
    // One slot per file keeps the attaching order that of the list, whatever order the
    // concurrent loads finish in; each slot is written by its own job only, before the group
    // is left.
    auto slots = std::make_shared<std::vector<ExternalTracks>>(subtitleFileURLs.size());
    const platform::DispatchGroup group;
    auto& queue = platform::DispatchQueue::global(platform::DispatchQoS::userInitiated);
    const platform::CMTime mainDuration = mainSource->duration();
    for (std::size_t index = 0; index < subtitleFileURLs.size(); ++index) {
        queue.async(group, [slots, index, url = subtitleFileURLs[index], mainDuration] {
            (*slots)[index] = loadSubtitleFile(url, mainDuration);
        });
    }
    group.notify(queue, [slots, mainSource, completion = std::move(completion)] {
        mainSource->externalSubtitlesTracksBox().modify([&](ExternalTracks& attached) {
            for (ExternalTracks& tracks : *slots) {
                attached.insert(attached.end(), tracks.begin(), tracks.end());
            }
        });
        completion(mainSource);
    });
}

}  // namespace quillon
