#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/foundation/URL.h"

namespace quillon {

class MediaSource;

// Opens the subtitle files found beside a media file, concurrently, and attaches the subtitles
// tracks of those that open to `mainSource`, file after file in the list's order; files that
// fail to open are skipped without a message. Calls `completion` with the main source once all
// are attached: at once on the calling thread for an empty list, else from a global queue.
//
// Text encodings are not detected yet and a file is not recognised when it is already attached;
// the subtitle files a user adds later go through the same list.
void attachFoundSubtitleFiles(const std::vector<platform::URL>& subtitleFileURLs,
                              const std::shared_ptr<MediaSource>& mainSource,
                              std::function<void(std::shared_ptr<MediaSource>)> completion);

}  // namespace quillon
