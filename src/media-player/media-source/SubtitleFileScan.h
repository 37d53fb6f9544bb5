#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>
#include <utility>
#include <vector>

#include "media-player/media-source/SiblingSubtitlesScanner.h"
#include "media-player/media-source/SupportedFileExtensions.h"
#include "platform/foundation/URL.h"

namespace quillon {

// Subfolders of the media file's folder that hold subtitles by convention, searched in this
// order after the folder itself.
inline constexpr std::array<std::string_view, 4> subtitlesFolderNames = {"Subtitles", "subtitles",
                                                                         "Subs", "subs"};
// Entries examined per folder; later ones are passed over, so a huge folder costs a bounded scan.
inline constexpr std::size_t maximumExaminedEntriesPerFolder = 10'000;

using SiblingSubtitlesFilesCompletion = std::function<void(std::vector<platform::URL>)>;

// Finds the subtitle files that belong to a media file: files with a subtitles extension whose
// names begin with the media file's name, in its folder or one of the subtitles folders. Returns
// at once; the search runs on the global queue of user-initiated priority, which also calls the
// completion, exactly once, with the files found (none when the search can't start).
void findSiblingSubtitlesFiles(const platform::URL& url,
                               SiblingSubtitlesFilesCompletion completion);

// The search itself, on the calling thread.
std::vector<platform::URL> siblingSubtitlesFiles(
    const platform::URL& url,
    const SupportedFileExtensions& extensions = supportedFileExtensions());

// The scanner that searches the file system with findSiblingSubtitlesFiles.
class SubtitleFileScanner final : public SiblingSubtitlesScanner {
public:
    void scan(const platform::URL& mediaURL, Completion completion) const override {
        findSiblingSubtitlesFiles(mediaURL, std::move(completion));
    }
};

}  // namespace quillon
