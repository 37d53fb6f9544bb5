#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/video-output/AVVideoWidget.h"
#include "support/ManualClock.h"
#include "support/VideoFrameFactory.h"
#include "support/WidgetApplicationEnvironment.h"

namespace {

using namespace platform;
using quillon::test::VideoFrameFactory;

class VideoWidgetTest : public ::testing::Test {
protected:
    void SetUp() override {
        widget.resize(160, 160);
        layer->setVideoSink(widget.sink());
    }

    QImage show(const CMSampleBufferRef& frame) {
        layer->flush();
        layer->enqueueSampleBuffer(frame);
        return grabCurrent();
    }

    // The pictures are made on the presentation thread: paints until one shows the layer's
    // current frame in the widget's current shape. With `waitForIt`, the first paint waits until
    // that picture is made, so that no older one is painted on the way.
    QImage grabCurrent(bool waitForIt = false) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (waitForIt && !widget.currentPictureIsReady() &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        while (true) {
            QCoreApplication::processEvents();
            QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
            if (widget.paintedCurrentPicture()) {
                return image;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no paint showed the current picture";
                return image;
            }
            std::this_thread::yield();
        }
    }

    static CMSampleBufferRef frameWithMatrix(
        std::uint8_t y, std::uint8_t cb, std::uint8_t cr, const std::string& matrix,
        OSType format = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange) {
        auto frame =
            VideoFrameFactory::make(kCMTimeZero, CMTimeMake(1, 25), 64, 36, y, cb, cr, format);
        CVBufferSetAttachment(CMSampleBufferGetImageBuffer(frame), kCVImageBufferYCbCrMatrixKey,
                              matrix, kCVAttachmentMode_ShouldPropagate);
        return frame;
    }

    AVVideoWidget widget;
    std::shared_ptr<AVSampleBufferDisplayLayer> layer =
        std::make_shared<AVSampleBufferDisplayLayer>();
};

TEST_F(VideoWidgetTest, PaintsTheFrameFittedWithItsAspectKept) {
    // BT.601 video-range red, 16:9 in a square: bars above and below.
    const QImage image = show(frameWithMatrix(81, 90, 240, kCVImageBufferYCbCrMatrix_ITU_R_601_4));
    const QColor centre = image.pixelColor(80, 80);
    EXPECT_GT(centre.red(), 240);
    EXPECT_LT(centre.green(), 12);
    EXPECT_LT(centre.blue(), 12);
    EXPECT_EQ(image.pixelColor(80, 10), QColor(Qt::black));
    EXPECT_EQ(image.pixelColor(80, 150), QColor(Qt::black));
    EXPECT_GT(image.pixelColor(80, 50).red(), 240) << "16:9 in 160 wide is 90 high, from 35";
    // The bars meet the picture without a gap or an overlap.
    EXPECT_EQ(image.pixelColor(80, 34), QColor(Qt::black));
    EXPECT_GT(image.pixelColor(80, 35).red(), 240);
    EXPECT_GT(image.pixelColor(80, 124).red(), 240);
    EXPECT_EQ(image.pixelColor(80, 125), QColor(Qt::black));
    EXPECT_EQ(widget.lastPaintedFrame(), layer->displayedFrame());
}

TEST_F(VideoWidgetTest, HonoursTheFramesMatrix) {
    const QColor bt601 = show(frameWithMatrix(81, 90, 240, kCVImageBufferYCbCrMatrix_ITU_R_601_4))
                             .pixelColor(80, 80);
    const QColor bt709 = show(frameWithMatrix(81, 90, 240, kCVImageBufferYCbCrMatrix_ITU_R_709_2))
                             .pixelColor(80, 80);
    // The same code values are a greener red under BT.709.
    EXPECT_GT(bt709.green() - bt601.green(), 10);
}

TEST_F(VideoWidgetTest, HonoursTheFramesRange) {
    const QColor videoRange =
        show(frameWithMatrix(16, 128, 128, kCVImageBufferYCbCrMatrix_ITU_R_709_2))
            .pixelColor(80, 80);
    const QColor fullRange =
        show(frameWithMatrix(16, 128, 128, kCVImageBufferYCbCrMatrix_ITU_R_709_2,
                             kCVPixelFormatType_420YpCbCr8BiPlanarFullRange))
            .pixelColor(80, 80);
    EXPECT_LT(videoRange.red(), 4) << "16 is black in video range";
    EXPECT_NEAR(fullRange.red(), 16, 3) << "and dark grey in full range";
}

TEST_F(VideoWidgetTest, FollowsTheLayersGeometry) {
    // A portrait picture (the layer's bounds) in a square: bars left and right.
    layer->setBounds(CGRectMake(0, 0, 90, 160));
    QImage image = show(frameWithMatrix(81, 90, 240, kCVImageBufferYCbCrMatrix_ITU_R_601_4));
    EXPECT_EQ(image.pixelColor(10, 80), QColor(Qt::black));
    EXPECT_GT(image.pixelColor(80, 10).red(), 240);

    // Turned a quarter, the same bounds lie landscape again.
    layer->setAffineTransform(CGAffineTransformMakeRotation(1.5707963267948966));
    image = grabCurrent();
    EXPECT_EQ(image.pixelColor(80, 10), QColor(Qt::black));
    EXPECT_GT(image.pixelColor(10, 80).red(), 240);

    // Filling crops instead of leaving bars.
    layer->setVideoGravity(AVLayerVideoGravityResizeAspectFill);
    image = grabCurrent();
    EXPECT_GT(image.pixelColor(80, 3).red(), 240);
    EXPECT_GT(image.pixelColor(3, 80).red(), 240);
}

TEST_F(VideoWidgetTest, TurnsThePictureTheWayTheTransformSays) {
    // Red on the left, blue on the right.
    auto frame = frameWithMatrix(81, 90, 240, kCVImageBufferYCbCrMatrix_ITU_R_601_4);
    const auto pixelBuffer = CMSampleBufferGetImageBuffer(frame);
    CVPixelBufferLockBaseAddress(pixelBuffer, 0);
    for (std::size_t row = 0; row < 36; ++row) {
        auto* luma =
            static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, 0)) +
            row * CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, 0);
        std::fill(luma + 32, luma + 64, 41);
        if (row < 18) {
            auto* chroma =
                static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixelBuffer, 1)) +
                row * CVPixelBufferGetBytesPerRowOfPlane(pixelBuffer, 1);
            for (std::size_t column = 16; column < 32; ++column) {
                chroma[2 * column] = 240;
                chroma[2 * column + 1] = 110;
            }
        }
    }
    CVPixelBufferUnlockBaseAddress(pixelBuffer, 0);
    QImage image = show(frame);
    EXPECT_GT(image.pixelColor(40, 80).red(), 200);
    EXPECT_GT(image.pixelColor(120, 80).blue(), 200);

    // A quarter turn clockwise on screen (y grows downwards): the right half goes to the bottom.
    layer->setAffineTransform(CGAffineTransformMakeRotation(1.5707963267948966));
    image = grabCurrent();
    EXPECT_GT(image.pixelColor(80, 40).red(), 200);
    EXPECT_GT(image.pixelColor(80, 120).blue(), 200);

    // A mirror turns left and right round.
    layer->setAffineTransform(CGAffineTransformMakeScale(-1, 1));
    image = grabCurrent();
    EXPECT_GT(image.pixelColor(40, 80).blue(), 200);
    EXPECT_GT(image.pixelColor(120, 80).red(), 200);
}

