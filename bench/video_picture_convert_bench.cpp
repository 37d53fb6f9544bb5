// Prepares 2160p pictures for a 1920x1080 video view with the view's converter, as the
// presentation thread does for each frame: an 8-bit BT.709 picture, an 8-bit picture in BT.2020
// primaries (what an untagged UHD file is taken for), and a 10-bit PQ HDR10 picture. Each is
// measured in CPU time of the whole process (the converter's helper threads included) per
// picture, beside the reference of the same run: one libswscale context scaling the 8-bit picture
// straight into BGRA on one thread, which is what a player that only scales pays.
//
//   build-<dir>/bench/video_picture_convert_bench [pictures per case, default 60]

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include <fmt/format.h>

extern "C" {
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include "platform/corefoundation/CFData.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/video-output/VideoPictureConverter.h"

using namespace platform;

namespace {

constexpr int kSourceWidth = 3840;
constexpr int kSourceHeight = 2160;
constexpr int kViewWidth = 1920;
constexpr int kViewHeight = 1080;

double processSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// CPU milliseconds per call, after one call that warms the caches and contexts.
double measure(int count, const std::function<void()>& work) {
    work();
    const double start = processSeconds();
    for (int i = 0; i < count; ++i) {
        work();
    }
    return (processSeconds() - start) * 1000 / count;
}

// Rows of a moving gradient, so that neither the scaler nor the tables see one flat value.
template <typename Sample>
void fillPlane(std::uint8_t* base, std::size_t bytesPerRow, std::size_t width, std::size_t height,
               int components, int low, int high, int phase) {
    for (std::size_t y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<Sample*>(base + y * bytesPerRow);
        for (std::size_t x = 0; x < width * components; ++x) {
            const auto spread = static_cast<std::size_t>(high - low);
            row[x] = static_cast<Sample>(low + (x * 7 + y * 3 + phase) % spread);
        }
    }
}

CVPixelBufferRef makePicture(OSType format, const std::string& primaries,
                             const std::string& transfer, const std::string& matrix) {
    CVPixelBufferRef buffer;
    if (CVPixelBufferCreate(kSourceWidth, kSourceHeight, format, nullptr, &buffer) !=
        kCVReturnSuccess) {
        fmt::print(stderr, "video_picture_convert_bench: cannot make a picture\n");
        std::exit(1);
    }
    CVPixelBufferLockBaseAddress(buffer, 0);
    const bool tenBit = format == kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
    for (std::size_t plane = 0; plane < CVPixelBufferGetPlaneCount(buffer); ++plane) {
        auto* base = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, plane));
        const std::size_t rowBytes = CVPixelBufferGetBytesPerRowOfPlane(buffer, plane);
        const std::size_t width = CVPixelBufferGetWidthOfPlane(buffer, plane);
        const std::size_t height = CVPixelBufferGetHeightOfPlane(buffer, plane);
        const int components = format == kCVPixelFormatType_420YpCbCr8Planar || plane == 0 ? 1 : 2;
        if (tenBit) {
            // P010: ten bits at the top of each sample.
            fillPlane<std::uint16_t>(base, rowBytes, width, height, components, 64 << 6, 940 << 6,
                                     static_cast<int>(plane));
        } else {
            fillPlane<std::uint8_t>(base, rowBytes, width, height, components, 16, 235,
                                    static_cast<int>(plane));
        }
    }
    CVPixelBufferUnlockBaseAddress(buffer, 0);
    CVBufferSetAttachment(buffer, kCVImageBufferColorPrimariesKey, primaries,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferTransferFunctionKey, transfer,
                          kCVAttachmentMode_ShouldPropagate);
    CVBufferSetAttachment(buffer, kCVImageBufferYCbCrMatrixKey, matrix,
                          kCVAttachmentMode_ShouldPropagate);
    if (tenBit) {
        // Mastered on a 1000 cd/m² display, MaxCLL 1000: the 24- and 4-byte blocks.
        std::vector<std::uint8_t> volume(24, 0);
        const std::uint32_t peak = 1000 * 10000;
        for (int i = 0; i < 4; ++i) {
            volume[16 + i] = static_cast<std::uint8_t>(peak >> (24 - 8 * i));
        }
        volume[23] = 50;
        CVBufferSetAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey,
                              CFDataCreate(volume), kCVAttachmentMode_ShouldPropagate);
        CVBufferSetAttachment(buffer, kCVImageBufferContentLightLevelInfoKey,
                              CFDataCreate(std::vector<std::uint8_t>{0x03, 0xE8, 0x01, 0x90}),
                              kCVAttachmentMode_ShouldPropagate);
    }
    return buffer;
}

