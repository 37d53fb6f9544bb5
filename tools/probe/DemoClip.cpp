#include "DemoClip.h"

#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "ProbeError.h"

extern char** environ;

namespace quillon::probe {
namespace {

// Removes a scratch file however the function that made it returns.
class ScratchFile {
public:
    explicit ScratchFile(std::filesystem::path path) : path_(std::move(path)) {}
    ~ScratchFile() {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::filesystem::path homeDirectory() {
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    throw probeFailure("Cannot find the home directory for the cache folder");
}

void writeSubtitles(const std::filesystem::path& path) {
    std::ofstream file(path);
    file << "1\n00:00:00,500 --> 00:00:01,500\nQuillon demo clip\n\n"
            "2\n00:00:01,750 --> 00:00:02,750\n<i>Second subtitle</i>\n";
    if (!file.flush()) {
        throw probeFailure(fmt::format("Cannot write '{}'", path.string()));
    }
}

// Runs ffmpeg with the arguments and waits for it; throws unless it exits with status 0.
void runFFmpeg(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 1);
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);

    pid_t child = 0;
    if (int error = posix_spawnp(&child, argv[0], nullptr, nullptr, argv.data(), environ);
        error != 0) {
        throw probeFailure(fmt::format("Cannot run {}: {}", arguments[0], std::strerror(error)));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            throw probeFailure(
                fmt::format("Cannot wait for {}: {}", arguments[0], std::strerror(errno)));
        }
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw probeFailure(fmt::format("{} could not make the demo clip ({} {})", arguments[0],
                                       WIFEXITED(status) ? "exit status" : "signal",
                                       WIFEXITED(status) ? WEXITSTATUS(status) : WTERMSIG(status)));
    }
}

}  // namespace

std::filesystem::path cacheDirectory() {
    std::filesystem::path base;
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && cache[0] == '/') {
        base = cache;
    } else {
        base = homeDirectory() / ".cache";
    }
    return base / "quillon-player";
}

std::filesystem::path ensureDemoClip() {
    const std::filesystem::path directory = cacheDirectory();
    const std::filesystem::path clip = directory / "demo.mkv";
    std::error_code error;
    if (std::filesystem::is_regular_file(clip, error) &&
        std::filesystem::file_size(clip, error) > 0) {
        return clip;
    }
    std::filesystem::create_directories(directory, error);
    if (error) {
        throw probeFailure(
            fmt::format("Cannot create '{}': {}", directory.string(), error.message()));
    }

    // Written under scratch names and renamed, so an interrupted run never leaves a clip that
    // looks complete.
    const std::string suffix = fmt::format(".{}", getpid());
    ScratchFile subtitles(directory / ("demo" + suffix + ".srt"));
    ScratchFile partial(directory / ("demo" + suffix + ".partial.mkv"));
    writeSubtitles(subtitles.path());
    // clang-format off
    runFFmpeg({
        "ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y",
        "-f", "lavfi", "-i", "testsrc2=size=320x180:rate=25:duration=3",
        "-f", "lavfi", "-i", "sine=frequency=440:sample_rate=48000:duration=3",
        "-i", subtitles.path().string(),
        "-map", "0:v", "-map", "1:a", "-map", "2:s",
        "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p",
        "-c:a", "aac", "-ac", "2", "-c:s", "srt",
        "-disposition:v:0", "default", "-disposition:a:0", "default",
        "-metadata:s:a:0", "language=eng", "-metadata:s:s:0", "language=eng",
        "-metadata", "title=Quillon demo clip",
        "-f", "matroska", partial.path().string(),
    });
    // clang-format on
    std::filesystem::rename(partial.path(), clip, error);
    if (error) {
        throw probeFailure(
            fmt::format("Cannot move the demo clip to '{}': {}", clip.string(), error.message()));
    }
    return clip;
}

}  // namespace quillon::probe
