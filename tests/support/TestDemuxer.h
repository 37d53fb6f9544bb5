#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/packet.h>
#include <libavformat/avformat.h>
}

#include "media-player/media-types/Packet.h"

namespace quillon::test {

// A media file opened with libavformat for tests that feed a decoder: the best stream of one
// media type and its packets in file order. Header-only, so that any test target that links
// FFmpeg can use it. Throws std::runtime_error when the file cannot be opened or has no such
// stream.
class TestDemuxer {
public:
    explicit TestDemuxer(const std::string& path, AVMediaType type = AVMEDIA_TYPE_VIDEO) {
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
        packet_.reset(av_packet_alloc());
        if (!packet_) {
            throw std::bad_alloc();
        }
    }

    AVFormatContext& formatContext() const { return *context_; }
    const AVStream& stream() const { return *stream_; }
    AVRational timeBase() const { return stream_->time_base; }

    // The next packet of the stream; null at the end of the file (or on a read error).
    PacketRef readPacket() {
        while (av_read_frame(context_.get(), packet_.get()) >= 0) {
            if (packet_->stream_index == stream_->index) {
                return Packet::make(*packet_);
            }
            av_packet_unref(packet_.get());
        }
        return nullptr;
    }

    // Up to maximumCount further packets of the stream.
    std::vector<PacketRef> readPackets(
        std::size_t maximumCount = std::numeric_limits<std::size_t>::max()) {
        std::vector<PacketRef> packets;
        while (packets.size() < maximumCount) {
            PacketRef packet = readPacket();
            if (!packet) {
                break;
            }
            packets.push_back(std::move(packet));
        }
        return packets;
    }

    // Moves the read position to the key frame at or before the timestamp (in the stream's time
    // base).
    void seek(std::int64_t timestamp) {
        if (av_seek_frame(context_.get(), stream_->index, timestamp, AVSEEK_FLAG_BACKWARD) < 0) {
            throw std::runtime_error("cannot seek to " + std::to_string(timestamp));
        }
    }

private:
    struct CloseInput {
        void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
    };
    struct FreePacket {
        void operator()(AVPacket* packet) const { av_packet_free(&packet); }
    };

    std::unique_ptr<AVFormatContext, CloseInput> context_;
    AVStream* stream_ = nullptr;
    std::unique_ptr<AVPacket, FreePacket> packet_;
};

}  // namespace quillon::test
