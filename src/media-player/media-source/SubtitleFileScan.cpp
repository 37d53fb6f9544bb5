#include "media-player/media-source/SubtitleFileScan.h"

#include <algorithm>
#include <exception>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "media-player/media-source/FileResourceIdentifier.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/DirectoryEnumerator.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/StringHelpers.h"

namespace quillon {

namespace {

struct FoundFile {
    platform::URL url;
    std::string name;
};

// Drops the URLs whose identity can't be read (missing or inaccessible files), and every URL that
// reaches a file already listed, keeping the first place. URLs without an identifier are kept.
std::vector<platform::URL> withoutUnreadableAndRepeatedFiles(std::vector<platform::URL> urls) {
    std::vector<platform::URL> result;
    std::set<platform::FileIdentity> seen;
    for (auto& url : urls) {
        std::optional<FileResourceIdentifier> identifier;
        try {
            identifier = FileResourceIdentifier::make(url);
        } catch (const platform::Error&) {
            continue;
        }
        if (identifier && !seen.insert(identifier->underlyingObject()).second) {
            continue;
        }
        result.push_back(std::move(url));
    }
    return result;
}

std::vector<platform::URL> subtitlesFiles(const platform::URL& folder,
                                          std::string_view foldedBaseName,
                                          const SupportedFileExtensions& extensions) {
    auto enumerator = platform::DirectoryEnumerator::make(
        folder, platform::DirectoryEnumerator::Options::skipsHiddenFiles);
    if (!enumerator) {
        return {};
    }

    std::vector<FoundFile> matches;
    for (std::size_t examined = 0; examined < maximumExaminedEntriesPerFolder; ++examined) {
        auto entry = enumerator->nextObject();
        if (!entry) {
            break;
        }
        // A pipe or device named like a subtitle file would block its loading for ever.
        if (!entry->isRegularFile || !extensions.contains(entry->url.pathExtension())) {
            continue;
        }
        const std::string stem = platform::trimmingWhitespaceAndNewlines(
            entry->url.deletingPathExtension().lastPathComponent());
        if (!platform::caseAndDiacriticFolded(stem).starts_with(foldedBaseName)) {
            continue;
        }
        matches.push_back({std::move(entry->url), std::move(entry->name)});
    }

    // A VobSub pair is offered through its index file only.
    std::set<std::string> indexFilesWithoutExtension;
    for (const auto& match : matches) {
        if (platform::lowercased(match.url.pathExtension()) == "idx") {
            indexFilesWithoutExtension.insert(match.url.deletingPathExtension().path());
        }
    }
    std::erase_if(matches, [&](const FoundFile& match) {
        return platform::lowercased(match.url.pathExtension()) == "sub" &&
               indexFilesWithoutExtension.contains(match.url.deletingPathExtension().path());
    });

    std::stable_sort(matches.begin(), matches.end(), [](const FoundFile& a, const FoundFile& b) {
        return platform::localizedStandardCompare(a.name, b.name) ==
               platform::NSComparisonResult::orderedAscending;
    });

    std::vector<platform::URL> result;
    result.reserve(matches.size());
    for (const auto& match : matches) {
        result.push_back(match.url.resolvingSymlinksInPath());
    }
    return result;
}

}  // namespace

std::vector<platform::URL> siblingSubtitlesFiles(const platform::URL& url,
                                                 const SupportedFileExtensions& extensions) {
    if (!url.isFileURL()) {
        return {};
    }
    const std::string baseName =
        platform::trimmingWhitespaceAndNewlines(url.deletingPathExtension().lastPathComponent());
    // Every name begins with the empty string: without a name there is nothing to match.
    if (baseName.empty()) {
        return {};
    }
    const std::string foldedBaseName = platform::caseAndDiacriticFolded(baseName);

    const platform::URL folder = url.deletingLastPathComponent();
    std::vector<platform::URL> candidates{folder.resolvingSymlinksInPath()};
    for (auto name : subtitlesFolderNames) {
        candidates.push_back(folder.appendingPathComponent(name).resolvingSymlinksInPath());
    }

    std::vector<platform::URL> files;
    for (const auto& candidate : withoutUnreadableAndRepeatedFiles(std::move(candidates))) {
        auto found = subtitlesFiles(candidate, foldedBaseName, extensions);
        files.insert(files.end(), std::make_move_iterator(found.begin()),
                     std::make_move_iterator(found.end()));
    }
    return withoutUnreadableAndRepeatedFiles(std::move(files));
}

void findSiblingSubtitlesFiles(const platform::URL& url,
                               SiblingSubtitlesFilesCompletion completion) {
    platform::DispatchQueue::global(platform::DispatchQoS::userInitiated)
        .async([url, completion = std::move(completion)] {
            std::vector<platform::URL> files;
            try {
                files = siblingSubtitlesFiles(url);
            } catch (...) {
                // The completion runs once whatever happens; a failed search finds nothing.
                platform::logWarning("Failed to search for subtitles files beside {}: {}",
                                     url.path(), platform::currentError()->localizedDescription());
            }
            completion(std::move(files));
        });
}

}  // namespace quillon
