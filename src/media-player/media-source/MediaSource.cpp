#include "media-player/media-source/MediaSource.h"

#include <algorithm>
#include <set>
#include <utility>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/DurationSearch.h"
#include "media-player/media-source/FontAttachments.h"
#include "media-player/media-source/InputFormatContext.h"
#include "media-player/media-source/MediaSourceMetadata.h"
#include "media-player/media-source/PacketReading.h"
#include "media-player/media-source/StreamTimestamp.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UUID.h"

namespace quillon {

using platform::CMTime;

struct MediaSource::Opening {
    explicit Opening(platform::URL url) : url(std::move(url)) {}

    std::string id;
    platform::URL url;
    CMTime startTime;
    CMTime duration;
    std::vector<std::shared_ptr<VideoTrack>> videoTracks;
    std::vector<std::shared_ptr<AudioTrack>> audioTracks;
    std::vector<std::shared_ptr<SubtitlesTrack>> embeddedSubtitlesTracks;
    AVFormatContextPointer formatContextForVisualTracks;
    AVFormatContextPointer formatContextForAudioTracks;
    std::shared_ptr<UnstatedDuration> unstatedDuration;
    std::unique_ptr<RawStreamClock> rawStreamClock;
    std::shared_ptr<const platform::FontCollection> attachedFonts;
};

namespace {

// A container time (start time, duration) in FFmpeg's microseconds; none when it is missing.
std::optional<CMTime> containerTime(std::int64_t value) {
    return cmTimeFromTimestamp(value, av_get_time_base_q());
}

AVFormatContextPointer openContext(const platform::URL& url) {
    try {
        return makeInputFormatContext(url);
    } catch (const platform::Error& error) {
        throw MediaSourceLoadError::failedToOpenURL(url, error);
    }
}

// Both contexts must describe one and the same file, stream for stream, or a track's stream
// index would name different streams in them.
bool streamsAgree(const AVStream& visual, const AVStream& audio) {
    return visual.codecpar->codec_id == audio.codecpar->codec_id &&
           av_cmp_q(visual.time_base, audio.time_base) == 0;
}

// Whether two openings of one file found the same streams on the same time line. Their
// durations are left out: a recording still being written grows between two openings, and
// the later one finds a longer file; that is no modification. The start time comes from the
// first packets of each stream, which a writer that appends never touches; it differs only
// where the file was replaced, or was so young that one opening saw a stream begin and the
// other did not, and in both cases the two really read different files.
bool sameStreams(const AVFormatContext& first, const AVFormatContext& second) {
    if (first.start_time != second.start_time || first.nb_streams != second.nb_streams) {
        return false;
    }
    for (unsigned i = 0; i < first.nb_streams; ++i) {
        if (!streamsAgree(*first.streams[i], *second.streams[i])) {
            return false;
        }
    }
    return true;
}

// An audio stream whose sample rate or channels the stream search never found (one declared by a
// broadcast's programme table that never carries a packet) has nothing to play; as a track it
// would be silent, and could even be the one chosen by default.
bool hasAudioParameters(const AVStream& stream) {
    const AVCodecParameters* parameters = stream.codecpar;
    return parameters == nullptr || parameters->codec_type != AVMEDIA_TYPE_AUDIO ||
           (parameters->sample_rate > 0 && parameters->ch_layout.nb_channels > 0);
}

// Moves a context that nothing has read from yet to time zero. Without a start time the
// streams carry no timestamps to seek by (raw elementary streams): the demuxer would read
// through the whole file looking for one, refuse, and leave the context at the end. Such a
// context needs no seek, as it is at the start already: what probing read is kept and handed
// out first.
void seekToStart(AVFormatContext& context) {
    if (context.start_time == AV_NOPTS_VALUE) {
        return;
    }
    seek(context, platform::kCMTimeZero);
}

// Moves a freshly opened context to time zero, or, where that fails, replaces it by one opened
// afresh that stands at its start. A file cut short (a download stopped half way) lost its
// index with its end, and the demuxer, looking for a key frame to seek to, may read through to
// the end of what is there and fail, leaving the context there. Nothing has been read from a
// fresh context but its header and what probing buffered, so it is at its start already; later
// seeks work as far as the data goes. An input that cannot be opened again (not a regular
// file), or opens differently the second time, keeps the seek's failure.
void seekToStartOrReopen(AVFormatContextPointer& context, const platform::URL& url) {
    try {
        seekToStart(*context);
        return;
    } catch (const platform::Error& error) {
        const AVIOContext* io = context->pb;
        if (io == nullptr || (io->seekable & AVIO_SEEKABLE_NORMAL) == 0) {
            throw MediaSourceLoadError::failedToSeek(error);
        }
        AVFormatContextPointer reopened;
        try {
            reopened = makeInputFormatContext(url);
        } catch (const platform::Error&) {
            throw MediaSourceLoadError::failedToSeek(error);
        }
        if (!sameStreams(*context, *reopened)) {
            throw MediaSourceLoadError::failedToSeek(error);
        }
        platform::logLine(
            platform::LogLevel::info,
            "Reading the media from where it was opened, as it cannot be sought to its start.");
        context = std::move(reopened);
    }
}

}  // namespace

MediaSource::Opening MediaSource::open(
    const platform::URL& url, CMTime fallbackDuration, bool requiresDuration,
    std::shared_ptr<const platform::FontCollection> documentFonts) {
    if (!url.isFileURL()) {
        throw LoadError::unsupportedURLScheme(url.scheme());
    }

    Opening opening(url);
    opening.formatContextForVisualTracks = openContext(url);
    opening.formatContextForAudioTracks = openContext(url);
    AVFormatContext& visual = *opening.formatContextForVisualTracks;
    AVFormatContext& audio = *opening.formatContextForAudioTracks;

    if (!sameStreams(visual, audio)) {
        throw LoadError::inconsistentReads();
    }

    opening.startTime = containerTime(visual.start_time).value_or(platform::kCMTimeZero);
    // Of a file still being written, the audio context, opened last, saw the most; elsewhere the
    // two agree. A missing duration (AV_NOPTS_VALUE) is the least of all values. Measuring from
    // the start may read the file's header again, so it is done for the longer context alone.
    const AVFormatContext& longer = audio.duration > visual.duration ? audio : visual;
    if (auto duration = containerTime(durationFromStart(longer))) {
        opening.duration = *duration;
    } else if (requiresDuration) {
        DurationSearchResult found = searchDuration(url, visual);
        if (found.isEmpty) {
            throw LoadError::failedToReadMediaDuration();
        }
        opening.duration = found.duration.value_or(platform::kCMTimeZero);
        if (found.isEstimate) {
            opening.unstatedDuration =
                std::make_shared<UnstatedDuration>(opening.startTime, found.duration);
        }
        opening.rawStreamClock = std::move(found.clock);
    } else {
        opening.duration = fallbackDuration;
    }

    opening.id = platform::UUID().uuidString();
    // Styled subtitles resolve their fonts when their tracks are made.
    opening.attachedFonts = quillon::attachedFonts(visual, url, std::move(documentFonts));

    // Each kind refuses the streams of the other kinds with a thrown error, so the first kind
    // that accepts a stream decides what it is; a stream no kind accepts (data, cover pictures,
    // streams without a usable decoder) becomes no track. The decoders log their own failures.
    for (unsigned i = 0; i < visual.nb_streams; ++i) {
        const AVStream& visualStream = *visual.streams[i];
        const AVStream& audioStream = *audio.streams[i];
        try {
            opening.videoTracks.push_back(VideoTrack::make(opening.id, visualStream));
            continue;
        } catch (const platform::Error&) {
        }
        if (!hasAudioParameters(audioStream)) {
            continue;
        }
        try {
            auto decoder = FFmpegAudioDecoder::make(audioStream);
            opening.audioTracks.push_back(
                AudioTrack::make(std::move(decoder), opening.id, audioStream));
            continue;
        } catch (const platform::Error&) {
        }
        try {
            opening.embeddedSubtitlesTracks.push_back(
                SubtitlesTrack::make(opening.id, visualStream, nullptr, opening.attachedFonts));
        } catch (const platform::Error&) {
        }
    }

    if (opening.videoTracks.empty() && opening.audioTracks.empty() &&
        opening.embeddedSubtitlesTracks.empty()) {
        throw LoadError::noDecodableTracks(
            {MediaType::video, MediaType::audio, MediaType::subtitles});
    }

    // No one else knows the contexts yet, so they are used here without their queues. The
    // tracks keep nothing of a context's streams, so a context may still be replaced.
    seekToStartOrReopen(opening.formatContextForVisualTracks, url);
    seekToStartOrReopen(opening.formatContextForAudioTracks, url);
    return opening;
}

MediaSource::MediaSource(const platform::URL& openingURL, CMTime fallbackDuration,
                         bool requiresDuration,
                         std::shared_ptr<const platform::FontCollection> documentFonts)
    : MediaSource(open(openingURL, fallbackDuration, requiresDuration, std::move(documentFonts))) {}

MediaSource::MediaSource(Opening&& opening)
    : id_(std::move(opening.id)),
      url_(std::move(opening.url)),
      startTime_(opening.startTime),
      duration_(opening.duration),
      mediaType_(!opening.videoTracks.empty()   ? MediaType::video
                 : !opening.audioTracks.empty() ? MediaType::audio
                                                : MediaType::subtitles),
      videoTracks_(std::move(opening.videoTracks)),
      audioTracks_(std::move(opening.audioTracks)),
      embeddedSubtitlesTracks_(std::move(opening.embeddedSubtitlesTracks)),
      visualTracksQueue_(platform::DispatchQueue::makeSerial(visualTracksQueueLabel)),
      formatContextForVisualTracks_(std::move(opening.formatContextForVisualTracks)),
      audioTracksQueue_(platform::DispatchQueue::makeSerial(audioTracksQueueLabel)),
      formatContextForAudioTracks_(std::move(opening.formatContextForAudioTracks)),
      attachedFonts_(std::move(opening.attachedFonts)),
      unstatedDuration_(std::move(opening.unstatedDuration)) {
    if (unstatedDuration_ || opening.rawStreamClock) {
        visualTimeline_ =
            std::make_unique<ContextTimeline>(unstatedDuration_, std::move(opening.rawStreamClock));
        visualTimeline_->attach(*formatContextForVisualTracks_);
    }
    if (unstatedDuration_) {
        // A raw stream is read through the visual context only: the audio one needs no clock.
        audioTimeline_ = std::make_unique<ContextTimeline>(unstatedDuration_, nullptr);
        audioTimeline_->attach(*formatContextForAudioTracks_);
        // The source outlives every read through it, and so every call of this.
        unstatedDuration_->setDidChange([this] {
            platform::NotificationCenter::defaultCenter().post(durationDidChangeNotification, this);
        });
    }

    // The main stream is the one that plays first: audio, or video where there is no audio.
    std::optional<unsigned> mainStreamIndex;
    if (!audioTracks_.empty()) {
        mainStreamIndex = audioTracks_.front()->streamIndex();
    } else if (!videoTracks_.empty()) {
        mainStreamIndex = videoTracks_.front()->streamIndex();
    }
    optionalMetadata_ = std::make_shared<const OptionalMetadata>(
        makeMetadata(*formatContextForVisualTracks_, mediaType_, mainStreamIndex));
}

MediaSource::~MediaSource() {
    formatContextForVisualTracks_.reset();
    formatContextForAudioTracks_.reset();
}

std::vector<std::shared_ptr<SubtitlesTrack>> MediaSource::allSubtitlesTracks() const {
    std::vector<std::shared_ptr<SubtitlesTrack>> tracks = embeddedSubtitlesTracks_;
    for (auto& track : externalSubtitlesTracks()) {
        tracks.push_back(std::move(track));
    }
    return tracks;
}

}  // namespace quillon
