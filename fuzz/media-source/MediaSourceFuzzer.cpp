// libFuzzer target of the whole input path: an input is a media file. It is written to a file and
// opened with MediaSource::load, as a document opens; then every packet of every track is read
// through the source's two contexts and decoded by the tracks' own decoders (video, audio,
// subtitles), and both contexts are sought to the middle of the file and decoded on from there,
// as the data providers do after a seek. Build and run instructions are in fuzz/README.md.
//
// An input is bounded in work, not only by libFuzzer's -timeout and -rss_limit_mb: each pass
// stops after packetLimit packets or when the input's time budget is spent, and FFmpeg refuses
// single allocations above ffmpegAllocationLimit (a header may claim a picture of any size).

#include <unistd.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

extern "C" {
#include <libavutil/mem.h>
}

#include "OffscreenApplication.h"
#include "media-player/decoders/common/CoreMediaCompatibleDecodeSession.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coremedia/CMBlockBuffer.h"
#include "platform/coremedia/CMSampleBuffer.h"
#include "platform/coremedia/CMTime.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/URL.h"

namespace {

using namespace quillon;
using platform::CMTime;

constexpr std::size_t packetLimit = 2000;
constexpr std::size_t packetsAfterSeek = 200;
constexpr auto timeBudget = std::chrono::seconds(5);
constexpr std::size_t ffmpegAllocationLimit = std::size_t{256} << 20;

volatile std::uint8_t sink;

// The work an input may still do.
class Budget {
public:
    Budget() : deadline_(std::chrono::steady_clock::now() + timeBudget) {}
    bool spent() const { return std::chrono::steady_clock::now() > deadline_; }

private:
    std::chrono::steady_clock::time_point deadline_;
};

// Reads the first and the last byte of every plane, so that a buffer shorter than its geometry
// shows up under AddressSanitizer without reading every pixel of every picture.
void touchPixels(const platform::CVPixelBufferRef& image) {
    platform::CVPixelBufferLockBaseAddress(image, platform::kCVPixelBufferLock_ReadOnly);
    const auto touchPlane = [](const void* base, std::size_t bytesPerRow, std::size_t height) {
        if (base != nullptr && bytesPerRow > 0 && height > 0) {
            const auto* bytes = static_cast<const std::uint8_t*>(base);
            sink = static_cast<std::uint8_t>(sink + bytes[0] + bytes[bytesPerRow * height - 1]);
        }
    };
    if (platform::CVPixelBufferIsPlanar(image)) {
        for (std::size_t plane = 0; plane < platform::CVPixelBufferGetPlaneCount(image); ++plane) {
            touchPlane(platform::CVPixelBufferGetBaseAddressOfPlane(image, plane),
                       platform::CVPixelBufferGetBytesPerRowOfPlane(image, plane),
                       platform::CVPixelBufferGetHeightOfPlane(image, plane));
        }
    } else {
        touchPlane(platform::CVPixelBufferGetBaseAddress(image),
                   platform::CVPixelBufferGetBytesPerRow(image),
                   platform::CVPixelBufferGetHeight(image));
    }
    platform::CVPixelBufferUnlockBaseAddress(image, platform::kCVPixelBufferLock_ReadOnly);
}

void touchSampleBuffer(const platform::CMSampleBufferRef& buffer) {
    (void)platform::CMSampleBufferGetPresentationTimeStamp(buffer);
    if (platform::CVImageBufferRef image = platform::CMSampleBufferGetImageBuffer(buffer)) {
        touchPixels(image);
    }
    if (platform::CMBlockBufferRef data = platform::CMSampleBufferGetDataBuffer(buffer)) {
        const std::size_t length = platform::CMBlockBufferGetDataLength(data);
        std::uint8_t edges[2] = {};
        if (length > 0 &&
            platform::CMBlockBufferCopyDataBytes(data, 0, 1, &edges[0]) == platform::noErr &&
            platform::CMBlockBufferCopyDataBytes(data, length - 1, 1, &edges[1]) ==
                platform::noErr) {
            sink = static_cast<std::uint8_t>(sink + edges[0] + edges[1]);
        }
    }
}

void touchSubtitlesFrames(const std::vector<SubtitlesFrame>& frames) {
    for (const SubtitlesFrame& frame : frames) {
        if (const auto* images = frame.subtitles.imageSubtitles()) {
            for (const ImageSubtitle& image : *images) {
                touchPixels(image.image);
            }
        } else if (const auto* formatted = frame.subtitles.formattedTextSubtitles()) {
            for (const FormattedTextSubtitle& subtitle : *formatted) {
                sink = static_cast<std::uint8_t>(sink + subtitle.formattedText->string().size());
            }
        } else if (const TextSubtitle* text = frame.subtitles.textSubtitle()) {
            sink = static_cast<std::uint8_t>(sink + text->text.size());
        }
    }
}

// The decoders of the visual side: the video track's (when there is one) and every subtitles
// track's. A decoder that fails on a packet is logged by the session and goes on with the next,
// as in the visual data provider.
class VisualDecoding {
public:
    VisualDecoding(std::shared_ptr<VideoTrack> video,
                   std::span<const std::shared_ptr<SubtitlesTrack>> subtitles)
        : video_(std::move(video)), subtitles_(subtitles) {
        if (video_) {
            session_.emplace(video_->decoder(), touchSampleBuffer);
        }
        flush();
    }

