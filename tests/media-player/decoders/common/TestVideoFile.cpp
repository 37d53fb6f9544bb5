#include "TestVideoFile.h"

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>

namespace quillon::testing {

namespace {

bool run(const std::string& command) {
    return std::system(command.c_str()) == 0;
}

// Removes the generated file's folder when the test process ends.
struct TemporaryFolder {
    std::string path;
    ~TemporaryFolder() {
        if (!path.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    }
};

std::string generateVideoFile() {
    static TemporaryFolder temporary;
    char pattern[] = "/tmp/quillon-decoders-common-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        return {};
    }
    temporary.path = pattern;
    const std::string folder = pattern;
    const std::string path = folder + "/gop.mkv";
    const std::string input = "-f lavfi -i testsrc2=size=64x48:rate=25:duration=2";
    const std::string common =
        "ffmpeg -nostdin -hide_banner -loglevel error -y " + input + " -pix_fmt yuv420p -g 10 ";
    if (run(common + "-c:v libx264 -preset veryfast -threads 1 -keyint_min 10 -sc_threshold 0 " +
            path) ||
        run(common + "-c:v mpeg2video -bf 2 " + path)) {
        return path;
    }
    return {};
}

}  // namespace

std::string smallVideoFilePath() {
    static std::once_flag once;
    static std::string path;
    std::call_once(once, [] {
        const std::filesystem::path shared =
            std::filesystem::path(QUILLON_TEST_MEDIA_DIR) / "gop-1s.mkv";
        path = std::filesystem::exists(shared) ? shared.string() : generateVideoFile();
    });
    return path;
}

TestVideoFile::TestVideoFile(const std::string& path) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        throw std::runtime_error("cannot open " + path);
    }
    context.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0) {
        throw std::runtime_error("cannot probe " + path);
    }
    const int index = av_find_best_stream(raw, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0) {
        throw std::runtime_error("no video stream in " + path);
    }
    stream = raw->streams[index];
}

std::vector<PacketRef> TestVideoFile::readVideoPackets() {
    std::vector<PacketRef> packets;
    AVPacketPointer packet(av_packet_alloc());
    while (av_read_frame(context.get(), packet.get()) >= 0) {
        if (packet->stream_index == stream->index) {
            packets.push_back(Packet::make(*packet));
        } else {
            av_packet_unref(packet.get());
        }
    }
    return packets;
}

void TestVideoFile::seek(std::int64_t pts) {
    if (av_seek_frame(context.get(), stream->index, pts, AVSEEK_FLAG_BACKWARD) < 0) {
        throw std::runtime_error(fmt::format("cannot seek to {}", pts));
    }
}

}  // namespace quillon::testing
