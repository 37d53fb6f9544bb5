#include "MediaProbe.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include <fmt/format.h>

#include "ProbeError.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/MediaSourceMetadata.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coreaudio/AudioStreamBasicDescription.h"
#include "platform/coremedia/CMAudioFormatDescription.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/URL.h"

namespace quillon::probe {
namespace {

using platform::CMTime;

std::string timeText(CMTime time) {
    if (!platform::CMTIME_IS_NUMERIC(time)) {
        return platform::CMTimeCopyDescription(time);
    }
    return fmt::format("{:.6f} s ({}/{})", platform::CMTimeGetSeconds(time), time.value,
                       time.timescale);
}

const char* mediaTypeName(MediaType type) {
    switch (type) {
        case MediaType::video:
            return "video";
        case MediaType::audio:
            return "audio";
        case MediaType::subtitles:
            return "subtitles";
    }
    return "?";
}

std::string rationalText(AVRational value) {
    return fmt::format("{}/{}", value.num, value.den);
}

// A ratio as the reduced fraction that ffprobe prints for sample and display aspect ratios
// (before any display transform).
std::string ratioText(double ratio) {
    const AVRational fraction = av_d2q(ratio, 1024 * 1024);
    return fmt::format("{}:{}", fraction.num, fraction.den);
}

std::string characteristicsText(MediaCharacteristics characteristics) {
    std::vector<std::string> names;
    if (characteristics.contains(MediaCharacteristics::describesVideoForAccessibility())) {
        names.emplace_back("describes video");
    }
    if (characteristics.contains(MediaCharacteristics::hearingImpaired())) {
        names.emplace_back("for the hearing impaired");
    }
    if (characteristics.contains(MediaCharacteristics::hearingImpairedWithCleanEffects())) {
        names.emplace_back("for the hearing impaired, with clean effects");
    }
    return names.empty() ? "none" : fmt::format("{}", fmt::join(names, ", "));
}

std::string commonTrackText(const MediaTrack& track, const char* kind) {
    std::vector<std::string> flags;
    if (track.isDefault()) {
        flags.emplace_back("default");
    }
    if (track.isForced()) {
        flags.emplace_back("forced");
    }
    return fmt::format(
        "  {} {} (stream #{}, time base {})\n     languages: {}, title: {}, flags: {}, "
        "characteristics: {}\n",
        kind, track.id(), track.streamIndex(), rationalText(track.streamTimeBase()),
        track.languageCodes().empty() ? "none"
                                      : fmt::format("{}", fmt::join(track.languageCodes(), ", ")),
        track.title() ? fmt::format("\"{}\"", *track.title()) : "none",
        flags.empty() ? "none" : fmt::format("{}", fmt::join(flags, ", ")),
        characteristicsText(track.mediaCharacteristics()));
}

std::string videoTrackText(const VideoTrack& track) {
    const VideoDimensions& d = track.dimensions();
    std::string text = commonTrackText(track, "Video");
    text += fmt::format(
        "     {}x{}, pixel aspect ratio {:g} ({}), display aspect ratio {}, shown at {:g}x{:g} "
        "(aspect ratio {:.4f}){}\n",
        d.width, d.height, d.pixelAspectRatio, ratioText(d.pixelAspectRatio),
        ratioText(d.squarePixelSize.width / d.squarePixelSize.height), d.effectiveSize.width,
        d.effectiveSize.height, d.aspectRatio,
        d.displayTransform ? ", with a display transform" : "");
    const AVCodecContext& context = track.decoder()->decoderContext();
    text += fmt::format("     {} decoder {}, frame rate {}\n",
                        track.decoder()->isDecodingOnHardware() ? "hardware" : "software",
                        context.codec != nullptr ? context.codec->name : "?",
                        track.frameRate() ? rationalText(*track.frameRate()) : "unknown");
    return text;
}

std::string audioTrackText(const AudioTrack& track) {
    std::string text = commonTrackText(track, "Audio");
    const AVCodecContext& context = track.decoder()->decoderContext();
    text += fmt::format("     {} decoder, {} Hz, {} channels{}\n",
                        context.codec != nullptr ? context.codec->name : "?", context.sample_rate,
                        context.ch_layout.nb_channels,
                        track.decoder()->remixesChannels() ? ", remixed to a playable layout" : "");
    return text;
}

std::string subtitlesTrackText(const SubtitlesTrack& track, const char* kind) {
    std::string text = commonTrackText(track, kind);
    const AVCodecContext* context = track.decoder()->decoderContext();
    text +=
        fmt::format("     {} decoder\n",
                    context != nullptr && context->codec != nullptr ? context->codec->name : "?");
    return text;
}

void appendMetadata(std::string& text, const char* name, const std::optional<std::string>& value) {
    if (value) {
        text += fmt::format("  {}: {}\n", name, *value);
    }
}

void appendMetadata(std::string& text, const char* name, const std::optional<std::int64_t>& value) {
    if (value) {
        text += fmt::format("  {}: {}\n", name, *value);
    }
}

std::string metadataText(const MediaSource::OptionalMetadata& metadata) {
    std::string text;
    if (metadata.mediaSubtype) {
        text += fmt::format("  Media kind: {}\n", platform::describe(*metadata.mediaSubtype));
    }
    appendMetadata(text, "Title", metadata.title);
    appendMetadata(text, "Description", metadata.shortDescription);
    appendMetadata(text, "Synopsis", metadata.fullDescription);
    appendMetadata(text, "Artist", metadata.artist);
    appendMetadata(text, "Composer", metadata.composer);
    appendMetadata(text, "Album", metadata.albumTitle);
    appendMetadata(text, "Show", metadata.showTitle);
    appendMetadata(text, "Season", metadata.seasonNumber);
    appendMetadata(text, "Episode", metadata.episodeNumber);
    if (metadata.artwork) {
        text += fmt::format("  Artwork: {}x{} {}\n", metadata.artwork->width(),
                            metadata.artwork->height(), metadata.artwork->mimeType());
    }
    appendMetadata(text, "Lyrics", metadata.lyrics);
    appendMetadata(text, "Year", metadata.releaseYear);
    appendMetadata(text, "Genre", metadata.genre);
    appendMetadata(text, "Copyright", metadata.copyright);
    return text.empty() ? "  none\n" : text;
}

std::string fourCharCodeText(std::uint32_t code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((code >> shift) & 0xff);
        text += (c >= 0x20 && c < 0x7f) ? c : '?';
    }
    return text;
}

std::string sampleBufferText(const platform::CMSampleBufferRef& buffer) {
    std::string text = fmt::format(
        "pts {}, duration {}", timeText(platform::CMSampleBufferGetPresentationTimeStamp(buffer)),
        timeText(platform::CMSampleBufferGetDuration(buffer)));
    if (auto image = platform::CMSampleBufferGetImageBuffer(buffer)) {
        text += fmt::format(", {}x{} pixel buffer '{}'", platform::CVPixelBufferGetWidth(image),
                            platform::CVPixelBufferGetHeight(image),
                            fourCharCodeText(platform::CVPixelBufferGetPixelFormatType(image)));
    } else if (const auto* format = platform::CMAudioFormatDescriptionGetStreamBasicDescription(
                   platform::CMSampleBufferGetFormatDescription(buffer))) {
        text += fmt::format(", {} frames at {:g} Hz, {} channels",
                            platform::CMSampleBufferGetNumSamples(buffer), format->mSampleRate,
                            format->mChannelsPerFrame);
    }
    return text;
}

// Decodes packets from `read` until the decoder gives its first sample buffer, draining at the
// end of the track.
template <typename Read>
std::string firstSampleBuffer(const std::shared_ptr<CoreMediaCompatibleDecoder>& decoder,
                              Read&& read) {
    platform::CMSampleBufferRef first;
    CoreMediaCompatibleDecodeSession session(decoder, [&](platform::CMSampleBufferRef buffer) {
        if (!first) {
            first = std::move(buffer);
        }
    });
    while (!first) {
        PacketRef packet = read();
        if (!packet) {
            session.drain();
            break;
        }
        session.decode(*packet);
    }
    return first ? sampleBufferText(first) : "none (the track ended first)";
}

}  // namespace

