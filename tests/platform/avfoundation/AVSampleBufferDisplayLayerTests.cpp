#include <gtest/gtest.h>

#include <atomic>
#include <vector>

#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "support/AVVideoRecordingSink.h"
#include "support/ManualClock.h"
#include "support/VideoFrameFactory.h"

namespace {

using namespace platform;
using quillon::test::VideoFrameFactory;

CMTime frameTime(int n) {
    return CMTimeMake(n, 25);
}

class DisplayLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        layer->setVideoSink(sink);
        synchronizer.addRenderer(layer);
    }
    void TearDown() override {
        layer->stopRequestingMediaData();
        DispatchQueue::main().drain();
    }

    void enqueueFrames(int first, int last) {
        for (int n = first; n <= last; ++n) {
            layer->enqueueSampleBuffer(VideoFrameFactory::frame(n));
        }
    }

    std::shared_ptr<ManualClock> clock = ManualClock::make();
    AVSampleBufferRenderSynchronizer synchronizer{clock};
    std::shared_ptr<AVSampleBufferDisplayLayer> layer =
        std::make_shared<AVSampleBufferDisplayLayer>(4, 2);
    std::shared_ptr<AVVideoRecordingSink> sink = std::make_shared<AVVideoRecordingSink>();
};

TEST_F(DisplayLayerTest, ShowsEachFrameWhenItsTimeComes) {
    const CMTime start = clock->time();
    enqueueFrames(0, 3);
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(0)}));
    synchronizer.setRate(1);
    clock->advanceSeconds(1);

    const auto entries = sink->entries();
    ASSERT_EQ(entries.size(), 4u);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(entries[n].presentationTime, frameTime(n));
        EXPECT_EQ(entries[n].hostTime, CMTimeAdd(start, frameTime(n)));
        EXPECT_EQ(entries[n].time, frameTime(n));
    }
    EXPECT_EQ(layer->displayedFrame(), entries.back().frame);
    EXPECT_EQ(layer->droppedFrameCount(), 0u);
    EXPECT_EQ(clock->armedAlarmCount(), 0u) << "nothing left to show";
}

TEST_F(DisplayLayerTest, AJumpShowsOnlyTheNewestFrameThatCameDue) {
    enqueueFrames(0, 3);
    synchronizer.setRate(1, CMTimeMake(1, 10));
    // 0.1 s: frames 1 (0.04) and 2 (0.08) came due at once; only frame 2 shows.
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(0), frameTime(2)}));
    EXPECT_EQ(layer->droppedFrameCount(), 1u);
    EXPECT_EQ(layer->queuedFrameCount(), 1u);
}

TEST_F(DisplayLayerTest, WhilePausedAfterASeekShowsTheFrameThatCoversTheTime) {
    enqueueFrames(0, 3);
    synchronizer.setRate(1);
    clock->advanceSeconds(0.05);

    // A seek to 0.5 s: the clock stands, the layer is flushed and refilled from the frame that
    // covers 0.5 s (frame 12, 0.48 to 0.52).
    synchronizer.setRate(0, CMTimeMake(1, 2));
    const auto before = layer->displayedFrame();
    layer->flush();
    EXPECT_EQ(layer->displayedFrame(), before) << "the old picture stays until new frames come";
    sink->clear();
    enqueueFrames(12, 14);
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(12)}));
    clock->advanceSeconds(5);
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(12)}));

    synchronizer.setRate(1);
    clock->advanceSeconds(0.04);
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(12), frameTime(13)}));
}

TEST_F(DisplayLayerTest, FirstFrameStandsInWhenNoFrameHasComeYetAfterAFlush) {
    layer->flush();
    enqueueFrames(1, 2);
    // At time 0 the first frame (0.04) has not come, yet it shows rather than nothing.
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(1)}));
    EXPECT_EQ(layer->queuedFrameCount(), 2u);
    synchronizer.setRate(1);
    clock->advanceSeconds(0.1);
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(1), frameTime(2)}));
}

TEST_F(DisplayLayerTest, FlushAndRemoveImageTakesThePictureOff) {
    enqueueFrames(0, 1);
    layer->flushAndRemoveImage();
    EXPECT_EQ(layer->displayedFrame(), nullptr);
    EXPECT_EQ(layer->queuedFrameCount(), 0u);
    const auto entries = sink->entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries.back().frame, nullptr);
}

TEST_F(DisplayLayerTest, FramesEnqueuedOutOfOrderShowInPresentationOrder) {
    layer->enqueueSampleBuffer(VideoFrameFactory::frame(0));
    layer->enqueueSampleBuffer(VideoFrameFactory::frame(2));
    layer->enqueueSampleBuffer(VideoFrameFactory::frame(1));
    synchronizer.setRate(1);
    clock->advanceSeconds(0.1);
    EXPECT_EQ(sink->shownPresentationTimes(),
              (std::vector<CMTime>{frameTime(0), frameTime(1), frameTime(2)}));
}

