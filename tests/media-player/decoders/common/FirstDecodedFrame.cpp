#include "FirstDecodedFrame.h"

#include <stdexcept>

namespace quillon::testing {

namespace {

void check(int result, const std::string& what) {
    if (result < 0) {
        throw std::runtime_error(what + " failed: " + std::to_string(result));
    }
}

}  // namespace

FirstDecodedFrame::FirstDecodedFrame(const std::string& path) {
    AVFormatContext* opened = nullptr;
    check(avformat_open_input(&opened, path.c_str(), nullptr, nullptr), "opening " + path);
    formatContext.reset(opened);
    check(avformat_find_stream_info(opened, nullptr), "probing " + path);
    const int index = av_find_best_stream(opened, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    check(index, "finding the video stream of " + path);
    stream = opened->streams[index];

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (codec == nullptr) {
        throw std::runtime_error("no decoder for " + path);
    }
    codecContext.reset(avcodec_alloc_context3(codec));
    check(avcodec_parameters_to_context(codecContext.get(), stream->codecpar), "parameters");
    codecContext->thread_count = 1;
    check(avcodec_open2(codecContext.get(), codec, nullptr), "opening the decoder");

    frame.reset(av_frame_alloc());
    AVPacketPointer packet(av_packet_alloc());
    bool draining = false;
    while (true) {
        const int received = avcodec_receive_frame(codecContext.get(), frame.get());
        if (received == 0) {
            return;
        }
        if (received != AVERROR(EAGAIN) || draining) {
            throw std::runtime_error("no picture decoded from " + path);
        }
        int read = 0;
        do {
            av_packet_unref(packet.get());
            read = av_read_frame(opened, packet.get());
        } while (read >= 0 && packet->stream_index != index);
        if (read < 0) {
            draining = true;
            check(avcodec_send_packet(codecContext.get(), nullptr), "draining");
        } else {
            check(avcodec_send_packet(codecContext.get(), packet.get()), "decoding");
        }
    }
}

}  // namespace quillon::testing
