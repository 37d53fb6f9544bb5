#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/media-types/Packet.h"

namespace quillon::bench {

// The packets of one stream of a media file, in file order: the best stream of a media type,
// read with libavformat. Each track of the clip gets a demuxer of its own, so that the two
// feeders never share a reader. Throws std::runtime_error when the file cannot be opened or has
// no such stream.
class ClipDemuxer {
public:
    ClipDemuxer(const std::string& path, AVMediaType type);

    const AVStream& stream() const { return *stream_; }
    // The stream's duration in seconds, or the file's when the container gives none per stream
    // (Matroska); 0 when neither is known.
    double durationSeconds() const;

    // The next packet of the stream; null at the end of the file (or on a read error).
    PacketRef readPacket();

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

}  // namespace quillon::bench
