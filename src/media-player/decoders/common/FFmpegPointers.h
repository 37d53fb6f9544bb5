#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/buffer.h>
#include <libavutil/dict.h>
#include <libavutil/frame.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "media-player/decoders/common/CallSite.h"
#include "media-player/decoders/common/FFmpegCall.h"

namespace quillon {

// Owning pointers of FFmpeg objects: each deleter is the library's own release function.

struct AVFormatContextDeleter {
    // Closes what the context opened and frees it; also right for a context that was only
    // allocated.
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct AVCodecContextDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct AVFrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct AVPacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct AVBufferRefDeleter {
    void operator()(AVBufferRef* buffer) const { av_buffer_unref(&buffer); }
};
struct AVDictionaryDeleter {
    void operator()(AVDictionary* dictionary) const { av_dict_free(&dictionary); }
};
struct SwsContextDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};
struct SwrContextDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};
struct AVIOContextDeleter {
    // For a context that avio_open2 opened: closes what it opened too.
    void operator()(AVIOContext* context) const { avio_closep(&context); }
};

using AVFormatContextPointer = std::unique_ptr<AVFormatContext, AVFormatContextDeleter>;
using AVCodecContextPointer = std::unique_ptr<AVCodecContext, AVCodecContextDeleter>;
using AVFramePointer = std::unique_ptr<AVFrame, AVFrameDeleter>;
using AVPacketPointer = std::unique_ptr<AVPacket, AVPacketDeleter>;
using AVBufferRefPointer = std::unique_ptr<AVBufferRef, AVBufferRefDeleter>;
// An empty dictionary is a null pointer in FFmpeg; pass it to FFmpeg's setters through
// inOutPointer.
using AVDictionaryPointer = std::unique_ptr<AVDictionary, AVDictionaryDeleter>;
using SwsContextPointer = std::unique_ptr<SwsContext, SwsContextDeleter>;
using SwrContextPointer = std::unique_ptr<SwrContext, SwrContextDeleter>;
using AVIOContextPointer = std::unique_ptr<AVIOContext, AVIOContextDeleter>;

// Lends an owning pointer to an FFmpeg function that takes T** and may replace or free the
// object (av_dict_set, avformat_open_input): the pointer gives up the object for the call and
// takes back whatever the function left, null included, when the full expression ends.
template <typename Owning>
class InOutPointer {
public:
    explicit InOutPointer(Owning& owning) : owning_(owning), raw_(owning.release()) {}
    ~InOutPointer() { owning_.reset(raw_); }
    InOutPointer(const InOutPointer&) = delete;
    InOutPointer& operator=(const InOutPointer&) = delete;

    operator typename Owning::pointer *() { return &raw_; }

private:
    Owning& owning_;
    typename Owning::pointer raw_;
};

template <typename Owning>
InOutPointer<Owning> inOutPointer(Owning& owning) {
    return InOutPointer<Owning>(owning);
}

// Allocations: the object, or the allocation failure logged for the caller's site and thrown as
// FFmpegError allocationFailure. The two contexts install FFmpeg's log callback first.
AVFormatContextPointer makeFormatContext(const CallSite& site);
AVCodecContextPointer makeCodecContext(const AVCodec* codec, const CallSite& site);
AVFramePointer makeFrame(const CallSite& site);
AVPacketPointer makePacket(const CallSite& site);
AVBufferRefPointer makeBufferReference(const AVBufferRef& buffer, const CallSite& site);
SwsContextPointer makeSwsContext(const CallSite& site);
SwrContextPointer makeSwrContext(const CallSite& site);

// Takes ownership of what another allocating call returned (sws_getContext, swr_alloc_set_opts2
// results and the like), with the same failure handling for null.
template <typename Owning>
Owning adoptAllocation(typename Owning::pointer allocated, const CallSite& site) {
    if (allocated == nullptr) {
        throwAllocationFailure(site);
    }
    return Owning(allocated);
}

}  // namespace quillon
