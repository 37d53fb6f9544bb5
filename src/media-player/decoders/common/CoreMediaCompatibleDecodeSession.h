#pragma once

#include <functional>
#include <memory>

#include "media-player/decoders/common/CoreMediaCompatibleDecoder.h"
#include "media-player/media-types/Packet.h"
#include "platform/coremedia/CMSampleBuffer.h"

namespace quillon {

// Feeds packets to a decoder and hands every sample buffer it gives out to a handler. Used by
// one serial queue at a time (its data provider's); it keeps nothing between calls except what
// the decoder buffers.
class CoreMediaCompatibleDecodeSession {
public:
    using SampleBufferHandler = std::function<void(platform::CMSampleBufferRef)>;
    // Given a track's decoder, the decoder that its session decodes with instead: tests put
    // decoders that misbehave in place this way.
    using DecoderWrapper = std::function<std::shared_ptr<CoreMediaCompatibleDecoder>(
        std::shared_ptr<CoreMediaCompatibleDecoder>)>;

    CoreMediaCompatibleDecodeSession(std::shared_ptr<CoreMediaCompatibleDecoder> decoder,
                                     SampleBufferHandler sampleBufferHandler);

    static std::shared_ptr<CoreMediaCompatibleDecodeSession> make(
        std::shared_ptr<CoreMediaCompatibleDecoder> decoder,
        SampleBufferHandler sampleBufferHandler);

    CoreMediaCompatibleDecodeSession(const CoreMediaCompatibleDecodeSession&) = delete;
    CoreMediaCompatibleDecodeSession& operator=(const CoreMediaCompatibleDecodeSession&) = delete;

    const std::shared_ptr<CoreMediaCompatibleDecoder>& decoder() const { return decoder_; }

    const SampleBufferHandler& sampleBufferHandler() const { return sampleBufferHandler_; }
    void setSampleBufferHandler(SampleBufferHandler handler) {
        sampleBufferHandler_ = std::move(handler);
    }

    // Sends the packet, making room by dequeueing as often as the decoder refuses it. Output that
    // is ready after the packet was taken stays in the decoder until the next decode or drain.
    // Errors of startDecoding propagate; a failed dequeue is logged and resets the decoder. A
    // decoder that refuses the packet again after giving out nothing throws StuckDecoderError.
    void decode(const Packet& packet);

    // Ends the input and hands out everything the decoder still holds, also past dequeues that
    // fail: each failure is logged, and the first one is thrown once the decoder is empty. A
    // decoder that will not take the end of the input throws StuckDecoderError at once.
    void drain();

private:
    // Runs inside the catch block of a failed dequeue; true when the failure used up output, so
    // that a refusal after it is no sign of a stuck decoder.
    using DequeueFailureHandler = std::function<bool()>;

    void send(const Packet& packet, const DequeueFailureHandler& dequeueFailed);
    void dequeueRemainingSampleBuffers(const DequeueFailureHandler& dequeueFailed);

    std::shared_ptr<CoreMediaCompatibleDecoder> decoder_;
    SampleBufferHandler sampleBufferHandler_;
};

}  // namespace quillon
