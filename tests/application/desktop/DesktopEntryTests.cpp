#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QXmlStreamReader>
#include <algorithm>
#include <set>
#include <sstream>

#include "application/desktop/ApplicationIcon.h"
#include "application/desktop/DesktopEntry.h"

namespace quillon::test {
namespace {

using ::testing::Contains;
using ::testing::HasSubstr;
using ::testing::Not;

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

TEST(DesktopEntryTest, OffersThePlayerForTheDeclaredMediaAndSubtitleTypesOnly) {
    const auto mimeTypes = desktopEntryMimeTypes();
    // Media of the system's and of the application's declarations, and subtitles.
    for (const char* expected : {"video/mp4", "audio/mpeg", "video/x-matroska", "audio/flac",
                                 "video/mp2t", "application/x-subrip", "text/x-ssa", "text/vtt",
                                 "text/x-microdvd", "text/x-vobsub", "application/x-pgs"}) {
        EXPECT_THAT(mimeTypes, Contains(std::string(expected)));
    }
    // Subtitle formats are plain text too; that must not make the player every text file's.
    EXPECT_THAT(mimeTypes, Not(Contains(std::string("text/plain"))));
    EXPECT_EQ(std::set<std::string>(mimeTypes.begin(), mimeTypes.end()).size(), mimeTypes.size());
}

TEST(DesktopEntryTest, IsALauncherThatTheSessionBusStartsAndThatTakesURLs) {
    const auto entry = lines(makeDesktopEntry());
    ASSERT_FALSE(entry.empty());
    EXPECT_EQ(entry.front(), "[Desktop Entry]");
    EXPECT_THAT(entry, Contains(std::string("Exec=quillon-player %U")));
    EXPECT_THAT(entry, Contains(std::string("DBusActivatable=true")));
    EXPECT_THAT(entry, Contains(std::string("Icon=org.quillon.player")));
    EXPECT_THAT(entry, Contains(std::string("GenericName[de]=Medienwiedergabe")));

    std::string expected = "MimeType=";
    for (const auto& mimeType : desktopEntryMimeTypes()) {
        expected += mimeType + ";";
    }
    EXPECT_THAT(entry, Contains(expected));
}

TEST(DesktopEntryTest, DefinesOnlyTheSubtitleTypesTheDesktopDoesNotKnow) {
    const std::string package = makeSharedMimeInfoPackage();
    QXmlStreamReader reader(QString::fromStdString(package));
    std::vector<std::string> types;
    std::vector<std::string> globs;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement) {
            if (reader.name() == u"mime-type") {
                types.push_back(
                    reader.attributes().value(QStringLiteral("type")).toString().toStdString());
            } else if (reader.name() == u"glob") {
                globs.push_back(
                    reader.attributes().value(QStringLiteral("pattern")).toString().toStdString());
            }
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(types, (std::vector<std::string>{"text/x-vobsub", "application/x-pgs"}));
    // ".sub" stays the desktop's MicroDVD type.
    EXPECT_EQ(globs, (std::vector<std::string>{"*.idx", "*.sup"}));
}

TEST(ApplicationIconTest, IsAWellFormedSVGAndAnOpaqueTileWithTransparentCornersAtEverySize) {
    QXmlStreamReader reader(QString::fromStdString(applicationIconSVG()));
    int paths = 0;
    while (!reader.atEnd()) {
        if (reader.readNext() == QXmlStreamReader::StartElement && reader.name() == u"path") {
            EXPECT_FALSE(reader.attributes().value(QStringLiteral("d")).isEmpty());
            ++paths;
        }
    }
    EXPECT_FALSE(reader.hasError()) << reader.errorString().toStdString();
    EXPECT_EQ(paths, 2);

    for (const int size : applicationIconPixelSizes()) {
        const QImage icon = renderApplicationIcon(size);
        ASSERT_EQ(icon.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(icon.pixel(size - 1, size - 1)), 0) << size;
        // Inside the tile, off the mark: the tile's colour, fully opaque.
        const QRgb tile = icon.pixel(size / 8, size / 2);
        EXPECT_EQ(qAlpha(tile), 255) << size;
        EXPECT_GT(qBlue(tile), qRed(tile)) << size;
        // The ring is white.
        const QRgb ring = icon.pixel(size / 2 - 1, size * 62 / 256);
        EXPECT_GT(qRed(ring), 200) << size;
    }
}

}  // namespace
}  // namespace quillon::test