// The reference: scaling the 8-bit planes into BGRA, bilinear, with libswscale alone.
double referenceMilliseconds(const CVPixelBufferRef& picture, std::vector<std::uint8_t>& view,
                             int count) {
    SwsContext* context =
        sws_getContext(kSourceWidth, kSourceHeight, AV_PIX_FMT_YUV420P, kViewWidth, kViewHeight,
                       AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (context == nullptr) {
        fmt::print(stderr, "video_picture_convert_bench: no libswscale context\n");
        std::exit(1);
    }
    CVPixelBufferLockBaseAddress(picture, kCVPixelBufferLock_ReadOnly);
    const std::uint8_t* planes[4] = {};
    int strides[4] = {};
    for (std::size_t plane = 0; plane < 3; ++plane) {
        planes[plane] =
            static_cast<const std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(picture, plane));
        strides[plane] = static_cast<int>(CVPixelBufferGetBytesPerRowOfPlane(picture, plane));
    }
    std::uint8_t* destination[4] = {view.data()};
    const int destinationStrides[4] = {kViewWidth * 4};
    const double milliseconds = measure(count, [&] {
        sws_scale(context, planes, strides, 0, kSourceHeight, destination, destinationStrides);
    });
    CVPixelBufferUnlockBaseAddress(picture, kCVPixelBufferLock_ReadOnly);
    sws_freeContext(context);
    return milliseconds;
}

}  // namespace

int main(int argc, char** argv) {
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    std::vector<std::uint8_t> view(static_cast<std::size_t>(kViewWidth) * kViewHeight * 4);

    struct Case {
        const char* name;
        CVPixelBufferRef picture;
    };
    const CVPixelBufferRef sdr709 = makePicture(
        kCVPixelFormatType_420YpCbCr8Planar, kCVImageBufferColorPrimaries_ITU_R_709_2,
        kCVImageBufferTransferFunction_ITU_R_709_2, kCVImageBufferYCbCrMatrix_ITU_R_709_2);
    const std::vector<Case> cases = {
        {"8-bit BT.709", sdr709},
        {"8-bit BT.2020 SDR",
         makePicture(kCVPixelFormatType_420YpCbCr8Planar, kCVImageBufferColorPrimaries_ITU_R_2020,
                     kCVImageBufferTransferFunction_ITU_R_709_2,
                     kCVImageBufferYCbCrMatrix_ITU_R_2020)},
        {"10-bit PQ HDR10", makePicture(kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange,
                                        kCVImageBufferColorPrimaries_ITU_R_2020,
                                        kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ,
                                        kCVImageBufferYCbCrMatrix_ITU_R_2020)},
    };

    const double reference = referenceMilliseconds(sdr709, view, count);
    fmt::print("{}x{} into {}x{}, {} pictures per case; CPU ms per picture (whole process)\n",
               kSourceWidth, kSourceHeight, kViewWidth, kViewHeight, count);
    fmt::print("{:<20} {:>8.2f}  1.00 (reference: libswscale to BGRA, one thread)\n",
               "libswscale alone", reference);
    for (const Case& c : cases) {
        VideoPictureConverter converter;
        bool converted = true;
        const double milliseconds = measure(count, [&] {
            converted = converted && converter.convert(*c.picture, view.data(), kViewWidth,
                                                       kViewHeight, kViewWidth * 4);
        });
        if (!converted) {
            fmt::print(stderr, "video_picture_convert_bench: {} did not convert\n", c.name);
            return 1;
        }
        fmt::print("{:<20} {:>8.2f}  {:.2f}\n", c.name, milliseconds, milliseconds / reference);
    }
    return 0;
}
