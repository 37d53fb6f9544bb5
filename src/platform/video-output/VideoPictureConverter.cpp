#include "platform/video-output/VideoPictureConverter.h"

#include <algorithm>
#include <thread>

extern "C" {
#include <libavutil/buffer.h>
#include <libavutil/frame.h>
#include <libavutil/opt.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/videotoolbox/SwscaleFormat.h"

namespace platform {

namespace {

// From about a 720p picture on, the work is split between threads.
constexpr int kThreadedPixels = 1280 * 720;

int threadCountFor(int pixels) {
    if (pixels < kThreadedPixels) {
        return 1;
    }
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1U, 4U));
}

// The frames only describe memory that the caller holds for the length of a conversion; the
// one-byte buffer stands in for an owner, since libswscale's frame interface wants one.
AVFrame* makeBorrowingFrame() {
    AVFrame* frame = av_frame_alloc();
    if (frame != nullptr) {
        frame->buf[0] = av_buffer_alloc(1);
    }
    return frame;
}

class BaseAddressLock {
public:
    explicit BaseAddressLock(CVPixelBuffer& buffer)
        : buffer_(buffer), status_(buffer.lockBaseAddress(kCVPixelBufferLock_ReadOnly)) {}
    ~BaseAddressLock() {
        if (status_ == kCVReturnSuccess) {
            buffer_.unlockBaseAddress(kCVPixelBufferLock_ReadOnly);
        }
    }
    BaseAddressLock(const BaseAddressLock&) = delete;
    BaseAddressLock& operator=(const BaseAddressLock&) = delete;

    bool locked() const { return status_ == kCVReturnSuccess; }

private:
    CVPixelBuffer& buffer_;
    CVReturn status_;
};

}  // namespace

VideoPictureConverter::VideoPictureConverter()
    : sourceFrame_(makeBorrowingFrame()), destinationFrame_(makeBorrowingFrame()) {}

VideoPictureConverter::~VideoPictureConverter() {
    sws_freeContext(context_);
    av_frame_free(&sourceFrame_);
    av_frame_free(&destinationFrame_);
}

bool VideoPictureConverter::prepareContext(const Key& key) {
    if (context_ != nullptr && key == key_) {
        return true;
    }
    sws_freeContext(context_);
    key_ = {};
    context_ = sws_alloc_context();
    if (context_ == nullptr) {
        return false;
    }
    // Bilinear, and libswscale's fast rounding: the pictures are only looked at.
    av_opt_set_int(context_, "srcw", key.sourceWidth, 0);
    av_opt_set_int(context_, "srch", key.sourceHeight, 0);
    av_opt_set_int(context_, "src_format", key.sourceFormat, 0);
    av_opt_set_int(context_, "dstw", key.width, 0);
    av_opt_set_int(context_, "dsth", key.height, 0);
    av_opt_set_int(context_, "dst_format", key.destinationFormat, 0);
    av_opt_set_int(context_, "sws_flags", SWS_BILINEAR, 0);
    av_opt_set_int(
        context_, "threads",
        threadCountFor(std::max(key.sourceWidth * key.sourceHeight, key.width * key.height)), 0);
    if (sws_init_context(context_, nullptr, nullptr) < 0) {
        sws_freeContext(context_);
        context_ = nullptr;
        return false;
    }
    // RGB output: the destination's matrix is not used; its range is full.
    sws_setColorspaceDetails(context_, sws_getCoefficients(key.colorspace), key.range,
                             sws_getCoefficients(key.colorspace), 1, 0, 1 << 16, 1 << 16);
    key_ = key;
    return true;
}

