// libFuzzer target: subtitle packets through libavcodec's SubRip, ASS, WebVTT and 3GPP text
// decoders and the subtitle frame decoder, then the frame selection after a seek. Build and run
// instructions are in fuzz/README.md.
//
// Input layout:
//   byte 0   codec: 0 SubRip, 1 ASS with a fixed script header, 2 ASS without header (plain
//            text path), 3 WebVTT, 4 3GPP text, 5 ASS whose header is the first packet
//   byte 1   character encoding set before the first packet (see encodingNames)
//   then packets, each a 6-byte record header followed by its bytes:
//     u16 LE length (cut to what is left), u16 LE duration in ms, i8 pts step in 100 ms,
//     u8 control: bit 0 no pts, bit 1 flush first, bit 2 set encoding (bits 4-6) first,
//                 bit 3 drain first

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "OffscreenApplication.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace {

using namespace quillon;

const char* const encodingNames[] = {nullptr,     "UTF-8",    "WINDOWS-1252", "HZ-GB-2312",
                                     "SHIFT_JIS", "UTF-16LE", "BIG5",         "ISO-8859-7"};

const char assHeader[] =
    "[Script Info]\nScriptType: v4.00+\nPlayResX: 640\nPlayResY: 360\n\n"
    "[V4+ Styles]\nFormat: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, "
    "OutlineColour, BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, "
    "Angle, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n"
    "Style: Default,DejaVu Sans,20,&H00FFFFFF,&H000000FF,&H00000000,&H80000000,0,0,0,0,100,100,"
    "0,0,1,2,1,2,10,10,10,1\n"
    "Style: Box,DejaVu Serif,16,&H0000FFFF,&H000000FF,&H00202020,&H80000000,-1,-1,-1,-1,100,100,"
    "1.5,0,3,1,0,7,10,10,10,1\n\n"
    "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n";

struct Reader {
    const std::uint8_t* data;
    std::size_t size;

    bool atEnd() const { return size == 0; }
    std::uint8_t byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    std::uint16_t u16() {
        const std::uint16_t low = byte();
        return static_cast<std::uint16_t>(low | (byte() << 8));
    }
    std::string bytes(std::size_t count) {
        count = std::min(count, size);
        std::string result(reinterpret_cast<const char*>(data), count);
        data += count;
        size -= count;
        return result;
    }
};

PacketRef makePacket(const std::string& bytes, std::int64_t pts, std::int64_t duration) {
    AVPacketPointer packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) {
        std::abort();
    }
    if (!bytes.empty()) {
        std::memcpy(packet->data, bytes.data(), bytes.size());
    }
    packet->pts = pts;
    packet->dts = pts;
    packet->duration = duration;
    return Packet::make(*packet);
}

// Reads everything a subtitle view would read, so that a frame with dangling or short data
// shows up under the sanitizers.
void touch(const SubtitlesFrame& frame) {
    if (platform::CMTimeCompare(frame.startTime, frame.endTime) > 0) {
        std::abort();  // the decoder promised never to hand one out
    }
    volatile std::size_t sink = 0;
    if (const TextSubtitle* text = frame.subtitles.textSubtitle()) {
        sink = sink + text->text.size();
    } else if (const auto* formatted = frame.subtitles.formattedTextSubtitles()) {
        for (const FormattedTextSubtitle& subtitle : *formatted) {
            sink = sink + subtitle.formattedText->string().size();
        }
    } else if (const auto* images = frame.subtitles.imageSubtitles()) {
        for (const ImageSubtitle& image : *images) {
            sink = sink + platform::CVPixelBufferGetDataSize(image.image);
        }
    }
}

void collect(std::vector<SubtitlesFrame>& into, std::vector<SubtitlesFrame> frames) {
    for (SubtitlesFrame& frame : frames) {
        touch(frame);
        into.push_back(std::move(frame));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quillon::fuzzing::startOffscreenApplication("subtitles-frame-decoder-fuzzer");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Reader reader{data, size};
    const int codecChoice = reader.byte() % 6;
    const int encodingChoice = reader.byte() % 8;

    static constexpr AVCodecID codecs[] = {AV_CODEC_ID_SUBRIP,   AV_CODEC_ID_ASS,
                                           AV_CODEC_ID_ASS,      AV_CODEC_ID_WEBVTT,
                                           AV_CODEC_ID_MOV_TEXT, AV_CODEC_ID_ASS};
    std::string extradata;
    if (codecChoice == 1) {
        extradata = assHeader;
    } else if (codecChoice == 5) {
        extradata = reader.bytes(reader.u16());
    }

    AVFormatContextPointer context(avformat_alloc_context());
    AVStream* stream = avformat_new_stream(context.get(), nullptr);
    if (stream == nullptr) {
        return 0;
    }
    stream->time_base = {1, 1000};
    stream->codecpar->codec_type = AVMEDIA_TYPE_SUBTITLE;
    stream->codecpar->codec_id = codecs[codecChoice];
    if (!extradata.empty()) {
        stream->codecpar->extradata =
            static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(stream->codecpar->extradata, extradata.data(), extradata.size());
        stream->codecpar->extradata_size = static_cast<int>(extradata.size());
    }

    std::optional<FFmpegSubtitlesFrameDecoder> decoder;
    try {
        decoder.emplace(*stream);
    } catch (const std::exception&) {
        return 0;  // a header the ASS decoder refuses
    }
    if (const char* name = encodingNames[encodingChoice]) {
        decoder->setCharacterEncoding(name);
    }

    std::vector<SubtitlesFrame> frames;
    std::int64_t pts = 0;
    while (!reader.atEnd()) {
        const std::uint16_t length = reader.u16();
        const std::uint16_t duration = reader.u16();
        const auto step = static_cast<std::int8_t>(reader.byte());
        const std::uint8_t control = reader.byte();
        const std::string bytes = reader.bytes(length);
        pts += step * 100;

        try {
            if (control & 0x08) {
                collect(frames, drainSubtitlesFrameDecoder(*decoder));
            }
        } catch (const std::exception&) {
        }
        if (control & 0x02) {
            decoder->flush();
        }
        if (control & 0x04) {
            const char* name = encodingNames[(control >> 4) & 7];
            decoder->setCharacterEncoding(name ? std::optional<std::string>(name) : std::nullopt);
        }
        PacketRef packet = makePacket(bytes, (control & 0x01) ? AV_NOPTS_VALUE : pts, duration);
        try {
            collect(frames, decoder->decode(*packet));
        } catch (const std::exception&) {
            // Refused packets are dropped; the decoder must go on with the next one.
        }
    }
    try {
        collect(frames, drainSubtitlesFrameDecoder(*decoder));
    } catch (const std::exception&) {
    }

    std::stable_sort(frames.begin(), frames.end(), [](const auto& a, const auto& b) {
        return platform::CMTimeCompare(a.startTime, b.startTime) < 0;
    });
    for (const SubtitlesFrame& frame : frames) {
        for (platform::CMTime time : {frame.startTime, frame.endTime}) {
            if (auto slice = subtitlesFrames(time, frames)) {
                if (slice->empty() ||
                    slice->data() + slice->size() != frames.data() + frames.size()) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
