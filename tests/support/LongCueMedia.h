#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

namespace quillon::test {

// Forty seconds of 64x48 picture at 10 fps with a key frame every two seconds, and an embedded
// subtitle stream whose first cue stays on screen from 1 s to 30 s; the next one runs from 32 s
// to 34 s. Made with the ffmpeg tool in a folder of its own, removed with the object.
class LongCueMedia {
public:
    static constexpr const char* longCueText = "The long cue";
    static constexpr const char* nextCueText = "The next cue";

    LongCueMedia() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillon-long-cue-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            ADD_FAILURE() << "cannot make a folder for the long-cue media";
        }
        directory_ = pattern;
        std::ofstream(directory_ / "cues.srt")
            << "1\n00:00:01,000 --> 00:00:30,000\n"
            << longCueText << "\n\n2\n00:00:32,000 --> 00:00:34,000\n"
            << nextCueText << "\n";
    }
    ~LongCueMedia() {
        std::error_code error;
        std::filesystem::remove_all(directory_, error);
    }
    LongCueMedia(const LongCueMedia&) = delete;
    LongCueMedia& operator=(const LongCueMedia&) = delete;

    // The file in the container that the extension names, with the subtitle codec given
    // (srt, ass, webvtt, mov_text).
    std::string make(const std::string& extension, const std::string& subtitleCodec) const {
        const std::filesystem::path path =
            directory_ / ("long-cue-" + subtitleCodec + "." + extension);
        const std::string command =
            "ffmpeg -nostdin -hide_banner -loglevel error -y "
            "-f lavfi -i testsrc=size=64x48:rate=10:duration=40 -i '" +
            (directory_ / "cues.srt").string() +
            "' -map 0:v -map 1:s -c:v libx264 -g 20 -keyint_min 20 -sc_threshold 0 "
            "-pix_fmt yuv420p -c:s " +
            subtitleCodec + " '" + path.string() + "'";
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        return path.string();
    }

private:
    std::filesystem::path directory_;
};

}  // namespace quillon::test
