#include <gtest/gtest.h>

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRawFont>
#include <QTextLayout>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "platform/graphics/FontCollection.h"
#include "platform/graphics/FontDatabase.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/SFNTNames.h"
#include "support/GuiApplicationEnvironment.h"
#include "support/TestMedia.h"

using namespace platform;
using quillon::test::mediaPath;

namespace {

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

FontCollection::FontFile serifFile() {
    return {"attached-font-serif.ttf", fileBytes(mediaPath("attached-font-serif.ttf"))};
}

FontCollection::FontFile collectionFile() {
    return {"attached-fonts.ttc", fileBytes(mediaPath("attached-fonts.ttc"))};
}

bool textSystemHasFamily(const std::string& family) {
    return QFontDatabase::families().contains(QString::fromStdString(family));
}

QImage drawn(const QFont& font, const QString& text) {
    QImage image(240, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QPointF(4, 44), text);
    return image;
}

}  // namespace

// A film's fonts are found by the names its subtitles use (family, full and PostScript names,
// any case), and only through the film's collection: other documents, and the names of
// installed fonts, never reach them.
TEST(FontCollectionTest, FontsAreFoundByTheirNamesThroughTheirCollectionOnly) {
    std::vector<std::string> skipped;
    const auto fonts = FontCollection::make(
        {serifFile(), collectionFile()}, nullptr,
        [&](const std::string& name, const std::string&) { skipped.push_back(name); });
    EXPECT_TRUE(skipped.empty());
    EXPECT_EQ(fonts->familyNames(),
              (std::vector<std::string>{"Quillon Test Mono", "Quillon Test Serif"}));

    const auto serif = NSFont::fontWithName("quillon test SERIF", 20, fonts.get());
    ASSERT_TRUE(serif.has_value());
    EXPECT_EQ(serif->familyName(), fonts->registeredFamily("Quillon Test Serif"));
    EXPECT_NE(serif->familyName(), "Quillon Test Serif");
    EXPECT_FALSE(serif->isBold());
    // Qt draws that family with the attached font itself, not a substitute.
    EXPECT_EQ(QFontInfo(QFont(QString::fromStdString(serif->familyName()))).family().toStdString(),
              serif->familyName());

    // The bold face of the family comes from the collection, by its full or PostScript name, or
    // by the family and a style.
    for (const char* name : {"Quillon Test Serif Bold", "QuillonTestSerif-Bold"}) {
        const auto bold = NSFont::fontWithName(name, 20, fonts.get());
        ASSERT_TRUE(bold.has_value()) << name;
        EXPECT_EQ(bold->familyName(), serif->familyName()) << name;
        EXPECT_TRUE(bold->isBold()) << name;
    }
    QFont boldFont(QString::fromStdString(serif->familyName()));
    boldFont.setBold(true);
    EXPECT_EQ(QRawFont::fromFont(boldFont).styleName(), "Bold");
    const auto mono = NSFont::fontWithName("Quillon Test Mono", 20, fonts.get());
    ASSERT_TRUE(mono.has_value());
    EXPECT_NE(mono->familyName(), serif->familyName());

    EXPECT_EQ(NSFont::fontWithName("Quillon Test Serif", 20), std::nullopt);
    EXPECT_EQ(NSFont::fontWithName(serif->familyName(), 20), std::nullopt);
    EXPECT_EQ(detail::installedFamilyName(serif->familyName()), std::nullopt);
    EXPECT_EQ(NSFont::fontWithName("Quillon Test Serif", 20, nullptr), std::nullopt);

    // A subtitle file beside the film inherits the film's fonts.
    const auto inheriting = FontCollection::make({}, fonts);
    EXPECT_EQ(NSFont::fontWithName("Quillon Test Mono", 20, inheriting.get()), mono);
}

// Glyphs the attached font lacks (it has only ASCII) come from the system's fonts.
TEST(FontCollectionTest, GlyphsTheFontLacksFallBackToTheSystemsFonts) {
    const auto fonts = FontCollection::make({serifFile()});
    const QString family = QString::fromStdString(*fonts->registeredFamily("Quillon Test Serif"));
    QTextLayout layout(QString::fromUtf8("Aж"), QFont(family));
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    QStringList families;
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes()) {
            EXPECT_NE(glyph, 0u) << run.rawFont().familyName().toStdString();
        }
        families << run.rawFont().familyName();
    }
    ASSERT_EQ(families.size(), 2);
    EXPECT_TRUE(families.contains(family));
    families.removeAll(family);
    EXPECT_TRUE(QFontDatabase::families().contains(families.front()));
}

