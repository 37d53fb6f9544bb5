#include "MediaProbe.h"

#include <cmath>
#include <optional>
#include <vector>

#include <fmt/format.h>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
}

namespace quillon::probe {
namespace {

std::string orUnknown(const char* text) {
    return text != nullptr ? text : "unknown";
}

std::string timeText(int64_t value, AVRational timeBase) {
    if (value == AV_NOPTS_VALUE) {
        return "unknown";
    }
    return fmt::format("{} ({:.6f} s)", value, value * av_q2d(timeBase));
}

std::string containerTimeText(int64_t value) {
    if (value == AV_NOPTS_VALUE) {
        return "unknown";
    }
    return fmt::format("{:.6f} s", static_cast<double>(value) / AV_TIME_BASE);
}

std::string tag(const AVDictionary* metadata, const char* key) {
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    return entry != nullptr ? entry->value : "";
}

std::string dispositionText(int disposition) {
    std::string text;
    for (int bit = 0; bit < 31; ++bit) {
        const int flag = 1 << bit;
        if ((disposition & flag) == 0) {
            continue;
        }
        const char* name = av_disposition_to_string(flag);
        text += fmt::format("{}{}", text.empty() ? "" : ",", name != nullptr ? name : "?");
    }
    return text.empty() ? "none" : text;
}

std::string rationalText(AVRational value) {
    if (value.num == 0 || value.den == 0) {
        return "unknown";
    }
    return fmt::format("{}:{}", value.num, value.den);
}

std::string colourText(AVColorRange range, AVColorPrimaries primaries,
                       AVColorTransferCharacteristic transfer, AVColorSpace matrix) {
    return fmt::format(
        "range={} primaries={} transfer={} matrix={}", orUnknown(av_color_range_name(range)),
        orUnknown(av_color_primaries_name(primaries)), orUnknown(av_color_transfer_name(transfer)),
        orUnknown(av_color_space_name(matrix)));
}

std::string channelLayoutText(const AVChannelLayout& layout) {
    char text[128] = {};
    if (av_channel_layout_describe(&layout, text, sizeof text) < 0) {
        return fmt::format("{} channels", layout.nb_channels);
    }
    std::string description = text;
    std::string count = fmt::format("{} channels", layout.nb_channels);
    return description == count ? count : fmt::format("{} ({})", description, count);
}

std::string sampleFormatText(int format) {
    const auto sampleFormat = static_cast<AVSampleFormat>(format);
    const char* name = av_get_sample_fmt_name(sampleFormat);
    if (name == nullptr) {
        return "unknown";
    }
    return fmt::format("{} ({})", name,
                       av_sample_fmt_is_planar(sampleFormat) ? "planar" : "packed");
}

std::string rotationText(const AVStream& stream) {
    size_t size = 0;
    const uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (data == nullptr || size < 9 * sizeof(int32_t)) {
        return "none";
    }
    const double degrees = av_display_rotation_get(reinterpret_cast<const int32_t*>(data));
    if (std::isnan(degrees)) {
        return "singular display matrix";
    }
    return fmt::format("{:g} degrees counter-clockwise (display matrix)", degrees);
}

std::string masteringText(const AVMasteringDisplayMetadata& mastering) {
    if (!mastering.has_luminance) {
        return "mastering display (primaries only)";
    }
    return fmt::format("mastering display {:g}-{:g} cd/m2", av_q2d(mastering.min_luminance),
                       av_q2d(mastering.max_luminance));
}

// The HDR metadata a frame carries, empty when it has none.
std::string hdrText(const AVFrame& frame) {
    std::vector<std::string> parts;
    if (const AVFrameSideData* side =
            av_frame_get_side_data(&frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA)) {
        parts.push_back(
            masteringText(*reinterpret_cast<const AVMasteringDisplayMetadata*>(side->data)));
    }
    if (const AVFrameSideData* side =
            av_frame_get_side_data(&frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL)) {
        const auto* light = reinterpret_cast<const AVContentLightMetadata*>(side->data);
        parts.push_back(fmt::format("MaxCLL {} MaxFALL {}", light->MaxCLL, light->MaxFALL));
    }
    std::string text;
    for (const std::string& part : parts) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

// One decoder for the first frame of one stream.
struct FirstFrameDecoder {
    int streamIndex = -1;
    CodecContextPtr codec;
    std::optional<std::string> result;

    bool active() const { return codec != nullptr && !result.has_value(); }
};

std::optional<FirstFrameDecoder> openDecoder(const AVFormatContext& format, int streamIndex,
                                             std::string& unavailable) {
    const AVStream& stream = *format.streams[streamIndex];
    const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
    if (decoder == nullptr) {
        unavailable = fmt::format("stream #{}: no decoder for {}", streamIndex,
                                  avcodec_get_name(stream.codecpar->codec_id));
        return std::nullopt;
    }
    FirstFrameDecoder result;
    result.streamIndex = streamIndex;
    result.codec.reset(avcodec_alloc_context3(decoder));
    if (!result.codec) {
        throw ffmpegFailure("Cannot allocate a decoder", AVERROR(ENOMEM));
    }
    if (int error = avcodec_parameters_to_context(result.codec.get(), stream.codecpar); error < 0) {
        throw ffmpegFailure(fmt::format("Cannot configure the {} decoder", decoder->name), error);
    }
    result.codec->pkt_timebase = stream.time_base;
    if (int error = avcodec_open2(result.codec.get(), decoder, nullptr); error < 0) {
        throw ffmpegFailure(fmt::format("Cannot open the {} decoder", decoder->name), error);
    }
    return result;
}

std::string describeFrame(const AVFrame& frame, const AVStream& stream) {
    std::string text = fmt::format("stream #{}, pts {}, best-effort {}", stream.index,
                                   timeText(frame.pts, stream.time_base),
                                   timeText(frame.best_effort_timestamp, stream.time_base));
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
        text +=
            fmt::format(", {}x{} {}, {}", frame.width, frame.height,
                        orUnknown(av_get_pix_fmt_name(static_cast<AVPixelFormat>(frame.format))),
                        colourText(frame.color_range, frame.color_primaries, frame.color_trc,
                                   frame.colorspace));
        if (std::string hdr = hdrText(frame); !hdr.empty()) {
            text += ", " + hdr;
        }
    } else {
        text += fmt::format(", {} samples at {} Hz, {}, {}", frame.nb_samples, frame.sample_rate,
                            sampleFormatText(frame.format), channelLayoutText(frame.ch_layout));
    }
    return text;
}

// Pulls decoded frames until the first one is recorded or the decoder wants more input.
void receiveFrames(FirstFrameDecoder& decoder, const AVStream& stream, AVFrame& frame) {
    while (decoder.active()) {
        int error = avcodec_receive_frame(decoder.codec.get(), &frame);
        if (error == AVERROR(EAGAIN)) {
            return;
        }
        if (error == AVERROR_EOF) {
            decoder.result = "none (the decoder produced no frame)";
            return;
        }
        if (error < 0) {
            throw ffmpegFailure(fmt::format("Cannot decode stream #{}", stream.index), error);
        }
        decoder.result = describeFrame(frame, stream);
        av_frame_unref(&frame);
    }
}

}  // namespace

MediaProbe::MediaProbe(const std::filesystem::path& path) : path_(path) {
    AVFormatContext* opened = nullptr;
    if (int error = avformat_open_input(&opened, path.c_str(), nullptr, nullptr); error < 0) {
        // avformat_open_input frees the context itself when it fails.
        throw ffmpegFailure(fmt::format("Cannot open '{}'", path.string()), error);
    }
    format_.reset(opened);
    if (int error = avformat_find_stream_info(format_.get(), nullptr); error < 0) {
        throw ffmpegFailure(fmt::format("Cannot read stream information of '{}'", path.string()),
                            error);
    }
}

std::string MediaProbe::describeStreams() const {
    const AVFormatContext& format = *format_;
    std::string text = fmt::format("File: {}\n", path_.string());
    text += fmt::format("Container: {} ({})\n", format.iformat->name,
                        orUnknown(format.iformat->long_name));
    text += fmt::format("Duration: {}\n", containerTimeText(format.duration));
    text += fmt::format("Start time: {}\n", containerTimeText(format.start_time));
    if (format.bit_rate > 0) {
        text += fmt::format("Bit rate: {} kb/s\n", format.bit_rate / 1000);
    }
    if (std::string title = tag(format.metadata, "title"); !title.empty()) {
        text += fmt::format("Title: {}\n", title);
    }
    text += fmt::format("Streams: {}\n", format.nb_streams);
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        text += describeStream(*format.streams[i]);
    }
    return text;
}

