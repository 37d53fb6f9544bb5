#include "platform/foundation/Locale.h"

#include <algorithm>
#include <array>
#include <memory>
#include <utility>

#include <unicode/locdspnm.h>
#include <unicode/locid.h>
#include <unicode/uloc.h>
#include <unicode/unistr.h>
#include <QLocale>

#include "platform/foundation/StringHelpers.h"

namespace platform {

namespace {

// ISO 639-2/B (bibliographic) codes and their ISO 639-1 forms. Media files often carry the
// bibliographic codes; not every ICU version maps them, so they are mapped here first.
constexpr std::array<std::pair<std::string_view, std::string_view>, 22> kBibliographicCodes{{
    {"alb", "sq"}, {"arm", "hy"}, {"baq", "eu"}, {"bur", "my"}, {"chi", "zh"}, {"cze", "cs"},
    {"dut", "nl"}, {"fre", "fr"}, {"geo", "ka"}, {"ger", "de"}, {"gre", "el"}, {"ice", "is"},
    {"mac", "mk"}, {"mao", "mi"}, {"may", "ms"}, {"per", "fa"}, {"rum", "ro"}, {"scc", "sr"},
    {"scr", "hr"}, {"slo", "sk"}, {"tib", "bo"}, {"wel", "cy"},
}};

std::string asciiLowercased(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), [](char c) {
        return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    });
    return result;
}

// The canonical ICU locale of a language identifier, or nullopt (see canonicalLanguageIdentifier).
std::optional<icu::Locale> canonicalLocale(std::string_view code) {
    std::string tag = trimmingWhitespaceAndNewlines(code);
    if (tag.empty()) {
        return std::nullopt;
    }
    std::replace(tag.begin(), tag.end(), '_', '-');

    const std::size_t languageEnd = std::min(tag.find('-'), tag.size());
    const std::string language = asciiLowercased(std::string_view(tag).substr(0, languageEnd));
    for (const auto& [bibliographic, code639_1] : kBibliographicCodes) {
        if (language == bibliographic) {
            tag.replace(0, languageEnd, code639_1);
            break;
        }
    }

    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(tag, status);
    if (U_FAILURE(status) || locale.isBogus()) {
        return std::nullopt;
    }
    locale.canonicalize(status);
    if (U_FAILURE(status) || locale.isBogus()) {
        return std::nullopt;
    }
    const std::string_view canonicalLanguage = locale.getLanguage();
    if (canonicalLanguage.empty() || canonicalLanguage == "und") {
        return std::nullopt;
    }
    return locale;
}

std::optional<std::string> toUtf8(const icu::UnicodeString& text) {
    if (text.isBogus() || text.isEmpty()) {
        return std::nullopt;
    }
    std::string result;
    text.toUTF8String(result);
    return result;
}

}  // namespace

std::string currentLocaleIdentifier() {
    const QLocale locale;
    if (locale.language() == QLocale::C) {
        return "en_US_POSIX";
    }
    return locale.name().toStdString();
}

std::string icuLocaleIdentifier(std::string_view identifier) {
    const std::string text(identifier);
    if (text.find('-') == std::string::npos) {
        return text;
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = icu::Locale::forLanguageTag(text, status);
    if (U_FAILURE(status) || locale.isBogus()) {
        return {};
    }
    return locale.getName();
}

std::optional<std::string> canonicalLanguageIdentifier(std::string_view code) {
    auto locale = canonicalLocale(code);
    if (!locale) {
        return std::nullopt;
    }
    UErrorCode status = U_ZERO_ERROR;
    std::string tag = locale->toLanguageTag<std::string>(status);
    if (U_FAILURE(status) || tag.empty()) {
        return std::nullopt;
    }
    return tag;
}

std::optional<std::string> languageCode(std::string_view identifier) {
    auto locale = canonicalLocale(identifier);
    if (!locale) {
        return std::nullopt;
    }
    return std::string(locale->getLanguage());
}

std::optional<std::string> localizedLanguageName(std::string_view code,
                                                 std::string_view displayLocaleIdentifier,
                                                 DisplayNameCapitalization capitalization) {
    auto locale = canonicalLocale(code);
    if (!locale) {
        return std::nullopt;
    }
    const icu::Locale displayLocale(icuLocaleIdentifier(displayLocaleIdentifier).c_str());
    const UDisplayContext capitalizationContext =
        capitalization == DisplayNameCapitalization::menu
            ? UDISPCTX_CAPITALIZATION_FOR_UI_LIST_OR_MENU
            : UDISPCTX_CAPITALIZATION_FOR_MIDDLE_OF_SENTENCE;

    // A language ICU cannot name would otherwise come back as its code.
    std::array<UDisplayContext, 2> strictContexts{capitalizationContext, UDISPCTX_NO_SUBSTITUTE};
    std::unique_ptr<icu::LocaleDisplayNames> strictNames(icu::LocaleDisplayNames::createInstance(
        displayLocale, strictContexts.data(), static_cast<int32_t>(strictContexts.size())));
    icu::UnicodeString languageName;
    if (!strictNames ||
        !toUtf8(strictNames->languageDisplayName(locale->getLanguage(), languageName))) {
        return std::nullopt;
    }

    // Unknown scripts or regions are shown by their codes rather than dropping the whole name.
    std::array<UDisplayContext, 1> contexts{capitalizationContext};
    std::unique_ptr<icu::LocaleDisplayNames> names(icu::LocaleDisplayNames::createInstance(
        displayLocale, contexts.data(), static_cast<int32_t>(contexts.size())));
    if (!names) {
        return std::nullopt;
    }
    icu::UnicodeString name;
    return toUtf8(names->localeDisplayName(*locale, name));
}

std::optional<std::string> localizedLanguageName(std::string_view code,
                                                 DisplayNameCapitalization capitalization) {
    return localizedLanguageName(code, currentLocaleIdentifier(), capitalization);
}

}  // namespace platform
