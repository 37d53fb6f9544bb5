#pragma once

// The shared layer of every decoder: checked FFmpeg and platform calls, the error type, the
// owning FFmpeg pointers and the four decoding calls.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/rational.h>
}

#include "media-player/decoders/common/CallSite.h"
#include "media-player/decoders/common/DarwinCall.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/corefoundation/CFData.h"

namespace quillon {

// A decoder context for the codec with the stream's parameters, packet times in the stream's
// time base; owned by the decoder that asked for it. Throws FFmpegError.
AVCodecContextPointer makeDecoderContext(const AVCodec* codec, const AVCodecParameters* parameters,
                                         AVRational streamTimeBase);

// Opens the context for decoding with the codec. Throws FFmpegError.
void openDecoder(const AVCodec* codec, AVCodecContext& decoderContext);

// Sends one packet. True when the decoder took it (or has already ended and treats it as taken);
// false when it must first give out frames. Other failures are logged and thrown.
bool startDecoding(const AVPacket& packet, AVCodecContext& context);

// Receives one frame. False when none is ready or the decoder has ended; other failures are
// logged and thrown.
bool dequeue(AVCodecContext& context, AVFrame& frame);

// The frame's ICC profile, sharing the side data's bytes without a copy (the returned data keeps
// its own reference to the buffer); null when the frame carries none.
platform::CFDataRef makeICCProfileData(const AVFrame& frame);

}  // namespace quillon
