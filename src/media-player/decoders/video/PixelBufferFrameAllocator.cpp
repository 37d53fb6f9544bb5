#include "media-player/decoders/video/PixelBufferFrameAllocator.h"

#include <array>
#include <cstdint>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/cpu.h>
#include <libavutil/pixdesc.h>
}

#include "media-player/decoders/common/DecoderFrameGeometry.h"

namespace quillon {

using namespace platform;

// One pixel buffer lent to libavcodec: the AVBuffer's opaque value.
struct PixelBufferFrameAllocator::DecoderBuffer {
    // Keeps the record of live buffers alive until the last buffer is released, whenever the
    // codec context and the decoder go.
    std::shared_ptr<PixelBufferFrameAllocator> owner;
    CVPixelBufferRef pixelBuffer;
    // The pool the buffer came from, held so that a later pool can never be taken for it.
    CVPixelBufferPoolRef pool;
    bool handedOut = false;
};

void PixelBufferFrameAllocator::install(AVCodecContext& context) {
    context.opaque = this;
    context.get_buffer2 = getBuffer;
#if FF_API_THREAD_SAFE_CALLBACKS
    // Without this, libavcodec 59 hands every request of its frame threads to the thread that
    // sends the packets and waits for it, which serialises decoding. The allocator is safe to
    // call from any thread.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    context.thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
}

void PixelBufferFrameAllocator::setTargetPool(CVPixelBufferPoolRef pool,
                                              AVPixelFormat pixelFormat) {
    std::lock_guard lock(mutex_);
    pool_ = std::move(pool);
    pixelFormat_ = pool_ ? pixelFormat : AV_PIX_FMT_NONE;
}

std::size_t PixelBufferFrameAllocator::liveBufferCount() const {
    std::lock_guard lock(mutex_);
    return liveBuffers_.size();
}

std::uint64_t PixelBufferFrameAllocator::takenPixelBufferCount() const {
    std::lock_guard lock(mutex_);
    return takenPixelBufferCount_;
}

int PixelBufferFrameAllocator::getBuffer(AVCodecContext* context, AVFrame* frame, int flags) {
    auto* self = static_cast<PixelBufferFrameAllocator*>(context->opaque);
    if (self != nullptr) {
        self->requestedBufferCount_.fetch_add(1, std::memory_order_relaxed);
    }
    if (self != nullptr && self->allocate(*context, *frame)) {
        return 0;
    }
    return avcodec_default_get_buffer2(context, frame, flags);
}

bool PixelBufferFrameAllocator::allocate(AVCodecContext& context, AVFrame& frame) {
    // Decoders without direct rendering write past what they ask for or keep buffers in ways the
    // pool's geometry does not cover; hardware frames live in the device's memory.
    if (context.codec == nullptr || (context.codec->capabilities & AV_CODEC_CAP_DR1) == 0 ||
        context.hw_frames_ctx != nullptr) {
        return false;
    }
    CVPixelBufferPoolRef pool;
    AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
    {
        std::lock_guard lock(mutex_);
        pool = pool_;
        pixelFormat = pixelFormat_;
    }
    if (!pool || frame.format != pixelFormat || context.pix_fmt != pixelFormat ||
        context.width <= 0 || context.height <= 0) {
        return false;
    }
    const CVPixelBufferGeometry& geometry = pool->geometry();
    // The picture that comes out has the context's size (the request may be for the larger coded
    // size, which the extended pixels must then hold).
    if (static_cast<std::size_t>(context.width) != geometry.width ||
        static_cast<std::size_t>(context.height) != geometry.height) {
        return false;
    }
    // What libavcodec's own allocator would give this request: the buffer must have exactly those
    // line sizes and at least those rows.
    const DecoderFrameGeometry padded =
        alignDecoderFrameDimensions(context, frame.width, frame.height);
    std::array<int, 4> linesizes{};
    if (fillDecoderFrameLinesizes(linesizes, pixelFormat, padded.paddedWidth, padded.rowAlignment) <
        0) {
        return false;
    }
    const int planeCount = av_pix_fmt_count_planes(pixelFormat);
    if (planeCount <= 0 || static_cast<std::size_t>(planeCount) != geometry.planeCount ||
        geometry.height + geometry.extendedBottom < static_cast<std::size_t>(padded.paddedHeight)) {
        return false;
    }
    for (int plane = 0; plane < planeCount; ++plane) {
        if (linesizes[plane] <= 0 ||
            static_cast<std::size_t>(linesizes[plane]) != geometry.planes[plane].bytesPerRow) {
            return false;
        }
    }

    CVPixelBufferRef pixelBuffer;
    if (pool->createPixelBuffer(nullptr, &pixelBuffer) != kCVReturnSuccess) {
        return false;
    }
    // libavcodec's vector code loads and stores whole registers at the planes' starts.
    const auto alignment = static_cast<std::uintptr_t>(av_cpu_max_align());
    std::array<std::uint8_t*, 4> data{};
    for (int plane = 0; plane < planeCount; ++plane) {
        data[plane] = pixelBuffer->baseAddressOfPlane(static_cast<std::size_t>(plane));
        if (reinterpret_cast<std::uintptr_t>(data[plane]) % alignment != 0) {
            return false;
        }
    }
    auto buffer = std::make_unique<DecoderBuffer>(
        DecoderBuffer{shared_from_this(), pixelBuffer, std::move(pool), false});
    {
        std::lock_guard lock(mutex_);
        liveBuffers_.insert(buffer.get());
    }
    const std::size_t size = geometry.dataSize - geometry.planes[0].baseOffset;
    AVBufferRef* reference = av_buffer_create(data[0], size, releaseBuffer, buffer.get(), 0);
    if (reference == nullptr) {
        std::lock_guard lock(mutex_);
        liveBuffers_.erase(buffer.get());
        return false;
    }
    buffer.release();
    // One AVBuffer covers every plane: they lie in the pixel buffer's one block of memory.
    frame.buf[0] = reference;
    for (int plane = 0; plane < planeCount; ++plane) {
        frame.data[plane] = data[plane];
        frame.linesize[plane] = linesizes[plane];
    }
    frame.extended_data = frame.data;
    return true;
}

void PixelBufferFrameAllocator::releaseBuffer(void* opaque, std::uint8_t*) {
    // Declared first so that it goes last: it may hold the last reference to the allocator.
    std::unique_ptr<DecoderBuffer> buffer(static_cast<DecoderBuffer*>(opaque));
    std::lock_guard lock(buffer->owner->mutex_);
    buffer->owner->liveBuffers_.erase(buffer.get());
}

CVPixelBufferRef PixelBufferFrameAllocator::takePixelBuffer(const AVFrame& frame) {
    if (frame.buf[0] == nullptr || frame.buf[1] != nullptr) {
        return nullptr;
    }
    // Only compared with the live buffers' addresses until found among them: a buffer of
    // libavcodec's own allocator has an opaque value of its own.
    auto* buffer = static_cast<DecoderBuffer*>(av_buffer_get_opaque(frame.buf[0]));
    std::lock_guard lock(mutex_);
    if (!liveBuffers_.contains(buffer) || buffer->handedOut || buffer->pool != pool_ ||
        frame.format != pixelFormat_) {
        return nullptr;
    }
    // Cropping moves the planes' start or shrinks the picture: such a frame is copied.
    const CVPixelBufferGeometry& geometry = buffer->pixelBuffer->geometry();
    if (frame.width < 0 || frame.height < 0 ||
        static_cast<std::size_t>(frame.width) != geometry.width ||
        static_cast<std::size_t>(frame.height) != geometry.height) {
        return nullptr;
    }
    for (std::size_t plane = 0; plane < geometry.planeCount; ++plane) {
        if (frame.data[plane] != buffer->pixelBuffer->baseAddressOfPlane(plane) ||
            frame.linesize[plane] < 0 ||
            static_cast<std::size_t>(frame.linesize[plane]) != geometry.planes[plane].bytesPerRow) {
            return nullptr;
        }
    }
    buffer->handedOut = true;
    ++takenPixelBufferCount_;
    return buffer->pixelBuffer;
}

}  // namespace quillon
