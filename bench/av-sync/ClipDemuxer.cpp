#include "ClipDemuxer.h"

#include <new>
#include <stdexcept>

namespace quillon::bench {

ClipDemuxer::ClipDemuxer(const std::string& path, AVMediaType type) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    context_.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        throw std::runtime_error("cannot probe " + path);
    }
    const int index = av_find_best_stream(raw, type, -1, -1, nullptr, 0);
    if (index < 0) {
        throw std::runtime_error("no " + std::string(av_get_media_type_string(type)) +
                                 " stream in " + path);
    }
    stream_ = raw->streams[index];
    // Only the chosen stream's packets are wanted: let the demuxer skip the others.
    for (unsigned other = 0; other < raw->nb_streams; ++other) {
        if (int(other) != index) {
            raw->streams[other]->discard = AVDISCARD_ALL;
        }
    }
    packet_.reset(av_packet_alloc());
    if (!packet_) {
        throw std::bad_alloc();
    }
}

double ClipDemuxer::durationSeconds() const {
    if (stream_->duration != AV_NOPTS_VALUE && stream_->duration > 0) {
        return double(stream_->duration) * av_q2d(stream_->time_base);
    }
    if (context_->duration != AV_NOPTS_VALUE && context_->duration > 0) {
        return double(context_->duration) / AV_TIME_BASE;
    }
    return 0;
}

PacketRef ClipDemuxer::readPacket() {
    while (av_read_frame(context_.get(), packet_.get()) >= 0) {
        if (packet_->stream_index == stream_->index) {
            return Packet::make(*packet_);
        }
        av_packet_unref(packet_.get());
    }
    return nullptr;
}

}  // namespace quillon::bench
