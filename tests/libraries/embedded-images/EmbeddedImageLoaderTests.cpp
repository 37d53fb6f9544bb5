#include <gtest/gtest.h>

#include <archive.h>
#include <dlfcn.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <algorithm>
#include <cstring>

#include "libraries/embedded-images/EmbeddedImageLoader.h"
#include "libraries/embedded-images/EmbeddedImagesArchive.h"
#include "libraries/embedded-images/TestArchive.h"
#include "support/WidgetApplicationEnvironment.h"
#include "platform/foundation/Log.h"

namespace {

// libarchive may hand out an entry's data in pieces; this test program can make it do so.
std::size_t readChunkLimit = 0;

}  // namespace

// Stands in for libarchive's own function in this program, passing each call on with at most
// `readChunkLimit` bytes asked for.
extern "C" la_ssize_t archive_read_data(struct archive* a, void* buffer, size_t length) {
    using Function = la_ssize_t (*)(struct archive*, void*, size_t);
    static const auto real = reinterpret_cast<Function>(dlsym(RTLD_NEXT, "archive_read_data"));
    if (readChunkLimit != 0) {
        length = std::min(length, readChunkLimit);
    }
    return real(a, buffer, length);
}

namespace embedded_images {
namespace {

using platform::ScopedLogCapture;
using test::png;
using test::TestArchive;

EmbeddedImageLoader loaderFor(std::vector<std::byte>& archive) {
    return EmbeddedImageLoader([&archive] { return std::span<const std::byte>(archive); });
}

std::vector<std::string> keysOf(const EmbeddedImageLoader::ImageMap& images) {
    std::vector<std::string> keys;
    for (const auto& [key, image] : images) {
        keys.push_back(key);
    }
    return keys;
}

QColor colourDrawnBy(const platform::NSImage& image) {
    QImage canvas(8, 8, QImage::Format_ARGB32);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    image.drawInRect(painter, {{0, 0}, {8, 8}});
    painter.end();
    return canvas.pixelColor(4, 4);
}

TEST(EmbeddedImageLoaderTests, picksTheHighestResolutionOfAName) {
    auto all = TestArchive()
                   .file("Icon.png", png(10, 10, Qt::red))
                   .file("Icon@2x.png", png(20, 20, Qt::green))
                   .file("Icon@3x.png", png(30, 30, Qt::blue))
                   .finish();
    auto loader = loaderFor(all);
    const auto image = loader.imageNamed("Icon");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image, loader.nameToUnderlyingImageMap().at("Icon@3x.png"));
    EXPECT_EQ(image->size(), (platform::CGSize{10, 10}));

    auto withoutThree = TestArchive()
                            .file("Icon.png", png(10, 10, Qt::red))
                            .file("Icon@2x.png", png(20, 20, Qt::green))
                            .finish();
    auto secondLoader = loaderFor(withoutThree);
    EXPECT_EQ(secondLoader.imageNamed("Icon"),
              secondLoader.nameToUnderlyingImageMap().at("Icon@2x.png"));
    EXPECT_EQ(secondLoader.imageNamed("Icon")->size(), (platform::CGSize{10, 10}));