bool VideoPictureConverter::convert(CVPixelBuffer& source, std::uint8_t* destination, int width,
                                    int height, int bytesPerRow) {
    if (sourceFrame_ == nullptr || destinationFrame_ == nullptr ||
        sourceFrame_->buf[0] == nullptr || destinationFrame_->buf[0] == nullptr || width <= 0 ||
        height <= 0) {
        return false;
    }
    const auto sourceFormat = swscalePixelFormat(source.pixelFormatType());
    if (!sourceFormat || !sws_isSupportedInput(static_cast<AVPixelFormat>(*sourceFormat))) {
        return false;
    }
    const VideoColorDescription colors = VideoColorDescription::of(source);
    const bool linearLight = colors.needsMapping();
    if (linearLight && (!mapping_ || !(mapping_->description() == colors))) {
        mapping_ = std::make_unique<VideoColorMapping>(colors);
    }
    // libswscale reads P010's interleaved chroma in plain C, at about half the speed of three
    // planes: split, it goes in as 16-bit 4:2:0, whose samples mean what P010's do (ten bits at
    // the top of sixteen), for a fraction of the time the scaler saves.
    const bool splitsChroma = *sourceFormat == AV_PIX_FMT_P010LE;
    Key key;
    key.sourceFormat = splitsChroma ? AV_PIX_FMT_YUV420P16LE : *sourceFormat;
    key.sourceWidth = static_cast<int>(source.width());
    key.sourceHeight = static_cast<int>(source.height());
    // Planar: libswscale writes packed 16-bit RGB pixel by pixel, at several times the cost.
    key.destinationFormat = linearLight ? AV_PIX_FMT_GBRP16LE : AV_PIX_FMT_BGRA;
    key.width = width;
    key.height = height;
    key.colorspace = swscaleColorspace(source);
    key.range = swscaleRange(source);
    if (!prepareContext(key)) {
        return false;
    }
    BaseAddressLock lock(source);
    if (!lock.locked()) {
        return false;
    }
    const CVPixelBufferGeometry& geometry = source.geometry();
    sourceFrame_->format = key.sourceFormat;
    sourceFrame_->width = key.sourceWidth;
    sourceFrame_->height = key.sourceHeight;
    for (std::size_t plane = 0; plane < 4; ++plane) {
        const bool present = plane < geometry.planeCount;
        sourceFrame_->data[plane] = present ? source.baseAddressOfPlane(plane) : nullptr;
        sourceFrame_->linesize[plane] =
            present ? static_cast<int>(geometry.planes[plane].bytesPerRow) : 0;
    }
    if (splitsChroma) {
        splitChroma(source);
    }
    destinationFrame_->format = key.destinationFormat;
    destinationFrame_->width = width;
    destinationFrame_->height = height;
    if (linearLight) {
        const std::size_t size = static_cast<std::size_t>(width) * height;
        if (intermediate_.size() != 3 * size) {
            intermediate_.assign(3 * size, 0);
        }
        // libswscale's planar RGB keeps green, blue and red in that order.
        for (std::size_t plane = 0; plane < 3; ++plane) {
            destinationFrame_->data[plane] =
                reinterpret_cast<std::uint8_t*>(intermediate_.data() + plane * size);
            destinationFrame_->linesize[plane] = width * static_cast<int>(sizeof(std::uint16_t));
        }
    } else {
        destinationFrame_->data[0] = destination;
        destinationFrame_->linesize[0] = bytesPerRow;
        for (std::size_t plane = 1; plane < 3; ++plane) {
            destinationFrame_->data[plane] = nullptr;
            destinationFrame_->linesize[plane] = 0;
        }
    }
    if (sws_scale_frame(context_, destinationFrame_, sourceFrame_) < 0) {
        return false;
    }
    if (linearLight) {
        mapRows(destination, width, height, bytesPerRow);
    }
    return true;
}

void VideoPictureConverter::splitChroma(CVPixelBuffer& source) {
    const CVPixelBufferGeometry::Plane& plane = source.geometry().planes[1];
    const std::size_t size = plane.width * plane.height;
    if (chroma_.size() != 2 * size) {
        chroma_.assign(2 * size, 0);
    }
    std::uint16_t* blue = chroma_.data();
    std::uint16_t* red = blue + size;
    const std::uint8_t* rows = source.baseAddressOfPlane(1);
    for (std::size_t y = 0; y < plane.height; ++y) {
        const auto* pairs = reinterpret_cast<const std::uint16_t*>(rows + y * plane.bytesPerRow);
        std::uint16_t* blueRow = blue + y * plane.width;
        std::uint16_t* redRow = red + y * plane.width;
        for (std::size_t x = 0; x < plane.width; ++x) {
            blueRow[x] = pairs[2 * x];
            redRow[x] = pairs[2 * x + 1];
        }
    }
    const int bytesPerRow = static_cast<int>(plane.width * sizeof(std::uint16_t));
    sourceFrame_->data[1] = reinterpret_cast<std::uint8_t*>(blue);
    sourceFrame_->data[2] = reinterpret_cast<std::uint8_t*>(red);
    sourceFrame_->linesize[1] = sourceFrame_->linesize[2] = bytesPerRow;
}

void VideoPictureConverter::mapRows(std::uint8_t* destination, int width, int height,
                                    int bytesPerRow) {
    const int bands = std::min(threadCountFor(width * height), height);
    const std::size_t planeSize = static_cast<std::size_t>(width) * height;
    const std::uint16_t* green = intermediate_.data();
    const std::uint16_t* blue = green + planeSize;
    const std::uint16_t* red = blue + planeSize;
    const auto mapBand = [&, bands](int band) {
        const int first = height * band / bands;
        const int end = height * (band + 1) / bands;
        for (int row = first; row < end; ++row) {
            const std::size_t offset = static_cast<std::size_t>(row) * width;
            mapping_->mapRow(red + offset, green + offset, blue + offset,
                             destination + static_cast<std::ptrdiff_t>(row) * bytesPerRow, width);
        }
    };
    if (bands == 1) {
        mapBand(0);
        return;
    }
    DispatchGroup group;
    for (int band = 1; band < bands; ++band) {
        DispatchQueue::global(DispatchQoS::userInteractive).async(group, [&mapBand, band] {
            mapBand(band);
        });
    }
    mapBand(0);
    group.wait();
}

}  // namespace platform
