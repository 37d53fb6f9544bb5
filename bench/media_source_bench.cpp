// The media source against the ffmpeg command line on the same files, three measures:
//
//   open       MediaSource::load until the default video track's first decoded sample buffer,
//              against `ffmpeg -i FILE -frames:v 1 -f null -`;
//   decode     the whole file's default video and audio tracks read through the source (each on
//              a thread of its own, as the two data providers read) and decoded through decode
//              sessions, against `ffmpeg -threads 0 -i FILE -f null -`;
//   demux      the whole file's default video and audio packets read through the source, nothing
//              decoded, against `ffmpeg -i FILE -c copy -f null -`: no target, it tells how much
//              of the decoding time is the source's own;
//   seek       load, seek the visual tracks to a target 9 s after a key frame and decode forward
//              to the first picture that covers it (the visual data provider's seek filter),
//              against `ffmpeg -ss T -i FILE -frames:v 1 -f null -` (ffmpeg's accurate seek).
//
//   media_source_bench compare [--runs N] [--seek SECONDS] FILE...   the table (run-media-source)
//   media_source_bench open|decode|demux FILE | seek FILE SECONDS     one run of the player's side
//
// Every contestant runs in a child process of its own, start-up included for both sides, the two
// taking turns run by run so that a change in the machine's load weighs on both alike; the table
// shows the median of the runs. A child of the player's side prints what it decoded, so that a
// run that decoded nothing cannot pass for a fast one. Like the player, it logs a packet that
// fails to read or decode and goes on (a read failure ends that track), so that the player's side
// also serves as a whole-file decoder of damaged files.

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>
#include <QGuiApplication>

#include "media-player/data-providers/DataProviderFailureLog.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/DefaultTrackSelection.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/URL.h"

using namespace quillon;
using platform::CMTime;

