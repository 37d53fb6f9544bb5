#include <gtest/gtest.h>

#include <QImage>
#include <memory>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/video-output/AVVideoGLWidget.h"
#include "platform/video-output/AVVideoWidget.h"
#include "platform/video-output/gl/GLTestPictures.h"
#include "support/GLDisplayEnvironment.h"

namespace {

using namespace platform;
using quillon::test::GLDisplayEnvironment;
using quillon::test::GLTestPicture;

constexpr int kViewWidth = 384;
constexpr int kViewHeight = 216;

// The same frame, with the same layer geometry, through both paths.
class GLPictureTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GLDisplayEnvironment::available()) {
            GTEST_SKIP() << "no X server for OpenGL";
        }
    }

    using Arrange = std::function<void(AVSampleBufferDisplayLayer&)>;

    QImage raster(const CMSampleBufferRef& frame, const Arrange& arrange = {}) {
        AVVideoWidget widget;
        widget.resize(kViewWidth, kViewHeight);
        auto layer = std::make_shared<AVSampleBufferDisplayLayer>();
        if (arrange) {
            arrange(*layer);
        }
        layer->setVideoSink(widget.sink());
        layer->enqueueSampleBuffer(frame);
        return quillon::test::grabWhenPainted(widget, [&] { return widget.grab().toImage(); });
    }

    QImage gl(const CMSampleBufferRef& frame, const Arrange& arrange = {}) {
        AVVideoGLWidget widget;
        widget.resize(kViewWidth, kViewHeight);
        widget.show();
        auto layer = std::make_shared<AVSampleBufferDisplayLayer>();
        if (arrange) {
            arrange(*layer);
        }
        layer->setVideoSink(widget.sink());
        layer->enqueueSampleBuffer(frame);
        QImage image =
            quillon::test::grabWhenPainted(widget, [&] { return widget.grabFramebuffer(); });
        EXPECT_FALSE(widget.hasFailed());
        return image;
    }

    void expectAgreement(const GLTestPicture& picture, const Arrange& arrange = {}) {
        const CMSampleBufferRef frame = picture.make();
        const QImage fromRaster = raster(frame, arrange);
        const QImage fromGL = gl(frame, arrange);
        const quillon::test::PictureDifference difference =
            quillon::test::compare(fromRaster, fromGL);
        EXPECT_LE(difference.largest, 2)
            << "at (" << difference.at.x() << ", " << difference.at.y() << "): raster " << std::hex
            << fromRaster.pixel(difference.at) << ", GL " << fromGL.pixel(difference.at);
        // Not a black picture on both sides.
        EXPECT_GT(qGreen(fromGL.pixel(kViewWidth / 2, kViewHeight / 2)), 20);
    }
};

TEST_F(GLPictureTest, AgreesWithTheRasterPathOnEightBitBT709) {
    expectAgreement({});
    GLTestPicture biPlanar;
    biPlanar.format = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
    expectAgreement(biPlanar);
}

TEST_F(GLPictureTest, AgreesOnBT2020SDRThroughLinearLight) {
    GLTestPicture picture;
    picture.primaries = kCVImageBufferColorPrimaries_ITU_R_2020;
    picture.matrix = kCVImageBufferYCbCrMatrix_ITU_R_2020;
    // Just above black the gamut matrix nearly cancels a component, and the raster path's
    // 4096-step curve shows there as up to 3 code values.
    picture.lumaBottom = 128;
    expectAgreement(picture);
}

TEST_F(GLPictureTest, AgreesOnTenBitPQToneMapped) {
    GLTestPicture picture;
    picture.format = kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
    picture.primaries = kCVImageBufferColorPrimaries_ITU_R_2020;
    picture.transfer = kCVImageBufferTransferFunction_SMPTE_ST_2084_PQ;
    picture.matrix = kCVImageBufferYCbCrMatrix_ITU_R_2020;
    picture.hdrPeak = 1000;
    picture.lumaTop = 850;
    expectAgreement(picture);
}

TEST_F(GLPictureTest, AgreesOnTenBitHLG) {
    GLTestPicture picture;
    picture.format = kCVPixelFormatType_420YpCbCr10BiPlanarVideoRange;
    picture.primaries = kCVImageBufferColorPrimaries_ITU_R_2020;
    picture.transfer = kCVImageBufferTransferFunction_ITU_R_2100_HLG;
    picture.lumaTop = 850;
    picture.matrix = kCVImageBufferYCbCrMatrix_ITU_R_2020;
    expectAgreement(picture);
}

TEST_F(GLPictureTest, AgreesOnAQuarterTurnedPicture) {
    GLTestPicture picture;
    picture.format = kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange;
    // Turned, it fills the view's height at its own size.
    picture.width = 216;
    picture.height = 120;
    expectAgreement(picture, [&](AVSampleBufferDisplayLayer& layer) {
        layer.setBounds(CGRectMake(0, 0, 216, 120));
        layer.setAffineTransform(CGAffineTransformMakeRotation(1.5707963267948966));
    });
}

TEST_F(GLPictureTest, AgreesOnAnAnamorphicPicture) {
    // 192 × 108 pixels shown 2:1 wide.
    GLTestPicture picture;
    picture.width = 192;
    picture.height = 108;
    expectAgreement(picture, [&](AVSampleBufferDisplayLayer& layer) {
        layer.setBounds(CGRectMake(0, 0, 384, 108));
    });
}

}  // namespace
