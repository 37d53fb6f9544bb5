#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-source/AudioTrack.h"
#include "media-player/media-source/ContextTimeline.h"
#include "media-player/media-source/ExternalSubtitlesTrack.h"
#include "media-player/media-source/FileResourceIdentifier.h"
#include "media-player/media-source/MediaSourceLoadError.h"
#include "media-player/media-source/SiblingSubtitlesScanner.h"
#include "media-player/media-source/SubtitlesTrack.h"
#include "media-player/media-source/UnstatedDuration.h"
#include "media-player/media-source/VideoTrack.h"
#include "media-player/media-types/Atomic.h"
#include "media-player/media-types/MediaType.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Notification.h"
#include "platform/foundation/ObserverToken.h"
#include "platform/foundation/URL.h"
#include "platform/graphics/FontCollection.h"

namespace platform {
class NSKeyedArchiver;
class NSKeyedUnarchiver;
}  // namespace platform

namespace quillon {

// One opened local media file, the system's only door to it. The file is opened twice: one
// demuxer context for the visual streams (video and embedded subtitles) and one for the audio
// streams, so that the visual and the audio readers keep independent read positions. Each
// context is used only on its own serial queue; stream index i names the same stream in both,
// so a track's streamIndex is valid in either.
//
// A source exists only fully opened, and is shared (std::shared_ptr) by the document, the player
// and the external subtitles tracks that point to it. Everything but the identifier, the
// external subtitles and a duration that the file does not state is fixed after construction
// and may be read from any thread.
class MediaSource : public std::enable_shared_from_this<MediaSource> {
public:
    using LoadError = MediaSourceLoadError;
    // The descriptive metadata of the container (titles, people, artwork, ...); defined with the
    // code that reads it.
    struct OptionalMetadata;

    using Completion = std::function<void(std::shared_ptr<MediaSource> source)>;
    using Failure = std::function<void(const LoadError& error)>;

    // One subtitle file opened as a source of its own, with its subtitles tracks in stream order.
    struct ExternalSubtitles {
        std::shared_ptr<MediaSource> mediaSource;
        std::vector<std::shared_ptr<ExternalSubtitlesTrack>> externalSubtitlesTracks;
    };
    using ExternalSubtitlesLoadResult = std::variant<ExternalSubtitles, LoadError>;
    using ExternalSubtitlesLoadCompletion = std::function<void(ExternalSubtitlesLoadResult)>;

    // Posted (object: the source) whenever an archive written now would differ from the last.
    static constexpr const char* restorableStateWasInvalidatedNotification =
        "org.quillon.MediaSource.restorableStateWasInvalidatedNotification";
    // Posted (object: the source) from a reading queue when a duration that the file does not
    // state has become better known: its end was read, or reading went a second further.
    static constexpr const char* durationDidChangeNotification =
        "org.quillon.MediaSource.durationDidChangeNotification";

    // Opens the file in the background while `scanner` looks for its subtitle files; attaches
    // the ones found, then calls `completion`. On failure calls `failure` at once instead. Exactly
    // one of the two is called, from a global queue, never on the main thread.
    static void load(const platform::URL& url, Completion completion, Failure failure,
                     std::shared_ptr<const SiblingSubtitlesScanner> scanner =
                         SiblingSubtitlesScanner::standard());

    // Opens `openingURL` and makes a track of every usable stream; the contexts are left at
    // time zero. `fallbackDuration` stands in when the container has no duration, unless
    // `requiresDuration`. The fonts the file carries are registered for its subtitles before
    // their tracks are made; those it lacks are looked up in `documentFonts` (the media file's,
    // for a subtitle file of it). Throws LoadError and leaves nothing open then.
    MediaSource(const platform::URL& openingURL, platform::CMTime fallbackDuration,
                bool requiresDuration,
                std::shared_ptr<const platform::FontCollection> documentFonts = nullptr);
    static std::shared_ptr<MediaSource> make(
        const platform::URL& openingURL, platform::CMTime fallbackDuration, bool requiresDuration,
        std::shared_ptr<const platform::FontCollection> documentFonts = nullptr) {
        return std::make_shared<MediaSource>(openingURL, fallbackDuration, requiresDuration,
                                             std::move(documentFonts));
    }

    // Closes the visual context, then the audio context. The last owner goes away only after
    // everything that reads through the source, so no queue is entered.
    ~MediaSource();

    MediaSource(const MediaSource&) = delete;
    MediaSource& operator=(const MediaSource&) = delete;

    // The upper-case text of a random UUID; replaced only by restoration.
    std::string id() const { return id_.wrappedValue(); }
    void setId(std::string id) { id_.setWrappedValue(std::move(id)); }

    const platform::URL& url() const { return url_; }
    // The container's start time: where media time zero lies on the packets' time line.
    platform::CMTime startTime() const { return startTime_; }
    // The duration as far as it is known. A file that states none may have it estimated, or
    // learnt as it is read: see isDurationFinal.
    platform::CMTime duration() const {
        return unstatedDuration_ ? unstatedDuration_->duration() : duration_;
    }
    // False while the duration is a guess that reading may still change (the file states none
    // and has not been read to its end): playing must not stop there, nor seeking be held to it.
    bool isDurationFinal() const { return !unstatedDuration_ || unstatedDuration_->isFinal(); }
    // Video when there is a video track, else audio when there is an audio track, else subtitles.
    MediaType mediaType() const { return mediaType_; }
    // The fonts the file carries, with those it was given to inherit, registered for its
    // subtitles while the source lives; null when there are none.
    const std::shared_ptr<const platform::FontCollection>& attachedFonts() const {
        return attachedFonts_;
    }
    // Read once at construction; every field of it may be absent. Never null.
    const std::shared_ptr<const OptionalMetadata>& optionalMetadata() const {
        return optionalMetadata_;
    }

