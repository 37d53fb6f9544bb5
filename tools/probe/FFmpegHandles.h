#pragma once

#include <memory>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include "platform/foundation/Error.h"

namespace quillon::probe {

// Owning handles for the FFmpeg objects the probe makes, so that every early return and every
// thrown error releases them.
struct FormatContextCloser {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct CodecContextFreer {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct PacketFreer {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};

using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextCloser>;
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

inline constexpr const char* kProbeErrorDomain = "QuillonProbeErrorDomain";

// FFmpeg's own text for an error code.
inline std::string ffmpegErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    if (av_strerror(code, text, sizeof text) < 0) {
        return "FFmpeg error " + std::to_string(code);
    }
    return text;
}

// "<what>: <FFmpeg's text>" as an error value carrying the FFmpeg code.
inline platform::NSError ffmpegFailure(const std::string& what, int code) {
    return platform::NSError(
        kProbeErrorDomain, code,
        {{platform::NSLocalizedDescriptionKey, what + ": " + ffmpegErrorText(code)}});
}

inline platform::NSError probeFailure(const std::string& description) {
    return platform::NSError(kProbeErrorDomain, 1,
                             {{platform::NSLocalizedDescriptionKey, description}});
}

}  // namespace quillon::probe