TEST_F(VideoWidgetTest, PaintsBlackWithoutAPicture) {
    show(frameWithMatrix(81, 90, 240, kCVImageBufferYCbCrMatrix_ITU_R_601_4));
    layer->flushAndRemoveImage();
    const QImage image = grabCurrent();
    EXPECT_EQ(image.pixelColor(80, 80), QColor(Qt::black));
    EXPECT_EQ(widget.lastPaintedFrame(), nullptr);
}

TEST_F(VideoWidgetTest, CountsWhatReachedTheScreenSinceTheLastFlush) {
    // A first paint tells the widget its size, which it makes its pictures for.
    widget.grab();
    auto clock = ManualClock::make();
    AVSampleBufferRenderSynchronizer synchronizer{clock};
    synchronizer.addRenderer(layer);
    for (int n = 0; n < 6; ++n) {
        layer->enqueueSampleBuffer(VideoFrameFactory::frame(n));
    }
    // Frame 0 stands in; starting at 0.09 s brings frames 1 and 2 due at once: the layer passes
    // over 1 and shows 2, and no paint came between 0 and 2.
    synchronizer.setRate(1, CMTimeMake(9, 100));
    grabCurrent(true);
    EXPECT_EQ(widget.frameCountsSinceFlush(), (AVVideoFrameCounts{1, 1, 1}));

    clock->advanceSeconds(0.04);
    grabCurrent(true);
    // A paint of the same picture again counts nothing.
    grabCurrent(true);
    EXPECT_EQ(widget.frameCountsSinceFlush(), (AVVideoFrameCounts{2, 1, 1}));

    layer->flush();
    EXPECT_EQ(widget.frameCountsSinceFlush(), AVVideoFrameCounts{});
    EXPECT_EQ(widget.frameCountTotals(), (AVVideoFrameCounts{2, 1, 1}));

    // After the flush: frame 10 shows, 11 replaces it before a paint, 12 is painted.
    synchronizer.setRate(0, CMTimeMake(2, 5));
    for (int n = 10; n < 13; ++n) {
        layer->enqueueSampleBuffer(VideoFrameFactory::frame(n));
    }
    grabCurrent(true);
    synchronizer.setRate(0, CMTimeMake(11, 25));
    synchronizer.setRate(0, CMTimeMake(12, 25));
    grabCurrent(true);
    EXPECT_EQ(widget.frameCountsSinceFlush(), (AVVideoFrameCounts{2, 0, 1}));
    EXPECT_EQ(widget.frameCountTotals(), (AVVideoFrameCounts{4, 1, 2}));
    synchronizer.removeRenderer(layer, kCMTimeInvalid, nullptr);
    layer->stopRequestingMediaData();
    DispatchQueue::main().drain();
}

TEST(VideoWidgetLifetimeTest, SurvivesFramesFromAnotherThreadWhileItGoes) {
    auto layer = std::make_shared<AVSampleBufferDisplayLayer>();
    std::atomic<bool> stop{false};
    std::thread producer([&] {
        for (int n = 0; !stop; ++n) {
            layer->flush();
            layer->enqueueSampleBuffer(VideoFrameFactory::frame(n % 50));
        }
    });
    for (int round = 0; round < 20; ++round) {
        auto widget = std::make_unique<AVVideoWidget>();
        widget->resize(64, 36);
        layer->setVideoSink(widget->sink());
        QCoreApplication::processEvents();
        widget.reset();
        QCoreApplication::processEvents();
    }
    stop = true;
    producer.join();
    layer->setVideoSink(nullptr);
}

}  // namespace
