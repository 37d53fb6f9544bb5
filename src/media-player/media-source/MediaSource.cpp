#include "media-player/media-source/MediaSource.h"

#include <set>
#include <utility>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/InputFormatContext.h"
#include "media-player/media-source/MediaSourceMetadata.h"
#include "media-player/media-source/PacketReading.h"
#include "media-player/media-source/StreamTimestamp.h"
#include "platform/foundation/FatalError.h"
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

}  // namespace

MediaSource::Opening MediaSource::open(const platform::URL& url, CMTime fallbackDuration,
                                       bool requiresDuration) {
    if (!url.isFileURL()) {
        throw LoadError::unsupportedURLScheme(url.scheme());
    }

    Opening opening(url);
    opening.formatContextForVisualTracks = openContext(url);
    opening.formatContextForAudioTracks = openContext(url);
    AVFormatContext& visual = *opening.formatContextForVisualTracks;
    AVFormatContext& audio = *opening.formatContextForAudioTracks;

    if (visual.start_time != audio.start_time || visual.duration != audio.duration ||
        visual.nb_streams != audio.nb_streams) {
        throw LoadError::inconsistentReads();
    }

    opening.startTime = containerTime(visual.start_time).value_or(platform::kCMTimeZero);
    if (auto duration = containerTime(durationFromStart(visual))) {
        opening.duration = *duration;
    } else if (requiresDuration) {
        throw LoadError::failedToReadMediaDuration();
    } else {
        opening.duration = fallbackDuration;
    }

    opening.id = platform::UUID().uuidString();

    // Each kind refuses the streams of the other kinds with a thrown error, so the first kind
    // that accepts a stream decides what it is; a stream no kind accepts (data, cover pictures,
    // streams without a usable decoder) becomes no track. The decoders log their own failures.
    for (unsigned i = 0; i < visual.nb_streams; ++i) {
        const AVStream& visualStream = *visual.streams[i];
        const AVStream& audioStream = *audio.streams[i];
        if (!streamsAgree(visualStream, audioStream)) {
            throw LoadError::inconsistentReads();
        }
        try {
            opening.videoTracks.push_back(VideoTrack::make(opening.id, visualStream));
            continue;
        } catch (const platform::Error&) {
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
                SubtitlesTrack::make(opening.id, visualStream, nullptr));
        } catch (const platform::Error&) {
        }
    }

    if (opening.videoTracks.empty() && opening.audioTracks.empty() &&
        opening.embeddedSubtitlesTracks.empty()) {
        throw LoadError::noDecodableTracks(
            {MediaType::video, MediaType::audio, MediaType::subtitles});
    }

    // No one else knows the contexts yet, so they are used here without their queues.
    try {
        seekToStart(visual);
        seekToStart(audio);
    } catch (const platform::Error& error) {
        throw LoadError::failedToSeek(error);
    }
    return opening;
}

MediaSource::MediaSource(const platform::URL& openingURL, CMTime fallbackDuration,
                         bool requiresDuration)
    : MediaSource(open(openingURL, fallbackDuration, requiresDuration)) {}

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
      formatContextForAudioTracks_(std::move(opening.formatContextForAudioTracks)) {
    optionalMetadata_ = std::make_shared<const OptionalMetadata>(
        makeMetadata(*formatContextForVisualTracks_, mediaType_));
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
