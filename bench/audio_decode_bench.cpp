// Decodes whole 60-second files (AAC 5.1, FLAC stereo) with the player's audio decoder into
// sample buffers, and the same files with libavcodec alone and with the ffmpeg command line
// (`ffmpeg -threads 0 -i FILE -f null -`) as references. Prints the best time of each, the
// player's speed as a fraction of each reference's (1.00 = as fast; the target is at least
// 0.95), and each run's peak resident memory.
//
//   build-<dir>/bench/audio_decode_bench [rounds]
//
// The files are made once with the ffmpeg command line into the benchmark's cache folder
// (QUILLON_AUDIO_BENCH_CACHE, next to the executable's build folder) and reused afterwards.
// Every measurement runs in a child process of its own, so that its peak memory is its own, and
// the decoders take turns round by round; each reports its best time over the rounds.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include <fmt/format.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "media-player/decoders/audio/FFmpegAudioDecoder.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"

#ifndef QUILLON_AUDIO_BENCH_CACHE
#error "QUILLON_AUDIO_BENCH_CACHE names the folder of the generated files"
#endif

using namespace quillon;
namespace fs = std::filesystem;

namespace {

struct Source {
    const char* name;
    const char* file;
    // ffmpeg arguments that make the file from a lavfi source.
    std::vector<std::string> arguments;
};

// A distinct tone per channel with a little noise, so that the encoders have real work.
std::string tones(const char* layout, int channels) {
    std::string expressions;
    for (int channel = 0; channel < channels; ++channel) {
        expressions += fmt::format("{}0.3*sin({}*2*PI*t)+0.05*(random({})-0.5)",
                                   channel == 0 ? "" : "|", 220 + 110 * channel, channel);
    }
    return fmt::format("aevalsrc=exprs={}:channel_layout={}:sample_rate=48000:duration=60",
                       expressions, layout);
}

std::vector<Source> sources() {
    return {
        {"AAC 5.1",
         "aac-5.1-60s.m4a",
         {"-f", "lavfi", "-i", tones("5.1", 6), "-c:a", "aac", "-b:a", "384k"}},
        {"FLAC stereo",
         "flac-stereo-60s.flac",
         {"-f", "lavfi", "-i", tones("stereo", 2), "-c:a", "flac", "-sample_fmt", "s16"}},
    };
}

int run(const std::vector<std::string>& arguments, bool quiet) {
    const pid_t child = fork();
    if (child == 0) {
        if (quiet) {
            std::freopen("/dev/null", "w", stdout);
            std::freopen("/dev/null", "w", stderr);
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
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Makes the file unless the cache has it; a half-written file never takes the final name.
fs::path prepare(const Source& source) {
    const fs::path folder = QUILLON_AUDIO_BENCH_CACHE;
    fs::create_directories(folder);
    const fs::path path = folder / source.file;
    if (fs::exists(path) && fs::file_size(path) > 0) {
        return path;
    }
    const fs::path scratch = folder / (std::string(".partial-") + source.file);
    std::vector<std::string> command{"ffmpeg",    "-nostdin", "-hide_banner",
                                     "-loglevel", "error",    "-y"};
    command.insert(command.end(), source.arguments.begin(), source.arguments.end());
    command.push_back("-f");
    command.push_back(path.extension() == ".flac" ? "flac" : "mp4");
    command.push_back(scratch.string());
    fmt::print("Generating {} ...\n", path.string());
    std::fflush(stdout);
    if (run(command, false) != 0) {
        fmt::print(stderr, "ffmpeg could not make {}\n", path.string());
        std::exit(1);
    }
    fs::rename(scratch, path);
    return path;
}

// Demuxes the file's audio stream and hands every packet to `decode`, then calls `drain`.
struct Demuxer {
    explicit Demuxer(const fs::path& path) {
        if (avformat_open_input(&context, path.c_str(), nullptr, nullptr) < 0 ||
            avformat_find_stream_info(context, nullptr) < 0) {
            std::abort();
        }
        index = av_find_best_stream(context, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index < 0) {
            std::abort();
        }
    }
    ~Demuxer() { avformat_close_input(&context); }
    const AVStream& stream() const { return *context->streams[index]; }

    template <typename Handle>
    void forEachPacket(Handle&& handle) {
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(context, packet) >= 0) {
            if (packet->stream_index == index) {
                handle(*packet);
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }

    AVFormatContext* context = nullptr;
    int index = -1;
};

// The player's decoder through a decode session; sample buffers are dropped as they come, as
// a renderer that keeps up would.
std::int64_t decodeWithPlayer(const fs::path& path) {
    Demuxer demuxer(path);
    std::int64_t frames = 0;
    CoreMediaCompatibleDecodeSession session(
        FFmpegAudioDecoder::make(demuxer.stream()), [&](platform::CMSampleBufferRef buffer) {
            frames += platform::CMSampleBufferGetNumSamples(buffer);
        });
    demuxer.forEachPacket([&](AVPacket& packet) {
        const Packet owned(packet);
        session.decode(owned);
    });
    session.drain();
    return frames;
}

// The same decoder opened the same way, with nothing after it.
std::int64_t decodeWithLibavcodec(const fs::path& path) {
    Demuxer demuxer(path);
    const AVCodecParameters* parameters = demuxer.stream().codecpar;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, parameters);
    context->pkt_timebase = demuxer.stream().time_base;
    avcodec_open2(context, codec, nullptr);
    AVFrame* frame = av_frame_alloc();
    std::int64_t frames = 0;
    auto receive = [&] {
        while (avcodec_receive_frame(context, frame) >= 0) {
            frames += frame->nb_samples;
            av_frame_unref(frame);
        }
    };
    demuxer.forEachPacket([&](AVPacket& packet) {
        while (avcodec_send_packet(context, &packet) == AVERROR(EAGAIN)) {
            receive();
        }
        receive();
    });
    avcodec_send_packet(context, nullptr);
    receive();
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return frames;
}

struct Measurement {
    double bestSeconds = std::numeric_limits<double>::infinity();
    long peakKilobytes = 0;
};

double seconds(std::chrono::steady_clock::duration duration) {
    return std::chrono::duration<double>(duration).count();
}

// Runs `work` twice in a child process and reports the better time and the child's peak
// resident memory. The first run pays for what the process touches first.
Measurement measureInChild(const std::function<void()>& work) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        std::abort();
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        double best = std::numeric_limits<double>::infinity();
        for (int run = 0; run < 2; ++run) {
            const auto start = std::chrono::steady_clock::now();
            work();
            best = std::min(best, seconds(std::chrono::steady_clock::now() - start));
        }
        if (write(pipeEnds[1], &best, sizeof best) != sizeof best) {
            _exit(1);
        }
        _exit(0);
    }
    close(pipeEnds[1]);
    Measurement measurement;
    if (read(pipeEnds[0], &measurement.bestSeconds, sizeof measurement.bestSeconds) !=
        sizeof measurement.bestSeconds) {
        measurement.bestSeconds = std::numeric_limits<double>::quiet_NaN();
    }
    close(pipeEnds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    measurement.peakKilobytes = usage.ru_maxrss;
    return measurement;
}

// One run of the command line in a process of its own.
Measurement measureCommandLine(const fs::path& path) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        execlp("ffmpeg", "ffmpeg", "-nostdin", "-threads", "0", "-i", path.c_str(), "-f", "null",
               "-", static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        fmt::print(stderr, "ffmpeg failed on {}\n", path.string());
        std::exit(1);
    }
    return {seconds(std::chrono::steady_clock::now() - start), usage.ru_maxrss};
}

// The best time and the largest peak of several measurements.
void keepBest(Measurement& best, const Measurement& measurement) {
    best.bestSeconds = std::min(best.bestSeconds, measurement.bestSeconds);
    best.peakKilobytes = std::max(best.peakKilobytes, measurement.peakKilobytes);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
    // "time ratio" is the row's time over the player's: above 1, the player is faster.
    fmt::print("{:<12} {:>22} {:>12} {:>11} {:>10}\n", "file", "decoder", "best time", "time ratio",
               "peak RSS");
    bool metTarget = true;
    for (const Source& source : sources()) {
        const fs::path path = prepare(source);
        // Same frame counts, or the comparison means nothing.
        const std::int64_t ours = decodeWithPlayer(path);
        const std::int64_t theirs = decodeWithLibavcodec(path);
        if (ours != theirs) {
            fmt::print(stderr, "{}: the player gave {} frames, libavcodec {}\n", source.name, ours,
                       theirs);
            return 1;
        }
        // Rounds take turns, so that a busy machine slows every decoder alike.
        Measurement player;
        Measurement libavcodec;
        Measurement commandLine;
        for (int round = 0; round < rounds; ++round) {
            keepBest(player, measureInChild([&] { decodeWithPlayer(path); }));
            keepBest(libavcodec, measureInChild([&] { decodeWithLibavcodec(path); }));
            keepBest(commandLine, measureCommandLine(path));
        }
        auto row = [&](const char* decoder, const Measurement& measurement) {
            fmt::print("{:<12} {:>22} {:>10.1f}ms {:>11.3f} {:>8.1f}MB\n", source.name, decoder,
                       measurement.bestSeconds * 1000, measurement.bestSeconds / player.bestSeconds,
                       measurement.peakKilobytes / 1024.0);
        };
        row("player (sample bufs)", player);
        row("libavcodec alone", libavcodec);
        row("ffmpeg -threads 0 CLI", commandLine);
        const double versusLibavcodec = libavcodec.bestSeconds / player.bestSeconds;
        const double versusCommandLine = commandLine.bestSeconds / player.bestSeconds;
        fmt::print(
            "{:<12} speed vs libavcodec alone: {:.3f}   vs ffmpeg CLI: {:.3f}   "
            "({} frames)\n\n",
            source.name, versusLibavcodec, versusCommandLine, ours);
        metTarget = metTarget && versusCommandLine >= 0.95;
    }
    fmt::print("Target (player >= 0.95 x the ffmpeg CLI): {}\n", metTarget ? "met" : "NOT met");
    return 0;
}
