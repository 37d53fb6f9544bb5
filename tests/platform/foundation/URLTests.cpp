#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <unordered_set>

#include "platform/foundation/URL.h"

using namespace platform;

namespace {

URL parse(std::string_view text) {
    auto url = URL::fromString(text);
    EXPECT_TRUE(url) << text;
    return url.value_or(URL::fileURL("/"));
}

}  // namespace

TEST(URL, ParsesSchemesHostsAndPaths) {
    auto web = parse("HTTPS://user@Example.org:8080/a/b%20c.mkv?x=1#t=5");
    EXPECT_EQ(web.scheme(), "HTTPS");
    EXPECT_FALSE(web.isFileURL());
    EXPECT_EQ(web.host(), "Example.org");
    EXPECT_EQ(web.path(), "/a/b c.mkv");
    EXPECT_EQ(web.absoluteString(), "HTTPS://user@Example.org:8080/a/b%20c.mkv?x=1#t=5");

    auto file = parse("FILE:///tmp/dir/");
    EXPECT_TRUE(file.isFileURL());
    EXPECT_EQ(file.path(), "/tmp/dir");
    EXPECT_EQ(parse("file:///").path(), "/");
    EXPECT_EQ(parse("file://localhost/etc/hosts").path(), "/etc/hosts");

    auto relative = parse("Movies/My Film: Part 2.mkv");
    EXPECT_EQ(relative.scheme(), "");
    EXPECT_FALSE(relative.isFileURL());
    EXPECT_EQ(relative.path(), "Movies/My Film: Part 2.mkv");
    EXPECT_EQ(relative.absoluteString(), "Movies/My%20Film:%20Part%202.mkv");
    EXPECT_EQ(parse("a.srt").pathComponents(), std::vector<std::string>{"a.srt"});

    EXPECT_FALSE(URL::fromString(""));
}

TEST(URL, EncodesWhatAURLCannotHoldAndDecodesPaths) {
    // Spaces, non-ASCII bytes and stray percent signs are encoded; valid escapes are kept.
    auto url = parse("file:///tmp/é 100%/a%2Fb");
    EXPECT_EQ(url.absoluteString(), "file:///tmp/%C3%A9%20100%25/a%2Fb");
    EXPECT_EQ(url.path(), "/tmp/é 100%/a/b");
    EXPECT_EQ(url.lastPathComponent(), "a/b");  // the escaped slash stays inside the component

    auto file = URL::fileURL("/tmp/Ünïcode #1?.mkv");
    EXPECT_EQ(file.absoluteString(), "file:///tmp/%C3%9Cn%C3%AFcode%20%231%3F.mkv");
    EXPECT_EQ(file.path(), "/tmp/Ünïcode #1?.mkv");
    EXPECT_EQ(URL::fromString(file.absoluteString()), file);

    // A file name need not be UTF-8.
    EXPECT_EQ(URL::fileURL("/tmp/\xff.srt").path(), "/tmp/\xff.srt");
}

TEST(URL, FileURLOfARelativePathStartsAtTheCurrentDirectory) {
    auto url = URL::fileURL("sub/a.mkv");
    EXPECT_EQ(url.path(), (std::filesystem::current_path() / "sub/a.mkv").string());
}

