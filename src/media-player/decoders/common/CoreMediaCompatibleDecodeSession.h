#pragma once

#include <functional>
#include <memory>

#include "media-player/decoders/common/CoreMediaCompatibleDecoder.h"
#include "media-player/media-source/Packet.h"
#include "platform/coremedia/CMSampleBuffer.h"

namespace quillon {

// Feeds packets to a decoder and hands every sample buffer it gives out to a handler. Used by
// one serial queue at a time (its data provider's); it keeps nothing between calls except what
// the decoder buffers.
class CoreMediaCompatibleDecodeSession {
public:
    using SampleBufferHandler = std::function<void(platform::CMSampleBufferRef)>;

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
    // Errors of startDecoding propagate; a failed dequeue is logged and resets the decoder.
    void decode(const Packet& packet);

    // Ends the input and hands out everything the decoder still holds. A failed dequeue of the
    // remaining output is logged and thrown.
    void drain();

private:
    void dequeueRemainingSampleBuffers();

    std::shared_ptr<CoreMediaCompatibleDecoder> decoder_;
    SampleBufferHandler sampleBufferHandler_;
};

}  // namespace quillon
