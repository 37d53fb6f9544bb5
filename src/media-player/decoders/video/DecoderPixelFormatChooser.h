#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixfmt.h>
}

namespace quillon {

// The pixel format a decoder context decodes into, from the formats libavcodec offers (a list
// ended by AV_PIX_FMT_NONE). hardwarePixelFormat is the format of the hardware device the context
// decodes on, or AV_PIX_FMT_NONE when hardware formats are excluded: then no format with
// AV_PIX_FMT_FLAG_HWACCEL is ever chosen. In order: the device's format when offered; else the
// first offered format of preferredFFmpegPixelFormats; else the last offered software format
// (AV_PIX_FMT_NONE when there is none).
AVPixelFormat chooseDecoderPixelFormat(const AVPixelFormat* offeredFormats,
                                       AVPixelFormat hardwarePixelFormat);

// The hardware pixel format in which the context's codec hands out frames of the context's
// hardware device (hw_device_ctx); AV_PIX_FMT_NONE without a device or without such a format.
AVPixelFormat hardwarePixelFormat(const AVCodecContext& context);

// get_format callbacks: the software context never takes a hardware format; the hardware context
// takes its device's format when libavcodec offers it. They read only their arguments and
// read-only tables, since libavcodec may call them from its own threads.
AVPixelFormat chooseSoftwareDecoderPixelFormat(AVCodecContext* context,
                                               const AVPixelFormat* offeredFormats);
AVPixelFormat chooseHardwareDecoderPixelFormat(AVCodecContext* context,
                                               const AVPixelFormat* offeredFormats);

}  // namespace quillon