MediaProbe::MediaProbe(const std::filesystem::path& path) {
    const std::filesystem::path absolute = std::filesystem::absolute(path);
    // Shared with the handlers, which may in principle outlive a wait that gave up.
    struct Outcome {
        std::mutex mutex;
        std::variant<std::monostate, std::shared_ptr<MediaSource>, MediaSourceLoadError> value;
    };
    auto outcome = std::make_shared<Outcome>();
    const platform::DispatchSemaphore answered;
    MediaSource::load(
        platform::URL::fileURL(absolute.string()),
        [outcome, answered](std::shared_ptr<MediaSource> source) {
            std::lock_guard lock(outcome->mutex);
            outcome->value = std::move(source);
            answered.signal();
        },
        [outcome, answered](const MediaSourceLoadError& error) {
            std::lock_guard lock(outcome->mutex);
            outcome->value = error;
            answered.signal();
        });
    // A load always answers; the wait only keeps a wedged demuxer from hanging a terminal.
    if (answered.wait(std::chrono::minutes(5)) != platform::DispatchTimeoutResult::success) {
        throw probeFailure(fmt::format("Loading '{}' did not finish", path.string()));
    }
    std::lock_guard lock(outcome->mutex);
    if (auto* error = std::get_if<MediaSourceLoadError>(&outcome->value)) {
        throw *error;
    }
    source_ = std::get<std::shared_ptr<MediaSource>>(outcome->value);
}

