#include "platform/foundation/StringHelpers.h"

#include <algorithm>
#include <cstdint>
#include <memory>

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/Locale.h"

namespace platform {

namespace {

icu::UnicodeString fromUtf8(std::string_view text) {
    return icu::UnicodeString::fromUTF8(
        icu::StringPiece(text.data(), static_cast<int32_t>(text.size())));
}

std::string toUtf8(const icu::UnicodeString& text) {
    std::string result;
    text.toUTF8String(result);
    return result;
}

// Collators are costly to open and not meant to be shared between threads while comparing, so
// each thread keeps the pair for the locale it last used.
struct StandardCollators {
    std::string localeIdentifier;
    // Case-insensitive, numeric: decides the order.
    std::unique_ptr<icu::Collator> primary;
    // Identical strength: orders strings that differ only in case or width.
    std::unique_ptr<icu::Collator> tieBreak;
};

std::unique_ptr<icu::Collator> makeCollator(const icu::Locale& locale,
                                            icu::Collator::ECollationStrength strength) {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        status = U_ZERO_ERROR;
        collator.reset(icu::Collator::createInstance(icu::Locale::getRoot(), status));
    }
    precondition(U_SUCCESS(status) && collator != nullptr, "ICU has no root collator");
    collator->setStrength(strength);
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    collator->setAttribute(UCOL_NORMALIZATION_MODE, UCOL_ON, status);
    return collator;
}

const StandardCollators& standardCollators(std::string_view localeIdentifier) {
    thread_local StandardCollators collators;
    if (!collators.primary || collators.localeIdentifier != localeIdentifier) {
        // ICU's POSIX collation orders by code point, upper case before all lower case; the C
        // locale still gets the case-insensitive order of the root collation.
        std::string icuIdentifier = icuLocaleIdentifier(localeIdentifier);
        if (std::string_view(icuIdentifier).starts_with("en_US_POSIX")) {
            icuIdentifier.clear();
        }
        const icu::Locale locale(icuIdentifier.c_str());
        collators.localeIdentifier = std::string(localeIdentifier);
        collators.primary = makeCollator(locale, icu::Collator::SECONDARY);
        collators.tieBreak = makeCollator(locale, icu::Collator::IDENTICAL);
    }
    return collators;
}

NSComparisonResult toComparisonResult(UCollationResult result) {
    switch (result) {
        case UCOL_LESS:
            return NSComparisonResult::orderedAscending;
        case UCOL_GREATER:
            return NSComparisonResult::orderedDescending;
        case UCOL_EQUAL:
            break;
    }
    return NSComparisonResult::orderedSame;
}

const icu::Normalizer2& normalizer(const icu::Normalizer2* (*instance)(UErrorCode&)) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* result = instance(status);
    precondition(U_SUCCESS(status) && result != nullptr, "ICU normalization data is missing");
    return *result;
}

}  // namespace

bool isWhitespaceOrNewline(char32_t codePoint) {
    return u_hasBinaryProperty(static_cast<UChar32>(codePoint), UCHAR_WHITE_SPACE);
}

std::string trimmingWhitespaceAndNewlines(std::string_view text) {
    // ICU's UTF-8 macros index with 32-bit integers; a character spans at most four bytes, so
    // each step decodes inside a window of four bytes and any length works.
    constexpr std::size_t kWindow = 4;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t start = 0;
    while (start < text.size()) {
        const auto windowLength = static_cast<int32_t>(std::min(kWindow, text.size() - start));
        int32_t next = 0;
        UChar32 c = 0;
        U8_NEXT(bytes + start, next, windowLength, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            break;
        }
        start += static_cast<std::size_t>(next);
    }
    std::size_t end = text.size();
    while (end > start) {
        const std::size_t windowStart = end - std::min(kWindow, end - start);
        auto previous = static_cast<int32_t>(end - windowStart);
        UChar32 c = 0;
        U8_PREV(bytes + windowStart, 0, previous, c);
        if (c < 0 || !isWhitespaceOrNewline(static_cast<char32_t>(c))) {
            break;
        }
        end = windowStart + static_cast<std::size_t>(previous);
    }
    return std::string(text.substr(start, end - start));
}

NSComparisonResult localizedStandardCompare(std::string_view a, std::string_view b) {
    return localizedStandardCompare(a, b, currentLocaleIdentifier());
}

NSComparisonResult localizedStandardCompare(std::string_view a, std::string_view b,
                                            std::string_view localeIdentifier) {
    const auto& collators = standardCollators(localeIdentifier);
    const icu::StringPiece left(a.data(), static_cast<int32_t>(a.size()));
    const icu::StringPiece right(b.data(), static_cast<int32_t>(b.size()));
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult result = collators.primary->compareUTF8(left, right, status);
    if (U_SUCCESS(status) && result == UCOL_EQUAL) {
        result = collators.tieBreak->compareUTF8(left, right, status);
    }
    if (U_FAILURE(status)) {
        // Not expected for any input; fall back to an order that is at least total.
        const int order = a.compare(b);
        result = order < 0 ? UCOL_LESS : (order > 0 ? UCOL_GREATER : UCOL_EQUAL);
    }
    return toComparisonResult(result);
}

std::string caseAndDiacriticFolded(std::string_view text) {
    static const icu::Normalizer2& caseFolding =
        normalizer(&icu::Normalizer2::getNFKCCasefoldInstance);
    static const icu::Normalizer2& decomposition = normalizer(&icu::Normalizer2::getNFDInstance);

    UErrorCode status = U_ZERO_ERROR;
    const icu::UnicodeString folded = caseFolding.normalize(fromUtf8(text), status);
    const icu::UnicodeString decomposed = decomposition.normalize(folded, status);
    if (U_FAILURE(status)) {
        return std::string(text);
    }
    icu::UnicodeString stripped;
    for (int32_t i = 0; i < decomposed.length();) {
        const UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            stripped.append(c);
        }
        i += U16_LENGTH(c);
    }
    return toUtf8(stripped);
}

bool caseAndDiacriticInsensitiveHasPrefix(std::string_view text, std::string_view prefix) {
    return std::string_view(caseAndDiacriticFolded(text))
        .starts_with(caseAndDiacriticFolded(prefix));
}

bool caseAndDiacriticInsensitiveEquals(std::string_view a, std::string_view b) {
    return caseAndDiacriticFolded(a) == caseAndDiacriticFolded(b);
}

bool caseAndDiacriticInsensitiveContains(std::string_view text, std::string_view fragment) {
    return caseAndDiacriticFolded(text).find(caseAndDiacriticFolded(fragment)) != std::string::npos;
}

std::string lowercased(std::string_view text) {
    icu::UnicodeString string = fromUtf8(text);
    string.toLower(icu::Locale::getRoot());
    return toUtf8(string);
}

}  // namespace platform
