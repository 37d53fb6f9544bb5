#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/common/MediaDecoder.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesDecoder.h"
#include "media-player/decoders/subtitles/SubtitlesFrame.h"
#include "media-player/media-types/Packet.h"
#include "platform/coremedia/CMTime.h"
#include "platform/graphics/FontCollection.h"

namespace quillon {

// The decoder of one subtitles track: turns its packets into SubtitlesFrame values. Which kind
// of subtitles the stream holds is decided once, from its codec, and the matching inner decoder
// is kept. Its calls are serialized by a lock of its own: a track moved from one subtitles
// position to the other is decoded by the new position's queue while the old one may still be
// finishing a packet.
class FFmpegSubtitlesFrameDecoder final : public MediaDecoder {
public:
    // Throws FFmpegError unsupportedMediaType for a stream that is not a subtitle stream,
    // decoderNotFound, unknownSubtitleType for a codec that is neither text nor bitmap, the
    // errors of making and opening the codec context, and those of making the ASS decoder.
    // Formatted text finds the fonts its styles name in `documentFonts` first.
    explicit FFmpegSubtitlesFrameDecoder(
        const AVStream& stream,
        std::shared_ptr<const platform::FontCollection> documentFonts = nullptr);
    ~FFmpegSubtitlesFrameDecoder() override;

    MediaType mediaType() const override { return MediaType::subtitles; }
    // Drops the codec's buffered state (after a seek or a track selection).
    void flush() override;

    // The text encoding of the stream's packets, which libavcodec converts to UTF-8 before
    // decoding from the next packet on. A name that iconv does not know is treated as none (and
    // logged): libavcodec would stop the process on the next packet. Bitmap codecs keep the name
    // but never convert, since their packets are not text.
    const std::optional<std::string>& characterEncoding() const { return characterEncoding_; }
    void setCharacterEncoding(std::optional<std::string> characterEncoding);

    AVCodecContext* decoderContext() const { return decoderContext_.get(); }
    const FFmpegSubtitlesDecoder& subtitlesDecoder() const { return *subtitlesDecoder_; }

    // Decodes one packet (an empty packet drains) and returns the frame it completed, if any.
    // A subtitle without presentation time, or one that would end before it starts, is skipped
    // with a log line. Throws the mapped FFmpegError of libavcodec and whatever the inner
    // decoder throws; the decoder stays usable for the next packet either way.
    std::optional<SubtitlesFrame> dequeueFrame(Packet& packet);

    // The frames of one packet: none or one; a teletext page comes after a clear at its start,
    // since each page replaces the one before it.
    std::vector<SubtitlesFrame> decode(Packet& packet);

private:
    std::optional<SubtitlesFrame> dequeueFrameLocked(Packet& packet);

    std::mutex mutex_;
    std::optional<std::string> characterEncoding_;
    AVCodecContextPointer decoderContext_;
    // The one decode target, reused for every packet; holds nothing between calls.
    AVSubtitle ffmpegSubtitlesFrame_{};
    std::unique_ptr<FFmpegSubtitlesDecoder> subtitlesDecoder_;
};

// The inner decoder for an opened subtitle codec context: plain or formatted text for text
// codecs (formatted when the decoder supplies an ASS header), images for bitmap codecs. Throws
// FFmpegError unknownSubtitleType for anything else, and the ASS decoder's creation errors.
std::unique_ptr<FFmpegSubtitlesDecoder> makeSubtitlesDecoder(
    const AVCodecContext& context,
    std::shared_ptr<const platform::FontCollection> documentFonts = nullptr);

// The frames that matter at `time` in a list sorted by start time: from the last frame on screen
// at that time to the end of the list; when none is, from the first frame that starts after it;
// otherwise none. Frames that end before they start never count as on screen.
std::optional<std::span<const SubtitlesFrame>> subtitlesFrames(
    platform::CMTime around, std::span<const SubtitlesFrame> frames);

// What a seek hands a view: the frames of subtitlesFrames(), preceded by the earlier frames
// still on screen at `around`, in list order. Cues that overlap stack on screen, so one that
// began earlier stays with the later one; a clear frame at or before `around` ends the frames
// before it.
std::vector<SubtitlesFrame> subtitlesFramesToShow(platform::CMTime around,
                                                  std::span<const SubtitlesFrame> frames);

// What the decoder still holds at the end of its track, collected with an empty packet. A
// failure is logged ("Failed to dequeue remaining frames from subtitles frame decoder: …") and
// rethrown.
std::vector<SubtitlesFrame> drainSubtitlesFrameDecoder(FFmpegSubtitlesFrameDecoder& decoder);

}  // namespace quillon