std::string MediaProbe::describeSource() const {
    const MediaSource& source = *source_;
    std::string text = fmt::format("File: {}\n", source.url().path());
    text += fmt::format("Source: {}\n", source.id());
    text += fmt::format("Media type: {}\n", mediaTypeName(source.mediaType()));
    text += fmt::format("Start time: {}\n", timeText(source.startTime()));
    text += fmt::format("Duration: {}\n", timeText(source.duration()));
    text += fmt::format("Container: {}\n", source.formatContextForVisualTracks().iformat->name);

    text += "Tracks:\n";
    for (const auto& track : source.videoTracks()) {
        text += videoTrackText(*track);
    }
    for (const auto& track : source.audioTracks()) {
        text += audioTrackText(*track);
    }
    for (const auto& track : source.embeddedSubtitlesTracks()) {
        text += subtitlesTrackText(*track, "Subtitles");
    }
    for (const auto& track : source.externalSubtitlesTracks()) {
        text += subtitlesTrackText(*track, "External subtitles");
        text += fmt::format("     from {}\n", track->externalMediaSource()->url().path());
    }

    text += "Metadata:\n";
    text += source.optionalMetadata() ? metadataText(*source.optionalMetadata()) : "  none\n";
    return text;
}

std::string MediaProbe::describeFirstFrames() {
    const MediaSource& source = *source_;
    std::string video = "none (no video track)";
    if (!source.videoTracks().empty()) {
        const auto& track = source.videoTracks().front();
        video = firstSampleBuffer(track->decoder(), [&]() -> PacketRef {
            auto next = readVisualPacket(source, track, {});
            return next ? next->packet : nullptr;
        });
    }
    std::string audio = "none (no audio track)";
    if (!source.audioTracks().empty()) {
        const auto& track = source.audioTracks().front();
        audio = firstSampleBuffer(track->decoder(),
                                  [&] { return readAudioPacketOnQueue(source, *track); });
    }
    return fmt::format("First video sample buffer: {}\nFirst audio sample buffer: {}\n", video,
                       audio);
}

}  // namespace quillon::probe
