#pragma once

#include "media-player/decoders/common/MediaDecoder.h"
#include "media-player/media-types/Packet.h"
#include "platform/coremedia/CMSampleBuffer.h"

namespace quillon {

// A decoder whose output is Core Media sample buffers (audio and video).
class CoreMediaCompatibleDecoder : public MediaDecoder {
public:
    // True when the decoder took the packet, false when it must first give out output. The empty
    // packet (no data, size 0) ends the input. Throws FFmpegError.
    virtual bool startDecoding(const Packet& packet) = 0;

    // The next sample buffer, or null when nothing is ready. Throws.
    virtual platform::CMSampleBufferRef dequeueSampleBuffer() = 0;
};

}  // namespace quillon
