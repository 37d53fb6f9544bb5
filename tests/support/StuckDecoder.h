#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <utility>

#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecoder.h"
#include "media-player/decoders/common/StuckDecoderError.h"
#include "media-player/decoders/video/FFmpegVideoDecoder.h"
#include "platform/foundation/Error.h"

namespace quillon::test {

// Stands in a decode session for a track's decoder and takes no packet while `isStuck` holds
// (always, when not given): it refuses each one at once with nothing to give out, as a decoder
// whose threads hang does once its wait is over. Otherwise the track's decoder does the work.
class StuckDecoder final : public CoreMediaCompatibleDecoder {
public:
    explicit StuckDecoder(std::shared_ptr<CoreMediaCompatibleDecoder> decoder,
                          std::function<bool()> isStuck = {})
        : decoder_(std::move(decoder)), isStuck_(std::move(isStuck)) {}

    MediaType mediaType() const override { return decoder_->mediaType(); }
    void flush() override { decoder_->flush(); }
    bool startDecoding(const Packet& packet) override {
        if (stuck()) {
            ++refusals;
            return false;
        }
        return decoder_->startDecoding(packet);
    }
    platform::CMSampleBufferRef dequeueSampleBuffer() override {
        return stuck() ? nullptr : decoder_->dequeueSampleBuffer();
    }

    std::atomic<int> refusals{0};

private:
    bool stuck() const { return !isStuck_ || isStuck_(); }

    std::shared_ptr<CoreMediaCompatibleDecoder> decoder_;
    std::function<bool()> isStuck_;
};

// Makes the sessions of one media type decode with a StuckDecoder, remembering the last one made.
struct StuckDecoders {
    using WhenStuck =
        std::function<std::function<bool()>(const std::shared_ptr<CoreMediaCompatibleDecoder>&)>;

    // `whenStuck`: given the track's decoder, when the stand-in takes no packet; always when
    // empty.
    explicit StuckDecoders(MediaType mediaType, WhenStuck whenStuck = {})
        : mediaType(mediaType), whenStuck(std::move(whenStuck)) {}

    MediaType mediaType;
    WhenStuck whenStuck;
    std::shared_ptr<std::shared_ptr<StuckDecoder>> last =
        std::make_shared<std::shared_ptr<StuckDecoder>>();

    CoreMediaCompatibleDecodeSession::DecoderWrapper wrapper() const {
        return [mediaType = mediaType, whenStuck = whenStuck,
                last = last](std::shared_ptr<CoreMediaCompatibleDecoder> decoder)
                   -> std::shared_ptr<CoreMediaCompatibleDecoder> {
            if (decoder->mediaType() != mediaType) {
                return decoder;
            }
            auto isStuck = whenStuck ? whenStuck(decoder) : std::function<bool()>();
            auto stuck = std::make_shared<StuckDecoder>(std::move(decoder), std::move(isStuck));
            std::atomic_store(last.get(), stuck);
            return stuck;
        };
    }
    // How often the decoder made last refused a packet.
    int refusals() const {
        const auto decoder = std::atomic_load(last.get());
        return decoder ? decoder->refusals.load() : 0;
    }
};

// What a provider reported through its decoder failure handler.
struct DecoderFailureRecord {
    std::shared_ptr<std::atomic<int>> count = std::make_shared<std::atomic<int>>(0);
    std::shared_ptr<std::atomic<bool>> wasStuckDecoderError =
        std::make_shared<std::atomic<bool>>(false);

    std::function<void(std::shared_ptr<const platform::Error>)> handler() const {
        return [count = count, stuck = wasStuckDecoderError](auto error) {
            *stuck = dynamic_cast<const StuckDecoderError*>(error.get()) != nullptr;
            ++*count;
        };
    }
};

}  // namespace quillon::test
