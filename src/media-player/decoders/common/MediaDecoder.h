#pragma once

#include <concepts>

extern "C" {
#include <libavformat/avformat.h>
}

#include "media-player/media-types/MediaType.h"

namespace quillon {

// A decoder of one FFmpeg stream. Every concrete decoder is made from its stream and may refuse
// it with a thrown error (MediaDecoderFromStream below states that requirement).
class MediaDecoder {
public:
    virtual ~MediaDecoder() = default;

    virtual MediaType mediaType() const = 0;

    // Drops everything buffered in the decoder (after a seek, or after a failed dequeue).
    virtual void flush() = 0;

protected:
    MediaDecoder() = default;
    MediaDecoder(const MediaDecoder&) = delete;
    MediaDecoder& operator=(const MediaDecoder&) = delete;
};

template <typename Decoder>
concept MediaDecoderFromStream =
    std::derived_from<Decoder, MediaDecoder> && std::constructible_from<Decoder, const AVStream&>;

}  // namespace quillon
