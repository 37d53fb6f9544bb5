#pragma once

#include <array>

extern "C" {
#include <libavcodec/avcodec.h>
}

namespace quillon {

// The size of the frame memory that libavcodec's own frame pool gives a decoder: the picture
// padded to the decoder's block size, and further widened until every plane's line size is a
// multiple of the row alignment. Pixel buffers made with extended pixels up to this size and this
// alignment have exactly the decoded frames' line sizes, so frames copy in one block per plane.
struct DecoderFrameGeometry {
    int paddedWidth = 0;
    int paddedHeight = 0;
    int rowAlignment = 1;
};

// For the context's codec and pixel format at width × height.
DecoderFrameGeometry alignDecoderFrameDimensions(AVCodecContext& context, int width, int height);

// The line sizes of a picture of the format at that width when each must be a multiple of the
// alignment: ≥ 0 on success, else a negative FFmpeg error code (AVERROR(EINVAL) when the format
// has no such line sizes).
int fillDecoderFrameLinesizes(std::array<int, 4>& linesizes, AVPixelFormat format, int width,
                              int alignment);

}  // namespace quillon
