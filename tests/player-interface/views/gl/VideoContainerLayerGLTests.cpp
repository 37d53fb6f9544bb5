#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/video-output/AVVideoGLWidget.h"
#include "player-interface/views/VideoContainerLayer.h"
#include "support/GLDisplayEnvironment.h"
#include "support/VideoFrameFactory.h"

namespace quillon {
namespace {

using namespace platform;
using test::GLDisplayEnvironment;
using test::VideoFrameFactory;

// A window with the container at 160 × 90 and, laid over its middle, an opaque sibling that
// stands in for the subtitle views.
class GLContainerTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GLDisplayEnvironment::available()) {
            GTEST_SKIP() << "no X server for OpenGL";
        }
        forced = std::make_unique<ScopedVideoOutputPath>(VideoOutputPath::openGL);
        // As the video data provider sets it from the track.
        layer->setBounds(CGRectMake(0, 0, 64, 36));
        window = std::make_unique<QWidget>();
        window->resize(160, 90);
        container = new VideoContainerLayer(layer, window.get());
        container->setGeometry(0, 0, 160, 90);
        overlay = new QLabel(window.get());
        overlay->setAutoFillBackground(true);
        overlay->setStyleSheet(QStringLiteral("background: #00ff00"));
        overlay->setGeometry(60, 60, 40, 20);
        window->show();
    }

    // BT.601 video-range red, 16:9.
    CMSampleBufferRef red() {
        auto frame = VideoFrameFactory::make(kCMTimeZero, CMTimeMake(1, 25), 64, 36, 81, 90, 240);
        CVBufferSetAttachment(CMSampleBufferGetImageBuffer(frame), kCVImageBufferYCbCrMatrixKey,
                              kCVImageBufferYCbCrMatrix_ITU_R_601_4,
                              kCVAttachmentMode_ShouldPropagate);
        return frame;
    }

    // Processes events until the container's output has painted the current frame; the window
    // as it looks then.
    QImage windowWhenPainted() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (true) {
            QApplication::processEvents();
            QImage image = window->grab().toImage().convertToFormat(QImage::Format_RGB32);
            if (container->videoOutput()->paintedCurrentPicture()) {
                return image;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                ADD_FAILURE() << "no paint showed the current picture";
                return image;
            }
            std::this_thread::yield();
        }
    }

    std::unique_ptr<ScopedVideoOutputPath> forced;
    std::shared_ptr<AVSampleBufferDisplayLayer> layer =
        std::make_shared<AVSampleBufferDisplayLayer>();
    std::unique_ptr<QWidget> window;
    VideoContainerLayer* container = nullptr;
    QLabel* overlay = nullptr;
};

TEST_F(GLContainerTest, DrawsThroughOpenGLUnderTheViewsAboveIt) {
    ASSERT_EQ(container->videoOutput()->path(), VideoOutputPath::openGL);
    layer->enqueueSampleBuffer(red());
    const QImage image = windowWhenPainted();
    const QColor picture = image.pixelColor(30, 30);
    EXPECT_GT(picture.red(), 240);
    EXPECT_LT(picture.green(), 12);
    EXPECT_EQ(image.pixelColor(80, 70), QColor(0, 255, 0)) << "the view above stays above";
}

TEST_F(GLContainerTest, AFailureHandsTheFrameOnScreenToARasterView) {
    const CMSampleBufferRef frame = red();
    layer->enqueueSampleBuffer(frame);
    windowWhenPainted();
    auto* gl = dynamic_cast<AVVideoGLWidget*>(container->videoOutput());
    ASSERT_NE(gl, nullptr);
    const QRect placed = gl->geometry();
    const std::size_t presentedOnGL = gl->frameCountTotals().presented;

    gl->reportFailure("context lost");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (container->videoOutput()->path() != VideoOutputPath::raster &&
           std::chrono::steady_clock::now() < deadline) {
        QApplication::processEvents();
    }
    ASSERT_EQ(container->videoOutput()->path(), VideoOutputPath::raster);
    EXPECT_EQ(container->scalingLayer()->geometry(), placed);

    // The frame the layer showed reaches the new view without being enqueued again.
    const QImage image = windowWhenPainted();
    EXPECT_EQ(container->videoOutput()->lastPaintedFrame(), frame);
    EXPECT_GT(image.pixelColor(30, 30).red(), 240);
    EXPECT_EQ(image.pixelColor(80, 70), QColor(0, 255, 0));
    EXPECT_GE(container->videoOutput()->frameCountTotals().presented, presentedOnGL + 1)
        << "the counts go on from the GL view's";
}

}  // namespace
}  // namespace quillon
