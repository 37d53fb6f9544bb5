#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

// A still image that was read successfully from encoded bytes (PNG, JPEG, GIF, BMP, WebP, TIFF,
// JPEG 2000, ...): the encoded bytes themselves, which whoever shows the image decodes again
// with its own toolkit (QImage::loadFromData, a file for the desktop's media controls), and what
// reading them told: the image format and the size in pixels.
//
// The bytes are shared, never copied: an image made from an FFmpeg buffer keeps a reference to
// that buffer for as long as any copy of the image lives. Copies are cheap and immutable, so an
// image may be read from any thread.
class ArtworkImage {
public:
    // Reads an image from `size` bytes at `data`, which lie inside the FFmpeg buffer `buffer`
    // (a packet's data and its buffer reference). Nullopt when the bytes are no image format
    // that can be read, or do not decode; the reference is then released at once.
    static std::optional<ArtworkImage> fromBuffer(AVBufferRefPointer buffer,
                                                  const std::uint8_t* data, std::size_t size);
    // The same for bytes in ordinary memory (copied once into a buffer of their own).
    static std::optional<ArtworkImage> fromData(std::span<const std::uint8_t> bytes);

    // The encoded image.
    std::span<const std::uint8_t> data() const;
    // The decoder that read the bytes (AV_CODEC_ID_PNG, AV_CODEC_ID_MJPEG, ...).
    AVCodecID imageCodecID() const;
    // The usual MIME type of that format ("image/png", "image/jpeg", ...), or
    // "application/octet-stream" for formats without one.
    const char* mimeType() const;
    // The size in pixels of the decoded picture, both at least 1.
    int width() const;
    int height() const;

private:
    struct Storage;
    explicit ArtworkImage(std::shared_ptr<const Storage> storage);

    std::shared_ptr<const Storage> storage_;
};

}  // namespace quillon
