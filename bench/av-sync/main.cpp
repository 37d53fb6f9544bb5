// Audio/video synchronisation of the player's render pipeline, measured from outside: plays a
// clip whose picture carries its frame number and whose sound clicks on every whole second
// through the player's synchronizer, display layer and audio renderer, with the real PulseAudio
// server playing to a null sink of its own and an off-screen video sink, and compares when each
// second's click was heard (the sink's monitor, placed on the host clock by the sound server's
// latency) with when that second's frame was shown.
//
//   av_sync_bench CLIP [--rates 1,0.5,2] [--media-seconds N] [--slow-media-seconds N]
//                 [--per-second] [--trace DIRECTORY] [--repeat N]
//                 [--player pulseaudio|pipewire] [--recorder pulseaudio|pipewire]
//
// --media-seconds plays only the first N seconds of the clip; --slow-media-seconds does so for
// rates below 1 only, which otherwise take longest. --per-second lists every marked second
// beside the pipeline's own account of it; --trace writes the pipeline's statistics, sampled
// every 5 ms, to DIRECTORY/rate-R.csv (DIRECTORY/run-N-rate-R.csv when repeated). --repeat
// plays every rate N times over and ends with, per rate, the worst run beside the median one,
// so that one run that ran away cannot hide behind good ones. --player says which interface the
// player plays through (PulseAudio's, the default, or PipeWire's own), --recorder which records
// the sink's monitor (the player's by default).
// bench/run-av-sync makes the clip (see there for what it holds), starts the sound server and
// runs this.
//
// Prints per rate: the offset between sound and picture (median, 99th percentile and maximum
// of its magnitude, drift over the run in ms per minute of playback), each of them against the
// time line, how late frames were shown, and dropped frames. Exits 0 when every run completed,
// whether or not it met the targets.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <pulse/def.h>

#include "ClipPlayback.h"
#include "PulseAudioConnection.h"
#include "SyncAnalysis.h"
#include "WakeLatencyProbe.h"
#include "platform/audio-output/PipeWireSink.h"
#include "platform/audio-output/PulseAudioSink.h"

using namespace quillon::bench;

namespace {

struct Arguments {
    std::string clipPath;
    std::vector<double> rates{1.0, 0.5, 2.0};
    double mediaSeconds = 0;
    double slowMediaSeconds = 0;
    bool perSecond = false;
    std::string traceDirectory;
    int repeat = 1;
    SoundInterface player = SoundInterface::pulseAudio;
    std::optional<SoundInterface> recorder;
};

std::optional<SoundInterface> interfaceNamed(const std::string& name) {
    if (name == "pulseaudio") {
        return SoundInterface::pulseAudio;
    }
    if (name == "pipewire") {
        return SoundInterface::pipeWire;
    }
    return std::nullopt;
}

const char* nameOf(SoundInterface interface) {
    return interface == SoundInterface::pipeWire ? "PipeWire" : "PulseAudio";
}

// The pipeline's statistics through the run, one line per sample, for a closer look at a bad
// run than the per-second figures give.
void writeTrace(const PlaybackRecord& record, const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) {
        fmt::print(stderr, "av-sync: cannot write {}\n", path);
        return;
    }
    fmt::print(file, "host_seconds,offset_ms,compensation,latency_ms,placements\n");
    for (const auto& sample : record.audioTrace) {
        fmt::print(file, "{:.4f},{:.3f},{:.6f},{:.3f},{}\n",
                   double(sample.hostNanoseconds - record.anchorHostNanoseconds) / 1e9,
                   sample.statistics.lastOffsetFrames / record.recordingSampleRate * 1e3,
                   sample.statistics.compensation, sample.statistics.outputLatencySeconds * 1e3,
                   sample.statistics.placements);
    }
    std::fclose(file);
}

[[noreturn]] void usage() {
    std::fputs(
        "usage: av_sync_bench CLIP [--rates 1,0.5,2] [--media-seconds N] "
        "[--slow-media-seconds N] [--per-second] [--trace DIRECTORY] [--repeat N] "
        "[--player pulseaudio|pipewire] [--recorder pulseaudio|pipewire]\n",
        stderr);
    std::exit(2);
}