namespace {

// ---------------------------------------------------------------------------------------------
// The player's side, one measure per child process.

std::shared_ptr<MediaSource> load(const std::string& path) {
    std::promise<std::shared_ptr<MediaSource>> loaded;
    MediaSource::load(
        platform::URL::fileURL(path),
        [&](std::shared_ptr<MediaSource> source) { loaded.set_value(std::move(source)); },
        [&](const MediaSource::LoadError& error) {
            loaded.set_exception(std::make_exception_ptr(
                std::runtime_error("cannot load " + path + ": " + error.debugDescription())));
        });
    return loaded.get_future().get();
}

std::shared_ptr<VideoTrack> defaultVideoTrack(const MediaSource& source) {
    auto video = selectDefaultTracks(source).video;
    if (!video) {
        throw std::runtime_error("no video track");
    }
    return video;
}

// Reads and decodes visual packets until `done` holds or the file ends (then drains), as the
// visual data provider does: a packet that fails to decode is logged and skipped, a failed read
// ends the track.
void decodeVideoUntil(const MediaSource& source, const std::shared_ptr<VideoTrack>& video,
                      CoreMediaCompatibleDecodeSession& session, const bool& done) {
    while (!done) {
        std::optional<VisualPacket> read;
        try {
            read = readVisualPacket(source, video, {});
        } catch (...) {
            logDataProviderFailure("Failed to read packet from video/subtitles tracks: ");
            return;
        }
        if (!read) {
            try {
                session.drain();
            } catch (...) {
                // The drain logged its own line.
            }
            return;
        }
        try {
            session.decode(*read->packet);
        } catch (...) {
            logDataProviderFailure("Failed to start decoding video packet: ");
        }
    }
}

// The audio data provider's loop over a whole track, with its handling of failures.
void decodeAudio(const MediaSource& source, const AudioTrack& track,
                 CoreMediaCompatibleDecodeSession& session) {
    while (true) {
        PacketRef packet;
        try {
            packet = readAudioPacketOnQueue(source, track);
        } catch (...) {
            logDataProviderFailure("Failed to read packet from audio track: ");
            return;
        }
        if (!packet) {
            break;
        }
        try {
            session.decode(*packet);
        } catch (...) {
            logDataProviderFailure("Failed to start decoding audio packet: ");
        }
    }
    try {
        session.drain();
    } catch (...) {
    }
}

int openToFirstFrame(const std::string& path) {
    auto source = load(path);
    auto video = defaultVideoTrack(*source);
    bool gotFrame = false;
    CoreMediaCompatibleDecodeSession session(
        video->decoder(), [&](const platform::CMSampleBufferRef&) { gotFrame = true; });
    video->decoder()->flush();
    decodeVideoUntil(*source, video, session, gotFrame);
    std::printf("frames=%d\n", gotFrame ? 1 : 0);
    return gotFrame ? 0 : 1;
}

int decodeWholeFile(const std::string& path) {
    auto source = load(path);
    const DefaultTracks tracks = selectDefaultTracks(*source);
    std::atomic<long> videoFrames = 0;
    std::atomic<long> audioBuffers = 0;
    {
        // Joined when the scope ends, whatever the video side does meanwhile.
        std::jthread audio;
        if (tracks.audio) {
            audio = std::jthread([&] {
                CoreMediaCompatibleDecodeSession session(
                    tracks.audio->decoder(),
                    [&](const platform::CMSampleBufferRef&) { ++audioBuffers; });
                tracks.audio->decoder()->flush();
                decodeAudio(*source, *tracks.audio, session);
            });
        }
        if (tracks.video) {
            CoreMediaCompatibleDecodeSession session(
                tracks.video->decoder(),
                [&](const platform::CMSampleBufferRef&) { ++videoFrames; });
            tracks.video->decoder()->flush();
            const bool never = false;
            decodeVideoUntil(*source, tracks.video, session, never);
        }
    }
    std::printf("frames=%ld audio-buffers=%ld\n", videoFrames.load(), audioBuffers.load());
    return videoFrames > 0 ? 0 : 1;
}

int demuxWholeFile(const std::string& path) {
    auto source = load(path);
    const DefaultTracks tracks = selectDefaultTracks(*source);
    std::atomic<long> videoPackets = 0;
    std::atomic<long> audioPackets = 0;
    {
        std::jthread audio;
        if (tracks.audio) {
            audio = std::jthread([&] {
                try {
                    while (readAudioPacketOnQueue(*source, *tracks.audio)) {
                        ++audioPackets;
                    }
                } catch (...) {
                    logDataProviderFailure("Failed to read packet from audio track: ");
                }
            });
        }
        try {
            while (tracks.video && readVisualPacket(*source, tracks.video, {})) {
                ++videoPackets;
            }
        } catch (...) {
            logDataProviderFailure("Failed to read packet from video/subtitles tracks: ");
        }
    }
    std::printf("video-packets=%ld audio-packets=%ld\n", videoPackets.load(), audioPackets.load());
    return videoPackets + audioPackets > 0 ? 0 : 1;
}

int seekAndDecode(const std::string& path, double seconds) {
    auto source = load(path);
    auto video = defaultVideoTrack(*source);
    const CMTime target =
        platform::CMTimeAdd(source->startTime(), platform::CMTimeMakeWithSeconds(seconds, 90000));
    std::optional<CMTime> shown;
    bool found = false;
    // The visual data provider's seek filter: the first picture that covers the target, or the
    // first after it.
    CoreMediaCompatibleDecodeSession session(
        video->decoder(), [&](const platform::CMSampleBufferRef& buffer) {
            if (found) {
                return;
            }
            const CMTime start = platform::CMSampleBufferGetPresentationTimeStamp(buffer);
            const CMTime end =
                platform::CMTimeAdd(start, platform::CMSampleBufferGetDuration(buffer));
            if ((platform::CMTIME_IS_VALID(end) && start <= target && target < end) ||
                start > target) {
                found = true;
                shown = start;
            }
        });
    video->decoder()->flush();
    // The visual data provider seeks the selected embedded subtitles with the picture; of what
    // the seek read of them, the cues whose packets span the target are on screen there (told
    // from the packets: decoding text needs the fonts of a GUI application).
    std::vector<std::shared_ptr<SubtitlesTrack>> subtitles;
    if (!source->embeddedSubtitlesTracks().empty()) {
        subtitles.push_back(source->embeddedSubtitlesTracks().front());
    }
    PacketsByTrack packets;
    try {
        packets = seekVisualTracks(*source, video, subtitles, target);
    } catch (...) {
        logDataProviderFailure("Failed to seek visual tracks: ");
    }
    for (const PacketRef& packet : packets.packets(*video)) {
        try {
            session.decode(*packet);
        } catch (...) {
            logDataProviderFailure("Failed to start decoding video packet: ");
        }
    }
    std::size_t cuesOnScreen = 0;
    for (const auto& track : subtitles) {
        const AVRational timeBase = track->streamTimeBase();
        for (const PacketRef& packet : packets.packets(*track)) {
            const AVPacket& read = packet->avPacket();
            const CMTime start = platform::CMTimeMake(read.pts * timeBase.num, timeBase.den);
            const CMTime end = platform::CMTimeAdd(
                start, platform::CMTimeMake(read.duration * timeBase.num, timeBase.den));
            cuesOnScreen += read.pts != AV_NOPTS_VALUE && start <= target && target < end;
        }
    }
    decodeVideoUntil(*source, video, session, found);
    if (!shown) {
        std::fprintf(stderr, "no picture at or after the target\n");
        return 1;
    }
    std::printf("frames=1 shown=%.3f cues=%zu\n",
                platform::CMTimeGetSeconds(platform::CMTimeSubtract(*shown, source->startTime())),
                cuesOnScreen);
    return 0;
}

// ---------------------------------------------------------------------------------------------
// The comparison.

struct Run {
    double milliseconds = 0;
    std::string output;
};

// Runs the command in a child process and times it from fork to exit. Its standard output is
// kept; its standard error (FFmpeg's and the decoder's notes) is shown only when it fails.
Run runChild(const std::vector<std::string>& command) {
    int output[2];
    if (pipe(output) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::unique_ptr<FILE, int (*)(FILE*)> errors(std::tmpfile(), &std::fclose);
    if (!errors) {
        throw std::runtime_error("tmpfile failed");
    }
    std::vector<char*> arguments;
    for (const std::string& argument : command) {
        arguments.push_back(const_cast<char*>(argument.c_str()));
    }
    arguments.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        throw std::runtime_error("fork failed");
    }
    if (child == 0) {
        dup2(output[1], STDOUT_FILENO);
        dup2(fileno(errors.get()), STDERR_FILENO);
        close(output[0]);
        close(output[1]);
        execvp(arguments[0], arguments.data());
        std::perror("execvp");
        _exit(127);
    }
    close(output[1]);
    Run run;
    char chunk[256];
    for (ssize_t count; (count = read(output[0], chunk, sizeof chunk)) > 0;) {
        run.output.append(chunk, static_cast<std::size_t>(count));
    }
    close(output[0]);
    int status = 0;
    if (waitpid(child, &status, 0) != child) {
        throw std::runtime_error("waitpid failed");
    }
    run.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::rewind(errors.get());
        for (std::size_t count; (count = std::fread(chunk, 1, sizeof chunk, errors.get())) > 0;) {
            std::fwrite(chunk, 1, count, stderr);
        }
        throw std::runtime_error(fmt::format("`{}` failed", fmt::join(command, " ")));
    }
    while (!run.output.empty() && run.output.back() == '\n') {
        run.output.pop_back();
    }
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::string selfPath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        throw std::runtime_error("cannot find this program's path");
    }
    return std::string(path, static_cast<std::size_t>(length));
}

