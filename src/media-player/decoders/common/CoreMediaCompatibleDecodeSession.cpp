#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"

#include <exception>

#include "media-player/decoders/common/StuckDecoderError.h"
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
    send(packet, [this] {
        platform::logWarning(
            "Failed to dequeue a sample buffer: {}. Resetting the decoder so that we can submit "
            "the next packet.",
            currentErrorText());
        decoder_->flush();
        // Nothing is left to give out after the reset.
        return false;
    });
}

void CoreMediaCompatibleDecodeSession::drain() {
    // A damaged tail makes single dequeues fail while later output is good, so a failure stops
    // neither the end of the input nor the output after it: the first one is thrown at the end.
    std::exception_ptr firstFailure;
    const DequeueFailureHandler dequeueFailed = [&] {
        platform::logWarning("Failed to dequeue remaining sample buffers from media decoder: {}.",
                             currentErrorText());
        if (!firstFailure) {
            firstFailure = std::current_exception();
        }
        // The output that failed is used up.
        return true;
    };
    // libavcodec drops a packet that still waits in the decoder's input when the end of input
    // arrives, so the decoder must first take everything it was given: dequeue until it has
    // nothing ready, which means it is asking for input.
    dequeueRemainingSampleBuffers(dequeueFailed);
    // The empty packet releases its own (absent) data however the sending ends.
    const Packet endOfInput;
    send(endOfInput, dequeueFailed);
    dequeueRemainingSampleBuffers(dequeueFailed);
    if (firstFailure) {
        std::rethrow_exception(firstFailure);
    }
}

void CoreMediaCompatibleDecodeSession::send(const Packet& packet,
                                            const DequeueFailureHandler& dequeueFailed) {
    bool accepted = decoder_->startDecoding(packet);
    bool previousDequeueYieldedBuffer = true;  // No dequeue yet in this loop.
    while (!accepted) {
        // A decoder that refuses input while it has no output to give would refuse forever.
        if (!previousDequeueYieldedBuffer) {
            throw StuckDecoderError();
        }
        platform::CMSampleBufferRef sampleBuffer;
        bool gaveOutput = false;
        try {
            sampleBuffer = decoder_->dequeueSampleBuffer();
            gaveOutput = sampleBuffer != nullptr;
        } catch (...) {
            gaveOutput = dequeueFailed();
        }
        previousDequeueYieldedBuffer = gaveOutput;
        if (sampleBuffer) {
            sampleBufferHandler_(std::move(sampleBuffer));
        }
        accepted = decoder_->startDecoding(packet);
    }
}

void CoreMediaCompatibleDecodeSession::dequeueRemainingSampleBuffers(
    const DequeueFailureHandler& dequeueFailed) {
    while (true) {
        platform::CMSampleBufferRef sampleBuffer;
        try {
            sampleBuffer = decoder_->dequeueSampleBuffer();
        } catch (...) {
            dequeueFailed();
            continue;
        }
        if (!sampleBuffer) {
            return;
        }
        sampleBufferHandler_(std::move(sampleBuffer));
    }
}

}  // namespace quillon
