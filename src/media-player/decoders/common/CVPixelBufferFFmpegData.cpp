#include "media-player/decoders/common/CVPixelBufferFFmpegData.h"

#include <cstdlib>
#include <cstring>

#include "media-player/decoders/common/CoreVideoCall.h"
#include "media-player/decoders/common/DataMismatchError.h"
#include "media-player/decoders/common/PixelFormats.h"
#include "platform/corevideo/CVPixelFormatLayout.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

using namespace platform;

namespace {

constexpr const char* withUnsafePointersFunction = "withUnsafePointersForFFmpeg(_:)";
constexpr const char* fillDataFunction = "fillData(with:ffmpegDataLinesize:ffmpegPixelFormat:)";

// The bytes of a row that hold pixels, without the padding up to bytes per row.
std::size_t pixelBytesPerRow(const CVPixelFormatLayout& layout, std::size_t plane,
                             std::size_t planeWidth) {
    const CVPixelFormatPlaneLayout& planeLayout = layout.planes[plane];
    return (planeWidth + planeLayout.blockWidth - 1) / planeLayout.blockWidth *
           planeLayout.bytesPerBlock();
}

void copyPlane(std::uint8_t* destination, std::size_t bytesPerRow, const std::uint8_t* source,
               int linesize, std::size_t rows, std::size_t rowBytes, std::size_t plane) {
    if (linesize >= 0 && static_cast<std::size_t>(linesize) == bytesPerRow) {
        // The last row only up to its pixels: the frame's memory may end there.
        std::memcpy(destination, source, bytesPerRow * (rows - 1) + rowBytes);
        return;
    }
    if (static_cast<std::size_t>(std::abs(static_cast<long>(linesize))) < rowBytes) {
        throw DataMismatchError::mismatchedRowByteCount(plane, bytesPerRow, linesize);
    }
    for (std::size_t row = 0; row < rows; ++row) {
        std::memcpy(destination, source, rowBytes);
        destination += bytesPerRow;
        source += linesize;
    }
}

void copyPlanes(const CVPixelBufferRef& pixelBuffer, const std::uint8_t* const* ffmpegData,
                const int* ffmpegDataLinesize) {
    const CVPixelFormatLayout& layout = *pixelBuffer->geometry().layout;
    if (!CVPixelBufferIsPlanar(pixelBuffer)) {
        if (ffmpegData[0] == nullptr) {
            throw DataMismatchError::noFFmpegData(0);
        }
        copyPlane(static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddress(pixelBuffer)),
                  CVPixelBufferGetBytesPerRow(pixelBuffer), ffmpegData[0], ffmpegDataLinesize[0],
                  CVPixelBufferGetHeight(pixelBuffer),
                  pixelBytesPerRow(layout, 0, CVPixelBufferGetWidth(pixelBuffer)), 0);
        return;
    }
    const std::size_t planeCount = CVPixelBufferGetPlaneCount(pixelBuffer);
    if (planeCount == 0 || planeCount > 4) {
        throw DataMismatchError::unexpectedPixelBufferPlaneCount(planeCount);
    }
    const std::size_t bufferHeight = CVPixelBufferGetHeight(pixelBuffer);
    for (std::size_t plane = 0; plane < planeCount; ++plane) {
        if (ffmpegData[plane] == nullptr) {
            throw DataMismatchError::noFFmpegData(plane);
        }
        const std::size_t planeHeight = CVPixelBufferGetHeightOfPlane(pixelBuffer, plane);
        if (planeHeight < 1 || planeHeight > bufferHeight) {
            throw DataMismatchError::unexpectedPixelBufferPlaneHeight(plane, planeHeight,
                                                                      bufferHeight);
        }
        copyPlane(
            static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, plane)),
            CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, plane), ffmpegData[plane],
            ffmpegDataLinesize[plane], planeHeight,
            pixelBytesPerRow(layout, plane, CVPixelBufferGetWidthOfPlane(pixelBuffer, plane)),
            plane);
    }
}

}  // namespace

FFmpegPlanePointers lockPlanePointersForFFmpeg(const CVPixelBufferRef& pixelBuffer) {
    lockBaseAddress(pixelBuffer, CallSite(withUnsafePointersFunction));
    FFmpegPlanePointers planes;
    if (CVPixelBufferIsPlanar(pixelBuffer)) {
        const std::size_t planeCount = CVPixelBufferGetPlaneCount(pixelBuffer);
        if (planeCount == 0 || planeCount > 4) {
            unlockPlanePointersForFFmpeg(pixelBuffer);
            throw DataMismatchError::unexpectedPixelBufferPlaneCount(planeCount);
        }
        for (std::size_t plane = 0; plane < planeCount; ++plane) {
            planes.data[plane] =
                static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, plane));
            planes.linesize[plane] =
                static_cast<int>(CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, plane));
        }
    } else {
        planes.data[0] = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddress(pixelBuffer));
        planes.linesize[0] = static_cast<int>(CVPixelBufferGetBytesPerRow(pixelBuffer));
    }
    return planes;
}

void unlockPlanePointersForFFmpeg(const CVPixelBufferRef& pixelBuffer) {
    const CVReturn status = CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
    precondition(status == kCVReturnSuccess,
                 "Unlocking a pixel buffer that withUnsafePointersForFFmpeg locked failed.");
}

void fillData(const CVPixelBufferRef& pixelBuffer, const std::uint8_t* const* ffmpegData,
              const int* ffmpegDataLinesize, AVPixelFormat) {
    lockBaseAddress(pixelBuffer, CallSite(fillDataFunction));
    try {
        copyPlanes(pixelBuffer, ffmpegData, ffmpegDataLinesize);
    } catch (...) {
        unlockBaseAddress(pixelBuffer, CallSite(fillDataFunction));
        throw;
    }
    unlockBaseAddress(pixelBuffer, CallSite(fillDataFunction));
}

bool frameMatchesPixelBuffer(const AVFrame& frame, const CVPixelBufferRef& pixelBuffer) {
    if (!pixelBuffer || frame.width < 0 || frame.height < 0 ||
        static_cast<std::size_t>(frame.width) != CVPixelBufferGetWidth(pixelBuffer) ||
        static_cast<std::size_t>(frame.height) != CVPixelBufferGetHeight(pixelBuffer)) {
        return false;
    }
    const auto& map = coreVideoToFFmpegPixelFormatMap();
    const auto entry = map.find(CVPixelBufferGetPixelFormatType(pixelBuffer));
    return entry != map.end() && entry->second.first == frame.format;
}

}  // namespace quillon
