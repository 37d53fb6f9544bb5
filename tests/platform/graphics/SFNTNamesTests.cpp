#include <gtest/gtest.h>

#include <QByteArray>
#include <QRawFont>
#include <fstream>
#include <iterator>
#include <random>

#include "platform/graphics/SFNTNames.h"
#include "support/GuiApplicationEnvironment.h"
#include "support/TestMedia.h"

using namespace platform::detail;
using quillon::test::mediaPath;

namespace {

std::vector<std::uint8_t> fileBytes(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

// What FreeType, under Qt, reads from the first font of the bytes (in ASCII: FreeType spells
// other characters "?"; fontconfig, which files fonts for Qt, reads them whole).
QString familyFreeTypeReads(const std::vector<std::uint8_t>& font) {
    const QRawFont raw(
        QByteArray(reinterpret_cast<const char*>(font.data()), static_cast<qsizetype>(font.size())),
        12);
    return raw.isValid() ? raw.familyName() : QString();
}

}  // namespace

TEST(SFNTNamesTest, TheNamesAndStylesOfAFontAndOfEachFontOfACollectionAreRead) {
    const auto serif = readSFNTFaceNames(fileBytes(mediaPath("attached-font-serif.ttf")));
    ASSERT_EQ(serif.size(), 1u);
    EXPECT_EQ(serif[0].families, std::vector<std::string>{"Quillon Test Serif"});
    EXPECT_TRUE(serif[0].typographicFamilies.empty());
    EXPECT_EQ(serif[0].faceNames,
              (std::vector<std::string>{"Quillon Test Serif", "QuillonTestSerif-Regular"}));
    EXPECT_FALSE(serif[0].bold);
    EXPECT_FALSE(serif[0].italic);

    const auto collection = readSFNTFaceNames(fileBytes(mediaPath("attached-fonts.ttc")));
    ASSERT_EQ(collection.size(), 2u);
    EXPECT_EQ(collection[0].families, std::vector<std::string>{"Quillon Test Serif"});
    EXPECT_EQ(collection[0].faceNames.front(), "Quillon Test Serif Bold");
    EXPECT_TRUE(collection[0].bold);
    EXPECT_EQ(collection[1].families, std::vector<std::string>{"Quillon Test Mono"});
    EXPECT_FALSE(collection[1].bold);
}

// Each font of a collection takes its own family; names in any script survive, in every record
// that can hold them; the face keeps its full and PostScript names; FreeType reads the result.
TEST(SFNTNamesTest, RenamedFamiliesAreWhatTheTextSystemReadsAndTheRestStays) {
    const auto collection = fileBytes(mediaPath("attached-fonts.ttc"));
    const std::vector<std::string> families{"文泉驿 Renamed", "Mono Renamed"};
    const auto renamed = renamingSFNTFamilies(collection, families);

    ASSERT_GT(renamed.size(), collection.size());
    EXPECT_EQ(renamed.size() % 4, 0u);
    // Appended, with each font's directory pointing to its new naming table: no more than the
    // checksum, offset and length of two directory records differ.
    std::size_t changed = 0;
    for (std::size_t i = 0; i < collection.size(); ++i) {
        changed += collection[i] != renamed[i] ? 1 : 0;
    }
    EXPECT_LE(changed, 2u * 12u);

    const auto faces = readSFNTFaceNames(renamed);
    ASSERT_EQ(faces.size(), 2u);
    EXPECT_EQ(faces[0].families, std::vector<std::string>{families[0]});
    EXPECT_EQ(faces[1].families, std::vector<std::string>{families[1]});
    EXPECT_EQ(faces[0].faceNames,
              (std::vector<std::string>{"Quillon Test Serif Bold", "QuillonTestSerif-Bold"}));
    EXPECT_TRUE(faces[0].bold);
    EXPECT_EQ(familyFreeTypeReads(renamed), "??? Renamed");

    const auto font = fileBytes(mediaPath("attached-font-serif.ttf"));
    const auto single = renamingSFNTFamilies(font, {"Plain Renamed"});
    EXPECT_EQ(familyFreeTypeReads(single), "Plain Renamed");
    EXPECT_THROW(renamingSFNTFamilies(font, {"One", "Too many"}), MalformedFontError);
}

// Attachments come from anywhere: damaged files are refused with an error, never read past
// their end (AddressSanitizer watches the reads).
TEST(SFNTNamesTest, DamagedFilesAreRefusedWithoutReadingPastTheirEnd) {
    EXPECT_THROW(readSFNTFaceNames({}), MalformedFontError);
    const std::string text = "This is no font: the damage a download may do.";
    EXPECT_THROW(readSFNTFaceNames(
                     std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
                 MalformedFontError);

    const auto collection = fileBytes(mediaPath("attached-fonts.ttc"));
    int refused = 0;
    for (std::size_t length = 0; length < collection.size(); length += length < 2048 ? 1 : 61) {
        const std::span prefix(collection.data(), length);
        try {
            (void)readSFNTFaceNames(prefix);
            (void)renamingSFNTFamilies(prefix, {"A", "B"});
        } catch (const MalformedFontError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);

    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        auto damaged = collection;
        for (int k = 0; k < 8; ++k) {
            // The directories and the naming tables are where damage changes what is read.
            const std::size_t at = random() % 2 == 0 ? random() % 512 : random() % damaged.size();
            damaged[at] = static_cast<std::uint8_t>(random());
        }
        try {
            for (const auto& face : readSFNTFaceNames(damaged)) {
                (void)face;
            }
            (void)renamingSFNTFamilies(damaged, {"A", "B"});
        } catch (const MalformedFontError&) {
        }
    }
}
