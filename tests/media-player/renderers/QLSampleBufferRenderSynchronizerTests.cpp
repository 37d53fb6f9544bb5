#include <gtest/gtest.h>

#include <vector>

#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "media-player/renderers/QLSampleBufferDisplayLayer.h"
#include "media-player/renderers/QLSampleBufferRenderSynchronizer.h"
#include "platform/audio-output/NullAudioSink.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/private-interfaces/NSThread.h"
#include "support/ManualClock.h"

namespace {

using namespace platform;
using quillon::QLAirPlayAudioRenderer;
using quillon::QLSampleBufferDisplayLayer;
using quillon::QLSampleBufferRenderSynchronizer;

class RenderSynchronizerTest : public ::testing::Test {
protected:
    void SetUp() override {
        token = NotificationCenter::defaultCenter().addObserver(
            AVSampleBufferRenderSynchronizerRateDidChangeNotification,
            static_cast<const AVSampleBufferRenderSynchronizer*>(synchronizer.get()),
            [this](const Notification&) {
                serialized.push_back(NSThread::currentThreadDictionary()->boolValueForKey(
                    "QLAirPlayAudioRendererIsInsideDispatchSync"));
            });
    }

    std::shared_ptr<ManualClock> clock = ManualClock::make();
    std::shared_ptr<QLSampleBufferRenderSynchronizer> synchronizer =
        std::make_shared<QLSampleBufferRenderSynchronizer>(clock);
    std::shared_ptr<QLSampleBufferDisplayLayer> layer =
        std::make_shared<QLSampleBufferDisplayLayer>();
    std::shared_ptr<QLAirPlayAudioRenderer> audioRenderer =
        std::make_shared<QLAirPlayAudioRenderer>(std::make_unique<NullAudioSink>(clock));
    // Whether each rate change ran inside the audio renderer's device-ID serialization.
    std::vector<bool> serialized;
    ObserverToken token;
};

TEST_F(RenderSynchronizerTest, FindsTheAirPlayAudioRendererAmongItsRenderers) {
    synchronizer->addRenderer(layer);
    EXPECT_EQ(synchronizer->airPlayAudioRenderer(), nullptr);
    synchronizer->addRenderer(audioRenderer);
    EXPECT_EQ(synchronizer->airPlayAudioRenderer(), audioRenderer);
}

TEST_F(RenderSynchronizerTest, SetsRateAndTimeDirectlyOnThisSystem) {
    synchronizer->addRenderer(layer);
    synchronizer->addRenderer(audioRenderer);
    synchronizer->setRate(1, CMTimeMake(10, 1));
    EXPECT_EQ(synchronizer->rate(), 1.0f);
    EXPECT_EQ(synchronizer->currentTime(), CMTimeMake(10, 1));
    EXPECT_EQ(serialized, std::vector<bool>{false});
}

TEST_F(RenderSynchronizerTest, BeforeMacOS11GoesThroughTheAudioRendererAndStillReturnsChanged) {
    ProcessInfo::ScopedOverride system(
        {OperatingSystem::macOS, {10, 15, 7}, "macOS 10.15.7", false});
    synchronizer->setRate(1, CMTimeMake(3, 1));
    synchronizer->addRenderer(layer);
    synchronizer->addRenderer(audioRenderer);
    synchronizer->setRate(0, CMTimeMake(5, 1));
    EXPECT_EQ(synchronizer->rate(), 0.0f);
    EXPECT_EQ(synchronizer->currentTime(), CMTimeMake(5, 1));
    // The plain rate change is not serialized either way.
    synchronizer->setRate(2);
    EXPECT_EQ(serialized.size(), 3u);
}

}  // namespace
