#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media-player/media-source/MediaSource.h"
#include "media-player/renderers/QLAirPlayAudioRenderer.h"
#include "media-player/renderers/QLSampleBufferDisplayLayer.h"
#include "media-player/renderers/QLSampleBufferRenderSynchronizer.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "media-player/subtitle-views/SubtitlesView.h"
#include "platform/audio-output/NullAudioSink.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/URL.h"
#include "support/ManualClock.h"
#include "support/TestMedia.h"
// The subtitles views are widgets, and subtitles decoders look up fonts.
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {

inline std::shared_ptr<MediaSource> openMedia(std::string_view name) {
    return MediaSource::make(platform::URL::fileURL(mediaPath(name)), platform::kCMTimeInvalid,
                             true);
}

inline platform::CMTime seconds(double value) {
    return platform::CMTimeMakeWithSeconds(value, 1000);
}

// Waits, pumping the main queue, until the predicate holds; a hang fails instead of blocking.
inline bool eventually(const std::function<bool()>& predicate) {
    return platform::runMainQueueUntil(predicate, std::chrono::seconds(30));
}

// What a renderer was given, in order: sample buffers (with their times) and flushes.
class RendererRecord {
public:
    struct Event {
        bool isFlush = false;
        platform::CMTime presentationTime = platform::kCMTimeInvalid;
        platform::CMTime duration = platform::kCMTimeInvalid;
        platform::CMTime end() const { return platform::CMTimeAdd(presentationTime, duration); }
    };

    void recordBuffer(const platform::CMSampleBufferRef& sampleBuffer) {
        std::lock_guard lock(mutex_);
        events_.push_back({false, platform::CMSampleBufferGetPresentationTimeStamp(sampleBuffer),
                           platform::CMSampleBufferGetDuration(sampleBuffer)});
    }
    void recordFlush() {
        std::lock_guard lock(mutex_);
        events_.push_back({true});
    }
    void setRequesting(bool requesting) { requesting_ = requesting; }

    std::vector<Event> events() const {
        std::lock_guard lock(mutex_);
        return events_;
    }
    // The buffers given since the last flush.
    std::vector<Event> buffersSinceLastFlush() const {
        std::vector<Event> buffers;
        for (const auto& event : events()) {
            if (event.isFlush) {
                buffers.clear();
            } else {
                buffers.push_back(event);
            }
        }
        return buffers;
    }
    std::size_t bufferCount() const {
        std::size_t count = 0;
        for (const auto& event : events()) {
            count += event.isFlush ? 0 : 1;
        }
        return count;
    }
    std::size_t flushCount() const { return events().size() - bufferCount(); }
    // Whether a data source is registered for the renderer's requests.
    bool isRequesting() const { return requesting_; }

private:
    mutable std::mutex mutex_;
    std::vector<Event> events_;
    std::atomic<bool> requesting_{false};
};

class RecordingAudioRenderer final : public QLAirPlayAudioRenderer {
public:
    explicit RecordingAudioRenderer(const std::shared_ptr<platform::ManualClock>& clock)
        : QLAirPlayAudioRenderer(std::make_unique<platform::NullAudioSink>(clock)) {}

    void enqueueSampleBuffer(const platform::CMSampleBufferRef& sampleBuffer) override {
        record.recordBuffer(sampleBuffer);
        QLAirPlayAudioRenderer::enqueueSampleBuffer(sampleBuffer);
    }
    void flush() override {
        record.recordFlush();
        QLAirPlayAudioRenderer::flush();
    }
    void requestMediaDataWhenReadyOnQueue(std::shared_ptr<platform::DispatchQueue> queue,
                                          MediaDataRequestBlock block) override {
        record.setRequesting(true);
        QLAirPlayAudioRenderer::requestMediaDataWhenReadyOnQueue(std::move(queue),
                                                                 std::move(block));
    }
    void stopRequestingMediaData() override {
        record.setRequesting(false);
        QLAirPlayAudioRenderer::stopRequestingMediaData();
    }

    RendererRecord record;
};

class RecordingDisplayLayer final : public QLSampleBufferDisplayLayer {
public:
    void enqueueSampleBuffer(const platform::CMSampleBufferRef& sampleBuffer) override {
        record.recordBuffer(sampleBuffer);
        QLSampleBufferDisplayLayer::enqueueSampleBuffer(sampleBuffer);
    }
    void flush() override {
        record.recordFlush();
        QLSampleBufferDisplayLayer::flush();
    }
    void requestMediaDataWhenReadyOnQueue(std::shared_ptr<platform::DispatchQueue> queue,
                                          MediaDataRequestBlock block) override {
        record.setRequesting(true);
        QLSampleBufferDisplayLayer::requestMediaDataWhenReadyOnQueue(std::move(queue),
                                                                     std::move(block));
    }
    void stopRequestingMediaData() override {
        record.setRequesting(false);
        QLSampleBufferDisplayLayer::stopRequestingMediaData();
    }

    RendererRecord record;
};

// Counts the completions that a provider submitted, on a queue of the test's own.
struct CompletionCounter {
    std::shared_ptr<platform::DispatchQueue> queue =
        platform::DispatchQueue::makeSerial("Provider Test Completion Queue");
    std::shared_ptr<std::atomic<int>> count = std::make_shared<std::atomic<int>>(0);

    std::function<void()> completion() const {
        return [count = count] { ++*count; };
    }
    bool reaches(int expected) const {
        return eventually([&] { return count->load() >= expected; });
    }
};

// Runs `work` through the provider's restart (cancelling what runs) and waits until it ran.
template <typename Provider>
void restartAndWait(Provider& provider, std::function<void(Provider&)> work) {
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<Provider> weakProvider = provider.shared_from_this();
    provider.restart(true, [weakProvider, work = std::move(work), done] {
        if (const auto strongProvider = weakProvider.lock()) {
            work(*strongProvider);
        }
        *done = true;
    });
    ASSERT_TRUE(eventually([&] { return done->load(); })) << "provider work never ran";
}

// The texts a subtitles view shows now, in its order.
inline std::vector<std::string> shownTexts(const SubtitlesView& view) {
    std::vector<std::string> texts;
    for (QWidget* child : view.subtitleViews()) {
        if (auto* text = dynamic_cast<FormattedTextSubtitleView*>(child)) {
            texts.push_back(text->subtitle().formattedText->string());
        }
    }
    return texts;
}

}  // namespace quillon::test
