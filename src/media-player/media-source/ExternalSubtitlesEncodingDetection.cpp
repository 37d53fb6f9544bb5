#include "media-player/media-source/ExternalSubtitlesEncodingDetection.h"

#include <cstddef>
#include <fstream>
#include <string_view>

extern "C" {
#include <libavcodec/codec_desc.h>
}

#include "media-player/media-source/CharacterEncodingDetector.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "media-player/media-source/PacketReading.h"
#include "media-player/media-source/StreamIndexSet.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

bool isTextSubtitlesTrack(const SubtitlesTrack& track) {
    const AVCodecContext* context = track.decoder()->decoderContext();
    return context != nullptr && context->codec_descriptor != nullptr &&
           (context->codec_descriptor->props & AV_CODEC_PROP_TEXT_SUB) != 0;
}

// Whether the file begins with a byte-order mark of UTF-8 or UTF-16. FFmpeg's text subtitle
// demuxers read such a file as text: they drop a UTF-8 mark and convert UTF-16 to UTF-8, so
// their packets are UTF-8. A detector can't be trusted to see that: FFmpeg 5.1 keeps only the
// first UTF-8 byte of a character that begins a line of UTF-16 text, and where most lines begin
// so (Japanese, Chinese) uchardet gives up on UTF-8 and names a single-byte encoding that
// garbles every line. Told UTF-8, the decoder shows the intact lines and refuses the damaged.
bool beginsWithByteOrderMark(const platform::URL& url) {
    char bytes[3] = {};
    std::ifstream file(url.path(), std::ios::binary);
    file.read(bytes, sizeof bytes);
    const std::string_view start(bytes, static_cast<std::size_t>(file.gcount()));
    return start.starts_with("\xEF\xBB\xBF") || start.starts_with("\xFF\xFE") ||
           start.starts_with("\xFE\xFF");
}

// Back to where opening left the context: every stream delivered, at time zero. With only the
// last detected stream enabled, FFmpeg would seek on that stream's index, whose first entry may
// lie after other tracks' first packets.
void seekVisualContextToStart(const MediaSource& source) {
    source.visualTracksQueue()->sync([&] {
        AVFormatContext& context = source.formatContextForVisualTracks();
        StreamIndexSet everyStream;
        for (unsigned index = 0; index < context.nb_streams; ++index) {
            everyStream.insert(std::uint32_t{index});
        }
        enableStreams(everyStream, context);
        seek(context, platform::kCMTimeZero);
    });
}

}  // namespace

std::optional<std::string> detectCharacterEncoding(const MediaSource& source,
                                                   const std::shared_ptr<SubtitlesTrack>& track) {
    CharacterEncodingDetector detector;
    // Cues are separate packets; a line break between them keeps the last word of one cue and
    // the first of the next from reading as one word.
    static constexpr std::byte lineFeed{0x0A};
    while (true) {
        std::optional<VisualPacket> packet;
        try {
            packet = readVisualPacket(source, nullptr, std::span(&track, 1));
        } catch (const platform::Error& error) {
            platform::logWarning(
                "Failed to read external subtitles packet for character encoding detection: {}.",
                error.debugDescription());
            break;
        }
        if (!packet) {
            break;
        }
        const AVPacket& avPacket = packet->packet->avPacket();
        const std::span<const std::byte> bytes =
            avPacket.size > 0 && avPacket.data != nullptr
                ? std::as_bytes(std::span(avPacket.data, static_cast<std::size_t>(avPacket.size)))
                : std::span<const std::byte>();
        if (!detector.analyze(bytes) || !detector.analyze(std::span(&lineFeed, 1))) {
            platform::logLine(
                platform::LogLevel::warning,
                "Failed to analyze next chunk of data for character encoding detection.");
            break;
        }
    }
    return detector.finish();
}

void detectCharacterEncodings(
    const MediaSource& subtitleSource,
    std::span<const std::shared_ptr<ExternalSubtitlesTrack>> externalSubtitlesTracks) {
    // A demuxer could name the encoding itself and spare the detection, but stock libavformat
    // never does for subtitle files: every text track is detected, unless the file says itself.
    const bool isUnicodeText = beginsWithByteOrderMark(subtitleSource.url());
    for (const auto& externalTrack : externalSubtitlesTracks) {
        if (!isTextSubtitlesTrack(*externalTrack)) {
            continue;
        }
        if (isUnicodeText) {
            externalTrack->decoder()->setCharacterEncoding("UTF-8");
            continue;
        }
        const std::shared_ptr<SubtitlesTrack>& track = externalTrack->externalMediaSourceTrack();
        externalTrack->decoder()->setCharacterEncoding(
            detectCharacterEncoding(subtitleSource, track));
        try {
            seekVisualContextToStart(subtitleSource);
        } catch (const platform::Error& error) {
            throw MediaSourceLoadError::failedToSeek(error);
        }
    }
}

}  // namespace quillon
