#include "SubtitlesTestSupport.h"

#include <cstring>
#include <stdexcept>

#include "support/GuiApplicationEnvironment.h"

// Formatted subtitles look fonts up through Qt, whose fontconfig keeps its configuration for the
// life of the process. Weak, so that another file of this test program may define the list.
extern "C" __attribute__((weak)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace quillon::subtitlestest {

SubtitlesFile::SubtitlesFile(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    context.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        throw std::runtime_error("no stream info in " + path);
    }
    for (unsigned i = 0; i < raw->nb_streams; ++i) {
        if (raw->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE) {
            stream = raw->streams[i];
            return;
        }
    }
    throw std::runtime_error("no subtitle stream in " + path);
}

std::vector<PacketRef> SubtitlesFile::readSubtitlePackets() {
    std::vector<PacketRef> packets;
    AVPacketPointer packet(av_packet_alloc());
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream->index) {
            packets.push_back(Packet::make(*packet));
        }
        av_packet_unref(packet.get());
    }
    return packets;
}

HandMadeStream::HandMadeStream(AVCodecID codecID, const std::string& extradata, int width,
                               int height, AVRational timeBase)
    : context(avformat_alloc_context()) {
    stream = avformat_new_stream(context.get(), nullptr);
    if (stream == nullptr) {
        throw std::runtime_error("avformat_new_stream failed");
    }
    stream->time_base = timeBase;
    AVCodecParameters* parameters = stream->codecpar;
    parameters->codec_type = avcodec_get_type(codecID);
    parameters->codec_id = codecID;
    parameters->width = width;
    parameters->height = height;
    if (!extradata.empty()) {
        parameters->extradata =
            static_cast<std::uint8_t*>(av_mallocz(extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        std::memcpy(parameters->extradata, extradata.data(), extradata.size());
        parameters->extradata_size = static_cast<int>(extradata.size());
    }
}

PacketRef makePacket(const std::string& bytes, std::int64_t pts, std::int64_t duration) {
    AVPacketPointer packet(av_packet_alloc());
    if (av_new_packet(packet.get(), static_cast<int>(bytes.size())) < 0) {
        throw std::runtime_error("av_new_packet failed");
    }
    if (!bytes.empty()) {
        std::memcpy(packet->data, bytes.data(), bytes.size());
    }
    packet->pts = pts;
    packet->dts = pts;
    packet->duration = duration;
    return Packet::make(*packet);
}

std::string plainText(const Subtitles& subtitles) {
    if (const TextSubtitle* text = subtitles.textSubtitle()) {
        return text->text;
    }
    std::string joined;
    if (const auto* formatted = subtitles.formattedTextSubtitles()) {
        for (const FormattedTextSubtitle& subtitle : *formatted) {
            if (!joined.empty()) {
                joined += '\n';
            }
            joined += subtitle.formattedText->string();
        }
    }
    return joined;
}

std::vector<SubtitlesFrame> decodeAllFrames(const std::string& path) {
    SubtitlesFile file(path);
    FFmpegSubtitlesFrameDecoder decoder(*file.stream);
    std::vector<SubtitlesFrame> frames;
    for (const PacketRef& packet : file.readSubtitlePackets()) {
        for (SubtitlesFrame& frame : decoder.decode(*packet)) {
            frames.push_back(std::move(frame));
        }
    }
    for (SubtitlesFrame& frame : drainSubtitlesFrameDecoder(decoder)) {
        frames.push_back(std::move(frame));
    }
    return frames;
}

double seconds(platform::CMTime time) {
    return platform::CMTimeGetSeconds(time);
}

}  // namespace quillon::subtitlestest
