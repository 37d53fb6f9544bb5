#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/decoders/subtitles/Subtitles.h"
#include "media-player/media-types/Packet.h"

namespace quillon::subtitlestest {

// A media file opened with its first subtitle stream.
struct SubtitlesFile {
    explicit SubtitlesFile(const std::string& path);

    // Every packet of the subtitle stream, in file order.
    std::vector<PacketRef> readSubtitlePackets();

    AVFormatContextPointer context;
    AVStream* stream = nullptr;
};

// A stream made by hand (no file) whose decoder can be built from it: the format context owns
// the stream.
struct HandMadeStream {
    HandMadeStream(AVCodecID codecID, const std::string& extradata = {}, int width = 0,
                   int height = 0, AVRational timeBase = {1, 1000});

    AVFormatContextPointer context;
    AVStream* stream = nullptr;
};

// A packet that holds a copy of the bytes (plus FFmpeg's padding).
PacketRef makePacket(const std::string& bytes, std::int64_t pts, std::int64_t duration);

// The text of plain or formatted subtitles, the formatted ones joined with "\n".
std::string plainText(const Subtitles& subtitles);

// Every frame of the file's subtitle stream, the drained ones included.
std::vector<SubtitlesFrame> decodeAllFrames(const std::string& path);

double seconds(platform::CMTime time);

}  // namespace quillon::subtitlestest