Arguments parse(int argc, char** argv) {
    Arguments arguments;
    for (int index = 1; index < argc; ++index) {
        const std::string argument = argv[index];
        const bool hasValue = index + 1 < argc;
        if (argument == "--rates" && hasValue) {
            arguments.rates.clear();
            std::stringstream list(argv[++index]);
            std::string rate;
            while (std::getline(list, rate, ',')) {
                arguments.rates.push_back(std::stod(rate));
            }
        } else if (argument == "--media-seconds" && hasValue) {
            arguments.mediaSeconds = std::stod(argv[++index]);
        } else if (argument == "--slow-media-seconds" && hasValue) {
            arguments.slowMediaSeconds = std::stod(argv[++index]);
        } else if (argument == "--repeat" && hasValue) {
            arguments.repeat = std::stoi(argv[++index]);
            if (arguments.repeat < 1) {
                usage();
            }
        } else if (argument == "--trace" && hasValue) {
            arguments.traceDirectory = argv[++index];
        } else if (argument == "--player" && hasValue) {
            const auto interface = interfaceNamed(argv[++index]);
            if (!interface) {
                usage();
            }
            arguments.player = *interface;
        } else if (argument == "--recorder" && hasValue) {
            arguments.recorder = interfaceNamed(argv[++index]);
            if (!arguments.recorder) {
                usage();
            }
        } else if (argument == "--per-second") {
            arguments.perSecond = true;
        } else if (!argument.starts_with("--") && arguments.clipPath.empty()) {
            arguments.clipPath = argument;
        } else {
            usage();
        }
    }
    if (arguments.clipPath.empty() || arguments.rates.empty()) {
        usage();
    }
    for (const double rate : arguments.rates) {
        if (!(rate > 0)) {
            usage();
        }
    }
    return arguments;
}

}  // namespace

int main(int argc, char** argv) {
    const Arguments arguments = parse(argc, argv);
    try {
        std::string failure;
        std::unique_ptr<platform::AudioSink> probe;
        if (arguments.player == SoundInterface::pipeWire) {
            probe = platform::PipeWireSink::connect(platform::CMClockGetHostTimeClock(), &failure);
        } else {
            probe = platform::PulseAudioSink::connect(platform::CMClockGetHostTimeClock(), &failure);
        }
        if (!probe) {
            fmt::print(stderr, "av-sync: {} does not answer ({})\n", nameOf(arguments.player),
                       failure);
            return 1;
        }
        const platform::AudioSinkFormat format = probe->format();
        probe.reset();
        const SoundInterface recorder = arguments.recorder.value_or(arguments.player);

        // A null sink of the benchmark's own, so that nothing else playing on the server is
        // heard with the clip; at the server's rate, so that the server does not resample.
        PulseAudioConnection server("av-sync");
        const std::string sinkName = fmt::format("quillon_av_sync_{}", ::getpid());
        const std::uint32_t module = server.loadModule(
            "module-null-sink", fmt::format("sink_name={} rate={} channels={}", sinkName,
                                            format.sampleRate, format.channelCount));
        if (module == PA_INVALID_INDEX) {
            fmt::print(stderr, "av-sync: the server refused a null sink\n");
            return 1;
        }
        fmt::print(
            "clip {}\nsound: through {}'s interface to a null sink {} ({} Hz, {} channels), "
            "recorded from its monitor through {}'s; picture: off-screen sink\n\n",
            arguments.clipPath, nameOf(arguments.player), sinkName, format.sampleRate,
            format.channelCount, nameOf(recorder));
        std::fflush(stdout);

        int status = 0;
        std::map<double, std::vector<RunSummary>> summaries;
        for (int run = 1; run <= arguments.repeat; ++run) {
            if (arguments.repeat > 1) {
                fmt::print("run {} of {}\n\n", run, arguments.repeat);
            }
            for (const double rate : arguments.rates) {
                ClipPlaybackOptions options;
                options.clipPath = arguments.clipPath;
                options.rate = rate;
                options.mediaSeconds = rate < 1 && arguments.slowMediaSeconds > 0
                                           ? arguments.slowMediaSeconds
                                           : arguments.mediaSeconds;
                options.sinkName = sinkName;
                options.player = arguments.player;
                options.recorder = recorder;
                try {
                    WakeLatencyProbe machine;
                    const PlaybackRecord record = playClip(options);
                    const WakeLatencyProbe::Figures wakeUps = machine.figures();
                    if (!arguments.traceDirectory.empty()) {
                        writeTrace(record, arguments.repeat > 1
                                               ? fmt::format("{}/run-{}-rate-{}.csv",
                                                             arguments.traceDirectory, run, rate)
                                               : fmt::format("{}/rate-{}.csv",
                                                             arguments.traceDirectory, rate));
                    }
                    const SyncReport report = analyse(record);
                    RunSummary summary = summarise(report);
                    summary.worstWakeUp = wakeUps.maxMilliseconds;
                    summaries[rate].push_back(summary);
                    fmt::print("{}", formatReport(report, arguments.perSecond));
                    fmt::print(
                        "  machine: a thread sleeping 1 to 4 ms at a time woke late by p99.9 "
                        "{:.2f} ms, max {:.2f} ms; {} of {} wake-ups later than 2 ms\n\n",
                        wakeUps.p999Milliseconds, wakeUps.maxMilliseconds,
                        wakeUps.laterThan2Milliseconds, wakeUps.wakeUps);
                } catch (const std::exception& error) {
                    fmt::print("rate {}: failed: {}\n\n", rate, error.what());
                    summaries[rate].push_back(RunSummary{});
                    status = 1;
                }
                std::fflush(stdout);
            }
        }
        if (arguments.repeat > 1) {
            fmt::print("{}", formatSummary(summaries));
        }
        server.unloadModule(module);
        return status;
    } catch (const std::exception& error) {
        fmt::print(stderr, "av-sync: {}\n", error.what());
        return 1;
    }
}
