// What the player draws on a screen of more than one device pixel per point (the program runs
// with QT_SCALE_FACTOR set): the picture is made at device pixels, not at its size in points and
// then stretched, and the controls' symbols and the subtitle text have edges as sharp as the
// device pixels allow.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "media-player/subtitle-views/SubtitleTextRenderingView.h"
#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMVideoFormatDescription.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"
#include "platform/video-output/AVVideoOutput.h"
#include "player-interface/controls/MediaPlayerControlsView.h"
#include "player-interface/views/VideoContainerLayer.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

using namespace platform;

class ScaledScreenTest : public ::testing::Test {
protected:
    void SetUp() override {
        ratio = qApp->devicePixelRatio();
        ASSERT_GT(ratio, 1) << "runs with QT_SCALE_FACTOR above 1";
    }

    // The widget as the screen shows it, in device pixels.
    static QImage onScreen(QWidget& widget) {
        return widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    }

    // The widget drawn at one device pixel per point and stretched to the device pixels of
    // this screen: what a drawing made at its size in points looks like, smoothed or blocky.
    QImage stretchedFromPoints(QWidget& widget, Qt::TransformationMode mode) const {
        QImage points(widget.size(), QImage::Format_ARGB32_Premultiplied);
        points.fill(Qt::transparent);
        widget.render(&points);
        return points.scaled((QSizeF(widget.size()) * ratio).toSize(), Qt::IgnoreAspectRatio, mode)
            .convertToFormat(QImage::Format_ARGB32);
    }

    // The edges in `area` of the widget on screen are sharper than those of the drawing made
    // in points and smoothed, and they are not that drawing's pixels made bigger.
    void expectSharpEdges(QWidget& widget, const QRectF& area,
                          const std::function<int(QRgb)>& level, const std::string& what) const {
        const QImage sharp = onScreen(widget);
        const QImage smoothed = stretchedFromPoints(widget, Qt::SmoothTransformation);
        const QImage blocky = stretchedFromPoints(widget, Qt::FastTransformation);
        ASSERT_EQ(sharp.size(), smoothed.size());
        const int soft = softPixels(sharp, area, level);
        const int softWhenSmoothed = softPixels(smoothed, area, level);
        EXPECT_GT(softWhenSmoothed, 0) << what;
        EXPECT_LT(soft, softWhenSmoothed * 0.7)
            << what << ": " << soft << " soft pixels, " << softWhenSmoothed << " when smoothed";
        EXPECT_GT(differingPixels(sharp, blocky, area, level), softWhenSmoothed / 10)
            << what << " is the drawing in points made bigger";
    }

    // Device pixels of `area` (in points) whose `level` lies well inside the range that the
    // area spans: the soft pixels along edges.
    int softPixels(const QImage& image, const QRectF& area,
                   const std::function<int(QRgb)>& level) const {
        const QRect pixels =
            QRectF(area.topLeft() * ratio, area.size() * ratio).toRect() & image.rect();
        int low = 255;
        int high = 0;
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                low = std::min(low, level(image.pixel(x, y)));
                high = std::max(high, level(image.pixel(x, y)));
            }
        }
        const int margin = (high - low) / 5;
        int soft = 0;
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                const int value = level(image.pixel(x, y));
                soft += value > low + margin && value < high - margin ? 1 : 0;
            }
        }
        return soft;
    }

    // Device pixels of `area` (in points) whose level differs between the two images.
    int differingPixels(const QImage& one, const QImage& other, const QRectF& area,
                        const std::function<int(QRgb)>& level) const {
        const QRect pixels = QRectF(area.topLeft() * ratio, area.size() * ratio).toRect() &
                             one.rect() & other.rect();
        int differing = 0;
        for (int y = pixels.top(); y <= pixels.bottom(); ++y) {
            for (int x = pixels.left(); x <= pixels.right(); ++x) {
                differing +=
                    std::abs(level(one.pixel(x, y)) - level(other.pixel(x, y))) > 48 ? 1 : 0;
            }
        }
        return differing;
    }

    qreal ratio = 1;
};

