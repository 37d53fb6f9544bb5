#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"

#include <iconv.h>

extern "C" {
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegDecoding.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/subtitles/ASSDecoder.h"
#include "media-player/decoders/subtitles/FFmpegFormattedTextSubtitlesDecoder.h"
#include "media-player/decoders/subtitles/FFmpegImageSubtitlesDecoder.h"
#include "media-player/decoders/subtitles/FFmpegTextSubtitlesDecoder.h"
#include "platform/foundation/Log.h"

namespace quillon {

using namespace platform;

namespace {

constexpr const char* dequeueFrameFunction = "dequeueFrame(afterDecoding:)";

// No subtitle decoder is expected to answer EAGAIN for good, but one that did would hang the
// provider's queue on a plain retry loop; after this many tries the answer is an error.
constexpr int maximumDecodeAttempts = 16;

// Whether libavcodec can convert from the encoding: it opens the same iconv conversion, and
// stops the process when that fails once decoding has started.
bool iconvKnows(const std::string& encoding) {
    iconv_t conversion = iconv_open("UTF-8", encoding.c_str());
    if (conversion == reinterpret_cast<iconv_t>(-1)) {
        return false;
    }
    iconv_close(conversion);
    return true;
}

bool hasProperty(const AVCodecContext& context, int property) {
    return context.codec_descriptor != nullptr && (context.codec_descriptor->props & property) != 0;
}

// Teletext carries pages of characters, which its decoder can give out as bitmaps or as text.
// Its codec declares neither kind, as either may come out; as text the user's subtitle style
// applies to it.
bool isTeletext(const AVCodecContext& context) {
    return context.codec_id == AV_CODEC_ID_DVB_TELETEXT;
}

void decodeTeletextAsText(AVCodecContext& context) {
    if (context.priv_data == nullptr ||
        av_opt_set(context.priv_data, "txt_format", "text", 0) < 0) {
        throw FFmpegError::unknownSubtitleType();
    }
}

// Frees what libavcodec put into the reused AVSubtitle on every way out of a decode.
struct AVSubtitleRelease {
    AVSubtitle& subtitle;
    ~AVSubtitleRelease() { avsubtitle_free(&subtitle); }
};

}  // namespace

std::unique_ptr<FFmpegSubtitlesDecoder> makeSubtitlesDecoder(
    const AVCodecContext& context, std::shared_ptr<const platform::FontCollection> documentFonts) {
    if (hasProperty(context, AV_CODEC_PROP_TEXT_SUB) || isTeletext(context)) {
        if (context.subtitle_header_size < 1 || context.subtitle_header == nullptr) {
            return std::make_unique<FFmpegTextSubtitlesDecoder>();
        }
        return std::make_unique<FFmpegFormattedTextSubtitlesDecoder>(ASSDecoder::make(
            context.subtitle_header, context.subtitle_header_size, std::move(documentFonts)));
    }
    if (hasProperty(context, AV_CODEC_PROP_BITMAP_SUB)) {
        return std::make_unique<FFmpegImageSubtitlesDecoder>(context);
    }
    throw FFmpegError::unknownSubtitleType();
}

FFmpegSubtitlesFrameDecoder::FFmpegSubtitlesFrameDecoder(
    const AVStream& stream, std::shared_ptr<const platform::FontCollection> documentFonts) {
    const AVCodecParameters* parameters = stream.codecpar;
    if (parameters == nullptr || parameters->codec_type != AVMEDIA_TYPE_SUBTITLE) {
        throw FFmpegError::unsupportedMediaType();
    }
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (codec == nullptr) {
        throw FFmpegError::decoderNotFound(parameters->codec_id);
    }
    // The context frees itself if anything from here on throws.
    AVCodecContextPointer context = makeDecoderContext(codec, parameters, stream.time_base);
    if (isTeletext(*context)) {
        decodeTeletextAsText(*context);
    }
    openDecoder(codec, *context);
    std::unique_ptr<FFmpegSubtitlesDecoder> subtitlesDecoder =
        makeSubtitlesDecoder(*context, std::move(documentFonts));
    decoderContext_ = std::move(context);
    subtitlesDecoder_ = std::move(subtitlesDecoder);
}

FFmpegSubtitlesFrameDecoder::~FFmpegSubtitlesFrameDecoder() {
    avsubtitle_free(&ffmpegSubtitlesFrame_);
}

void FFmpegSubtitlesFrameDecoder::flush() {
    std::lock_guard lock(mutex_);
    avcodec_flush_buffers(decoderContext_.get());
}

void FFmpegSubtitlesFrameDecoder::setCharacterEncoding(
    std::optional<std::string> characterEncoding) {
    std::lock_guard lock(mutex_);
    if (characterEncoding && !iconvKnows(*characterEncoding)) {
        logWarning(
            "Ignoring character encoding `{}` of subtitles: it cannot be converted to UTF-8.",
            *characterEncoding);
        characterEncoding.reset();
    }
    AVCodecContext& context = *decoderContext_;
    av_freep(&context.sub_charenc);
    context.sub_charenc_mode = FF_SUB_CHARENC_MODE_DO_NOTHING;
    if (characterEncoding) {
        context.sub_charenc = av_strdup(characterEncoding->c_str());
        if (context.sub_charenc == nullptr) {
            logWarning("Ignoring character encoding `{}` of subtitles: failed to allocate memory.",
                       *characterEncoding);
            characterEncoding.reset();
        } else if (!hasProperty(context, AV_CODEC_PROP_BITMAP_SUB)) {
            // Converting the packets of a bitmap codec would only corrupt them.
            context.sub_charenc_mode = FF_SUB_CHARENC_MODE_PRE_DECODER;
        }
    }
    characterEncoding_ = std::move(characterEncoding);
}

std::optional<SubtitlesFrame> FFmpegSubtitlesFrameDecoder::dequeueFrame(Packet& packet) {
    std::lock_guard lock(mutex_);
    return dequeueFrameLocked(packet);
}

std::optional<SubtitlesFrame> FFmpegSubtitlesFrameDecoder::dequeueFrameLocked(Packet& packet) {
    AVSubtitle& subtitle = ffmpegSubtitlesFrame_;
    AVSubtitleRelease release{subtitle};
    int gotSubtitle = 0;
    std::int32_t result = AVERROR(EAGAIN);
    for (int attempt = 0; attempt < maximumDecodeAttempts && result == AVERROR(EAGAIN); ++attempt) {
        result = avcodec_decode_subtitle2(decoderContext_.get(), &subtitle, &gotSubtitle,
                                          &packet.avPacket());
    }
    if (result < 0) {
        reportFFmpegFailure(result, {}, CallSite(dequeueFrameFunction));
    }
    if (gotSubtitle == 0) {
        return std::nullopt;
    }
    if (subtitle.pts == AV_NOPTS_VALUE) {
        logLine(platform::LogLevel::warning,
                "Skipping subtitles frame without presentation timestamp.");
        return std::nullopt;
    }
    const CMTime base = CMTimeMake(subtitle.pts, 1000000);
    const CMTime startTime = base + CMTimeMake(subtitle.start_display_time, 1000);
    const CMTime endTime = base + CMTimeMake(subtitle.end_display_time, 1000);
    if (!CMTIME_IS_NUMERIC(startTime) || !CMTIME_IS_NUMERIC(endTime)) {
        logWarning("Skipping subtitles frame whose times cannot be represented (pts {}).",
                   subtitle.pts);
        return std::nullopt;
    }
    if (CMTimeCompare(startTime, endTime) > 0) {
        logWarning("Skipping subtitles frame that ends before it starts ({} ms after {} ms).",
                   subtitle.end_display_time, subtitle.start_display_time);
        return std::nullopt;
    }
    if (subtitle.num_rects == 0 || subtitle.rects == nullptr) {
        return SubtitlesFrame{startTime, endTime, Subtitles::clearPreviousSubtitles()};
    }
    Subtitles subtitles =
        subtitlesDecoder_->makeSubtitles(std::span(subtitle.rects, subtitle.num_rects));
    return SubtitlesFrame{startTime, endTime, std::move(subtitles)};
}

std::vector<SubtitlesFrame> FFmpegSubtitlesFrameDecoder::decode(Packet& packet) {
    std::lock_guard lock(mutex_);
    std::vector<SubtitlesFrame> frames;
    if (std::optional<SubtitlesFrame> frame = dequeueFrameLocked(packet)) {
        // A teletext page has no end of its own (libavcodec gives it weeks): it stays until the
        // next page replaces it. Without the clear, the next page would stack on it.
        if (isTeletext(*decoderContext_) &&
            frame->subtitles.kind() != Subtitles::Kind::clearPreviousSubtitles) {
            frames.push_back(
                {frame->startTime, frame->startTime, Subtitles::clearPreviousSubtitles()});
        }
        frames.push_back(std::move(*frame));
    }
    return frames;
}

std::optional<std::span<const SubtitlesFrame>> subtitlesFrames(
    CMTime around, std::span<const SubtitlesFrame> frames) {
    if (frames.empty()) {
        return std::nullopt;
    }
    // The later of two frames on screen at once is the one to keep showing, with what follows.
    for (std::size_t index = frames.size(); index-- > 0;) {
        const SubtitlesFrame& frame = frames[index];
        if (CMTimeCompare(frame.startTime, around) <= 0 &&
            CMTimeCompare(around, frame.endTime) < 0) {
            return frames.subspan(index);
        }
    }
    for (std::size_t index = 0; index < frames.size(); ++index) {
        if (CMTimeCompare(frames[index].startTime, around) > 0) {
            return frames.subspan(index);
        }
    }
    return std::nullopt;
}

std::vector<SubtitlesFrame> subtitlesFramesToShow(CMTime around,
                                                  std::span<const SubtitlesFrame> frames) {
    const auto chosen = subtitlesFrames(around, frames);
    if (!chosen) {
        return {};
    }
    const auto first = static_cast<std::size_t>(chosen->data() - frames.data());
    std::vector<SubtitlesFrame> earlier;
    bool cleared = false;
    for (std::size_t index = first; index-- > 0;) {
        const SubtitlesFrame& frame = frames[index];
        if (frame.subtitles.kind() == Subtitles::Kind::clearPreviousSubtitles) {
            cleared = cleared || CMTimeCompare(frame.startTime, around) <= 0;
            continue;
        }
        if (!cleared && CMTimeCompare(frame.startTime, around) <= 0 &&
            CMTimeCompare(around, frame.endTime) < 0) {
            earlier.push_back(frame);
        }
    }
    std::vector<SubtitlesFrame> shown(earlier.rbegin(), earlier.rend());
    shown.insert(shown.end(), chosen->begin(), chosen->end());
    return shown;
}

std::vector<SubtitlesFrame> drainSubtitlesFrameDecoder(FFmpegSubtitlesFrameDecoder& decoder) {
    try {
        Packet emptyPacket;
        return decoder.decode(emptyPacket);
    } catch (const Error& error) {
        logWarning("Failed to dequeue remaining frames from subtitles frame decoder: {}.",
                   error.debugDescription());
        throw;
    } catch (const std::exception& error) {
        logWarning("Failed to dequeue remaining frames from subtitles frame decoder: {}.",
                   error.what());
        throw;
    }
}

}  // namespace quillon
