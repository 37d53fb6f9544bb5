#pragma once

#include <memory>
#include <new>

extern "C" {
#include <libavcodec/packet.h>
}

namespace quillon {

// One demultiplexed FFmpeg packet. The object owns the packet's buffer references and releases
// them when it goes; it is shared (PacketRef) between the reader that made it and the decoder
// that consumes it, and never copied, so FFmpeg may keep pointers into it while it lives.
class Packet {
public:
    // An empty packet (no data, size 0), which tells a decoder that its input has ended.
    Packet() {
        // Fresh defaults come from FFmpeg itself (av_init_packet is deprecated); moving them
        // out of an allocated packet leaves that one empty for its release.
        AVPacket* fresh = av_packet_alloc();
        if (fresh == nullptr) {
            throw std::bad_alloc();
        }
        av_packet_move_ref(&avPacket_, fresh);
        av_packet_free(&fresh);
    }

    // Takes over the references of a packet that a read filled in; the source is left blank
    // and may be reused or freed without touching this packet's data.
    explicit Packet(AVPacket& source) { av_packet_move_ref(&avPacket_, &source); }

    ~Packet() { av_packet_unref(&avPacket_); }

    static std::shared_ptr<Packet> make(AVPacket& source) {
        return std::make_shared<Packet>(source);
    }

    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    Packet(Packet&&) = delete;
    Packet& operator=(Packet&&) = delete;

    AVPacket& avPacket() { return avPacket_; }
    const AVPacket& avPacket() const { return avPacket_; }

private:
    AVPacket avPacket_;
};

using PacketRef = std::shared_ptr<Packet>;

}  // namespace quillon
