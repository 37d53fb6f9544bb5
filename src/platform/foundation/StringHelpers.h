#pragma once

#include <string>
#include <string_view>

// Unicode-aware string operations on UTF-8 text, done with ICU. Malformed UTF-8 is never an
// error: a malformed sequence counts as one character that is neither white space nor a letter.
namespace platform {

enum class NSComparisonResult { orderedAscending = -1, orderedSame = 0, orderedDescending = 1 };

// Whether the code point has the Unicode White_Space property (spaces of every width, tabs,
// line and paragraph separators, U+0085, U+00A0, U+3000, ...).
bool isWhitespaceOrNewline(char32_t codePoint);

// The text without white space and line breaks at either end.
std::string trimmingWhitespaceAndNewlines(std::string_view text);

// The order in which a file browser lists names: by the collation of the current locale,
// ignoring case, with runs of digits compared by value ("file2" before "file10"). Strings that
// differ only in case are still ordered (lower case first), so that sorting is deterministic;
// orderedSame means the same text up to Unicode canonical equivalence. In the C locale the root
// collation applies.
NSComparisonResult localizedStandardCompare(std::string_view a, std::string_view b);
NSComparisonResult localizedStandardCompare(std::string_view a, std::string_view b,
                                            std::string_view localeIdentifier);

// The form in which case, diacritics and character width no longer matter: compatibility
// decomposition, case folding, and removal of non-spacing marks ("Élan" and "ｅｌａｎ" → "elan").
std::string caseAndDiacriticFolded(std::string_view text);

// Comparisons of folded text. As with std::string_view::starts_with, every string has the empty
// prefix and contains the empty string.
bool caseAndDiacriticInsensitiveHasPrefix(std::string_view text, std::string_view prefix);
bool caseAndDiacriticInsensitiveEquals(std::string_view a, std::string_view b);
bool caseAndDiacriticInsensitiveContains(std::string_view text, std::string_view fragment);

// Lower case by Unicode's locale-independent rules ("SRT" → "srt", "İ" keeps its dot as a
// combining mark). File-name extensions and identifiers are compared in this form.
std::string lowercased(std::string_view text);

}  // namespace platform