struct Measure {
    std::string name;
    std::vector<std::string> ffmpeg;
    std::vector<std::string> quillon;
    // Decoding is compared by speed (ffmpeg's time over ours, the higher the better), the two
    // latencies by time (ours over ffmpeg's, the lower the better).
    bool comparesSpeed;
    // None for a measure that only explains another.
    std::optional<double> target;
};

std::vector<Measure> measures(const std::string& self, const std::string& file,
                              double seekSeconds) {
    const std::vector<std::string> quiet = {"ffmpeg",    "-nostdin", "-hide_banner",
                                            "-loglevel", "error",    "-nostats"};
    const auto ffmpeg = [&](std::vector<std::string> arguments) {
        std::vector<std::string> command = quiet;
        command.insert(command.end(), arguments.begin(), arguments.end());
        return command;
    };
    const std::string seconds = fmt::format("{}", seekSeconds);
    return {
        {"open to 1st frame",
         ffmpeg({"-i", file, "-frames:v", "1", "-f", "null", "-"}),
         {self, "open", file},
         false,
         1.0},
        {"whole-file decode",
         ffmpeg({"-threads", "0", "-i", file, "-f", "null", "-"}),
         {self, "decode", file},
         true,
         0.95},
        {"whole-file demux",
         ffmpeg({"-i", file, "-map", "0:v:0", "-map", "0:a:0?", "-c", "copy", "-f", "null", "-"}),
         {self, "demux", file},
         true,
         std::nullopt},
        {fmt::format("seek to {} s", seconds),
         ffmpeg({"-ss", seconds, "-i", file, "-frames:v", "1", "-f", "null", "-"}),
         {self, "seek", file, seconds},
         false,
         1.0},
    };
}

