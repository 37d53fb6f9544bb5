// Opening files whose containers behave unlike the everyday ones: late first timestamps, raw
// elementary streams that cannot be sought, transport streams whose streams start late or never,
// files cut short, pixel shapes and display matrices that only the container states. The files
// are made here with the ffmpeg tool or byte by byte, or come from the generated test media.

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
}

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/common/FFmpegLog.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"
#include "platform/coremedia/CMTime.h"
#include "platform/foundation/Log.h"

using namespace quillon;
using namespace quillon::test;
using platform::CMTime;

namespace {

namespace fs = std::filesystem;

class MediaSourceContainerQuirks : public FFmpegWrittenMediaTest<MediaSourceContainerQuirks> {
protected:
    // Runs ffmpeg with `arguments` to write `name` in the suite's folder; its path.
    static std::string make(const std::string& name, const std::string& arguments) {
        return writeWithFFmpeg(name, arguments, false);
    }

    static std::shared_ptr<MediaSource> open(const std::string& path,
                                             CMTime fallbackDuration = platform::kCMTimeInvalid,
                                             bool requiresDuration = true) {
        return MediaSource::make(platform::URL::fileURL(path), fallbackDuration, requiresDuration);
    }
};

constexpr const char* kThreeSecondsOfVideoAndAudio =
    "-f lavfi -i testsrc=size=64x48:rate=25 -f lavfi -i sine=f=440:r=48000 -t 3 -c:v libx264 "
    "-c:a aac";

TEST_F(MediaSourceContainerQuirks, DurationIsMeasuredFromTheStartTimeInEveryContainer) {
    for (const char* extension : {"mkv", "mp4", "ts"}) {
        const std::string late =
            make(std::string("late.") + extension,
                 std::string(kThreeSecondsOfVideoAndAudio) + " -output_ts_offset 10");
        const auto source = open(late);
        const double start = platform::CMTimeGetSeconds(source->startTime());
        const double duration = platform::CMTimeGetSeconds(source->duration());
        // The transport stream adds its mux delay to the start; Matroska and MP4 start the
        // audio a little early for the encoder's priming.
        EXPECT_GE(start, 9.9) << extension;
        EXPECT_LT(start, 12) << extension;
        EXPECT_GE(duration, 2.9) << extension;
        EXPECT_LE(duration, 3.2) << extension;

        const std::string onTime =
            make(std::string("on-time.") + extension, kThreeSecondsOfVideoAndAudio);
        const auto control = open(onTime);
        EXPECT_LT(platform::CMTimeGetSeconds(control->startTime()), 2) << extension;
        EXPECT_GE(platform::CMTimeGetSeconds(control->duration()), 2.9) << extension;
        EXPECT_LE(platform::CMTimeGetSeconds(control->duration()), 3.2) << extension;
    }
}

// With a late first block, Matroska writers measure the segment's duration differently: FFmpeg's
// muxer up to the end of the last block, mkvmerge from the first block on. mkvmerge also keeps
// its input's "ENCODER" tag, which then names FFmpeg. Either file ends where its blocks do.
TEST_F(MediaSourceContainerQuirks, AMatroskaFileEndsWithItsBlocksWhicheverToolWroteIt) {
    const std::string byFFmpeg = make(
        "late-by-ffmpeg.mkv", std::string(kThreeSecondsOfVideoAndAudio) + " -output_ts_offset 1");
    const std::string byMkvmerge = (*directory_ / "late-by-mkvmerge.mkv").string();
    const std::string command = "mkvmerge --quiet -o '" + byMkvmerge + "' '" + byFFmpeg + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command << " (mkvmerge comes with mkvtoolnix)";

    for (const std::string& path : {byFFmpeg, byMkvmerge}) {
        const auto source = open(path);
        const double start = platform::CMTimeGetSeconds(source->startTime());
        const double duration = platform::CMTimeGetSeconds(source->duration());
        // The audio starts a little early for the encoder's priming, and its last block ends a
        // little after the pictures.
        EXPECT_NEAR(start, 1, 0.05) << path;
        EXPECT_NEAR(start + duration, 4, 0.05) << path;
    }
}

// Releases of films with styled subtitles carry their fonts as Matroska attachments, of types
// FFmpeg may not know ("font/ttf"). The stream probe then finds no codec parameters for them and
// says so; attachments are registered as fonts, never decoded, so that is no warning of the
// file's.
TEST_F(MediaSourceContainerQuirks, AMatroskaFileWithFontAttachmentsOpensWithoutAWarning) {
    const std::string film =
        make("plain.mkv", std::string(kThreeSecondsOfVideoAndAudio) + " -shortest");
    const std::string withFonts = (*directory_ / "with-fonts.mkv").string();
    const std::string fonts = (*directory_ / "fonts").string();
    std::filesystem::create_directories(fonts);
    // The declared type is what FFmpeg goes by; the fonts are real, as a broken one is warned of.
    for (const char* name : {"Title.ttf", "Dialogue.otf"}) {
        std::filesystem::copy_file(mediaPath("attached-font-serif.ttf"), fonts + "/" + name,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    const std::string merge = "mkvmerge --quiet -o '" + withFonts +
                              "' --attachment-mime-type font/ttf --attach-file '" + fonts +
                              "/Title.ttf' --attachment-mime-type font/otf --attach-file '" +
                              fonts + "/Dialogue.otf' '" + film + "'";
    ASSERT_EQ(std::system(merge.c_str()), 0) << merge << " (mkvmerge comes with mkvtoolnix)";

    installFFmpegLogCallback();
    platform::ScopedLogCapture capture;
    const auto source = open(withFonts);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    ASSERT_EQ(source->audioTracks().size(), 1u);
    // The probe's complaint is kept for the full log, as a debug line.
    EXPECT_EQ(capture.levelOf("Could not find codec parameters for stream 2 (Attachment: none)"),
              platform::LogLevel::debug);
    // Its advice reads the same for every such file, and a line is written once per process:
    // another film with attachments opened before in this process has had it written already.
    if (const auto advice =
            capture.levelOf("Consider increasing the value for the 'analyzeduration'")) {
        EXPECT_EQ(*advice, platform::LogLevel::debug);
    }
    for (const auto& line : capture.entries()) {
        EXPECT_LT(line.level, platform::LogLevel::warning) << line.text;
    }
}

// A raw stream has no timestamps to seek by and no duration. Opened as a subtitle file is (given
// a duration, none looked for), its packets come from the very first on; seeking it later fails
// as an error, not a crash.
TEST_F(MediaSourceContainerQuirks, ARawVideoStreamOpensAtItsStartAndFailsLaterSeeksCleanly) {
    const std::string path =
        make("raw.h264", "-f lavfi -i testsrc=size=64x48:rate=25:duration=1 -c:v libx264");
    const auto source = open(path, platform::CMTimeMake(1, 1), false);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    const auto& video = source->videoTracks().front();

    int packets = 0;
    bool firstIsKeyFrame = false;
    while (auto read = readVisualPacket(*source, video, {})) {
        if (packets++ == 0) {
            firstIsKeyFrame = (read->packet->avPacket().flags & AV_PKT_FLAG_KEY) != 0;
        }
    }
    EXPECT_EQ(packets, 25);
    EXPECT_TRUE(firstIsKeyFrame);

    EXPECT_THROW(seekVisualTracks(*source, video, {}, platform::CMTimeMake(1, 2)), FFmpegError);

    // Through the loading path its duration is found by reading it.
    const auto outcome = loadAndWait(platform::URL::fileURL(path));
    ASSERT_EQ(outcome.completionCount, 1);
    EXPECT_EQ(platform::CMTimeGetSeconds(outcome.source->duration()), 1.0);
}

// A raw audio stream states a duration (from its bit rate) but no start time: it loads, and
// reads from its first packet.
TEST_F(MediaSourceContainerQuirks, ARawAudioStreamLoadsAndReadsFromItsFirstPacket) {
    const std::string path = make("raw.aac", "-f lavfi -i sine=r=48000:duration=2 -c:a aac");
    const auto outcome = loadAndWait(platform::URL::fileURL(path));
    ASSERT_EQ(outcome.completionCount, 1);
    const auto& source = *outcome.source;
    ASSERT_EQ(source.audioTracks().size(), 1u);
    PacketRef first = readAudioPacketOnQueue(source, *source.audioTracks().front());
    ASSERT_TRUE(first);
    EXPECT_EQ(first->avPacket().pos, 0);
}

std::atomic<int> seekbackWarnings{0};

void countSeekbackWarnings(void* object, int level, const char* format, va_list arguments) {
    if (format != nullptr && std::strstr(format, "seekback") != nullptr) {
        ++seekbackWarnings;
    }
    ffmpegLogCallback(object, level, format, arguments);
}

// Megabytes of pictures before the audio's first packet: found only when probing reads past
// FFmpeg's usual bound, which must not make the demuxer try to keep all of it for seeking back.
TEST_F(MediaSourceContainerQuirks, ATransportStreamsLateAudioIsFoundWithoutAnUnboundedSeekback) {
    const std::string path =
        make("late-audio.ts",
             "-f lavfi -i testsrc2=size=640x360:rate=25:duration=10 -itsoffset 8 -f lavfi -i "
             "sine=f=440:r=48000:duration=2 -map 0 -map 1 -c:v mpeg2video -q:v 2 -g 1 -c:a mp2");
    ASSERT_GT(fs::file_size(path), 6'000'000u);

    seekbackWarnings = 0;
    // Opening installs the program's callback once; this one goes in front of it.
    installFFmpegLogCallback();
    av_log_set_callback(countSeekbackWarnings);
    std::shared_ptr<MediaSource> source;
    EXPECT_NO_THROW(source = open(path));
    av_log_set_callback(ffmpegLogCallback);
    EXPECT_EQ(seekbackWarnings.load(), 0);

    ASSERT_TRUE(source);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    ASSERT_EQ(source->audioTracks().size(), 1u);
    const auto& properties = source->audioTracks().front()->decoder()->audioProperties();
    EXPECT_EQ(properties.bufferLevelProperties.sampleRate, 48000);
    EXPECT_EQ(properties.bufferLevelProperties.channelCount, 1);
}

// ffprobe's display aspect ratio of the file's first video stream, as "16:9".
std::string ffprobeDisplayAspectRatio(const std::string& path) {
    const std::string command =
        "ffprobe -v error -select_streams v:0 -show_entries stream=display_aspect_ratio -of "
        "default=noprint_wrappers=1:nokey=1 '" +
        path + "'";
    std::string output;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[64];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    return output;
}

// Muxers mark anamorphic pictures in the container (Matroska's display size, MP4's 'pasp' box)
// while the bitstream says square pixels; the picture is shown as FFmpeg's tools show it.
TEST_F(MediaSourceContainerQuirks, AnamorphicPicturesAreShownAtTheContainersDisplayAspectRatio) {
    for (const char* name : {"anamorphic-16x9.mkv", "anamorphic-16x9.mp4", "sar-4x3.mkv"}) {
        SCOPED_TRACE(name);
        const std::string path = mediaPath(name);
        const std::string ratio = ffprobeDisplayAspectRatio(path);
        ASSERT_EQ(ratio, "16:9");
        const auto source = open(path);
        ASSERT_EQ(source->videoTracks().size(), 1u);
        const VideoDimensions& dimensions = source->videoTracks().front()->dimensions();
        EXPECT_EQ(dimensions.width, 120);
        EXPECT_EQ(dimensions.height, 90);
        EXPECT_DOUBLE_EQ(dimensions.pixelAspectRatio, 4.0 / 3.0);
        EXPECT_DOUBLE_EQ(dimensions.effectiveSize.width, 160);
        EXPECT_DOUBLE_EQ(dimensions.effectiveSize.height, 90);
        EXPECT_DOUBLE_EQ(dimensions.aspectRatio, 16.0 / 9.0);
    }
}

// Where the 'tkhd' box of the file's first track keeps its matrix.
std::size_t firstTrackMatrixOffset(const std::vector<char>& bytes) {
    const std::string_view view(bytes.data(), bytes.size());
    const std::size_t box = view.find("tkhd");
    if (box == std::string_view::npos || box + 5 > bytes.size()) {
        return std::string_view::npos;
    }
    // Version and flags, the times, track ID and duration (wider in version 1), then reserved
    // words, layer, alternate group and volume.
    const bool version1 = bytes[box + 4] == 1;
    return box + 4 + 4 + (version1 ? 32 : 20) + 16;
}

// Some MP4 writers leave the track header's matrix all zeros: taken at its word, it maps the
// picture onto a point, a 0x0 picture with a NaN aspect ratio.
TEST_F(MediaSourceContainerQuirks, AnAllZeroDisplayMatrixCountsAsNone) {
    std::ifstream original(mediaPath("h264-aac.mp4"), std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(original), {}};
    const std::size_t matrix = firstTrackMatrixOffset(bytes);
    ASSERT_LT(matrix + 36, bytes.size());
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(matrix), 36, '\0');
    const fs::path path = *directory_ / "zero-matrix.mp4";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size()));
    ASSERT_EQ(std::system(("ffprobe -v error -show_entries stream_side_data=side_data_type '" +
                           path.string() + "' | grep -q 'Display Matrix'")
                              .c_str()),
              0)
        << "FFmpeg no longer reports the zeroed matrix";

