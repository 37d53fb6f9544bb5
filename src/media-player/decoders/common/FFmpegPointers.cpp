#include "media-player/decoders/common/FFmpegPointers.h"

#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegLog.h"

namespace quillon {

// Opening a file and making a decoder are where FFmpeg starts to talk; what it says goes
// through the program's log from the first line.
AVFormatContextPointer makeFormatContext(const CallSite& site) {
    installFFmpegLogCallback();
    return adoptAllocation<AVFormatContextPointer>(avformat_alloc_context(), site);
}

AVCodecContextPointer makeCodecContext(const AVCodec* codec, const CallSite& site) {
    installFFmpegLogCallback();
    return adoptAllocation<AVCodecContextPointer>(avcodec_alloc_context3(codec), site);
}

AVFramePointer makeFrame(const CallSite& site) {
    return adoptAllocation<AVFramePointer>(av_frame_alloc(), site);
}

AVPacketPointer makePacket(const CallSite& site) {
    return adoptAllocation<AVPacketPointer>(av_packet_alloc(), site);
}

AVBufferRefPointer makeBufferReference(const AVBufferRef& buffer, const CallSite& site) {
    return adoptAllocation<AVBufferRefPointer>(av_buffer_ref(&buffer), site);
}

SwsContextPointer makeSwsContext(const CallSite& site) {
    return adoptAllocation<SwsContextPointer>(sws_alloc_context(), site);
}

SwrContextPointer makeSwrContext(const CallSite& site) {
    return adoptAllocation<SwrContextPointer>(swr_alloc(), site);
}

}  // namespace quillon