TEST_F(DisplayLayerTest, ReadinessFollowsTheWaterMarks) {
    std::atomic<int> requests{0};
    layer->requestMediaDataWhenReadyOnQueue(DispatchQueue::main().shared_from_this(),
                                            [&] { ++requests; });
    DispatchQueue::main().drain();
    EXPECT_EQ(requests.load(), 1) << "ready at once";

    // Frame 0 shows at once, so four more fill the layer to its high-water mark of 4.
    enqueueFrames(0, 4);
    EXPECT_FALSE(layer->isReadyForMoreMediaData());
    DispatchQueue::main().drain();
    EXPECT_EQ(requests.load(), 1);

    synchronizer.setRate(1);
    clock->advanceSeconds(0.04);
    EXPECT_EQ(layer->queuedFrameCount(), 3u);
    EXPECT_TRUE(layer->isReadyForMoreMediaData());
    DispatchQueue::main().drain();
    EXPECT_EQ(requests.load(), 1) << "above the low-water mark";

    clock->advanceSeconds(0.04);
    EXPECT_EQ(layer->queuedFrameCount(), 2u);
    DispatchQueue::main().drain();
    EXPECT_EQ(requests.load(), 2) << "used down to the low-water mark";

    layer->flush();
    DispatchQueue::main().drain();
    EXPECT_EQ(requests.load(), 3) << "after a flush";
}

TEST_F(DisplayLayerTest, NoRequestAfterStopEvenWhenOneWasWaiting) {
    std::atomic<int> requests{0};
    layer->requestMediaDataWhenReadyOnQueue(DispatchQueue::main().shared_from_this(),
                                            [&] { ++requests; });
    layer->stopRequestingMediaData();
    DispatchQueue::main().drain();
    enqueueFrames(0, 4);
    synchronizer.setRate(1);
    clock->advanceSeconds(1);
    layer->flush();
    DispatchQueue::main().drain();
    EXPECT_EQ(requests.load(), 0);
}

TEST_F(DisplayLayerTest, StopFromInsideTheBlockEndsTheRequests) {
    std::atomic<int> requests{0};
    auto queue = DispatchQueue::makeSerial("Display Layer Test Queue");
    std::shared_ptr<AVSampleBufferDisplayLayer> target = layer;
    layer->requestMediaDataWhenReadyOnQueue(queue, [&, target] {
        ++requests;
        target->stopRequestingMediaData();
    });
    queue->sync([] {});
    layer->flush();
    queue->sync([] {});
    EXPECT_EQ(requests.load(), 1);
}

TEST_F(DisplayLayerTest, AReplacedRequestRunsOnlyTheNewBlock) {
    std::vector<int> runs;
    layer->requestMediaDataWhenReadyOnQueue(DispatchQueue::main().shared_from_this(),
                                            [&] { runs.push_back(1); });
    layer->requestMediaDataWhenReadyOnQueue(DispatchQueue::main().shared_from_this(),
                                            [&] { runs.push_back(2); });
    DispatchQueue::main().drain();
    EXPECT_EQ(runs, (std::vector<int>{2}));
}

TEST_F(DisplayLayerTest, ABufferWithoutAPictureFailsTheLayerUntilAFlush) {
    CMSampleBufferRef empty;
    ASSERT_EQ(CMSampleBufferCreateReady(nullptr, nullptr, 0, 0, nullptr, 0, nullptr, &empty),
              noErr);
    EXPECT_EQ(layer->status(), AVQueuedSampleBufferRenderingStatus::unknown);
    layer->enqueueSampleBuffer(empty);
    EXPECT_EQ(layer->status(), AVQueuedSampleBufferRenderingStatus::failed);
    ASSERT_NE(layer->error(), nullptr);
    EXPECT_EQ(layer->error()->code(), AVErrorDecodeFailed);
    layer->enqueueSampleBuffer(VideoFrameFactory::frame(0));
    EXPECT_EQ(layer->queuedFrameCount(), 0u);
    EXPECT_EQ(layer->displayedFrame(), nullptr);

    layer->flush();
    layer->enqueueSampleBuffer(VideoFrameFactory::frame(0));
    EXPECT_EQ(layer->status(), AVQueuedSampleBufferRenderingStatus::rendering);
    EXPECT_EQ(layer->error(), nullptr);
}

TEST_F(DisplayLayerTest, GeometryReachesTheSink) {
    layer->setBounds(CGRectMake(0, 0, 160, 90));
    layer->setAffineTransform(CGAffineTransformMakeRotation(1.5707963267948966));
    layer->setVideoGravity(AVLayerVideoGravityResizeAspectFill);
    const auto geometry = sink->geometry();
    EXPECT_EQ(geometry.bounds.size.width, 160);
    EXPECT_EQ(geometry.videoGravity, AVLayerVideoGravityResizeAspectFill);
    EXPECT_NEAR(geometry.transform.b, 1.0, 1e-9);
}

TEST_F(DisplayLayerTest, LeavingTheSynchronizerStopsTheClock) {
    enqueueFrames(0, 3);
    synchronizer.setRate(1);
    synchronizer.removeRenderer(layer, kCMTimeInvalid, nullptr);
    EXPECT_EQ(layer->timebase(), nullptr);
    clock->advanceSeconds(1);
    EXPECT_EQ(sink->shownPresentationTimes(), (std::vector<CMTime>{frameTime(0)}));
    EXPECT_EQ(clock->armedAlarmCount(), 0u);
}

}  // namespace
