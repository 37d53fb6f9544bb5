#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
}

#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/corevideo/CVPixelBufferPool.h"

namespace quillon {

// Lets libavcodec decode straight into the output pool's pixel buffers, so that a decoded
// picture becomes a sample buffer without being copied. The pool's buffers already have the
// decoder's own padding and row alignment; a buffer handed to libavcodec is wrapped in an
// AVBuffer whose release drops the decoder's reference, so a buffer lives as long as either
// libavcodec (as a reference picture) or a consumer (as a sample buffer) holds it.
//
// Requests that the pool's buffers cannot serve (another format or size, hardware frames, a
// decoder that cannot decode into caller memory, a pool that fails) go to libavcodec's own
// allocator, and their pictures are copied as before.
//
// libavcodec calls the allocator from its decoding threads while the decoder's queue changes the
// target pool: the target and the record of live buffers sit behind a mutex.
class PixelBufferFrameAllocator : public std::enable_shared_from_this<PixelBufferFrameAllocator> {
public:
    PixelBufferFrameAllocator() = default;
    PixelBufferFrameAllocator(const PixelBufferFrameAllocator&) = delete;
    PixelBufferFrameAllocator& operator=(const PixelBufferFrameAllocator&) = delete;

    // Makes this allocator the context's frame allocator; call before the context is opened. The
    // allocator must outlive the context (buffers still in use keep it alive by themselves).
    void install(AVCodecContext& context);

    // The pool whose buffers pictures of that format are decoded into from now on; null sends
    // every request to libavcodec's allocator. Pictures already decoded keep their buffers.
    void setTargetPool(platform::CVPixelBufferPoolRef pool, AVPixelFormat pixelFormat);

    // The buffer the frame was decoded into, when that is a buffer of the current target pool
    // whose planes are exactly the frame's, and it has not been given out before (a decoder that
    // shows a picture twice must not share one buffer, and its attachments, between two sample
    // buffers). Null otherwise: the frame must then be copied.
    platform::CVPixelBufferRef takePixelBuffer(const AVFrame& frame);

    // Buffers that libavcodec (or a frame) still holds.
    std::size_t liveBufferCount() const;
    // Pictures given out without a copy so far.
    std::uint64_t takenPixelBufferCount() const;
    // Pictures that libavcodec asked for a buffer for so far (whoever served them): the pictures
    // it decoded, since it asks once per picture.
    std::uint64_t requestedBufferCount() const {
        return requestedBufferCount_.load(std::memory_order_relaxed);
    }

private:
    struct DecoderBuffer;

    static int getBuffer(AVCodecContext* context, AVFrame* frame, int flags);
    static void releaseBuffer(void* opaque, std::uint8_t* data);
    bool allocate(AVCodecContext& context, AVFrame& frame);

    mutable std::mutex mutex_;
    platform::CVPixelBufferPoolRef pool_;
    AVPixelFormat pixelFormat_ = AV_PIX_FMT_NONE;
    std::unordered_set<const DecoderBuffer*> liveBuffers_;
    std::uint64_t takenPixelBufferCount_ = 0;
    std::atomic<std::uint64_t> requestedBufferCount_{0};
};

}  // namespace quillon