TEST(URL, PathComponentsAndExtensions) {
    auto url = URL::fileURL("/media/show.s01e02.final.mkv");
    EXPECT_EQ(url.lastPathComponent(), "show.s01e02.final.mkv");
    EXPECT_EQ(url.pathExtension(), "mkv");
    EXPECT_EQ(url.deletingPathExtension().path(), "/media/show.s01e02.final");
    EXPECT_EQ(url.pathComponents(),
              (std::vector<std::string>{"/", "media", "show.s01e02.final.mkv"}));

    for (auto name : {".hidden", "name.", "noextension", "/"}) {
        auto plain = URL::fileURL(name[0] == '/' ? name : std::string("/d/") + name);
        EXPECT_EQ(plain.pathExtension(), "") << name;
        EXPECT_EQ(plain.deletingPathExtension(), plain) << name;
    }
    EXPECT_EQ(URL::fileURL("/d/.hidden.srt").pathExtension(), "srt");
    EXPECT_EQ(URL::fileURL("/d/a.tar.gz/").deletingPathExtension().absoluteString(),
              "file:///d/a.tar/");
    EXPECT_EQ(URL::fileURL("/").lastPathComponent(), "/");
    EXPECT_EQ(URL::fileURL("/").pathComponents(), std::vector<std::string>{"/"});
}

TEST(URL, DeletingAndAppendingComponents) {
    auto movie = URL::fileURL("/media/films/a.mkv");
    EXPECT_EQ(movie.deletingLastPathComponent().absoluteString(), "file:///media/films/");
    EXPECT_EQ(URL::fileURL("/media/films/").deletingLastPathComponent().path(), "/media");
    EXPECT_EQ(URL::fileURL("/a").deletingLastPathComponent().absoluteString(), "file:///");
    EXPECT_EQ(URL::fileURL("/").deletingLastPathComponent().absoluteString(), "file:///");

    auto directory = movie.deletingLastPathComponent();
    EXPECT_EQ(directory.appendingPathComponent("b c.srt").absoluteString(),
              "file:///media/films/b%20c.srt");
    EXPECT_EQ(URL::fileURL("/media").appendingPathComponent("sub/x.ass").path(),
              "/media/sub/x.ass");
    EXPECT_EQ(parse("http://host").appendingPathComponent("a").absoluteString(), "http://host/a");
    // Query and fragment stay where they were.
    EXPECT_EQ(parse("http://host/a/b?q#f").deletingLastPathComponent().absoluteString(),
              "http://host/a/?q#f");
}

TEST(URL, StandardizingAndResolvingSymlinks) {
    EXPECT_EQ(URL::fileURL("/a/./b/../c/").standardizedFileURL().absoluteString(), "file:///a/c/");
    EXPECT_EQ(URL::fileURL("/a/b/..").standardizedFileURL().path(), "/a");
    auto web = parse("http://h/a/../b");
    EXPECT_EQ(web.standardizedFileURL(), web);

    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    // The temporary directory itself may sit behind a link.
    std::filesystem::path root = std::filesystem::canonical(temporary.path().toStdString());
    std::filesystem::create_directory(root / "real dir");
    std::filesystem::create_directory_symlink(root / "real dir", root / "link");
    std::ofstream(root / "real dir" / "film.mkv") << "x";
    std::filesystem::create_symlink("../real dir/film.mkv", root / "real dir" / "relative.mkv");

    auto throughLink = URL::fileURL((root / "link" / "film.mkv").string());
    EXPECT_EQ(throughLink.resolvingSymlinksInPath().path(),
              (root / "real dir" / "film.mkv").string());
    auto relativeLink = URL::fileURL((root / "link" / "relative.mkv").string());
    EXPECT_EQ(relativeLink.resolvingSymlinksInPath().path(),
              (root / "real dir" / "film.mkv").string());
    auto missing = URL::fileURL((root / "link" / "missing" / ".." / "x").string());
    EXPECT_EQ(missing.resolvingSymlinksInPath().path(), (root / "real dir" / "x").string());
}

TEST(URL, EqualityAndHashingFollowTheText) {
    auto a = parse("file:///tmp/a%20b");
    auto b = parse("file:///tmp/a b");
    EXPECT_EQ(a, b);
    EXPECT_EQ(a, URL::fileURL("/tmp/a b"));
    EXPECT_NE(a, parse("FILE:///tmp/a%20b"));
    std::unordered_set<URL> set{a, b, parse("file:///tmp/c")};
    EXPECT_EQ(set.size(), 2u);
}
