#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <QLocale>

#include "platform/foundation/StringHelpers.h"

using namespace platform;

TEST(StringHelpers, TrimsEveryUnicodeWhiteSpaceAtBothEndsOnly) {
    EXPECT_EQ(trimmingWhitespaceAndNewlines("\u00a0\u3000 \tMovie  Title\u2028\n\r\u2029\u0085"),
              "Movie  Title");
    EXPECT_EQ(trimmingWhitespaceAndNewlines("Caf\u00e9\u00a0"), "Caf\u00e9");
    EXPECT_EQ(trimmingWhitespaceAndNewlines(" \u2003\u205f\n"), "");
    EXPECT_EQ(trimmingWhitespaceAndNewlines(""), "");
    // Not white space: zero-width space, and a malformed byte.
    EXPECT_EQ(trimmingWhitespaceAndNewlines("\u200bx "), "\u200bx");
    EXPECT_EQ(trimmingWhitespaceAndNewlines(" \xff "), "\xff");
    EXPECT_EQ(trimmingWhitespaceAndNewlines(" a\xe3\x80"), "a\xe3\x80");
}

TEST(StringHelpers, StandardCompareOrdersNumbersByValueAndIgnoresCase) {
    std::vector<std::string> names{"file10.srt", "File2.srt", "file1.srt", "file2.srt",
                                   "b.srt",      "A.srt",     "c.srt"};
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return localizedStandardCompare(a, b, "en_US") == NSComparisonResult::orderedAscending;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"A.srt", "b.srt", "c.srt", "file1.srt", "file2.srt",
                                               "File2.srt", "file10.srt"}));
    EXPECT_EQ(localizedStandardCompare("Movie.EN.SRT", "Movie.idx", "en_US"),
              NSComparisonResult::orderedAscending);
    EXPECT_EQ(localizedStandardCompare("Movie.srt", "Movie.idx", "en_US"),
              NSComparisonResult::orderedDescending);
    EXPECT_EQ(localizedStandardCompare("x", "x", "en_US"), NSComparisonResult::orderedSame);
    // Canonically equivalent spellings of é are the same text.
    EXPECT_EQ(localizedStandardCompare("\u00e9", "e\u0301", "en_US"),
              NSComparisonResult::orderedSame);
    for (const char* locale : {"de_DE", "en_US_POSIX", ""}) {
        EXPECT_EQ(localizedStandardCompare("a", "B", locale), NSComparisonResult::orderedAscending)
            << locale;
        EXPECT_EQ(localizedStandardCompare("a2", "a10", locale),
                  NSComparisonResult::orderedAscending)
            << locale;
    }
}

TEST(StringHelpers, StandardCompareUsesTheCurrentLocaleAndIgnoresCaseEvenInTheCLocale) {
    const QLocale previous;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(localizedStandardCompare("a", "B"), NSComparisonResult::orderedAscending);
    EXPECT_EQ(localizedStandardCompare("x9", "X10"), NSComparisonResult::orderedAscending);
    QLocale::setDefault(QLocale("sv_SE"));
    // Swedish sorts å after z; the root collation would put it with a.
    EXPECT_EQ(localizedStandardCompare("\u00e5", "z"), NSComparisonResult::orderedDescending);
    QLocale::setDefault(previous);
}

TEST(StringHelpers, FoldedComparisonsIgnoreCaseDiacriticsAndWidth) {
    EXPECT_TRUE(caseAndDiacriticInsensitiveHasPrefix("\u00c9lan vital", "el"));
    EXPECT_TRUE(caseAndDiacriticInsensitiveHasPrefix("movie.en", "Movie"));
    EXPECT_TRUE(caseAndDiacriticInsensitiveHasPrefix("Movie - English", "MOVIE"));
    EXPECT_TRUE(caseAndDiacriticInsensitiveHasPrefix("\uff2d\uff4f\uff56\uff49\uff45", "movie"));
    EXPECT_TRUE(caseAndDiacriticInsensitiveHasPrefix("Ame\u0301lie", "Am\u00e9"));
    EXPECT_FALSE(caseAndDiacriticInsensitiveHasPrefix("The Movie", "Movie"));
    EXPECT_FALSE(caseAndDiacriticInsensitiveHasPrefix("Mov", "Movie"));

    EXPECT_TRUE(caseAndDiacriticInsensitiveEquals("Cr\u00e8me Br\u00fbl\u00e9e", "CREME BRULEE"));
    EXPECT_TRUE(caseAndDiacriticInsensitiveEquals("Stra\u00dfe", "STRASSE"));
    EXPECT_FALSE(caseAndDiacriticInsensitiveEquals("resume", "resumes"));

    EXPECT_TRUE(caseAndDiacriticInsensitiveContains("Am\u00e9lie", "MELI"));
    EXPECT_FALSE(caseAndDiacriticInsensitiveContains("Amelie", "lia"));
}

TEST(StringHelpers, LowercasingIsLocaleIndependent) {
    EXPECT_EQ(lowercased("SRT"), "srt");
    EXPECT_EQ(lowercased("\u00c9COLE"), "\u00e9cole");
    EXPECT_EQ(lowercased("TITLE"), "title");  // no dotless i, whatever the locale
}
