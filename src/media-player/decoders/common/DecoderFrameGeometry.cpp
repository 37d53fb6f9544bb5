#include "media-player/decoders/common/DecoderFrameGeometry.h"

#include <algorithm>

extern "C" {
#include <libavutil/imgutils.h>
}

namespace quillon {

DecoderFrameGeometry alignDecoderFrameDimensions(AVCodecContext& context, int width, int height) {
    int paddedWidth = std::max(width, context.coded_width);
    int paddedHeight = std::max(height, context.coded_height);
    int strideAlignment[AV_NUM_DATA_POINTERS] = {};
    avcodec_align_dimensions2(&context, &paddedWidth, &paddedHeight, strideAlignment);
    // As libavcodec's default frame pool does: widen by the lowest set bit of the width until all
    // line sizes are aligned (line sizes are not aligned one by one, which would break the
    // relation between luma and chroma line sizes that some decoders rely on).
    for (int attempt = 0; attempt < 32; ++attempt) {
        int linesizes[4] = {};
        if (av_image_fill_linesizes(linesizes, context.pix_fmt, paddedWidth) < 0) {
            break;
        }
        bool aligned = true;
        for (int plane = 0; plane < 4; ++plane) {
            aligned = aligned && (strideAlignment[plane] <= 0 ||
                                  linesizes[plane] % strideAlignment[plane] == 0);
        }
        if (aligned) {
            break;
        }
        paddedWidth += paddedWidth & ~(paddedWidth - 1);
    }
    return {paddedWidth, paddedHeight, std::max(strideAlignment[0], 1)};
}

int fillDecoderFrameLinesizes(std::array<int, 4>& linesizes, AVPixelFormat format, int width,
                              int alignment) {
    int result = av_image_fill_linesizes(linesizes.data(), format, width);
    if (result < 0) {
        return result;
    }
    for (int linesize : linesizes) {
        if (alignment > 0 && linesize % alignment != 0) {
            return AVERROR(EINVAL);
        }
    }
    return 0;
}

}  // namespace quillon