    auto plain = TestArchive().file("Icon.png", png(10, 10, Qt::red)).finish();
    auto thirdLoader = loaderFor(plain);
    EXPECT_EQ(thirdLoader.imageNamed("Icon")->size(), (platform::CGSize{10, 10}));
}

TEST(EmbeddedImageLoaderTests, cachesFoundImagesButNotMissingOnes) {
    auto archive = TestArchive().file("Icon@2x.png", png(4, 4, Qt::red)).finish();
    auto loader = loaderFor(archive);
    const auto first = loader.imageNamed("Icon");
    EXPECT_EQ(loader.imageNamed("Icon"), first);
    EXPECT_EQ(loader.imageNamed("Missing"), nullptr);
    EXPECT_EQ(keysOf(loader.nameToImageMap()), std::vector<std::string>{"Icon"});
}

TEST(EmbeddedImageLoaderTests, anImageWithADarkVariantChoosesAtEachDrawing) {
    auto archive = TestArchive()
                       .file("Badge@2x.png", png(8, 8, Qt::red))
                       .file("Badge-Dark@2x.png", png(8, 8, Qt::blue))
                       .file("Shadow-Dark.png", png(8, 8, Qt::blue))
                       .finish();
    auto loader = loaderFor(archive);
    const auto badge = loader.imageNamed("Badge");
    ASSERT_NE(badge, nullptr);
    EXPECT_NE(badge, loader.nameToUnderlyingImageMap().at("Badge@2x.png"));
    EXPECT_EQ(badge->size(), (platform::CGSize{4, 4}));

    const QPalette original = QGuiApplication::palette();
    QPalette dark = original;
    dark.setColor(QPalette::Window, QColor(20, 20, 20));
    dark.setColor(QPalette::WindowText, QColor(240, 240, 240));
    EXPECT_EQ(colourDrawnBy(*badge), QColor(Qt::red));
    QGuiApplication::setPalette(dark);
    EXPECT_EQ(colourDrawnBy(*badge), QColor(Qt::blue));
    QGuiApplication::setPalette(original);
    EXPECT_EQ(colourDrawnBy(*badge), QColor(Qt::red));

    // A dark variant alone is no image.
    EXPECT_EQ(loader.imageNamed("Shadow"), nullptr);
}

TEST(EmbeddedImageLoaderTests, skipsFoldersHiddenFilesAndTheirCompanionsSilently) {
    auto archive = TestArchive()
                       .directory("Folder/")
                       .file("Folder/Nested.png", png(2, 2, Qt::red))
                       .file(".hidden.png", png(2, 2, Qt::red))
                       .file("._Icon@2x.png", png(2, 2, Qt::red))
                       .file("Folder/._Nested.png", png(2, 2, Qt::red))
                       .file("./Dotted.png", png(2, 2, Qt::red))
                       .file("Icon@2x.png", png(2, 2, Qt::red))
                       .finish();
    auto loader = loaderFor(archive);
    ScopedLogCapture log;
    EXPECT_EQ(keysOf(loader.nameToUnderlyingImageMap()),
              (std::vector<std::string>{"./Dotted.png", "Folder/Nested.png", "Icon@2x.png"}));
    EXPECT_TRUE(log.lines().empty());
    // Keys are full paths.
    EXPECT_EQ(loader.imageNamed("Nested"), nullptr);
    EXPECT_EQ(loader.imageNamed("Dotted"), nullptr);
    EXPECT_NE(loader.imageNamed("Icon"), nullptr);
}

TEST(EmbeddedImageLoaderTests, logsAndSkipsEntriesThatGiveNoImage) {
    const std::vector<std::byte> notAnImage(100, std::byte{'x'});
    auto archive = TestArchive()
                       .file("Icon.png", png(3, 3, Qt::red))
                       .file("Icon.png", png(5, 5, Qt::red))
                       .file("Empty.png", {})
                       .file("Text.png", notAnImage)
                       .file("Last.png", png(2, 2, Qt::red))
                       .finish();
    auto loader = loaderFor(archive);
    ScopedLogCapture log;
    const auto& images = loader.nameToUnderlyingImageMap();
    EXPECT_EQ(keysOf(images), (std::vector<std::string>{"Icon.png", "Last.png"}));
    EXPECT_EQ(images.at("Icon.png")->size(), (platform::CGSize{3, 3}));
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "Found duplicate archive entry for path `Icon.png`.",
                  "Byte count is zero or negative for archive entry with path `Empty.png`.",
                  "Failed to make image from data for archive entry with path `Text.png`.",
              }));
}

TEST(EmbeddedImageLoaderTests, aTruncatedArchiveKeepsTheEntriesBeforeTheDamage) {
    TestArchive builder;
    builder.file("First.png", png(2, 2, Qt::red));
    const std::size_t secondHeader = builder.offset();
    builder.file("Second.png", png(40, 40, Qt::red)).file("Third.png", png(2, 2, Qt::red));
    const std::vector<std::byte> whole = builder.finish();

    // Cut inside the second entry's header, and inside its data.
    for (const std::size_t cut : {secondHeader + 100, secondHeader + 512 + 20}) {
        std::vector<std::byte> truncated(whole.begin(),
                                         whole.begin() + static_cast<std::ptrdiff_t>(cut));
        auto loader = loaderFor(truncated);
        ScopedLogCapture log;
        EXPECT_EQ(keysOf(loader.nameToUnderlyingImageMap()), std::vector<std::string>{"First.png"});
        ASSERT_EQ(log.lines().size(), 1u) << cut;
        EXPECT_TRUE(log.lines()[0].starts_with("Failed to read next archive entry: "))
            << log.lines()[0];
    }
}

