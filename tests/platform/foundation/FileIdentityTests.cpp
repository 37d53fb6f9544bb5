#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <unordered_set>

#include "platform/foundation/Error.h"
#include "platform/foundation/FileIdentity.h"

using namespace platform;

TEST(FileIdentity, LinksShareTheIdentityAndCopiesDoNot) {
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    std::filesystem::path root = temporary.path().toStdString();
    std::ofstream(root / "film.srt") << "1\n00:00:01,000 --> 00:00:02,000\nHello\n";
    std::filesystem::create_hard_link(root / "film.srt", root / "hard.srt");
    std::filesystem::create_symlink("film.srt", root / "soft.srt");
    std::filesystem::copy_file(root / "film.srt", root / "copy.srt");

    auto original = FileIdentity::ofFile((root / "film.srt").string());
    EXPECT_EQ(FileIdentity::ofFile((root / "hard.srt").string()), original);
    EXPECT_EQ(FileIdentity::ofFile((root / "soft.srt").string()), original);
    EXPECT_NE(FileIdentity::ofFile((root / "copy.srt").string()), original);

    std::unordered_set<FileIdentity> identities{original,
                                                FileIdentity::ofFile((root / "hard.srt").string()),
                                                FileIdentity::ofFile((root / "copy.srt").string())};
    EXPECT_EQ(identities.size(), 2u);
}

TEST(FileIdentity, MissingFileIsAPOSIXErrorNamingThePath) {
    try {
        FileIdentity::ofFile("/nonexistent/quillon/file.srt");
        FAIL() << "expected an error";
    } catch (const NSError& error) {
        EXPECT_EQ(error.domain(), NSPOSIXErrorDomain);
        EXPECT_EQ(error.code(), ENOENT);
        EXPECT_EQ(error.stringValue(NSFilePathErrorKey), "/nonexistent/quillon/file.srt");
    }
}

TEST(FileIdentity, TextAndBytesRoundTrip) {
    FileIdentity identity(0xFD01ULL, 0x8000000000000123ULL);
    EXPECT_EQ(identity.stringValue(), "64769:9223372036854776099");
    EXPECT_EQ(FileIdentity::fromString(identity.stringValue()), identity);
    EXPECT_EQ(FileIdentity::fromBytes(identity.bytes()), identity);
    EXPECT_EQ(identity.bytes()[6], 0xFD);
    EXPECT_EQ(identity.bytes()[15], 0x23);
    for (auto bad : {"", "12", "12:", ":5", "1:2:3", "a:1", "-1:2"}) {
        EXPECT_FALSE(FileIdentity::fromString(bad)) << bad;
    }
}