    const auto source = open(path.string());
    ASSERT_EQ(source->videoTracks().size(), 1u);
    const VideoDimensions& dimensions = source->videoTracks().front()->dimensions();
    EXPECT_FALSE(dimensions.displayTransform);
    EXPECT_DOUBLE_EQ(dimensions.effectiveSize.width, 160);
    EXPECT_DOUBLE_EQ(dimensions.effectiveSize.height, 90);
    EXPECT_DOUBLE_EQ(dimensions.aspectRatio, 16.0 / 9.0);
}

// A broadcast recording may declare a stream in its programme table that never carries a packet.
// The stream search gives it up rather than read the whole file, and it becomes no track: it has
// nothing to play, and would be a silent default choice.
TEST_F(MediaSourceContainerQuirks, AStreamWithoutParametersBecomesNoTrack) {
    const auto outcome = loadAndWait(mediaURL("silent-stream.ts"));
    ASSERT_EQ(outcome.completionCount, 1);
    const auto& source = *outcome.source;
    EXPECT_EQ(source.mediaType(), MediaType::video);
    EXPECT_EQ(source.videoTracks().size(), 1u);
    EXPECT_TRUE(source.audioTracks().empty());
    EXPECT_TRUE(source.embeddedSubtitlesTracks().empty());
    EXPECT_EQ(source.formatContextForAudioTracks().nb_streams, 2u);
}

