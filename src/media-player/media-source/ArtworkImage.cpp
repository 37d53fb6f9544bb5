#include "media-player/media-source/ArtworkImage.h"

#include <climits>
#include <cstring>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace quillon {

struct ArtworkImage::Storage {
    AVBufferRefPointer buffer;
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    AVCodecID codecID = AV_CODEC_ID_NONE;
    int width = 0;
    int height = 0;
};

namespace {

bool hasPrefix(std::span<const std::uint8_t> bytes, std::size_t offset, std::string_view magic) {
    return bytes.size() >= offset + magic.size() &&
           std::memcmp(bytes.data() + offset, magic.data(), magic.size()) == 0;
}

// Covers say what they are in their first bytes; the container's codec tag is not trusted, since
// taggers routinely label PNG covers as JPEG and the other way round.
std::optional<AVCodecID> sniffImageFormat(std::span<const std::uint8_t> bytes) {
    using namespace std::string_view_literals;
    if (hasPrefix(bytes, 0, "\x89PNG\r\n\x1a\n"sv)) {
        return AV_CODEC_ID_PNG;
    }
    if (hasPrefix(bytes, 0, "\xff\xd8\xff"sv)) {
        return AV_CODEC_ID_MJPEG;
    }
    if (hasPrefix(bytes, 0, "GIF87a"sv) || hasPrefix(bytes, 0, "GIF89a"sv)) {
        return AV_CODEC_ID_GIF;
    }
    if (hasPrefix(bytes, 0, "RIFF"sv) && hasPrefix(bytes, 8, "WEBP"sv)) {
        return AV_CODEC_ID_WEBP;
    }
    if (hasPrefix(bytes, 0, "II*\0"sv) || hasPrefix(bytes, 0, "MM\0*"sv)) {
        return AV_CODEC_ID_TIFF;
    }
    if (hasPrefix(bytes, 0, "\0\0\0\x0cjP  \r\n\x87\n"sv) ||
        hasPrefix(bytes, 0, "\xff\x4f\xff\x51"sv)) {
        return AV_CODEC_ID_JPEG2000;
    }
    if (hasPrefix(bytes, 0, "BM"sv)) {
        return AV_CODEC_ID_BMP;
    }
    return std::nullopt;
}

const char* mimeTypeOf(AVCodecID codecID) {
    switch (codecID) {
        case AV_CODEC_ID_PNG:
            return "image/png";
        case AV_CODEC_ID_MJPEG:
            return "image/jpeg";
        case AV_CODEC_ID_GIF:
            return "image/gif";
        case AV_CODEC_ID_WEBP:
            return "image/webp";
        case AV_CODEC_ID_TIFF:
            return "image/tiff";
        case AV_CODEC_ID_JPEG2000:
            return "image/jp2";
        case AV_CODEC_ID_BMP:
            return "image/bmp";
        default:
            return "application/octet-stream";
    }
}

struct PictureSize {
    int width;
    int height;
};

// Decodes the whole picture, not only its header: a cover whose header is fine but whose data is
// cut short would otherwise reach the user interface and fail there.
std::optional<PictureSize> decodePicture(AVCodecID codecID, AVBufferRef* buffer,
                                         const std::uint8_t* data, std::size_t size) {
    const AVCodec* codec = avcodec_find_decoder(codecID);
    if (codec == nullptr) {
        return std::nullopt;
    }
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    AVPacketPointer packet(av_packet_alloc());
    AVFramePointer frame(av_frame_alloc());
    if (!context || !packet || !frame) {
        return std::nullopt;
    }
    // One picture: decoder threads would only cost their start-up.
    context->thread_count = 1;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        return std::nullopt;
    }
    packet->buf = av_buffer_ref(buffer);
    if (packet->buf == nullptr) {
        return std::nullopt;
    }
    packet->data = const_cast<std::uint8_t*>(data);
    packet->size = static_cast<int>(size);
    packet->flags |= AV_PKT_FLAG_KEY;
    if (avcodec_send_packet(context.get(), packet.get()) < 0) {
        return std::nullopt;
    }
    // Some image decoders hold their picture back until they are drained.
    avcodec_send_packet(context.get(), nullptr);
    if (avcodec_receive_frame(context.get(), frame.get()) < 0) {
        return std::nullopt;
    }
    if (frame->width < 1 || frame->height < 1 || (frame->decode_error_flags != 0) ||
        (frame->flags & AV_FRAME_FLAG_CORRUPT) != 0) {
        return std::nullopt;
    }
    return PictureSize{frame->width, frame->height};
}

}  // namespace

ArtworkImage::ArtworkImage(std::shared_ptr<const Storage> storage) : storage_(std::move(storage)) {}

std::optional<ArtworkImage> ArtworkImage::fromBuffer(AVBufferRefPointer buffer,
                                                     const std::uint8_t* data, std::size_t size) {
    if (!buffer || data == nullptr || size == 0 || size > INT_MAX) {
        return std::nullopt;
    }
    std::span<const std::uint8_t> bytes(data, size);
    std::optional<AVCodecID> codecID = sniffImageFormat(bytes);
    if (!codecID) {
        return std::nullopt;
    }
    // Decoders read a little past the end of their input; packet buffers carry that padding, other
    // buffers get a padded copy for decoding only.
    const std::uint8_t* bufferEnd = buffer->data + buffer->size;
    bool padded = data >= buffer->data && data + size <= bufferEnd &&
                  static_cast<std::size_t>(bufferEnd - (data + size)) >=
                      static_cast<std::size_t>(AV_INPUT_BUFFER_PADDING_SIZE);
    std::optional<PictureSize> picture;
    if (padded) {
        picture = decodePicture(*codecID, buffer.get(), data, size);
    } else {
        AVBufferRefPointer copy(av_buffer_allocz(size + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!copy) {
            return std::nullopt;
        }
        std::memcpy(copy->data, data, size);
        picture = decodePicture(*codecID, copy.get(), copy->data, size);
    }
    if (!picture) {
        return std::nullopt;
    }
    auto storage = std::make_shared<Storage>();
    storage->buffer = std::move(buffer);
    storage->data = data;
    storage->size = size;
    storage->codecID = *codecID;
    storage->width = picture->width;
    storage->height = picture->height;
    return ArtworkImage(std::move(storage));
}

std::optional<ArtworkImage> ArtworkImage::fromData(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return std::nullopt;
    }
    AVBufferRefPointer buffer(av_buffer_allocz(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!buffer) {
        return std::nullopt;
    }
    std::memcpy(buffer->data, bytes.data(), bytes.size());
    const std::uint8_t* data = buffer->data;
    return fromBuffer(std::move(buffer), data, bytes.size());
}

std::span<const std::uint8_t> ArtworkImage::data() const {
    return {storage_->data, storage_->size};
}

AVCodecID ArtworkImage::imageCodecID() const {
    return storage_->codecID;
}

const char* ArtworkImage::mimeType() const {
    return mimeTypeOf(storage_->codecID);
}

int ArtworkImage::width() const {
    return storage_->width;
}

int ArtworkImage::height() const {
    return storage_->height;
}

}  // namespace quillon
