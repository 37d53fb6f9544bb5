#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "MediaSourceTestSupport.h"
#include "media-player/media-source/MediaSource.h"
#include "platform/dispatch/DispatchSemaphore.h"

namespace quillon::test {

// What one loadExternalSubtitles answered.
struct ExternalSubtitlesLoad {
    int completionCount = 0;
    std::thread::id completionThread;
    std::optional<MediaSource::ExternalSubtitlesLoadResult> result;

    const MediaSource::ExternalSubtitles* loaded() const {
        return result ? std::get_if<MediaSource::ExternalSubtitles>(&*result) : nullptr;
    }
    const MediaSourceLoadError* error() const {
        return result ? std::get_if<MediaSourceLoadError>(&*result) : nullptr;
    }
};

// Loads a subtitle file for `mainSource` and waits for the answer, then a little longer for a
// second one that must never come.
inline ExternalSubtitlesLoad loadExternalSubtitlesAndWait(const MediaSource& mainSource,
                                                          const platform::URL& url) {
    struct Shared {
        std::mutex mutex;
        ExternalSubtitlesLoad load;
    };
    auto shared = std::make_shared<Shared>();
    const platform::DispatchSemaphore answered;
    mainSource.loadExternalSubtitles(
        url, [shared, answered](MediaSource::ExternalSubtitlesLoadResult result) {
            {
                std::lock_guard lock(shared->mutex);
                ++shared->load.completionCount;
                shared->load.completionThread = std::this_thread::get_id();
                shared->load.result = std::move(result);
            }
            answered.signal();
        });
    EXPECT_EQ(answered.wait(std::chrono::seconds(60)), platform::DispatchTimeoutResult::success)
        << "loading " << url.path() << " never answered";
    (void)answered.wait(std::chrono::milliseconds(50));
    std::lock_guard lock(shared->mutex);
    return shared->load;
}

// The loaded file, or a test failure (thrown so that the test stops there).
inline MediaSource::ExternalSubtitles loadedExternalSubtitles(const MediaSource& mainSource,
                                                              const platform::URL& url) {
    ExternalSubtitlesLoad load = loadExternalSubtitlesAndWait(mainSource, url);
    if (const auto* loaded = load.loaded()) {
        return *loaded;
    }
    const std::string message =
        "loading " + url.path() +
        " failed: " + (load.error() != nullptr ? detailedDescription(*load.error()) : "no answer");
    ADD_FAILURE() << message;
    throw std::runtime_error(message);
}

// A source to attach subtitle files to.
inline std::shared_ptr<MediaSource> makeMainSource(std::string_view name = "gop-1s.mkv") {
    return MediaSource::make(mediaURL(name), platform::kCMTimeInvalid, true);
}

}  // namespace quillon::test