int compare(int argc, char** argv) {
    int runs = 5;
    double seekSeconds = 19;
    std::vector<std::string> files;
    for (int index = 2; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--runs" && index + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++index]));
        } else if (argument == "--seek" && index + 1 < argc) {
            seekSeconds = std::atof(argv[++index]);
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s compare [--runs N] [--seek SECONDS] FILE...\n", argv[0]);
        return 2;
    }
    const std::string self = selfPath();
    fmt::print(
        "Median of {} runs; each contestant is a process of its own (start-up included), the two "
        "taking turns.\nLatencies compare time (quillon / ffmpeg, target at most the figure "
        "given); decoding compares speed (ffmpeg / quillon, target at least the figure given).\n\n",
        runs);
    fmt::print("{:<26} {:<19} {:>10} {:>11} {:>7}  {:<8} {}\n", "file", "measure", "ffmpeg ms",
               "quillon ms", "ratio", "target", "player's output");
    int missed = 0;
    for (const std::string& file : files) {
        const std::string name = file.substr(file.find_last_of('/') + 1);
        bool first = true;
        for (const Measure& measure : measures(self, file, seekSeconds)) {
            std::vector<double> ffmpegTimes;
            std::vector<double> quillonTimes;
            std::string output;
            for (int run = 0; run < runs; ++run) {
                ffmpegTimes.push_back(runChild(measure.ffmpeg).milliseconds);
                const Run ours = runChild(measure.quillon);
                quillonTimes.push_back(ours.milliseconds);
                output = ours.output;
            }
            const double ffmpegMedian = median(ffmpegTimes);
            const double quillonMedian = median(quillonTimes);
            const double ratio =
                measure.comparesSpeed ? ffmpegMedian / quillonMedian : quillonMedian / ffmpegMedian;
            std::string target = "-";
            if (measure.target) {
                const bool met =
                    measure.comparesSpeed ? ratio >= *measure.target : ratio <= *measure.target;
                missed += met ? 0 : 1;
                target =
                    fmt::format("{}{:.2f}x{}", measure.comparesSpeed ? ">=" : "<=", *measure.target,
                                met ? "" : "!");
            }
            fmt::print("{:<26} {:<19} {:>10.1f} {:>11.1f} {:>6.2f}x  {:<8} {}\n", first ? name : "",
                       measure.name, ffmpegMedian, quillonMedian, ratio, target, output);
            std::fflush(stdout);
            first = false;
        }
    }
    fmt::print("\n{} measure(s) missed their target (marked !).\n", missed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s compare [--runs N] [--seek SECONDS] FILE... | open|decode|demux "
                     "FILE | seek FILE SECONDS\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    try {
        if (mode == "compare") {
            return compare(argc, argv);
        }
        // A source's subtitles tracks look fonts up for their text styles, which takes a GUI
        // application; the offscreen platform needs no display.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        int applicationArgc = 1;
        QGuiApplication application(applicationArgc, argv);
        if (mode == "open" && argc == 3) {
            return openToFirstFrame(argv[2]);
        }
        if (mode == "decode" && argc == 3) {
            return decodeWholeFile(argv[2]);
        }
        if (mode == "demux" && argc == 3) {
            return demuxWholeFile(argv[2]);
        }
        if (mode == "seek" && argc == 4) {
            return seekAndDecode(argv[2], std::atof(argv[3]));
        }
        std::fprintf(stderr, "unknown mode or arguments: %s\n", mode.c_str());
        return 2;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
