#pragma once

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <vector>

#include "media-player/decoders/common/BandWorkers.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/corefoundation/CFBase.h"
#include "platform/corevideo/CVPixelBuffer.h"

namespace quillon {

// Decides the pixel format of the output pixel buffers for decoded frames of one FFmpeg format
// and range, and converts frames into it when the buffers cannot take them as they are.
class FFmpegPixelFormatConverter {
public:
    // Throws FFmpegError allocationFailure (after logging "sws_getContext failed.") when no
    // conversion context can be made.
    FFmpegPixelFormatConverter(AVPixelFormat sourcePixelFormat, AVColorRange colorRange, int width,
                               int height);
    FFmpegPixelFormatConverter(const FFmpegPixelFormatConverter&) = delete;
    FFmpegPixelFormatConverter& operator=(const FFmpegPixelFormatConverter&) = delete;

    SwsContext* imageScalingContext() const { return imageScalingContext_.get(); }
    int height() const { return height_; }
    platform::OSType destinationPixelFormat() const { return destinationPixelFormat_; }
    AVPixelFormat destinationPixelFormatFFmpeg() const { return destinationPixelFormatFFmpeg_; }
    bool isConversionNeeded() const { return isConversionNeeded_; }

    AVPixelFormat sourcePixelFormat() const { return sourcePixelFormat_; }
    AVColorRange colorRange() const { return colorRange_; }
    int width() const { return width_; }

    // Whether the frame is what this converter was made for: its format, width and height. A
    // decoder whose frames change rebuilds its converter (and pool) rather than letting the
    // conversion read past the frame.
    bool matches(const AVFrame& frame) const;

    // Scales the frame's rows 0 to height into the buffer's planes. Errors: DataMismatchError
    // for a buffer of no or too many planes, FFmpegError when libswscale fails, Core Video
    // lock failures.
    void convert(const AVFrame& frame, const platform::CVPixelBufferRef& pixelBuffer) const;

    // How many horizontal bands a conversion is split into (1: the picture at once). Large
    // pictures whose conversion maps each row on its own row (same chroma subsampling on both
    // sides) are converted in bands at the same time, with the same result.
    std::size_t bandCount() const { return bandContexts_.empty() ? 1 : bandContexts_.size(); }

private:
    void makeBands();
    int convertInBands(const AVFrame& frame, std::uint8_t* const* data, const int* linesize) const;

    SwsContextPointer imageScalingContext_;
    int height_;
    platform::OSType destinationPixelFormat_;
    AVPixelFormat destinationPixelFormatFFmpeg_;
    bool isConversionNeeded_;
    AVPixelFormat sourcePixelFormat_;
    AVColorRange colorRange_;
    int width_;
    // One context per band (a context is used by one thread at a time), and the rows of a band
    // (the last one may have fewer).
    std::vector<SwsContextPointer> bandContexts_;
    int bandHeight_ = 0;
    std::unique_ptr<BandWorkers> bandWorkers_;
    bool packsAsP010_ = false;
};

}  // namespace quillon