TEST(EmbeddedImageLoaderTests, readsAnEntryThatArrivesInPieces) {
    auto archive = TestArchive().file("Icon@2x.png", png(30, 30, Qt::red)).finish();
    auto loader = loaderFor(archive);
    readChunkLimit = 7;
    const auto image = loader.imageNamed("Icon");
    readChunkLimit = 0;
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->size(), (platform::CGSize{15, 15}));
}

// A raw ustar header of `type` for `size` bytes of data.
std::vector<std::byte> ustarHeader(const std::string& name, char type, std::size_t size) {
    std::array<char, 512> header{};
    std::memcpy(header.data(), name.data(), std::min<std::size_t>(name.size(), 99));
    std::snprintf(header.data() + 100, 8, "%07o", 0644);
    std::snprintf(header.data() + 108, 8, "%07o", 0);
    std::snprintf(header.data() + 116, 8, "%07o", 0);
    std::snprintf(header.data() + 124, 12, "%011zo", size);
    std::snprintf(header.data() + 136, 12, "%011o", 0);
    header[156] = type;
    std::memcpy(header.data() + 257, "ustar", 6);
    std::memcpy(header.data() + 263, "00", 2);
    std::memset(header.data() + 148, ' ', 8);
    unsigned checksum = 0;
    for (char c : header) {
        checksum += static_cast<unsigned char>(c);
    }
    std::snprintf(header.data() + 148, 8, "%06o", checksum);
    const auto* bytes = reinterpret_cast<const std::byte*>(header.data());
    return {bytes, bytes + header.size()};
}

TEST(EmbeddedImageLoaderTests, keepsReadingAfterAWarning) {
    // Extended attributes that do not parse make the next header come with a warning; the
    // entry itself is fine.
    const std::string attributes = "not an attribute\n";
    std::vector<std::byte> archive = ustarHeader("PaxHeader/Icon.png", 'x', attributes.size());
    std::array<std::byte, 512> block{};
    std::memcpy(block.data(), attributes.data(), attributes.size());
    archive.insert(archive.end(), block.begin(), block.end());
    const std::vector<std::byte> rest = TestArchive()
                                            .file("Icon.png", png(2, 2, Qt::red))
                                            .file("Other.png", png(2, 2, Qt::red))
                                            .finish();
    archive.insert(archive.end(), rest.begin(), rest.end());

    auto loader = loaderFor(archive);
    EXPECT_EQ(keysOf(loader.nameToUnderlyingImageMap()),
              (std::vector<std::string>{"Icon.png", "Other.png"}));
}

TEST(EmbeddedImageLoaderTests, withoutAnArchiveThereAreNoImages) {
    EmbeddedImageLoader loader([] { return std::span<const std::byte>(); });
    ScopedLogCapture log;
    EXPECT_EQ(loader.imageNamed("AirPlayAudioIcon"), nullptr);
    EXPECT_EQ(log.lines(), std::vector<std::string>{
                               "Unable to find `quillon_images_tar` section in executable."});
    // The empty result is kept: the archive is not looked for again.
    EXPECT_EQ(loader.imageNamed("AirPlayAudioIcon"), nullptr);
    EXPECT_EQ(log.lines().size(), 1u);
}

TEST(EmbeddedImageLoaderTests, theExecutableCarriesTheImagesOfTheBuild) {
    EXPECT_FALSE(embeddedImagesArchive().empty());
    auto& loader = EmbeddedImageLoader::sharedLoader();
    ScopedLogCapture log;
    const auto icon = loader.imageNamed("AirPlayAudioIcon");
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->bitmap().size(), QSize(36, 32));
    EXPECT_EQ(icon->size(), (platform::CGSize{18, 16}));
    EXPECT_EQ(loader.imageNamed("AirPlayAudioIcon"), icon);
    for (const char* name : {"gearshape", "gearshape.2", "wrench.and.screwdriver"}) {
        const auto image = loader.imageNamed(name);
        ASSERT_NE(image, nullptr) << name;
        EXPECT_EQ(image->size(), (platform::CGSize{32, 32})) << name;
    }
    EXPECT_TRUE(log.lines().empty());
}

}  // namespace
}  // namespace embedded_images
