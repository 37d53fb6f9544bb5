#include "media-player/decoders/common/FFmpegDecoding.h"

#include <cstdint>

namespace quillon {

AVCodecContextPointer makeDecoderContext(const AVCodec* codec, const AVCodecParameters* parameters,
                                         AVRational streamTimeBase) {
    constexpr const char* function = "makeDecoderContext(for:with:streamTimeBase:)";
    AVCodecContextPointer context = makeCodecContext(codec, function);
    performFFmpegCall({}, true, function,
                      [&] { return avcodec_parameters_to_context(context.get(), parameters); });
    context->pkt_timebase = streamTimeBase;
    return context;
}

void openDecoder(const AVCodec* codec, AVCodecContext& decoderContext) {
    constexpr const char* function = "openDecoder(_:decoderContext:)";
    // Asks for frames that stay valid after the next receive; current libavcodec always
    // hands them out that way and leaves the unknown option in the dictionary.
    AVDictionaryPointer options;
    performFFmpegCall({}, true, function, [&] {
        return av_dict_set(inOutPointer(options), "refcounted_frames", "1", 0);
    });
    performFFmpegCall({}, true, function,
                      [&] { return avcodec_open2(&decoderContext, codec, inOutPointer(options)); });
}

bool startDecoding(const AVPacket& packet, AVCodecContext& context) {
    const std::int32_t result = avcodec_send_packet(&context, &packet);
    if (result >= 0 || result == AVERROR_EOF) {
        return true;
    }
    if (result == AVERROR(EAGAIN)) {
        return false;
    }
    reportFFmpegFailure(result, {FFmpegError::posixEAGAIN(), FFmpegError::eof()},
                        "startDecoding(_:using:)");
}

bool dequeue(AVCodecContext& context, AVFrame& frame) {
    const std::int32_t result = avcodec_receive_frame(&context, &frame);
    if (result >= 0) {
        return true;
    }
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) {
        return false;
    }
    reportFFmpegFailure(result, {FFmpegError::posixEAGAIN(), FFmpegError::eof()},
                        "dequeue(from:into:)");
}

platform::CFDataRef makeICCProfileData(const AVFrame& frame) {
    const AVFrameSideData* profile = nullptr;
    for (int index = 0; index < frame.nb_side_data && frame.side_data != nullptr; ++index) {
        if (frame.side_data[index]->type == AV_FRAME_DATA_ICC_PROFILE) {
            profile = frame.side_data[index];
            break;
        }
    }
    if (profile == nullptr || profile->buf == nullptr) {
        return nullptr;
    }
    AVBufferRef* reference = av_buffer_ref(profile->buf);
    if (reference == nullptr) {
        return nullptr;
    }
    if (reference->size == 0) {
        av_buffer_unref(&reference);
        return platform::CFDataCreate({});
    }
    const std::uint8_t* bytes = reference->data;
    const std::size_t length = reference->size;
    std::shared_ptr<const void> keeper(reference,
                                       [](AVBufferRef* buffer) { av_buffer_unref(&buffer); });
    return platform::CFDataCreateWithBytesNoCopy(bytes, length, std::move(keeper));
}

}  // namespace quillon
