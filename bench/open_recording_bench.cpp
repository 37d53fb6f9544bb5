// Opening a long broadcast recording through the media source: the wall time of the opening
// sequence (MediaSource::make, both contexts probed and sought to the start) and the peak
// resident memory of the process that does it, against ffprobe listing the same file's streams
// with FFmpeg's own default bounds on the stream search.
//
//   open_recording_bench [--runs N] FILE     the table (bench/run-open-recording)
//   open_recording_bench --open FILE         one opening, in this process
//
// Each opening runs in a child process of its own, so that its peak resident size is its own;
// the two sides take turns run by run, and the table shows the median of the runs.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "media-player/media-source/MediaSource.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/URL.h"

using namespace quillon;

namespace {

int openOnce(const std::string& path) {
    try {
        const auto source =
            MediaSource::make(platform::URL::fileURL(path), platform::kCMTimeInvalid, true);
        std::printf("%zu video, %zu audio, %zu subtitles tracks\n", source->videoTracks().size(),
                    source->audioTracks().size(), source->embeddedSubtitlesTracks().size());
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "open_recording_bench: %s\n", error.what());
        return 1;
    }
}

struct Measure {
    double seconds = 0;
    double peakMiB = 0;
};

// Runs `arguments` in a child with its output thrown away; its wall time and peak resident size.
Measure runChild(const std::vector<std::string>& arguments) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        if (std::freopen("/dev/null", "w", stdout) == nullptr) {
            _exit(127);
        }
        std::vector<char*> argv;
        for (const std::string& argument : arguments) {
            argv.push_back(const_cast<char*>(argument.c_str()));
        }
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "open_recording_bench: %s failed\n", arguments.front().c_str());
        std::exit(1);
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    return {elapsed.count(), static_cast<double>(usage.ru_maxrss) / 1024.0};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 2 && arguments[0] == "--open") {
        return openOnce(arguments[1]);
    }
    int runs = 3;
    if (arguments.size() == 3 && arguments[0] == "--runs") {
        runs = std::max(1, std::atoi(arguments[1].c_str()));
        arguments.erase(arguments.begin(), arguments.begin() + 2);
    }
    if (arguments.size() != 1) {
        std::fprintf(stderr, "usage: open_recording_bench [--runs N] FILE\n");
        return 2;
    }
    const std::string& file = arguments[0];
    const std::string self = "/proc/self/exe";
    std::vector<double> seconds, peaks, referenceSeconds, referencePeaks;
    for (int run = 0; run < runs; ++run) {
        const Measure player = runChild({self, "--open", file});
        const Measure reference = runChild({"ffprobe", "-v", "quiet", "-show_streams", file});
        seconds.push_back(player.seconds);
        peaks.push_back(player.peakMiB);
        referenceSeconds.push_back(reference.seconds);
        referencePeaks.push_back(reference.peakMiB);
    }
    const double time = median(seconds), peak = median(peaks);
    const double referenceTime = median(referenceSeconds), referencePeak = median(referencePeaks);
    fmt::print("{} ({} runs, medians)\n", file, runs);
    fmt::print("  media source open   {:7.2f} s  peak RSS {:7.1f} MiB\n", time, peak);
    fmt::print("  ffprobe (defaults)  {:7.2f} s  peak RSS {:7.1f} MiB\n", referenceTime,
               referencePeak);
    fmt::print("  ratio               {:7.2f}             {:7.2f}\n", time / referenceTime,
               peak / referencePeak);
    fmt::print("  targets             under 3 s, under 300 MB: {}\n",
               time < 3 && peak * 1.048576 < 300 ? "met" : "missed");
    return 0;
}