std::string MediaProbe::describeStream(const AVStream& stream) const {
    const AVCodecParameters& codec = *stream.codecpar;
    const char* profile = avcodec_profile_name(codec.codec_id, codec.profile);
    std::string language = tag(stream.metadata, "language");
    std::string title = tag(stream.metadata, "title");

    std::string text = fmt::format(
        "  #{} {}: {}{}\n", stream.index, orUnknown(av_get_media_type_string(codec.codec_type)),
        avcodec_get_name(codec.codec_id), profile != nullptr ? fmt::format(" ({})", profile) : "");
    text += fmt::format(
        "     language: {}, title: {}, dispositions: {}\n", language.empty() ? "none" : language,
        title.empty() ? "none" : fmt::format("\"{}\"", title), dispositionText(stream.disposition));
    text += fmt::format("     time base {}/{}, start {}, duration {}\n", stream.time_base.num,
                        stream.time_base.den, timeText(stream.start_time, stream.time_base),
                        timeText(stream.duration, stream.time_base));

    switch (codec.codec_type) {
        case AVMEDIA_TYPE_VIDEO: {
            AVRational sar = av_guess_sample_aspect_ratio(format_.get(),
                                                          const_cast<AVStream*>(&stream), nullptr);
            text += fmt::format(
                "     {}x{}, {}, SAR {}, rotation: {}\n", codec.width, codec.height,
                orUnknown(av_get_pix_fmt_name(static_cast<AVPixelFormat>(codec.format))),
                rationalText(sar), rotationText(stream));
            text += fmt::format("     colour: {}, chroma location {}\n",
                                colourText(codec.color_range, codec.color_primaries,
                                           codec.color_trc, codec.color_space),
                                orUnknown(av_chroma_location_name(codec.chroma_location)));
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            text += fmt::format("     {} Hz, {}, {}\n", codec.sample_rate,
                                channelLayoutText(codec.ch_layout), sampleFormatText(codec.format));
            break;
        case AVMEDIA_TYPE_ATTACHMENT:
            text += fmt::format("     attachment {} ({})\n", tag(stream.metadata, "filename"),
                                tag(stream.metadata, "mimetype"));
            break;
        case AVMEDIA_TYPE_DATA: {
            char fourcc[AV_FOURCC_MAX_STRING_SIZE] = {};
            text +=
                fmt::format("     data, tag {}\n", av_fourcc_make_string(fourcc, codec.codec_tag));
            break;
        }
        default:
            break;
    }
    return text;
}

std::string MediaProbe::describeFirstFrames() {
    AVFormatContext& format = *format_;

    // The streams a player would pick: the first real video stream (cover art is not one) and
    // the best audio stream.
    int videoIndex = -1;
    bool hasCoverArt = false;
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const AVStream& stream = *format.streams[i];
        if (stream.codecpar->codec_type != AVMEDIA_TYPE_VIDEO) {
            continue;
        }
        if ((stream.disposition & AV_DISPOSITION_ATTACHED_PIC) != 0) {
            hasCoverArt = true;
        } else if (videoIndex < 0) {
            videoIndex = static_cast<int>(i);
        }
    }
    int audioIndex = av_find_best_stream(&format, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);

    std::string videoText = hasCoverArt ? "none (cover art only)" : "none (no video stream)";
    std::string audioText = "none (no audio stream)";
    std::vector<FirstFrameDecoder> decoders;
    if (videoIndex >= 0) {
        if (auto decoder = openDecoder(format, videoIndex, videoText)) {
            decoders.push_back(std::move(*decoder));
        }
    }
    if (audioIndex >= 0) {
        if (auto decoder = openDecoder(format, audioIndex, audioText)) {
            decoders.push_back(std::move(*decoder));
        }
    }
    for (unsigned i = 0; i < format.nb_streams; ++i) {
        const bool decoded = static_cast<int>(i) == videoIndex || static_cast<int>(i) == audioIndex;
        format.streams[i]->discard = decoded ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }

    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) {
        throw ffmpegFailure("Cannot allocate a packet or a frame", AVERROR(ENOMEM));
    }
    auto anyActive = [&] {
        for (const FirstFrameDecoder& decoder : decoders) {
            if (decoder.active()) {
                return true;
            }
        }
        return false;
    };

    while (anyActive()) {
        int error = av_read_frame(&format, packet.get());
        if (error == AVERROR_EOF) {
            for (FirstFrameDecoder& decoder : decoders) {
                if (decoder.active()) {
                    // Drain: decoders with delay (B-frames, frame threads) still hold frames.
                    avcodec_send_packet(decoder.codec.get(), nullptr);
                    receiveFrames(decoder, *format.streams[decoder.streamIndex], *frame);
                }
            }
            break;
        }
        if (error < 0) {
            throw ffmpegFailure(fmt::format("Cannot read from '{}'", path_.string()), error);
        }
        for (FirstFrameDecoder& decoder : decoders) {
            if (!decoder.active() || decoder.streamIndex != packet->stream_index) {
                continue;
            }
            const AVStream& stream = *format.streams[decoder.streamIndex];
            error = avcodec_send_packet(decoder.codec.get(), packet.get());
            while (error == AVERROR(EAGAIN) && decoder.active()) {
                // The decoder's output is full: take a frame out, then offer the packet again.
                receiveFrames(decoder, stream, *frame);
                error =
                    decoder.active() ? avcodec_send_packet(decoder.codec.get(), packet.get()) : 0;
            }
            if (error < 0) {
                throw ffmpegFailure(fmt::format("Cannot decode stream #{}", stream.index), error);
            }
            receiveFrames(decoder, stream, *frame);
        }
        av_packet_unref(packet.get());
    }

    for (FirstFrameDecoder& decoder : decoders) {
        std::string result = decoder.result.value_or("none (the file ended first)");
        (decoder.streamIndex == videoIndex ? videoText : audioText) = std::move(result);
    }
    return fmt::format("First video frame: {}\nFirst audio frame: {}\n", videoText, audioText);
}

}  // namespace quillon::probe
