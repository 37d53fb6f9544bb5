#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "platform/corefoundation/CFData.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/video-output/AVVideoOutput.h"
#include "support/VideoFrameFactory.h"

namespace quillon::test {

// Pictures of smooth ramps (luma across the diagonal, Cb across, Cr down), so that the two
// paths' ways of placing chroma samples and of filtering do not show as differences.
struct GLTestPicture {
    platform::OSType format = platform::kCVPixelFormatType_420YpCbCr8Planar;
    std::string primaries = platform::kCVImageBufferColorPrimaries_ITU_R_709_2;
    std::string transfer = platform::kCVImageBufferTransferFunction_ITU_R_709_2;
    std::string matrix = platform::kCVImageBufferYCbCrMatrix_ITU_R_709_2;
    std::size_t width = 384;
    std::size_t height = 216;
    // Mastering display peak and MaxCLL, in cd/m², for HDR pictures.
    std::uint32_t hdrPeak = 0;
    // The luma ramp's ends, as 10-bit code values.
    double lumaBottom = 64;
    double lumaTop = 940;

    platform::CMSampleBufferRef make() const {
        using namespace platform;
        CVPixelBufferRef buffer;
        EXPECT_EQ(CVPixelBufferCreate(width, height, format, nullptr, &buffer), kCVReturnSuccess);
        CVPixelBufferLockBaseAddress(buffer, 0);
        const bool tenBit = format == kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
        const bool biPlanar = tenBit || format == kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
        // Code values at ten bits, then shifted to the format's.
        auto luma = [&](std::size_t x, std::size_t y) {
            return lumaBottom + (lumaTop - lumaBottom) * static_cast<double>(x + y) /
                                    static_cast<double>(width + height);
        };
        auto cb = [&](std::size_t x) { return 488.0 + 48.0 * x / width; };
        auto cr = [&](std::size_t y) { return 536.0 - 48.0 * y / height; };
        auto store = [tenBit](std::uint8_t* row, std::size_t index, double code) {
            if (tenBit) {
                reinterpret_cast<std::uint16_t*>(row)[index] =
                    static_cast<std::uint16_t>(std::lround(code)) << 6;
            } else {
                row[index] = static_cast<std::uint8_t>(std::lround(code / 4));
            }
        };
        for (std::size_t plane = 0; plane < CVPixelBufferGetPlaneCount(buffer); ++plane) {
            auto* base =
                static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(buffer, plane));
            const std::size_t rowBytes = CVPixelBufferGetBytesPerRowOfPlane(buffer, plane);
            const std::size_t planeWidth = CVPixelBufferGetWidthOfPlane(buffer, plane);
            const std::size_t planeHeight = CVPixelBufferGetHeightOfPlane(buffer, plane);
            for (std::size_t y = 0; y < planeHeight; ++y) {
                std::uint8_t* row = base + y * rowBytes;
                for (std::size_t x = 0; x < planeWidth; ++x) {
                    if (plane == 0) {
                        store(row, x, luma(x, y));
                    } else if (biPlanar) {
                        store(row, 2 * x, cb(2 * x));
                        store(row, 2 * x + 1, cr(2 * y));
                    } else {
                        store(row, x, plane == 1 ? cb(2 * x) : cr(2 * y));
                    }
                }
            }
        }
        CVPixelBufferUnlockBaseAddress(buffer, 0);
        CVBufferSetAttachment(buffer, kCVImageBufferColorPrimariesKey, primaries,
                              kCVAttachmentMode_ShouldPropagate);
        CVBufferSetAttachment(buffer, kCVImageBufferTransferFunctionKey, transfer,
                              kCVAttachmentMode_ShouldPropagate);
        CVBufferSetAttachment(buffer, kCVImageBufferYCbCrMatrixKey, matrix,
                              kCVAttachmentMode_ShouldPropagate);
        if (hdrPeak > 0) {
            std::vector<std::uint8_t> volume(24, 0);
            const std::uint32_t peak = hdrPeak * 10000;
            for (int i = 0; i < 4; ++i) {
                volume[16 + i] = static_cast<std::uint8_t>(peak >> (24 - 8 * i));
            }
            volume[23] = 50;
            CVBufferSetAttachment(buffer, kCVImageBufferMasteringDisplayColorVolumeKey,
                                  CFDataCreate(volume), kCVAttachmentMode_ShouldPropagate);
            CVBufferSetAttachment(buffer, kCVImageBufferContentLightLevelInfoKey,
                                  CFDataCreate(std::vector<std::uint8_t>{
                                      static_cast<std::uint8_t>(hdrPeak >> 8),
                                      static_cast<std::uint8_t>(hdrPeak & 0xFF), 0x01, 0x90}),
                                  kCVAttachmentMode_ShouldPropagate);
        }
        return VideoFrameFactory::wrap(buffer, platform::kCMTimeZero, platform::CMTimeMake(1, 25));
    }
};

// Paints until the output shows the layer's current frame in its current shape (the raster
// path's first paint asks for the picture, which is made on its own thread); `grab` paints and
// reads the widget back. Gives up (with a failure) after a generous deadline.
inline QImage grabWhenPainted(platform::AVVideoOutput& output,
                              const std::function<QImage()>& grab) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (true) {
        QApplication::processEvents();
        QImage image = grab().convertToFormat(QImage::Format_RGB32);
        if (output.paintedCurrentPicture()) {
            return image;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << "no paint showed the current picture";
            return image;
        }
        std::this_thread::yield();
    }
}

// The largest difference of any channel of any pixel, and where.
struct PictureDifference {
    int largest = 0;
    QPoint at;
};

inline PictureDifference compare(const QImage& a, const QImage& b) {
    PictureDifference difference;
    if (a.size() != b.size()) {
        difference.largest = 256;
        return difference;
    }
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            const int d = std::max({std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                    std::abs(qBlue(p) - qBlue(q))});
            if (d > difference.largest) {
                difference.largest = d;
                difference.at = QPoint(x, y);
            }
        }
    }
    return difference;
}

}  // namespace quillon::test
