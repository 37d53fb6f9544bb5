#include <gtest/gtest.h>

#include <optional>
#include <string>

#include <QLocale>

#include "platform/foundation/Locale.h"

using namespace platform;

namespace {

// Sets the process's default QLocale for the life of a test.
class ScopedDefaultLocale {
public:
    explicit ScopedDefaultLocale(const char* name) { QLocale::setDefault(QLocale(name)); }
    ~ScopedDefaultLocale() { QLocale::setDefault(previous_); }
    ScopedDefaultLocale(const ScopedDefaultLocale&) = delete;
    ScopedDefaultLocale& operator=(const ScopedDefaultLocale&) = delete;

private:
    QLocale previous_;
};

}  // namespace

TEST(Locale, BibliographicCodesMapToTheirTwoLetterForms) {
    const std::pair<const char*, const char*> table[] = {
        {"fre", "fr"}, {"ger", "de"}, {"chi", "zh"}, {"dut", "nl"}, {"cze", "cs"},
        {"gre", "el"}, {"per", "fa"}, {"rum", "ro"}, {"slo", "sk"}, {"wel", "cy"},
        {"alb", "sq"}, {"arm", "hy"}, {"baq", "eu"}, {"bur", "my"}, {"geo", "ka"},
        {"ice", "is"}, {"mac", "mk"}, {"mao", "mi"}, {"may", "ms"}, {"tib", "bo"},
    };
    for (const auto& [code, expected] : table) {
        EXPECT_EQ(canonicalLanguageIdentifier(code), expected) << code;
    }
    // The mapping applies to the language subtag only, whatever its case.
    EXPECT_EQ(canonicalLanguageIdentifier("FRE"), "fr");
    EXPECT_EQ(canonicalLanguageIdentifier("fre-CA"), "fr-CA");
    EXPECT_EQ(canonicalLanguageIdentifier("chi_TW"), "zh-TW");
}

TEST(Locale, TwoAndThreeLetterCodesAndVariantsCanonicalise) {
    const std::pair<const char*, const char*> table[] = {
        {"en", "en"},           {"eng", "en"},
        {"fra", "fr"},          {"deu", "de"},
        {"jpn", "ja"},          {"zho", "zh"},
        {"spa", "es"},          {"haw", "haw"},
        {"yue", "yue"},         {"EN", "en"},
        {"en_US", "en-US"},     {"en-us", "en-US"},
        {"zh-Hans", "zh-Hans"}, {"zh_hans_cn", "zh-Hans-CN"},
        {"pt-BR", "pt-BR"},     {"sr-Latn-RS", "sr-Latn-RS"},
        {" eng\n", "en"},       {"\u00a0de\u3000", "de"},
        {"iw", "he"},
    };
    for (const auto& [code, expected] : table) {
        EXPECT_EQ(canonicalLanguageIdentifier(code), expected) << code;
    }
}

TEST(Locale, UndeterminedEmptyAndMalformedCodesHaveNoIdentifier) {
    for (const char* code : {"", "  ", "und", "UND", "x", "12", "!!", "en-", "en--US", "en US",
                             "e\xff", "en_US@calendar=x"}) {
        EXPECT_EQ(canonicalLanguageIdentifier(code), std::nullopt) << code;
    }
}

TEST(Locale, LanguageCodeIsTheCanonicalLanguagePart) {
    EXPECT_EQ(languageCode("en-US"), "en");
    EXPECT_EQ(languageCode("zh_Hans_CN"), "zh");
    EXPECT_EQ(languageCode("ger"), "de");
    EXPECT_EQ(languageCode("und"), std::nullopt);
}

TEST(Locale, LanguageNamesInTheDisplayLocale) {
    EXPECT_EQ(localizedLanguageName("ger", "en_US"), "German");
    EXPECT_EQ(localizedLanguageName("en_US", "en-US"), "English (United States)");
    EXPECT_EQ(localizedLanguageName("fr", "fr"), "Français");
    EXPECT_EQ(localizedLanguageName("fr", "fr", DisplayNameCapitalization::middleOfSentence),
              "français");
    EXPECT_EQ(localizedLanguageName("qqx", "en"), std::nullopt);
    EXPECT_EQ(localizedLanguageName("und", "en"), std::nullopt);
}

TEST(Locale, CurrentLocaleFollowsQLocaleDefault) {
    {
        ScopedDefaultLocale german("de_DE");
        EXPECT_EQ(currentLocaleIdentifier(), "de_DE");
        EXPECT_EQ(localizedLanguageName("en"), "Englisch");
    }
    ScopedDefaultLocale posix("C");
    EXPECT_EQ(currentLocaleIdentifier(), "en_US_POSIX");
    EXPECT_EQ(icuLocaleIdentifier("zh-Hans-CN"), "zh_Hans_CN");
}