// The first part of a Matroska file, as a stopped download leaves it: the index at the end is
// missing, and when the stream search has read to the end of the data, the demuxer fails the
// seek to the start (looking for a later key frame than the one it knows). The file
// plays from its start, and seeks within what is there work.
TEST_F(MediaSourceContainerQuirks, ACutDownloadPlaysFromItsStartAndSeeksWithinItsData) {
    const std::string whole = make(
        "whole.mkv",
        "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 -f lavfi -i sine=f=440:r=48000 -t 4 "
        "-c:v libx264 -g 1000 -c:a aac -fflags +bitexact -flags +bitexact");
    std::ifstream original(whole, std::ios::binary);
    std::vector<char> bytes{std::istreambuf_iterator<char>(original), {}};
    // Cut where the stream search reaches the end of the data: the demuxer has then met no
    // key frame but the first, and no index tells it of others.
    const fs::path path = *directory_ / "cut.mkv";
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<long>(bytes.size() / 6));

    platform::ScopedLogCapture log;
    const auto outcome = loadAndWait(platform::URL::fileURL(path.string()));
    ASSERT_EQ(outcome.completionCount, 1);
    EXPECT_TRUE(log.contains(
        "Reading the media from where it was opened, as it cannot be sought to its start."))
        << "the file no longer has the property this test is about";
    const auto& source = *outcome.source;
    ASSERT_EQ(source.videoTracks().size(), 1u);
    ASSERT_EQ(source.audioTracks().size(), 1u);
    const auto& video = source.videoTracks().front();
    const auto& audio = source.audioTracks().front();

    auto first = readVisualPacket(source, video, {});
    ASSERT_TRUE(first);
    EXPECT_NE(first->packet->avPacket().flags & AV_PKT_FLAG_KEY, 0);
    EXPECT_LT(first->packet->avPacket().pts, 100);
    PacketRef firstAudio = readAudioPacketOnQueue(source, *audio);
    ASSERT_TRUE(firstAudio);
    EXPECT_LT(firstAudio->avPacket().pts, 100);

    const PacketsByTrack within = seekVisualTracks(source, video, {}, platform::CMTimeMake(1, 2));
    const auto& packets = within.packets(*video);
    ASSERT_FALSE(packets.empty());
    EXPECT_NE(packets.front()->avPacket().flags & AV_PKT_FLAG_KEY, 0);
    EXPECT_GE(packets.back()->avPacket().pts, 500);

    // Past the end of the data the seek reads to the end of what is there, as at any end of file.
    const PacketsByTrack beyond = seekVisualTracks(source, video, {}, platform::CMTimeMake(7, 2));
    ASSERT_FALSE(beyond.packets(*video).empty());
    EXPECT_LT(beyond.packets(*video).back()->avPacket().pts, 3500);
    EXPECT_FALSE(readVisualPacket(source, video, {}));
}

