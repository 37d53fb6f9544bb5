// Decodes whole video files with the player's video decoder (packets through a decode session
// into sample buffers of pooled pixel buffers) and, in the same run, with two references: the
// ffmpeg command line (`ffmpeg -threads 0 -i FILE -f null -`) and libavcodec alone with the
// decoder's own thread count. Every contestant runs in a child process of its own, so that each
// gets a clean heap and its peak resident memory (ru_maxrss) can be read from wait4.
//
//   video_decode_bench compare [--runs N] [--pair INTERLACED PROGRESSIVE] FILE...
//                                                   the table (bench/run-video-decode runs this);
//                                                   a pair (decoded like the other files) is one
//                                                   film interlaced and progressive, whose CPU
//                                                   per frame is set side by side: what showing
//                                                   the interlaced one deinterlaced costs
//   video_decode_bench quillon FILE                 one decode with the player's decoder
//   video_decode_bench libavcodec FILE              one decode with libavcodec alone
//   video_decode_bench libavcodec-auto FILE         the same with libavcodec's own thread count
//                                                   (thread_count 0, what `-threads 0` asks for)
//
// A child prints "frames=<n>"; the parent times the whole child (start-up and demuxing
// included, the same for every contestant) and keeps the median of the runs.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <fmt/format.h>
#include <fmt/ranges.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/video/DecoderThreadCount.h"
#include "media-player/decoders/video/FFmpegVideoDecoder.h"

using namespace quillon;

namespace {

// The file's best video stream, read packet by packet.
class Demuxer {
public:
    explicit Demuxer(const std::string& path) {
        AVFormatContext* raw = nullptr;
        if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
            throw std::runtime_error("cannot open " + path);
        }
        context_.reset(raw);
        if (avformat_find_stream_info(raw, nullptr) < 0) {
            throw std::runtime_error("cannot probe " + path);
        }
        const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
        if (index < 0) {
            throw std::runtime_error("no video stream in " + path);
        }
        stream_ = raw->streams[index];
        packet_.reset(av_packet_alloc());
    }

    const AVStream& stream() const { return *stream_; }

    // The next packet of the stream, filled into the reused packet; null at the end.
    AVPacket* read() {
        av_packet_unref(packet_.get());
        while (av_read_frame(context_.get(), packet_.get()) >= 0) {
            if (packet_->stream_index == stream_->index) {
                return packet_.get();
            }
            av_packet_unref(packet_.get());
        }
        return nullptr;
    }

private:
    AVFormatContextPointer context_;
    AVStream* stream_ = nullptr;
    AVPacketPointer packet_;
};

// The player's path: every packet through the decode session; the sample buffers are dropped at
// once, so their pixel buffers go back to the pool as they would after display.
long decodeWithPlayerDecoder(const std::string& path) {
    Demuxer demuxer(path);
    auto decoder = std::make_shared<FFmpegVideoDecoder>(demuxer.stream());
    long frames = 0;
    CoreMediaCompatibleDecodeSession session(decoder,
                                             [&](const platform::CMSampleBufferRef&) { ++frames; });
    while (AVPacket* read = demuxer.read()) {
        const Packet packet(*read);
        session.decode(packet);
    }
    session.drain();
    return frames;
}

long decodeWithLibavcodec(const std::string& path, int threadCount) {
    Demuxer demuxer(path);
    const AVCodec* codec = avcodec_find_decoder(demuxer.stream().codecpar->codec_id);
    if (codec == nullptr) {
        throw std::runtime_error("no decoder for " + path);
    }
    AVCodecContextPointer context(avcodec_alloc_context3(codec));
    avcodec_parameters_to_context(context.get(), demuxer.stream().codecpar);
    context->pkt_timebase = demuxer.stream().time_base;
    context->thread_count = threadCount;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) {
        throw std::runtime_error("cannot open the decoder of " + path);
    }
    AVFramePointer frame(av_frame_alloc());
    long frames = 0;
    const auto receive = [&] {
        while (avcodec_receive_frame(context.get(), frame.get()) >= 0) {
            ++frames;
            av_frame_unref(frame.get());
        }
    };
    while (AVPacket* packet = demuxer.read()) {
        while (avcodec_send_packet(context.get(), packet) == AVERROR(EAGAIN)) {
            receive();
        }
        receive();
    }
    avcodec_send_packet(context.get(), nullptr);
    receive();
    return frames;
}