    // In stream-index order; at least one of the three lists has a track.
    const std::vector<std::shared_ptr<VideoTrack>>& videoTracks() const { return videoTracks_; }
    const std::vector<std::shared_ptr<AudioTrack>>& audioTracks() const { return audioTracks_; }
    const std::vector<std::shared_ptr<SubtitlesTrack>>& embeddedSubtitlesTracks() const {
        return embeddedSubtitlesTracks_;
    }

    // The tracks of attached subtitle files, file after file in the order of attaching; only
    // grows. A copy taken under the list's lock.
    std::vector<std::shared_ptr<ExternalSubtitlesTrack>> externalSubtitlesTracks() const {
        return externalSubtitlesTracks_.wrappedValue();
    }
    // The embedded subtitles tracks, then the external ones.
    std::vector<std::shared_ptr<SubtitlesTrack>> allSubtitlesTracks() const;

    // Opens the subtitle file at `url` as a source of its own (this source's duration stands in
    // for a missing one), wraps its subtitles tracks and sets their text encodings; attaches
    // nothing. `completion` runs once, on a global queue.
    void loadExternalSubtitles(const platform::URL& url,
                               ExternalSubtitlesLoadCompletion completion) const;
    // Attaches a loaded subtitle file unless the same file (by FileResourceIdentifier) is
    // attached already; returns what is attached for that file afterwards.
    ExternalSubtitles addExternalSubtitles(ExternalSubtitles externalSubtitles);
    // Loads the files concurrently and attaches those that open, in the list's order, then calls
    // `completion` with this source (at once when the list is empty). Failures are dropped.
    void attachExternalSubtitlesFound(const std::vector<platform::URL>& subtitleFileURLs,
                                      Completion completion);

    // The platform's reference URL of `url`, which outlives moves; Linux has none.
    const std::optional<platform::URL>& fileReferenceURL() const { return fileReferenceURL_; }

    // Writes the identifier and the attached subtitle files' records into an archive that
    // requires secure coding.
    void encodeRestorableState(platform::NSKeyedArchiver& coder) const;
    // Restores the identifiers (and the tracks' from them) and re-attaches the stored subtitle
    // files one after another; `completion` runs on the main queue once all were restored or
    // skipped. The unarchiver is kept until then.
    void restoreState(std::shared_ptr<platform::NSKeyedUnarchiver> coder,
                      std::function<void()> completion);
    // Passes an attached subtitle file's change on as this source's own.
    void externalSubtitlesMediaSourceRestorableStateWasInvalidated(
        const platform::Notification& notification);

    // "Media Source Queue (Visual Tracks)": every use of the visual context runs on it.
    const std::shared_ptr<platform::DispatchQueue>& visualTracksQueue() const {
        return visualTracksQueue_;
    }
    // The context of the video and embedded subtitles streams; use only on visualTracksQueue.
    AVFormatContext& formatContextForVisualTracks() const { return *formatContextForVisualTracks_; }

    // "Media Source Queue (Audio Tracks)": every use of the audio context runs on it.
    const std::shared_ptr<platform::DispatchQueue>& audioTracksQueue() const {
        return audioTracksQueue_;
    }
    // The context of the audio streams; use only on audioTracksQueue.
    AVFormatContext& formatContextForAudioTracks() const { return *formatContextForAudioTracks_; }

    static constexpr const char* visualTracksQueueLabel = "Media Source Queue (Visual Tracks)";
    static constexpr const char* audioTracksQueueLabel = "Media Source Queue (Audio Tracks)";

private:
    // What the opening sequence produces before the object takes it over.
    struct Opening;
    explicit MediaSource(Opening&& opening);
    static Opening open(const platform::URL& url, platform::CMTime fallbackDuration,
                        bool requiresDuration,
                        std::shared_ptr<const platform::FontCollection> documentFonts);

    // Restoration's nested form: `completion` runs at once where restoring ends.
    void restoreNestedState(std::shared_ptr<platform::NSKeyedUnarchiver> coder,
                            std::function<void()> completion);

    Atomic<std::vector<std::shared_ptr<ExternalSubtitlesTrack>>> externalSubtitlesTracks_{{}};
    Atomic<std::unordered_map<FileResourceIdentifier, ExternalSubtitles>>
        fileResourceIdentifierToExternalSubtitlesMap_{{}};
    // The observations of the attached subtitle sources' restorable-state notifications.
    Atomic<std::vector<platform::ObserverToken>> externalSubtitlesObservations_{{}};
    Atomic<std::string> id_;
    platform::URL url_;
    std::optional<platform::URL> fileReferenceURL_;
    platform::CMTime startTime_;
    platform::CMTime duration_;
    MediaType mediaType_;
    std::shared_ptr<const OptionalMetadata> optionalMetadata_;
    std::vector<std::shared_ptr<VideoTrack>> videoTracks_;
    std::vector<std::shared_ptr<AudioTrack>> audioTracks_;
    std::vector<std::shared_ptr<SubtitlesTrack>> embeddedSubtitlesTracks_;
    std::shared_ptr<platform::DispatchQueue> visualTracksQueue_;
    AVFormatContextPointer formatContextForVisualTracks_;
    std::shared_ptr<platform::DispatchQueue> audioTracksQueue_;
    AVFormatContextPointer formatContextForAudioTracks_;
    std::shared_ptr<const platform::FontCollection> attachedFonts_;
    // Only where the file does not state its duration, or its packets carry no times.
    std::shared_ptr<UnstatedDuration> unstatedDuration_;
    std::unique_ptr<ContextTimeline> visualTimeline_;
    std::unique_ptr<ContextTimeline> audioTimeline_;
};

}  // namespace quillon