// A recording still being written: a thread of its own appends a finished file's bytes to it,
// one stretch each time it is asked, as a recorder would.
class GrowingRecording {
public:
    GrowingRecording(const std::string& finished, fs::path path, std::vector<std::size_t> ends)
        : path_(std::move(path)), ends_(std::move(ends)) {
        std::ifstream input(finished, std::ios::binary);
        bytes_.assign(std::istreambuf_iterator<char>(input), {});
        std::ofstream(path_, std::ios::binary | std::ios::trunc);
        writer_ = std::thread([this] { write(); });
    }

    ~GrowingRecording() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
        writer_.join();
    }

    GrowingRecording(const GrowingRecording&) = delete;
    GrowingRecording& operator=(const GrowingRecording&) = delete;

    const fs::path& path() const { return path_; }

    // Asks for the next stretch and returns once it is in the file.
    void grow() {
        std::unique_lock lock(mutex_);
        const std::size_t wanted = ++asked_;
        changed_.notify_all();
        changed_.wait(lock, [&] { return written_ >= wanted; });
    }

private:
    void write() {
        std::unique_lock lock(mutex_);
        while (true) {
            changed_.wait(lock, [&] { return stopping_ || asked_ > written_; });
            if (asked_ <= written_ || written_ >= ends_.size()) {
                return;
            }
            const std::size_t begin = written_ == 0 ? 0 : ends_[written_ - 1];
            const std::size_t end = std::min(ends_[written_], bytes_.size());
            std::ofstream(path_, std::ios::binary | std::ios::app)
                .write(bytes_.data() + begin, static_cast<std::streamsize>(end - begin));
            ++written_;
            changed_.notify_all();
        }
    }

    fs::path path_;
    std::vector<std::size_t> ends_;
    std::vector<char> bytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t asked_ = 0;
    std::size_t written_ = 0;
    bool stopping_ = false;
    std::thread writer_;
};