struct Run {
    double seconds = 0;
    double cpuSeconds = 0;
    long maximumResidentKilobytes = 0;
    std::optional<long> frames;
};

// Runs the command in a child process and times it; its standard output is read for a
// "frames=" line, its standard error (the decoder's hardware probing, FFmpeg's notes) is shown
// only when it fails.
Run runChild(const std::vector<std::string>& command) {
    int output[2];
    if (pipe(output) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::unique_ptr<FILE, int (*)(FILE*)> errors(std::tmpfile(), &std::fclose);
    if (!errors) {
        throw std::runtime_error("tmpfile failed");
    }
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
        std::vector<char*> arguments;
        for (const std::string& argument : command) {
            arguments.push_back(const_cast<char*>(argument.c_str()));
        }
        arguments.push_back(nullptr);
        execvp(arguments[0], arguments.data());
        std::perror("execvp");
        _exit(127);
    }
    close(output[1]);
    std::string text;
    char chunk[256];
    for (ssize_t count; (count = read(output[0], chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(count));
    }
    close(output[0]);
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        throw std::runtime_error("wait4 failed");
    }
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.maximumResidentKilobytes = usage.ru_maxrss;
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::rewind(errors.get());
        for (std::size_t count; (count = std::fread(chunk, 1, sizeof chunk, errors.get())) > 0;) {
            std::fwrite(chunk, 1, count, stderr);
        }
        throw std::runtime_error(fmt::format("`{}` failed", fmt::join(command, " ")));
    }
    if (const auto at = text.find("frames="); at != std::string::npos) {
        run.frames = std::strtol(text.c_str() + at + 7, nullptr, 10);
    }
    return run;
}

// The run of median time (the lower middle one of an even count), which carries its CPU time,
// with the largest peak memory seen in any run: on a shared machine the fastest run tells more
// about the load's lulls than about the decoder.
Run medianRun(std::vector<Run> runs) {
    long memory = 0;
    for (const Run& run : runs) {
        memory = std::max(memory, run.maximumResidentKilobytes);
    }
    std::sort(runs.begin(), runs.end(),
              [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
    Run median = runs[(runs.size() - 1) / 2];
    median.maximumResidentKilobytes = memory;
    return median;
}

std::string selfPath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        throw std::runtime_error("cannot find this program's path");
    }
    return std::string(path, static_cast<std::size_t>(length));
}

// The typical runs of one file, by contestant, and its frame count.
struct FileResult {
    std::vector<Run> typical;
    long frames = 0;
};

// CPU per frame of the player's decoder and of libavcodec alone, interlaced against progressive:
// libavcodec does not deinterlace, so what the player's decoder adds on top of its ratio is the
// deinterlacing.
void printPair(const std::string& interlaced, const FileResult& i, const std::string& progressive,
               const FileResult& p) {
    const auto cpuPerFrame = [](const FileResult& result, std::size_t contestant) {
        return result.typical[contestant].cpuSeconds * 1000 / static_cast<double>(result.frames);
    };
    const auto name = [](const std::string& file) { return file.substr(file.rfind('/') + 1); };
    const double playerI = cpuPerFrame(i, 2), playerP = cpuPerFrame(p, 2);
    const double lavcI = cpuPerFrame(i, 1), lavcP = cpuPerFrame(p, 1);
    fmt::print(
        "\n{} against {} (CPU ms per frame):\n"
        "  quillon     {:.2f} against {:.2f}  x{:.2f}\n"
        "  libavcodec  {:.2f} against {:.2f}  x{:.2f}\n"
        "  deinterlacing costs about {:.2f} ms CPU per frame ({:.0f}% of the player's decoding of "
        "the interlaced film)\n",
        name(interlaced), name(progressive), playerI, playerP, playerI / playerP, lavcI, lavcP,
        lavcI / lavcP, (playerI - lavcI) - (playerP - lavcP),
        100 * ((playerI - lavcI) - (playerP - lavcP)) / playerI);
}