    void flush() {
        if (video_) {
            video_->decoder()->flush();
        }
        for (const auto& track : subtitles_) {
            track->decoder()->flush();
        }
    }

    void decode(const MediaTrack& track, Packet& packet) {
        try {
            if (session_ && &track == video_.get()) {
                session_->decode(packet);
                return;
            }
            for (const auto& subtitles : subtitles_) {
                if (&track == subtitles.get()) {
                    touchSubtitlesFrames(subtitles->decoder()->decode(packet));
                }
            }
        } catch (const platform::Error&) {
        }
    }

    void decode(const PacketsByTrack& packets) {
        for (const auto& entry : packets.entries()) {
            for (const PacketRef& packet : entry.packets) {
                decode(*entry.track, *packet);
            }
        }
    }

    void drain() {
        try {
            if (session_) {
                session_->drain();
            }
        } catch (const platform::Error&) {
        }
        for (const auto& track : subtitles_) {
            try {
                touchSubtitlesFrames(drainSubtitlesFrameDecoder(*track->decoder()));
            } catch (const platform::Error&) {
            }
        }
    }

    // Reads and decodes until the file ends, `limit` packets were read or the budget is spent.
    void readOn(const MediaSource& source, std::size_t limit, const Budget& budget) {
        for (std::size_t count = 0; count < limit && !budget.spent(); ++count) {
            std::optional<VisualPacket> read;
            try {
                read = readVisualPacket(source, video_, subtitles_);
            } catch (const platform::Error&) {
                return;  // logged; the visual data provider stops reading there too
            }
            if (!read) {
                return;
            }
            decode(*read->track, *read->packet);
        }
    }

private:
    std::shared_ptr<VideoTrack> video_;
    std::span<const std::shared_ptr<SubtitlesTrack>> subtitles_;
    std::optional<CoreMediaCompatibleDecodeSession> session_;
};

// A pass over a context starts where the source left it (at the start: raw streams cannot seek
// back to it, they were never moved), a later pass seeks back there first.
void decodeVisualTracks(const MediaSource& source, const std::shared_ptr<VideoTrack>& video,
                        bool seekToStart, CMTime middle, const Budget& budget) {
    const auto& subtitles = source.embeddedSubtitlesTracks();
    VisualDecoding decoding(video, subtitles);
    if (seekToStart) {
        try {
            decoding.decode(seekVisualTracks(source, video, subtitles, source.startTime()));
        } catch (const platform::Error&) {
        }
    }
    decoding.readOn(source, packetLimit, budget);
    decoding.drain();

    decoding.flush();
    try {
        decoding.decode(seekVisualTracks(source, video, subtitles, middle));
    } catch (const platform::Error&) {
        return;
    }
    decoding.readOn(source, packetsAfterSeek, budget);
    decoding.drain();
}

void decodeAudioTrack(const MediaSource& source, const std::shared_ptr<AudioTrack>& track,
                      bool seekToStart, CMTime middle, const Budget& budget) {
    CoreMediaCompatibleDecodeSession session(track->decoder(), touchSampleBuffer);
    const auto decodeAll = [&](const std::vector<PacketRef>& packets) {
        for (const PacketRef& packet : packets) {
            try {
                session.decode(*packet);
            } catch (const platform::Error&) {
            }
        }
    };
    const auto readOn = [&](std::size_t limit) {
        for (std::size_t count = 0; count < limit && !budget.spent(); ++count) {
            PacketRef packet;
            try {
                packet = readAudioPacketOnQueue(source, *track);
            } catch (const platform::Error&) {
                return;
            }
            if (!packet) {
                return;
            }
            decodeAll({packet});
        }
    };
    const auto drain = [&] {
        try {
            session.drain();
        } catch (const platform::Error&) {
        }
    };

    track->decoder()->flush();
    if (seekToStart) {
        try {
            decodeAll(seekAudioTrackOnQueue(source, track, source.startTime()));
        } catch (const platform::Error&) {
        }
    }
    readOn(packetLimit);
    drain();

    track->decoder()->flush();
    try {
        decodeAll(seekAudioTrackOnQueue(source, track, middle));
    } catch (const platform::Error&) {
        return;
    }
    readOn(packetsAfterSeek);
    drain();
}

using LoadResult = std::variant<std::shared_ptr<MediaSource>, MediaSource::LoadError::Kind>;

LoadResult load(const std::string& path) {
    std::promise<LoadResult> loaded;
    MediaSource::load(
        platform::URL::fileURL(path),
        [&loaded](std::shared_ptr<MediaSource> source) { loaded.set_value(std::move(source)); },
        [&loaded](const MediaSource::LoadError& error) { loaded.set_value(error.kind()); },
        std::make_shared<NoSiblingSubtitlesScanner>());
    return loaded.get_future().get();
}

// A subtitle file is also what a document attaches (most have no duration of their own, so
// that they open only that way): opened by `host` as external subtitles, its text encoding
// detected and set on the tracks' decoders, then read and decoded through its own source as the
// external subtitles data provider does.
void decodeAsExternalSubtitles(const MediaSource& host, const Budget& budget) {
    std::promise<std::shared_ptr<MediaSource>> loaded;
    host.loadExternalSubtitles(
        host.url(), [&loaded](MediaSource::ExternalSubtitlesLoadResult result) {
            auto* externalSubtitles = std::get_if<MediaSource::ExternalSubtitles>(&result);
            loaded.set_value(externalSubtitles ? externalSubtitles->mediaSource : nullptr);
        });
    if (const auto external = loaded.get_future().get()) {
        const CMTime middle = platform::CMTimeAdd(
            external->startTime(), platform::CMTimeMultiplyByRatio(external->duration(), 1, 2));
        decodeVisualTracks(*external, nullptr, false, middle, budget);
    }
}

// The one file inputs are written to, in a folder of the process's own (libFuzzer's -jobs run
// several processes side by side), removed at exit.
const std::string& inputPath() {
    static const std::string path = [] {
        std::string folder =
            (std::filesystem::temp_directory_path() / "media-source-fuzzer-XXXXXX");
        if (mkdtemp(folder.data()) == nullptr) {
            std::perror("mkdtemp");
            std::abort();
        }
        static std::string removed = folder;
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(removed, ignored);
        });
        return folder + "/input";
    }();
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    quillon::fuzzing::startOffscreenApplication("media-source-fuzzer");
    av_max_alloc(ffmpegAllocationLimit);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        std::ofstream file(inputPath(), std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        if (!file) {
            std::abort();
        }
    }
    const Budget budget;
    const LoadResult loaded = load(inputPath());
    if (const auto* error = std::get_if<MediaSource::LoadError::Kind>(&loaded)) {
        if (*error == MediaSource::LoadError::Kind::failedToReadMediaDuration) {
            // As a subtitle file attached to a document of a minute.
            try {
                decodeAsExternalSubtitles(*MediaSource::make(platform::URL::fileURL(inputPath()),
                                                             platform::CMTimeMake(60, 1), false),
                                          budget);
            } catch (const MediaSource::LoadError&) {
            }
        }
        return 0;
    }
    const std::shared_ptr<MediaSource>& source = std::get<std::shared_ptr<MediaSource>>(loaded);

    const CMTime middle = platform::CMTimeAdd(
        source->startTime(), platform::CMTimeMultiplyByRatio(source->duration(), 1, 2));
    // Without video the subtitles tracks are still read, in a pass of their own.
    std::vector<std::shared_ptr<VideoTrack>> videoPasses = source->videoTracks();
    if (videoPasses.empty()) {
        videoPasses.push_back(nullptr);
    }
    bool seekToStart = false;
    for (const auto& video : videoPasses) {
        decodeVisualTracks(*source, video, seekToStart, middle, budget);
        seekToStart = true;
    }
    seekToStart = false;
    for (const auto& audio : source->audioTracks()) {
        decodeAudioTrack(*source, audio, seekToStart, middle, budget);
        seekToStart = true;
    }
    if (source->mediaType() == MediaType::subtitles) {
        decodeAsExternalSubtitles(*source, budget);
    }
    return 0;
}
