#include "media-player/media-source/MediaSource.h"
#include "platform/dispatch/DispatchGroup.h"

namespace quillon {

void MediaSource::load(const platform::URL& url, Completion completion, Failure failure,
                       std::shared_ptr<const SiblingSubtitlesScanner> scanner) {
    struct Results {
        Atomic<std::shared_ptr<MediaSource>> source{nullptr};
        Atomic<std::vector<platform::URL>> subtitleFileURLs{{}};
    };
    auto results = std::make_shared<Results>();
    const platform::DispatchGroup group;
    auto& queue = platform::DispatchQueue::global(platform::DispatchQoS::userInitiated);

    queue.async(group, [results, url, failure = std::move(failure)] {
        try {
            results->source.setWrappedValue(MediaSource::make(url, platform::kCMTimeInvalid, true));
        } catch (const LoadError& error) {
            // Reported at once; the scan may still be running and its result is dropped.
            failure(error);
        } catch (...) {
            stopOnErrorThatIsNotALoadError();
        }
    });

    group.enter();
    scanner->scan(url, [results, group](std::vector<platform::URL> subtitleFileURLs) {
        results->subtitleFileURLs.setWrappedValue(std::move(subtitleFileURLs));
        group.leave();
    });

    group.notify(queue, [results, completion = std::move(completion)] {
        if (auto source = results->source.wrappedValue()) {
            source->attachExternalSubtitlesFound(results->subtitleFileURLs.wrappedValue(), completion);
        }
    });
}

}  // namespace quillon