// A 4:2:0 video-range picture of 1-pixel columns, black and white by turns, without colour.
CMSampleBufferRef stripedFrame(std::size_t width, std::size_t height) {
    CVPixelBufferRef pixels;
    EXPECT_EQ(CVPixelBufferCreate(width, height, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange,
                                  nullptr, &pixels),
              kCVReturnSuccess);
    CVPixelBufferLockBaseAddress(pixels, 0);
    for (std::size_t row = 0; row < height; ++row) {
        auto* luma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixels, 0)) +
                     row * CVPixelBufferGetBytesPerRowOfPlane(pixels, 0);
        for (std::size_t column = 0; column < width; ++column) {
            luma[column] = column % 2 == 0 ? 16 : 235;
        }
    }
    for (std::size_t row = 0; row < CVPixelBufferGetHeightOfPlane(pixels, 1); ++row) {
        auto* chroma = static_cast<std::uint8_t*>(CVPixelBufferGetBaseAddressOfPlane(pixels, 1)) +
                       row * CVPixelBufferGetBytesPerRowOfPlane(pixels, 1);
        std::fill(chroma, chroma + 2 * CVPixelBufferGetWidthOfPlane(pixels, 1), 128);
    }
    CVPixelBufferUnlockBaseAddress(pixels, 0);
    CVBufferSetAttachment(pixels, kCVImageBufferYCbCrMatrixKey,
                          kCVImageBufferYCbCrMatrix_ITU_R_709_2, kCVAttachmentMode_ShouldPropagate);
    CMVideoFormatDescriptionRef description;
    EXPECT_EQ(CMVideoFormatDescriptionCreateForImageBuffer(pixels, &description), noErr);
    const CMSampleTimingInfo timing{CMTimeMake(1, 25), kCMTimeZero, kCMTimeInvalid};
    CMSampleBufferRef frame;
    EXPECT_EQ(CMSampleBufferCreateReadyWithImageBuffer(pixels, description, &timing, &frame),
              noErr);
    return frame;
}

TEST_F(ScaledScreenTest, ThePictureIsMadeAtDevicePixels) {
    // A picture with as many pixels as the view has device pixels: every column shows as it is.
    const QSize points(200, 100);
    const QSize device = (QSizeF(points) * ratio).toSize();
    auto displayLayer = std::make_shared<AVSampleBufferDisplayLayer>();
    VideoContainerLayer container(displayLayer);
    container.resize(points);
    container.show();
    displayLayer->setBounds(CGRectMake(0, 0, device.width(), device.height()));
    displayLayer->flush();
    displayLayer->enqueueSampleBuffer(stripedFrame(device.width(), device.height()));

    AVVideoOutput& picture = *container.videoOutput();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    QImage image;
    do {
        QApplication::processEvents();
        std::this_thread::yield();
        image = onScreen(container);
    } while (!picture.paintedCurrentPicture() && std::chrono::steady_clock::now() < deadline);
    ASSERT_TRUE(picture.paintedCurrentPicture());
    ASSERT_EQ(picture.widget()->geometry(), QRect(QPoint(0, 0), points));
    ASSERT_EQ(image.size(), device);

    for (const int row : {0, device.height() / 2, device.height() - 1}) {
        int wrong = 0;
        for (int x = 0; x < device.width(); ++x) {
            const int grey = qGray(image.pixel(x, row));
            wrong += (x % 2 == 0 ? grey > 24 : grey < 231) ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0) << "row " << row << " of " << device.width() << " columns";
    }
}

TEST_F(ScaledScreenTest, TheControlsSymbolsHaveSharpEdges) {
    MediaPlayerControlsView view;
    view.resize(400, 30);
    view.show();
    QApplication::processEvents();
    for (QToolButton* button : {view.playPauseButton(), view.pictureInPictureButton()}) {
        const QSize icon = button->iconSize();
        const QPointF centre = QRectF(button->geometry()).center();
        const QRectF symbol(centre - QPointF(icon.width() / 2.0, icon.height() / 2.0),
                            QSizeF(icon));
        expectSharpEdges(
            view, symbol, [](QRgb pixel) { return qGray(pixel); },
            button->accessibleName().toStdString());
    }
}

TEST_F(ScaledScreenTest, SubtitleTextHasSharpEdges) {
    SubtitleTextStyle style;
    style.textAttributes.underlyingTextAttributes = {
        {NSFontAttributeName, NSFont::systemFontOfSize(20)},
        {NSForegroundColorAttributeName, NSColor::whiteColor()}};
    style.scalingInfo = {20, 5, 1};
    SubtitleTextRenderingView view;
    view.resize(400, 120);
    view.setSubtitle(FormattedTextSubtitle{
        NSAttributedString(std::string("HIMH"), style.textAttributes.underlyingTextAttributes)
            .copy(),
        style});
    view.scaleUnitSquareToSize(CGSizeMake(1.5, 1.5));
    view.show();
    QApplication::processEvents();
    const CGRect text = view.textFrame();
    ASSERT_GT(text.width(), 0);
    const QRectF area(text.origin.x, text.origin.y, text.size.width, text.size.height);

    expectSharpEdges(
        view, area, [](QRgb pixel) { return qAlpha(pixel); }, "the text");
}

}  // namespace
}  // namespace quillon
