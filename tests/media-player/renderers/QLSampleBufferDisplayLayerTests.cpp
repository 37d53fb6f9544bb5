#include <gtest/gtest.h>

#include <vector>

#include "media-player/renderers/QLSampleBufferDisplayLayer.h"
#include "platform/corevideo/CVImageBuffer.h"
#include "platform/foundation/Log.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "platform/private-interfaces/IOSurface.h"
#include "support/VideoFrameFactory.h"

namespace {

using namespace platform;
using quillon::QLSampleBufferDisplayLayer;
using quillon::test::VideoFrameFactory;

CMSampleBufferRef frameWithMatrix(const std::string* matrix) {
    auto frame = VideoFrameFactory::frame(0);
    if (matrix != nullptr) {
        CVBufferSetAttachment(CMSampleBufferGetImageBuffer(frame), kCVImageBufferYCbCrMatrixKey,
                              *matrix, kCVAttachmentMode_ShouldPropagate);
    }
    return frame;
}

// Surfaces for every pixel buffer, and a matrix setter that records what it was given and
// whether the frame was already queued at that moment.
class SurfaceTest : public ::testing::Test {
protected:
    struct Call {
        std::uint32_t matrix;
        bool frameWasQueued;
    };

    std::shared_ptr<QLSampleBufferDisplayLayer> layer =
        std::make_shared<QLSampleBufferDisplayLayer>();
    std::vector<Call> calls;
    DynamicSymbols::ScopedSymbol surfaces{
        "CVPixelBufferGetIOSurface", CVPixelBufferGetIOSurfaceFunction([](const CVPixelBufferRef&) {
            return std::make_shared<IOSurface>(7);
        })};
};

TEST_F(SurfaceTest, OnlyABT2020MatrixIsCopiedBeforeTheFrameIsQueued) {
    DynamicSymbols::ScopedSymbol setter(
        "IOSurfaceSetYCbCrMatrix",
        IOSurfaceSetYCbCrMatrixFunction([this](IOSurfaceRef surface, std::uint32_t matrix) {
            EXPECT_EQ(surface->surfaceID(), 7u);
            calls.push_back({matrix, layer->displayedFrame() != nullptr});
            return KERN_SUCCESS;
        }));
    layer->enqueueSampleBuffer(frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_709_2));
    layer->enqueueSampleBuffer(frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_601_4));
    layer->enqueueSampleBuffer(frameWithMatrix(nullptr));
    EXPECT_TRUE(calls.empty());

    layer->flushAndRemoveImage();
    layer->enqueueSampleBuffer(frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_2020));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].matrix, 9u);
    EXPECT_FALSE(calls[0].frameWasQueued);
    EXPECT_NE(layer->displayedFrame(), nullptr);
}

TEST_F(SurfaceTest, AFailingSetterStillQueuesTheFrame) {
    DynamicSymbols::ScopedSymbol setter(
        "IOSurfaceSetYCbCrMatrix",
        IOSurfaceSetYCbCrMatrixFunction([](IOSurfaceRef, std::uint32_t) { return 5; }));
    const auto frame = frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_2020);
    layer->enqueueSampleBuffer(frame);
    EXPECT_EQ(layer->displayedFrame(), frame);
}

TEST_F(SurfaceTest, AMissingSetterIsLoggedAtEachBT2020Frame) {
    ScopedLogCapture log;
    layer->enqueueSampleBuffer(frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_2020));
    layer->enqueueSampleBuffer(frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_709_2));
    layer->enqueueSampleBuffer(frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_2020));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Private API symbol IOSurfaceSetYCbCrMatrix is unavailable.",
                               "Private API symbol IOSurfaceSetYCbCrMatrix is unavailable."}));
    EXPECT_EQ(layer->status(), AVQueuedSampleBufferRenderingStatus::rendering);
}

TEST(DisplayLayerOnThisSystemTest, FramesHaveNoSurfaceAndAreQueuedUnchanged) {
    ScopedLogCapture log;
    auto layer = std::make_shared<QLSampleBufferDisplayLayer>();
    const auto frame = frameWithMatrix(&kCVImageBufferYCbCrMatrix_ITU_R_2020);
    layer->enqueueSampleBuffer(frame);
    EXPECT_EQ(layer->displayedFrame(), frame);
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
