#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

extern "C" {
#include <libavformat/avformat.h>
}

#include "support/TestMedia.h"

namespace {

using quillon::test::mediaDirectory;
using quillon::test::mediaPath;
using quillon::test::MissingTestMedia;

// The files the fixture says it made: every line of the stamp after the script's hash.
std::vector<std::string> stampedFiles() {
    std::ifstream stamp(mediaDirectory() / ".stamp");
    std::vector<std::string> names;
    std::string line;
    std::getline(stamp, line);
    while (std::getline(stamp, line)) {
        if (!line.empty()) {
            names.push_back(line);
        }
    }
    return names;
}

TEST(TestMedia, PathOfAGeneratedFileIsInTheMediaDirectory) {
    const std::string path = mediaPath("h264-aac.mkv");
    EXPECT_EQ(std::filesystem::path(path), mediaDirectory() / "h264-aac.mkv");
    EXPECT_GT(std::filesystem::file_size(path), 0u);
}

TEST(TestMedia, MissingFileFailsTheTestAndStopsIt) {
    EXPECT_NONFATAL_FAILURE(EXPECT_THROW(mediaPath("no-such-fixture.mkv"), MissingTestMedia),
                            "no-such-fixture.mkv");
}

// Every stamped file is real media to libavformat, with at least one stream: a generator that
// silently wrote an empty or truncated container would otherwise surface as puzzling failures
// far away in the decoder tests. The fonts made for films to carry are fonts, by their tag.
TEST(TestMedia, EveryGeneratedFileOpensWithLibavformat) {
    const std::vector<std::string> names = stampedFiles();
    ASSERT_GE(names.size(), 50u) << "the stamp lists too few files";
    for (const std::string& name : names) {
        const std::string path = mediaPath(name);
        if (name.ends_with(".ttf") || name.ends_with(".ttc")) {
            std::string tag(4, '\0');
            std::ifstream(path, std::ios::binary).read(tag.data(), 4);
            EXPECT_TRUE(tag == std::string("\0\1\0\0", 4) || tag == "ttcf") << name;
            continue;
        }
        AVFormatContext* context = nullptr;
        ASSERT_EQ(avformat_open_input(&context, path.c_str(), nullptr, nullptr), 0) << name;
        EXPECT_GE(avformat_find_stream_info(context, nullptr), 0) << name;
        EXPECT_GE(context->nb_streams, 1u) << name;
        avformat_close_input(&context);
    }
}

}  // namespace
