#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/URL.h"

namespace quillon {

// Finds the subtitle files that belong to a media file (beside it, or in its subtitle folders),
// while the media file itself is being opened.
class SiblingSubtitlesScanner {
public:
    using Completion = std::function<void(std::vector<platform::URL> subtitleFileURLs)>;

    virtual ~SiblingSubtitlesScanner() = default;

    // Calls `completion` exactly once, from any thread, with the files found (possibly none).
    virtual void scan(const platform::URL& mediaURL, Completion completion) const = 0;

    // The scanner MediaSource::load uses unless it is given another.
    static std::shared_ptr<const SiblingSubtitlesScanner> standard();
};

// Finds nothing; answers at once on the calling thread.
class NoSiblingSubtitlesScanner final : public SiblingSubtitlesScanner {
public:
    void scan(const platform::URL& mediaURL, Completion completion) const override;
};

}  // namespace quillon