int compare(int argc, char** argv) {
    int runs = 3;
    std::vector<std::string> files;
    std::vector<std::pair<std::string, std::string>> pairs;
    for (int index = 2; index < argc; ++index) {
        const std::string argument = argv[index];
        if (argument == "--runs" && index + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++index]));
        } else if (argument == "--pair" && index + 2 < argc) {
            pairs.emplace_back(argv[index + 1], argv[index + 2]);
            files.push_back(argv[index + 1]);
            files.push_back(argv[index + 2]);
            index += 2;
        } else {
            files.push_back(argument);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s compare [--runs N] FILE...\n", argv[0]);
        return 2;
    }
    const std::string self = selfPath();
    fmt::print(
        "Whole files, median of {} runs each, the contestants taking turns. The player's decoder "
        "and libavcodec alone decode with {} threads; ffmpeg -threads 0 and lavc auto let "
        "libavcodec pick its own. CPU is user + system time per frame; memory is the peak "
        "resident size.\n\n",
        runs, decoderThreadCount());
    fmt::print("{:<22} {:<11} {:>6} {:>8} {:>9} {:>8} {:>8} {:>8}\n", "file", "decoder", "frames",
               "fps", "/ffmpeg", "/lavc", "CPU ms", "MiB");
    bool countsAgree = true;
    std::map<std::string, FileResult> results;
    for (const std::string& file : files) {
        const std::vector<std::pair<std::string, std::vector<std::string>>> contestants = {
            {"ffmpeg",
             {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-nostats", "-threads",
              "0", "-i", file, "-f", "null", "-"}},
            {"libavcodec", {self, "libavcodec", file}},
            {"quillon", {self, "quillon", file}},
            // Not a target: tells how much of the gap to ffmpeg is its larger thread count.
            {"lavc auto", {self, "libavcodec-auto", file}},
        };
        // Taking turns, a change in the machine's load while the runs go on weighs on all alike.
        std::vector<std::vector<Run>> timed(contestants.size());
        for (int run = 0; run < runs; ++run) {
            for (std::size_t index = 0; index < contestants.size(); ++index) {
                timed[index].push_back(runChild(contestants[index].second));
            }
        }
        std::vector<Run> typical;
        for (const std::vector<Run>& runsOfOne : timed) {
            typical.push_back(medianRun(runsOfOne));
        }
        // ffmpeg prints no count here; it decodes the same pictures as the other two.
        const long frames = typical[2].frames.value_or(0);
        countsAgree = countsAgree && typical[1].frames == typical[2].frames;
        const auto fps = [frames](const Run& run) { return frames / run.seconds; };
        const std::string name = file.substr(file.find_last_of('/') + 1);
        for (std::size_t index = 0; index < contestants.size(); ++index) {
            const Run& run = typical[index];
            fmt::print(
                "{:<22} {:<11} {:>6} {:>8.1f} {:>9.3f} {:>8.3f} {:>8.2f} {:>8.0f}{}\n",
                index == 0 ? name : "", contestants[index].first, run.frames.value_or(frames),
                fps(run), fps(run) / fps(typical[0]), fps(run) / fps(typical[1]),
                run.cpuSeconds * 1000 / frames, run.maximumResidentKilobytes / 1024.0,
                index == 2 && typical[1].frames != typical[2].frames ? "  (frame counts differ!)"
                                                                     : "");
        }
        std::fflush(stdout);
        results[file] = {typical, frames};
    }
    for (const auto& [interlaced, progressive] : pairs) {
        printPair(interlaced, results.at(interlaced), progressive, results.at(progressive));
    }
    return countsAgree ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: %s compare [--runs N] FILE... | quillon FILE | libavcodec FILE\n",
                     argv[0]);
        return 2;
    }
    const std::string mode = argv[1];
    try {
        if (mode == "compare") {
            return compare(argc, argv);
        }
        if (argc != 3) {
            std::fprintf(stderr, "usage: %s %s FILE\n", argv[0], mode.c_str());
            return 2;
        }
        long frames = 0;
        if (mode == "quillon") {
            frames = decodeWithPlayerDecoder(argv[2]);
        } else if (mode == "libavcodec") {
            frames = decodeWithLibavcodec(argv[2], decoderThreadCount());
        } else if (mode == "libavcodec-auto") {
            frames = decodeWithLibavcodec(argv[2], 0);
        } else {
            std::fprintf(stderr, "unknown mode %s\n", mode.c_str());
            return 2;
        }
        std::printf("frames=%ld\n", frames);
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