// The controls ask for the desktop's font by its name (often an alias such as "Sans Serif"),
// which resolves to an installed family. A film that carries a font of that family's very name
// (a different one: here serif glyphs) uses it for its own subtitles, while the controls keep
// the installed one.
TEST(FontCollectionTest, AFontNamedLikeTheDesktopsFontLeavesTheControlsTheirs) {
    const QFont controls(QString::fromStdString(detail::systemFontFace().family), 20);
    const QString installed = QFontInfo(controls).family();
    const std::string family = installed.toStdString();
    const QImage before = drawn(controls, "Quiet Rain");
    const QImage installedBefore = drawn(QFont(installed, 20), "Quiet Rain");

    const auto font = fileBytes(mediaPath("attached-font-serif.ttf"));
    const auto fonts =
        FontCollection::make({{"lookalike.ttf", detail::renamingSFNTFamilies(font, {family})}});
    const auto own = fonts->registeredFamily(family);
    ASSERT_TRUE(own.has_value());
    EXPECT_EQ(NSFont::fontWithName(family, 20, fonts.get())->familyName(), *own);
    EXPECT_EQ(NSFont::fontWithName(family, 20)->familyName(), family);

    EXPECT_EQ(QFontInfo(controls).family(), installed);
    EXPECT_EQ(drawn(controls, "Quiet Rain"), before);
    EXPECT_EQ(drawn(QFont(installed, 20), "Quiet Rain"), installedBefore);
    EXPECT_NE(drawn(QFont(QString::fromStdString(*own), 20), "Quiet Rain"), installedBefore);
}

// Documents with the same fonts share one registration; the last one to close takes it away,
// with its file. Different fonts under one family name stay apart.
TEST(FontCollectionTest, FontsAreSharedByTheirDocumentsAndReleasedWithTheLast) {
    auto first = FontCollection::make({serifFile()});
    auto second = FontCollection::make({serifFile()});
    const std::string family = *first->registeredFamily("Quillon Test Serif");
    EXPECT_EQ(second->registeredFamily("Quillon Test Serif"), family);
    EXPECT_EQ(QFontDatabase::families().count(QString::fromStdString(family)), 1);
    EXPECT_TRUE(textSystemHasFamily(family));

    // The bold face joins this family only where a document carries it.
    const auto withBold = FontCollection::make({serifFile(), collectionFile()});
    EXPECT_NE(withBold->registeredFamily("Quillon Test Serif"), family);

    first.reset();
    EXPECT_TRUE(textSystemHasFamily(family));
    EXPECT_TRUE(NSFont::fontWithName("Quillon Test Serif", 20, second.get()).has_value());
    second.reset();
    EXPECT_FALSE(textSystemHasFamily(family));

    // Registering it again after that works as the first time.
    const auto again = FontCollection::make({serifFile()});
    EXPECT_EQ(again->registeredFamily("Quillon Test Serif"), family);
    EXPECT_TRUE(textSystemHasFamily(family));
}

// Films open on loading queues and close wherever their last owner lets go, while subtitles
// look fonts up on their own queues. Registrations of the same bytes made and released at once
// never take each other's font away, and nothing stays registered after the last.
TEST(FontCollectionTest, FontsMadeAndReleasedOnManyThreadsAtOnceStayWhileHeldAndGoAfter) {
    const FontCollection::FontFile serif = serifFile();
    const std::string family =
        *FontCollection::make({serif})->registeredFamily("Quillon Test Serif");
    std::atomic<int> lost{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < 15; ++round) {
                const auto fonts = FontCollection::make({serif});
                const auto font = NSFont::fontWithName("Quillon Test Serif", 20, fonts.get());
                if (!font || font->familyName() != family ||
                    !textSystemHasFamily(font->familyName())) {
                    ++lost;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(lost, 0);
    EXPECT_FALSE(textSystemHasFamily(family));
}

TEST(FontCollectionTest, FilesThatAreNoUsableFontAreSkippedWithTheirReasons) {
    std::map<std::string, std::string> skipped;
    const std::string text = "This is no font: the damage a download may do.";
    auto truncated = serifFile();
    truncated.name = "Truncated.ttf";
    truncated.data.resize(300);
    const auto fonts = FontCollection::make(
        {{"Broken.ttf", std::vector<std::uint8_t>(text.begin(), text.end())},
         {"Empty.otf", {}},
         truncated,
         collectionFile()},
        nullptr,
        [&](const std::string& name, const std::string& reason) { skipped.emplace(name, reason); });
    EXPECT_EQ(skipped.size(), 3u);
    EXPECT_EQ(skipped["Broken.ttf"], "it is not a TrueType or OpenType font");
    EXPECT_FALSE(skipped["Empty.otf"].empty());
    EXPECT_FALSE(skipped["Truncated.ttf"].empty());
    EXPECT_EQ(fonts->familyNames(),
              (std::vector<std::string>{"Quillon Test Mono", "Quillon Test Serif"}));
}
