#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"

#include "platform/foundation/Error.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

namespace quillon {

namespace {

// The error in flight, in its default textual form.
std::string currentErrorText() {
    return platform::currentError()->debugDescription();
}

}  // namespace

CoreMediaCompatibleDecodeSession::CoreMediaCompatibleDecodeSession(
    std::shared_ptr<CoreMediaCompatibleDecoder> decoder, SampleBufferHandler sampleBufferHandler)
    : decoder_(std::move(decoder)), sampleBufferHandler_(std::move(sampleBufferHandler)) {
    platform::precondition(decoder_ != nullptr, "A decode session needs a decoder.");
}

std::shared_ptr<CoreMediaCompatibleDecodeSession> CoreMediaCompatibleDecodeSession::make(
    std::shared_ptr<CoreMediaCompatibleDecoder> decoder, SampleBufferHandler sampleBufferHandler) {
    return std::make_shared<CoreMediaCompatibleDecodeSession>(std::move(decoder),
                                                              std::move(sampleBufferHandler));
}

void CoreMediaCompatibleDecodeSession::decode(const Packet& packet) {
    bool accepted = decoder_->startDecoding(packet);
    bool previousDequeueYieldedBuffer = true;  // No dequeue yet in this loop.
    while (!accepted) {
        // A decoder that refuses input while it has no output to give would refuse forever.
        if (!previousDequeueYieldedBuffer) {
            platform::fatalError(
                "Unable to start decoding packet even though there are no more sample buffers to "
                "dequeue.");
        }
        platform::CMSampleBufferRef sampleBuffer;
        try {
            sampleBuffer = decoder_->dequeueSampleBuffer();
        } catch (...) {
            platform::log(
                "Failed to dequeue a sample buffer: {}. Resetting the decoder so that we can "
                "submit the next packet.",
                currentErrorText());
            decoder_->flush();
        }
        previousDequeueYieldedBuffer = sampleBuffer != nullptr;
        if (sampleBuffer) {
            sampleBufferHandler_(std::move(sampleBuffer));
        }
        accepted = decoder_->startDecoding(packet);
    }
}

void CoreMediaCompatibleDecodeSession::drain() {
    // libavcodec drops a packet that still waits in the decoder's input when the end of input
    // arrives, so the decoder must first take everything it was given: dequeue until it has
    // nothing ready, which means it is asking for input.
    dequeueRemainingSampleBuffers();
    // The empty packet releases its own (absent) data however the sending ends.
    const Packet endOfInput;
    decode(endOfInput);
    dequeueRemainingSampleBuffers();
}

void CoreMediaCompatibleDecodeSession::dequeueRemainingSampleBuffers() {
    while (true) {
        platform::CMSampleBufferRef sampleBuffer;
        try {
            sampleBuffer = decoder_->dequeueSampleBuffer();
        } catch (...) {
            platform::log("Failed to dequeue remaining sample buffers from media decoder: {}.",
                          currentErrorText());
            throw;
        }
        if (!sampleBuffer) {
            return;
        }
        sampleBufferHandler_(std::move(sampleBuffer));
    }
}

}  // namespace quillon
