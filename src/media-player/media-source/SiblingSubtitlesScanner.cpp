#include "media-player/media-source/SiblingSubtitlesScanner.h"

#include "media-player/media-source/SubtitleFileScan.h"

namespace quillon {

std::shared_ptr<const SiblingSubtitlesScanner> SiblingSubtitlesScanner::standard() {
    static const auto scanner = std::make_shared<const SubtitleFileScanner>();
    return scanner;
}

void NoSiblingSubtitlesScanner::scan(const platform::URL&, Completion completion) const {
    completion({});
}

}  // namespace quillon
