#include "media-player/media-source/SubtitleFileNameTags.h"

#include <algorithm>
#include <array>

#include "platform/foundation/Locale.h"
#include "platform/foundation/StringHelpers.h"

namespace quillon {

namespace {

// Codes that name no particular language; a file tagged with one says nothing about its words.
constexpr std::array<std::string_view, 4> nonLanguageCodes = {"mis", "mul", "und", "zxx"};
constexpr std::array<std::string_view, 3> hearingImpairedFlags = {"sdh", "cc", "hi"};

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The canonical identifier of a tag that names a language: a two- or three-letter language
// subtag, optionally with script, region or variant subtags, for which a name is known. Words
// that merely look like identifiers ("final", "dir") have no name and are no language.
std::optional<std::string> languageIdentifier(std::string_view tag) {
    const std::size_t languageEnd = std::min(tag.find_first_of("-_"), tag.size());
    if (languageEnd < 2 || languageEnd > 3 ||
        !std::all_of(tag.begin(), tag.begin() + static_cast<std::ptrdiff_t>(languageEnd),
                     isLetter)) {
        return std::nullopt;
    }
    auto identifier = platform::canonicalLanguageIdentifier(tag);
    if (!identifier) {
        return std::nullopt;
    }
    const auto language = platform::languageCode(*identifier);
    if (!language || std::find(nonLanguageCodes.begin(), nonLanguageCodes.end(), *language) !=
                         nonLanguageCodes.end()) {
        return std::nullopt;
    }
    if (!platform::localizedLanguageName(*identifier, "en_US")) {
        return std::nullopt;
    }
    return identifier;
}

std::vector<std::string> splitAtFullStops(std::string_view text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = std::min(text.find('.', start), text.size());
        parts.emplace_back(text.substr(start, end - start));
        if (end == text.size()) {
            return parts;
        }
        start = end + 1;
    }
}

}  // namespace

SubtitleFileNameTags parseSubtitleFileNameTags(const std::vector<std::string_view>& tags) {
    SubtitleFileNameTags result;
    std::vector<std::string_view> unknown;
    bool hindiOrHearingImpaired = false;
    for (const auto& written : tags) {
        const std::string tag = platform::trimmingWhitespaceAndNewlines(written);
        if (tag.empty()) {
            continue;
        }
        const std::string folded = platform::lowercased(tag);
        if (folded == "forced") {
            result.isForced = true;
        } else if (folded == "hi") {
            // Decided once the other tags are known.
            hindiOrHearingImpaired = true;
        } else if (std::find(hearingImpairedFlags.begin(), hearingImpairedFlags.end(), folded) !=
                   hearingImpairedFlags.end()) {
            result.mediaCharacteristics.insert(
                MediaCharacteristics::hearingImpairedWithCleanEffects());
        } else if (auto identifier = languageIdentifier(tag)) {
            if (std::find(result.languageCodes.begin(), result.languageCodes.end(), *identifier) ==
                result.languageCodes.end()) {
                result.languageCodes.push_back(std::move(*identifier));
            }
        } else {
            unknown.push_back(written);
        }
    }
    if (hindiOrHearingImpaired) {
        // "Movie.en.hi.srt" is English for the hard of hearing; "Movie.hi.srt" is Hindi.
        if (result.languageCodes.empty()) {
            result.languageCodes.push_back("hi");
        } else {
            result.mediaCharacteristics.insert(
                MediaCharacteristics::hearingImpairedWithCleanEffects());
        }
    }
    if (!unknown.empty()) {
        std::string title;
        for (const auto& tag : unknown) {
            if (!title.empty()) {
                title += '.';
            }
            title += platform::trimmingWhitespaceAndNewlines(tag);
        }
        result.title = std::move(title);
    }
    return result;
}

SubtitleFileNameTags subtitleFileNameTags(const platform::URL& subtitleFileURL,
                                          const platform::URL& mediaFileURL) {
    const std::string name = platform::trimmingWhitespaceAndNewlines(
        subtitleFileURL.deletingPathExtension().lastPathComponent());
    const std::vector<std::string> parts = splitAtFullStops(name);
    const std::string foldedBaseName =
        platform::caseAndDiacriticFolded(platform::trimmingWhitespaceAndNewlines(
            mediaFileURL.deletingPathExtension().lastPathComponent()));

    // The media file's name may hold full stops itself ("Movie.2019.srt" beside
    // "Movie.2019.mkv"): the tags begin after the first part that completes it.
    std::size_t firstTag = 1;
    if (!foldedBaseName.empty()) {
        std::string prefix;
        for (std::size_t index = 0; index < parts.size(); ++index) {
            prefix += (index == 0 ? "" : ".") + parts[index];
            if (platform::caseAndDiacriticFolded(prefix).starts_with(foldedBaseName)) {
                firstTag = index + 1;
                break;
            }
        }
    }
    std::vector<std::string_view> tags;
    for (std::size_t index = firstTag; index < parts.size(); ++index) {
        tags.emplace_back(parts[index]);
    }
    return parseSubtitleFileNameTags(tags);
}

}  // namespace quillon
