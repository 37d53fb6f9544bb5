#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The user's current locale as an ICU locale identifier ("en_US", "de_DE"): that of QLocale(),
// which follows the environment unless QLocale::setDefault changed it. The "C" locale is
// "en_US_POSIX".
std::string currentLocaleIdentifier();

// The ICU form ("en_US", "zh_Hans_CN") of a locale identifier written either way ("en-US" or
// "en_US"); the empty string (ICU's root locale) when it cannot be read.
std::string icuLocaleIdentifier(std::string_view identifier);

// The canonical BCP-47 language identifier of a language code or locale identifier, as media
// files and preferences spell them: "en" → "en", "eng" → "en", "fre" → "fr", "en_US" → "en-US",
// "zh-Hans" → "zh-Hans". Surrounding white space is ignored. Answers nullopt for an empty or
// undetermined ("und") language and for text that is not a well-formed identifier.
std::optional<std::string> canonicalLanguageIdentifier(std::string_view code);

// The language part of an identifier, canonicalised: "en-US" → "en", "zh_Hans_CN" → "zh",
// "ger" → "de"; nullopt where canonicalLanguageIdentifier answers nullopt.
std::optional<std::string> languageCode(std::string_view identifier);

enum class DisplayNameCapitalization {
    // As it stands inside a sentence (ICU's data decides; often lower case, "français").
    middleOfSentence,
    // As an entry of a menu or list ("Français").
    menu,
};

// The name of a language (with its script and region, if the identifier has them) in the
// language of `displayLocaleIdentifier`: "de" in "en_US" → "German", "en-US" → "English (United
// States)". Answers nullopt when the identifier is not canonicalisable or ICU has no name for
// its language.
std::optional<std::string> localizedLanguageName(
    std::string_view code, std::string_view displayLocaleIdentifier,
    DisplayNameCapitalization capitalization = DisplayNameCapitalization::menu);

// The same in the current locale.
std::optional<std::string> localizedLanguageName(
    std::string_view code,
    DisplayNameCapitalization capitalization = DisplayNameCapitalization::menu);

}  // namespace platform
