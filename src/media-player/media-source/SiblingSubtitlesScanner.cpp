#include "media-player/media-source/SiblingSubtitlesScanner.h"

#include "media-player/media-source/SubtitleFileScan.h"
#include "platform/foundation/NeverDestroyed.h"

namespace quillon {

std::shared_ptr<const SiblingSubtitlesScanner> SiblingSubtitlesScanner::standard() {
    // Loads hold it while their scan runs on a worker thread, which may outlast main.
    static platform::NeverDestroyed<std::shared_ptr<const SiblingSubtitlesScanner>> scanner(
        std::make_shared<const SubtitleFileScanner>());
    return scanner.get();
}

void NoSiblingSubtitlesScanner::scan(const platform::URL&, Completion completion) const {
    completion({});
}

}  // namespace quillon
