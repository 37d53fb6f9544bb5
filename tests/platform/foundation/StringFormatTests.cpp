#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/StringFormat.h"

using namespace platform;

TEST(StringFormat, PositionalArgumentsMayBeReordered) {
    EXPECT_EQ(stringWithFormat("%2$@ – %1$@", {"first", "second"}), "second – first");
    EXPECT_EQ(stringWithFormat("%1$@ %1$@ %2$ld", {"echo", std::int64_t{7}}), "echo echo 7");
    EXPECT_EQ(stringWithFormat("%@ and %@", {"a", "b"}), "a and b");
    EXPECT_EQ(stringWithFormat("Unable to open the %1$@.", {"file"}), "Unable to open the file.");
}

TEST(StringFormat, IntegerAndFloatingPointConversionsFollowPrintf) {
    EXPECT_EQ(stringWithFormat("%d|%ld|%i|%lld", {std::int64_t{-5}, std::int64_t{6},
                                                  std::int64_t{7}, std::int64_t{8}}),
              "-5|6|7|8");
    EXPECT_EQ(stringWithFormat("[%5d][%-5d][%05d][%+d][%.3d]",
                               {std::int64_t{42}, std::int64_t{42}, std::int64_t{-42},
                                std::int64_t{42}, std::int64_t{7}}),
              "[   42][42   ][-0042][+42][007]");
    EXPECT_EQ(
        stringWithFormat("%x %X %#x %o %u", {std::int64_t{255}, std::int64_t{255},
                                             std::int64_t{255}, std::int64_t{8}, std::int64_t{-1}}),
        "ff FF 0xff 10 18446744073709551615");
    EXPECT_EQ(stringWithFormat("%d", {std::int64_t{INT64_MIN}}), "-9223372036854775808");
    EXPECT_EQ(stringWithFormat("%.2f %f %g %g %e", {3.14159, 1.5, 0.0001, 1e20, 12345.678}),
              "3.14 1.500000 0.0001 1e+20 1.234568e+04");
    EXPECT_EQ(stringWithFormat("%8.3f|%-8.1f|%08.2f", {3.14159, 2.0, -1.5}),
              "   3.142|2.0     |-0001.50");
    EXPECT_EQ(stringWithFormat("100%% %c%s", {std::int64_t{0x00e9}, "!"}), "100% \u00e9!");
}

TEST(StringFormat, MismatchedArgumentsAreConvertedAndMissingOnesLeaveNothing) {
    EXPECT_EQ(stringWithFormat("%d %@ %@ %.1f", {2.9, std::int64_t{3}, 0.5, std::int64_t{2}}),
              "2 3 0.5 2.0");
    EXPECT_EQ(stringWithFormat("%d", {"text"}), "0");
    ScopedLogCapture capture;
    EXPECT_EQ(stringWithFormat("[%@][%3$@]", {"a"}), "[a][]");
    EXPECT_TRUE(capture.contains("has no argument 3"));
    // Unknown or malformed specifiers are kept as written.
    EXPECT_EQ(stringWithFormat("%k %0$@ 5%", {"a"}), "%k %0$@ 5%");
}

TEST(StringFormat, LocalizedNumbersUseTheLocaleSeparators) {
    const QLocale english("en_US");
    const QLocale german("de_DE");
    EXPECT_EQ(stringWithFormat("%d %.2f", {std::int64_t{1234567}, 1234.5}, english),
              "1,234,567 1,234.50");
    EXPECT_EQ(stringWithFormat("%ld %.2f %g", {std::int64_t{-1234567}, 1234.5, 0.25}, german),
              "-1.234.567 1.234,50 0,25");
    EXPECT_EQ(stringWithFormat("%x %@", {std::int64_t{65535}, std::int64_t{12345}}, german),
              "ffff 12345");
    EXPECT_EQ(stringWithFormat("%d %.1f", {std::int64_t{1234567}, 0.5}, QLocale::c()),
              "1234567 0.5");

    QLocale previous;
    QLocale::setDefault(german);
    EXPECT_EQ(localizedFormat("%1$@: %2$d", "Anzahl", 1000), "Anzahl: 1.000");
    QLocale::setDefault(previous);
}

namespace {

// Answers every lookup of the application's context and records what it was asked.
class RecordingTranslator : public QTranslator {
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int) const override {
        lastDisambiguation = disambiguation ? disambiguation : "";
        if (QByteArray(context) != kApplicationLocalizationContext) {
            return {};
        }
        return QStringLiteral("«%1»").arg(QString::fromUtf8(sourceText));
    }
    bool isEmpty() const override { return false; }
    mutable std::string lastDisambiguation;
};

// Translators are installed on an application object; make one for the test if none exists.
class ScopedApplication {
public:
    ScopedApplication() {
        if (!QCoreApplication::instance()) {
            application_.emplace(argc_, argv_);
        }
    }

private:
    int argc_ = 1;
    char name_[26] = "platform_foundation_tests";
    char* argv_[2] = {name_, nullptr};
    std::optional<QCoreApplication> application_;
};

}  // namespace

TEST(Localization, MissingTranslationAnswersTheKey) {
    EXPECT_EQ(localizedString("Unable to load the media.",
                              "The error description that is shown when the media failed to be "
                              "loaded."),
              "Unable to load the media.");
}

TEST(Localization, TranslationIsLookedUpInTheApplicationContextWithTheComment) {
    ScopedApplication application;
    RecordingTranslator translator;
    ASSERT_TRUE(QCoreApplication::installTranslator(&translator));
    EXPECT_EQ(localizedString("Please try again.", "Shown after a failed read."),
              "«Please try again.»");
    EXPECT_EQ(translator.lastDisambiguation, "Shown after a failed read.");
    // Another catalogue's context is not the application's.
    EXPECT_EQ(localizedString("App", "Window title fallback.", "PreferencesWindowKit"), "App");
    QCoreApplication::removeTranslator(&translator);
    EXPECT_EQ(localizedString("Please try again.", "Shown after a failed read."),
              "Please try again.");
}
