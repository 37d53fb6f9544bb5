#include <gtest/gtest.h>

#include <stdlib.h>

#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <QByteArray>
#include <QCborMap>

#include "platform/foundation/Error.h"
#include "platform/foundation/URLBookmark.h"

using namespace platform;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<std::uint8_t>;

class URLBookmarkTest : public ::testing::Test {
protected:
    URLBookmarkTest() {
        std::string pattern = (fs::temp_directory_path() / "quillon-bookmark-XXXXXX").string();
        EXPECT_NE(::mkdtemp(pattern.data()), nullptr);
        root = fs::canonical(pattern);
    }
    ~URLBookmarkTest() override {
        std::error_code error;
        fs::remove_all(root, error);
    }

    URL file(const std::string& name) {
        fs::create_directories((root / name).parent_path());
        std::ofstream(root / name) << name;
        return url(name);
    }
    URL url(const std::string& name) const { return URL::fileURL((root / name).string()); }

    static URL resolve(const Bytes& data, bool& isStale) {
        return URLByResolvingBookmarkData(data, NSURLBookmarkResolutionWithSecurityScope, isStale);
    }
    static void expectResolutionFails(const Bytes& data, std::int64_t code) {
        bool isStale = false;
        try {
            ADD_FAILURE() << "resolved to " << resolve(data, isStale);
        } catch (const NSError& error) {
            EXPECT_EQ(error.domain(), NSCocoaErrorDomain);
            EXPECT_EQ(error.code(), code);
        }
    }

    fs::path root;
};

TEST_F(URLBookmarkTest, ResolvesInPlaceOrFindsTheFileRenamedInItsFolder) {
    // Names a URL must escape, and bytes that are not UTF-8, survive the bookmark.
    for (const std::string name : {"A Film 100% (\xc3\xa9t\xc3\xa9).srt", "latin1-\xe9.srt"}) {
        const URL original = file(name);
        bool isStale = true;
        EXPECT_EQ(resolve(bookmarkData(original, NSURLBookmarkCreationWithSecurityScope), isStale),
                  original);
        EXPECT_FALSE(isStale);
    }

    const Bytes data = bookmarkData(file("Film.en.srt"));
    fs::rename(root / "Film.en.srt", root / "Film.english.srt");
    // A link to the file is a worse answer than the file itself...
    fs::create_symlink("Film.english.srt", root / "A link.srt");
    bool isStale = false;
    EXPECT_EQ(resolve(data, isStale), url("Film.english.srt"));
    EXPECT_TRUE(isStale);
    // ...but better than nothing.
    fs::create_directory(root / "Elsewhere");
    fs::rename(root / "Film.english.srt", root / "Elsewhere" / "Film.srt");
    fs::create_symlink("Elsewhere/Film.srt", root / "Only link.srt");
    EXPECT_EQ(resolve(data, isStale), url("Only link.srt"));
}

TEST_F(URLBookmarkTest, AGoneFileOrAnotherFileAtItsPathFailsToResolve) {
    const Bytes moved = bookmarkData(file("Moved.srt"));
    const Bytes replaced = bookmarkData(file("Replaced.srt"));
    const Bytes deleted = bookmarkData(file("Gone/Deleted.srt"));
    fs::create_directory(root / "Elsewhere");
    fs::rename(root / "Moved.srt", root / "Elsewhere" / "Moved.srt");
    // The original stays alive elsewhere, so the new file cannot get its inode back.
    fs::rename(root / "Replaced.srt", root / "Elsewhere" / "Replaced.srt");
    file("Replaced.srt");
    fs::remove_all(root / "Gone");

    for (const Bytes* data : {&moved, &replaced, &deleted}) {
        expectResolutionFails(*data, NSFileReadNoSuchFileError);
    }
}

TEST_F(URLBookmarkTest, RefusesWhatIsNoFileAndDataThatIsNoBookmark) {
    EXPECT_THROW((void)bookmarkData(url("missing.srt")), NSError);
    try {
        (void)bookmarkData(*URL::fromString("https://example.org/film.srt"));
        ADD_FAILURE() << "made a bookmark of a web URL";
    } catch (const NSError& error) {
        EXPECT_EQ(error.code(), NSFileReadUnsupportedSchemeError);
    }

    const Bytes valid = bookmarkData(file("Film.srt"));
    const auto cbor = [](const char* path, const QByteArray& identity, qint64 version = 1) {
        const QByteArray bytes = QCborMap{{QStringLiteral("$bookmark"), version},
                                          {QStringLiteral("path"), QByteArray(path)},
                                          {QStringLiteral("identity"), identity}}
                                     .toCborValue()
                                     .toCbor();
        return Bytes(bytes.begin(), bytes.end());
    };
    const QByteArray identity(16, '\1');
    Bytes trailing = valid;
    trailing.push_back(0);
    for (const Bytes& input :
         {Bytes{}, Bytes(valid.begin(), valid.end() - 1), trailing, cbor("/tmp/a", identity, 2),
          cbor("relative/a", identity), cbor("/tmp/a", QByteArray(15, '\1'))}) {
        expectResolutionFails(input, NSFileReadCorruptFileError);
    }
}

}  // namespace
