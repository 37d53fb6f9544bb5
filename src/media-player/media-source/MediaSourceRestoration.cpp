#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceRestorationParameters.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/URLBookmark.h"

// A source's restorable state: its identifier, which also names its tracks (the player's
// restored track selections refer to tracks by identifier), and one record per attached
// subtitle file with that file's own state. Every failure while restoring only skips what it
// affects: a window must come back even when some of its subtitle files did not.

namespace quillon {

namespace {

constexpr const char* kIdentifierKey = "org.quillon.MediaSource.id";
constexpr const char* kRestorationParametersArrayKey =
    "org.quillon.MediaSource.externalSubtitlesMediaSourceRestorationParametersArray";

using Records = std::vector<std::shared_ptr<MediaSourceRestorationParameters>>;
using NestedRestore = std::function<void(MediaSource& subtitlesSource,
                                         std::shared_ptr<platform::NSKeyedUnarchiver> coder,
                                         std::function<void()> completion)>;

// Re-attaches a source's stored subtitle files strictly one after another, in stored order, so
// that they come back in the order the user added them. The chain holds the source weakly: a
// window closed meanwhile ends it early. Every way through calls `finish` exactly once, since
// whoever waits for the end of restoration (the window restoration store) would wait for ever.
struct ExternalSubtitlesRestoration {
    std::weak_ptr<MediaSource> source;
    Records records;
    NestedRestore restoreNested;
    std::function<void()> finish;
};

void restoreRecord(const std::shared_ptr<const ExternalSubtitlesRestoration>& chain,
                   std::size_t index);

void restoreNextRecord(const std::shared_ptr<const ExternalSubtitlesRestoration>& chain,
                       std::size_t index) {
    if (chain->source.expired()) {
        chain->finish();
        return;
    }
    restoreRecord(chain, index + 1);
}

void restoreRecord(const std::shared_ptr<const ExternalSubtitlesRestoration>& chain,
                   std::size_t index) {
    if (index == chain->records.size()) {
        chain->finish();
        return;
    }
    const auto source = chain->source.lock();
    if (!source) {
        chain->finish();
        return;
    }
    const MediaSourceRestorationParameters& record = *chain->records[index];

    // The bookmark finds a file that was renamed since; the stored URL is the fallback.
    platform::URL url = record.url();
    if (const auto& bookmark = record.urlBookmarkData()) {
        try {
            bool isStale = false;
            url = platform::URLByResolvingBookmarkData(
                *bookmark, platform::NSURLBookmarkResolutionWithSecurityScope, isStale);
        } catch (const platform::Error&) {
        }
    }

    source->loadExternalSubtitles(
        url, [chain, index](MediaSource::ExternalSubtitlesLoadResult result) {
            auto* loaded = std::get_if<MediaSource::ExternalSubtitles>(&result);
            if (loaded == nullptr) {
                restoreNextRecord(chain, index);
                return;
            }
            std::shared_ptr<MediaSource> subtitlesSource;
            {
                const auto source = chain->source.lock();
                if (!source) {
                    chain->finish();
                    return;
                }
                // A file found beside the media at load time is attached already: its state
                // goes into the source that is there, so its tracks get their stored names back.
                subtitlesSource = source->addExternalSubtitles(std::move(*loaded)).mediaSource;
            }
            std::shared_ptr<platform::NSKeyedUnarchiver> coder;
            try {
                coder = std::make_shared<platform::NSKeyedUnarchiver>(
                    chain->records[index]->restorableState());
            } catch (const platform::Error&) {
                restoreNextRecord(chain, index);
                return;
            }
            chain->restoreNested(*subtitlesSource, std::move(coder),
                                 [chain, index] { restoreNextRecord(chain, index); });
        });
}

}  // namespace

void MediaSource::encodeRestorableState(platform::NSKeyedArchiver& coder) const {
    coder.encodeString(id(), kIdentifierKey);

    const auto tracks = externalSubtitlesTracks();
    if (tracks.empty()) {
        return;
    }
    // One record per subtitle file: a file's tracks share its source.
    std::vector<const MediaSource*> sources;
    Records records;
    for (const auto& track : tracks) {
        const MediaSource* subtitlesSource = track->externalMediaSource().get();
        if (std::find(sources.begin(), sources.end(), subtitlesSource) != sources.end()) {
            continue;
        }
        sources.push_back(subtitlesSource);
        records.push_back(MediaSourceRestorationParameters::make(*subtitlesSource));
    }
    coder.encodeEncodable(records, kRestorationParametersArrayKey);
}

void MediaSource::restoreState(std::shared_ptr<platform::NSKeyedUnarchiver> coder,
                               std::function<void()> completion) {
    restoreNestedState(std::move(coder), [completion = std::move(completion)] {
        platform::DispatchQueue::main().async(completion);
    });
}

void MediaSource::restoreNestedState(std::shared_ptr<platform::NSKeyedUnarchiver> coder,
                                     std::function<void()> completion) {
    platform::precondition(coder != nullptr, "Restoring a media source needs an unarchiver.");
    // An unarchiver set to raise its failures must not end restoration either.
    std::optional<std::string> identifier;
    try {
        identifier = coder->decodeString(kIdentifierKey);
    } catch (const platform::Error&) {
    }
    if (identifier) {
        setId(*identifier);
        for (const auto& track : videoTracks_) {
            track->setId(MediaTrack::makeIdentifier(*identifier, track->streamIndex()));
        }
        for (const auto& track : audioTracks_) {
            track->setId(MediaTrack::makeIdentifier(*identifier, track->streamIndex()));
        }
        for (const auto& track : embeddedSubtitlesTracks_) {
            track->setId(MediaTrack::makeIdentifier(*identifier, track->streamIndex()));
        }
        platform::NotificationCenter::defaultCenter().post(
            restorableStateWasInvalidatedNotification, this);
    }

    std::optional<Records> records;
    try {
        records = coder->decodeDecodable<Records>(kRestorationParametersArrayKey);
    } catch (const platform::Error&) {
    }

    auto finish = [coder, completion = std::move(completion)] {
        coder->finishDecoding();
        completion();
    };
    if (!records || records->empty()) {
        finish();
        return;
    }
    // The chain restores each subtitle source through this private entry point.
    NestedRestore restoreNested = [](MediaSource& subtitlesSource,
                                     std::shared_ptr<platform::NSKeyedUnarchiver> nestedCoder,
                                     std::function<void()> nestedCompletion) {
        subtitlesSource.restoreNestedState(std::move(nestedCoder), std::move(nestedCompletion));
    };
    restoreRecord(
        std::make_shared<const ExternalSubtitlesRestoration>(ExternalSubtitlesRestoration{
            weak_from_this(), std::move(*records), std::move(restoreNested), std::move(finish)}),
        0);
}

void MediaSource::externalSubtitlesMediaSourceRestorableStateWasInvalidated(
    const platform::Notification&) {
    platform::NotificationCenter::defaultCenter().post(restorableStateWasInvalidatedNotification,
                                                       this);
}

}  // namespace quillon