// FFmpeg names the format it probed in one debug line per opening of a file. The second
// opening of the growing recording (the audio context's) finds it grown first.
std::atomic<GrowingRecording*> recordingToGrow{nullptr};
std::atomic<int> recordingOpenings{0};

void growBeforeTheSecondOpening(void* object, int level, const char* format, va_list arguments) {
    GrowingRecording* recording = recordingToGrow.load();
    if (recording != nullptr && object != nullptr && format != nullptr &&
        std::string_view(format).starts_with("Format %s probed") &&
        std::string_view((*static_cast<AVClass**>(object))->class_name) == "AVFormatContext" &&
        std::string_view(static_cast<AVFormatContext*>(object)->url)
            .ends_with(recording->path().filename().string()) &&
        ++recordingOpenings == 2) {
        recording->grow();
    }
    ffmpegLogCallback(object, level, format, arguments);
}

// Every packet of the source's first video and audio tracks, read from where it stands.
std::pair<int, int> countPackets(const MediaSource& source) {
    int video = 0;
    while (readVisualPacket(source, source.videoTracks().front(), {})) {
        ++video;
    }
    int audio = 0;
    while (readAudioPacketOnQueue(source, *source.audioTracks().front())) {
        ++audio;
    }
    return {video, audio};
}

// The two contexts are opened one after the other, and a recorder writes on in between: the
// second finds a longer file. The same streams on the same time line are the same file; the
// source opens, takes the longer duration, and plays on into what is written after it opened.
TEST_F(MediaSourceContainerQuirks, ARecordingThatGrowsWhileItOpensLoadsAndPlaysOn) {
    const std::string finished =
        make("recording.ts",
             "-f lavfi -i testsrc=size=64x48:rate=25:duration=4 -f lavfi -i "
             "sine=f=440:r=48000:duration=4 -c:v libx264 -c:a aac");
    const std::size_t size = fs::file_size(finished);
    GrowingRecording recording(finished, *directory_ / "growing.ts",
                               {size * 2 / 5, size * 7 / 10, size});
    recording.grow();

    // The file as the second opening finds it.
    const fs::path grown = *directory_ / "grown.ts";
    {
        std::ifstream input(finished, std::ios::binary);
        std::vector<char> bytes(size * 7 / 10);
        input.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::ofstream(grown, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    recordingOpenings = 0;
    recordingToGrow = &recording;
    // Installed first, or the program's own callback would take its place at the first opening.
    installFFmpegLogCallback();
    av_log_set_callback(growBeforeTheSecondOpening);
    const auto outcome = loadAndWait(platform::URL::fileURL(recording.path().string()));
    av_log_set_callback(ffmpegLogCallback);
    recordingToGrow = nullptr;

    ASSERT_GE(recordingOpenings.load(), 2) << "FFmpeg no longer names the formats it probes";
    ASSERT_EQ(outcome.completionCount, 1)
        << (outcome.error ? outcome.error->failureReason().value_or("") : "");
    const auto& source = *outcome.source;
    ASSERT_EQ(source.videoTracks().size(), 1u);
    ASSERT_EQ(source.audioTracks().size(), 1u);
    const auto asOpenedLast = open(grown.string());
    EXPECT_EQ(platform::CMTimeCompare(source.duration(), asOpenedLast->duration()), 0)
        << platform::CMTimeGetSeconds(source.duration()) << " s, not "
        << platform::CMTimeGetSeconds(asOpenedLast->duration()) << " s";

    // The recorder finishes while the file plays: every packet of the finished file is read.
    recording.grow();
    EXPECT_EQ(countPackets(source), countPackets(*open(finished)));
}

}  // namespace
