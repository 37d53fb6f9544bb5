#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "MediaSourceTestSupport.h"
#include "media-player/decoders/common/FFmpegCall.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceMetadata.h"
#include "platform/coremedia/CMTime.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/UUID.h"

using namespace quillon;
using namespace quillon::test;
using platform::CMTime;
using Kind = MediaSourceLoadError::Kind;

namespace {

MediaSourceLoadError openExpectingFailure(const platform::URL& url,
                                          CMTime fallback = platform::kCMTimeInvalid,
                                          bool requiresDuration = true) {
    try {
        MediaSource source(url, fallback, requiresDuration);
    } catch (const MediaSourceLoadError& error) {
        return error;
    }
    ADD_FAILURE() << "opened " << url.absoluteString();
    return MediaSourceLoadError::inconsistentReads();
}

std::vector<std::string> identifiers(const auto& tracks) {
    std::vector<std::string> ids;
    for (const auto& track : tracks) {
        ids.push_back(track->id());
    }
    return ids;
}

class TemporaryFile {
public:
    TemporaryFile(std::string_view name, std::string_view contents)
        : path_(std::filesystem::temp_directory_path() /
                (platform::UUID().uuidString() + "-" + std::string(name))) {
        std::ofstream(path_, std::ios::binary) << contents;
    }
    ~TemporaryFile() { std::filesystem::remove(path_); }
    std::string path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

}  // namespace

TEST(MediaSourceOpening, RefusesURLsThatAreNotFileURLsWithTheirSchemeAsWritten) {
    auto network = openExpectingFailure(*platform::URL::fromString("HTTPS://example.com/a.mkv"));
    ASSERT_EQ(network.kind(), Kind::unsupportedURLScheme);
    EXPECT_EQ(network.scheme(), "HTTPS");

    auto relative = openExpectingFailure(*platform::URL::fromString("movies/a.mkv"));
    ASSERT_EQ(relative.kind(), Kind::unsupportedURLScheme);
    EXPECT_EQ(relative.scheme(), "");

    // Through load, the failure is reported and nothing else.
    const auto outcome = loadAndWait(*platform::URL::fromString("rtsp://camera.local/stream"));
    EXPECT_EQ(outcome.failureCount, 1);
    EXPECT_EQ(outcome.completionCount, 0);
    ASSERT_TRUE(outcome.error);
    EXPECT_EQ(outcome.error->scheme(), "rtsp");
}

TEST(MediaSourceOpening, UnopenableFilesFailToOpenAndLeaveNothingOpen) {
    const TemporaryFile garbage("garbage.mkv", std::string(4096, '\x5a'));
    const auto url = platform::URL::fileURL(garbage.path());
    const auto error = openExpectingFailure(url);
    ASSERT_EQ(error.kind(), Kind::failedToOpenURL);
    EXPECT_EQ(error.url(), url);
    ASSERT_TRUE(dynamic_cast<const FFmpegError*>(error.underlyingError().get()));
    EXPECT_FALSE(processHasFileOpen(garbage.path()));

    const auto missing = openExpectingFailure(platform::URL::fileURL(
        (std::filesystem::temp_directory_path() / "no such file.mkv").string()));
    ASSERT_EQ(missing.kind(), Kind::failedToOpenURL);
    EXPECT_EQ(*missing.errorDescription(), "Unable to open the file.");
}

// The terminal writes each warning once, however often it comes: two files that fail alike must
// make two lines, each naming its file.
TEST(MediaSourceOpening, EachFileThatFailsToOpenHasAFailureLineNamingIt) {
    const TemporaryFile empty("empty.mkv", "");
    const TemporaryFile text("notes.avi", "Not a film: a few words of text.\n");
    platform::ScopedLogCapture log;
    for (const TemporaryFile* file : {&empty, &text}) {
        EXPECT_EQ(openExpectingFailure(platform::URL::fileURL(file->path())).kind(),
                  Kind::failedToOpenURL);
    }
    std::vector<std::string> failures;
    for (const std::string& line : log.lines()) {
        if (line.find("returned an error") != std::string::npos) {
            failures.push_back(line);
        }
    }
    const auto namingItsFile = [](const TemporaryFile& file) {
        return fmt::format(
            "In src/media-player/media-source/InputFormatContext.cpp "
            "makeInputFormatContext(for:), the FFmpeg function at line {{}} returned an error "
            "for \u201c{}\u201d: {}.",
            file.path(), ffmpegErrorString(AVERROR_INVALIDDATA));
    };
    ASSERT_EQ(failures.size(), 2u) << fmt::format("{}", fmt::join(log.lines(), "\n"));
    for (std::size_t index = 0; index < 2; ++index) {
        const std::string expected = namingItsFile(index == 0 ? empty : text);
        const std::size_t line = expected.find("{}");
        EXPECT_TRUE(failures[index].starts_with(expected.substr(0, line)) &&
                    failures[index].ends_with(expected.substr(line + 2)))
            << failures[index];
    }
}

// A pipe that a writer feeds a transport stream into is no file to open twice and seek in; it
// fails as a file that cannot be read as media does, and its line says why.
TEST(MediaSourceOpening, APipeFailsWithALineThatGivesItsReason) {
    const std::filesystem::path pipe = std::filesystem::temp_directory_path() /
                                       ("quillon-" + platform::UUID().uuidString() + "-feed.ts");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    std::atomic<bool> written = false;
    std::thread writer([&] {
        // Waits for a reader, then writes the whole stream.
        std::ofstream(pipe, std::ios::binary) << std::ifstream(mediaPath("mpeg2-mp2.ts")).rdbuf();
        written = true;
    });
    platform::ScopedLogCapture log;
    const auto error = openExpectingFailure(platform::URL::fileURL(pipe.string()));
    EXPECT_EQ(error.kind(), Kind::failedToOpenURL);
    const auto* cause = dynamic_cast<const FFmpegError*>(error.underlyingError().get());
    ASSERT_TRUE(cause);
    EXPECT_EQ(*cause, FFmpegError(AVERROR(ESPIPE)));
    EXPECT_TRUE(log.contains(fmt::format("returned an error for \u201c{}\u201d: {}.", pipe.string(),
                                         ffmpegErrorString(AVERROR(ESPIPE)))))
        << fmt::format("{}", fmt::join(log.lines(), "\n"));

    // Lets the writer finish: read what it writes, and drop it.
    const int reader = ::open(pipe.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    std::array<char, 4096> dropped{};
    while (!written) {
        pollfd readable{reader, POLLIN, 0};
        ::poll(&readable, 1, 100);
        while (::read(reader, dropped.data(), dropped.size()) > 0) {
        }
    }
    ::close(reader);
    writer.join();
    std::filesystem::remove(pipe);
}

TEST(MediaSourceOpening, FailuresAfterOpeningCloseBothContexts) {
    const std::string coverAndData = mediaPath("cover-and-data-only.mp4");
    const auto error = openExpectingFailure(platform::URL::fileURL(coverAndData));
    ASSERT_EQ(error.kind(), Kind::noDecodableTracks);
    EXPECT_EQ(error.mainMediaTypes(),
              (std::set{MediaType::video, MediaType::audio, MediaType::subtitles}));
    EXPECT_FALSE(processHasFileOpen(coverAndData));
}

TEST(MediaSourceOpening, ADestroyedSourceClosesTheFile) {
    const std::string path = mediaPath("h264-aac.mkv");
    auto source = MediaSource::make(platform::URL::fileURL(path), platform::kCMTimeInvalid, true);
    EXPECT_TRUE(processHasFileOpen(path));
    source.reset();
    EXPECT_FALSE(processHasFileOpen(path));
}

TEST(MediaSourceOpening, StartTimeIsTheContainersInMicrosecondsOrZeroWithoutOne) {
    for (const char* name : {"start-offset-10s.mkv", "start-offset-10s.ts"}) {
        auto source = MediaSource::make(mediaURL(name), platform::kCMTimeInvalid, true);
        EXPECT_EQ(source->startTime().timescale, 1000000) << name;
        EXPECT_GE(platform::CMTimeGetSeconds(source->startTime()), 9.9) << name;
        EXPECT_LT(platform::CMTimeGetSeconds(source->startTime()), 12) << name;
    }

    // A subtitle file states no start time and no duration: it starts at zero and lasts as
    // long as the media it is shown with.
    const CMTime mainDuration = platform::CMTimeMake(7200, 1);
    auto subtitles = MediaSource::make(mediaURL("subtitles.srt"), mainDuration, false);
    EXPECT_EQ(subtitles->startTime(), platform::kCMTimeZero);
    EXPECT_EQ(subtitles->duration(), mainDuration);
    EXPECT_EQ(subtitles->mediaType(), MediaType::subtitles);
    EXPECT_EQ(subtitles->embeddedSubtitlesTracks().size(), 1u);
}

TEST(MediaSourceOpening, StreamsBecomeTracksOfTheirKindWithIdentifiersFromTheirIndexes) {
    auto source = MediaSource::make(mediaURL("multi-2v3a1s.mkv"), platform::kCMTimeInvalid, true);
    const std::string id = source->id();
    ASSERT_EQ(id.size(), 36u);
    ASSERT_TRUE(platform::UUID::fromString(id));
    EXPECT_EQ(platform::UUID::fromString(id)->uuidString(), id);  // upper case

    EXPECT_EQ(source->mediaType(), MediaType::video);
    EXPECT_EQ(identifiers(source->videoTracks()), (std::vector{id + ".0", id + ".1"}));
    EXPECT_EQ(identifiers(source->audioTracks()), (std::vector{id + ".2", id + ".3", id + ".4"}));
    EXPECT_EQ(identifiers(source->embeddedSubtitlesTracks()), (std::vector{id + ".5"}));
    EXPECT_EQ(identifiers(source->allSubtitlesTracks()), (std::vector{id + ".5"}));

    using Codes = std::vector<std::string>;
    const auto& video = source->videoTracks();
    EXPECT_EQ(video[0]->languageCodes(), Codes{"en"});
    EXPECT_EQ(video[1]->languageCodes(), Codes{});  // "und"
    EXPECT_EQ(video[0]->title(), "Main picture");
    EXPECT_TRUE(video[0]->isDefault());
    EXPECT_FALSE(video[1]->isDefault());
    EXPECT_EQ(video[1]->dimensions().width, 64);

    const auto& audio = source->audioTracks();
    EXPECT_EQ(audio[0]->languageCodes(), Codes{"en"});
    EXPECT_EQ(audio[1]->languageCodes(), Codes{"fr"});
    EXPECT_EQ(audio[2]->languageCodes(), Codes{"de"});
    EXPECT_EQ(audio[2]->title(), "Kommentar");
    EXPECT_TRUE(audio[0]->isDefault());
    EXPECT_EQ(audio[1]->mediaCharacteristics(),
              MediaCharacteristics::describesVideoForAccessibility());
    EXPECT_TRUE(audio[2]->mediaCharacteristics().isEmpty());  // "comment" carries none
    EXPECT_EQ(audio[2]->decoder()->mediaType(), MediaType::audio);

    const auto& subtitles = *source->embeddedSubtitlesTracks()[0];
    EXPECT_EQ(subtitles.languageCodes(), Codes{"ja"});
    EXPECT_EQ(subtitles.title(), "Signs (SDH)");
    EXPECT_TRUE(subtitles.isForced());
    EXPECT_FALSE(subtitles.isDefault());
    EXPECT_EQ(subtitles.mediaCharacteristics(), MediaCharacteristics::hearingImpaired());
    EXPECT_EQ(subtitles.parentVideoTrack(), nullptr);

    // Both contexts hold the same streams, each behind its own queue.
    EXPECT_EQ(source->formatContextForVisualTracks().nb_streams, 6u);
    EXPECT_EQ(source->formatContextForAudioTracks().nb_streams, 6u);
    EXPECT_NE(&source->formatContextForVisualTracks(), &source->formatContextForAudioTracks());
    EXPECT_EQ(source->visualTracksQueue()->label(), "Media Source Queue (Visual Tracks)");
    EXPECT_EQ(source->audioTracksQueue()->label(), "Media Source Queue (Audio Tracks)");

    // Another opening of the same file is another source.
    auto again = MediaSource::make(mediaURL("multi-2v3a1s.mkv"), platform::kCMTimeInvalid, true);
    EXPECT_NE(again->id(), id);
}

TEST(MediaSourceOpening, AnAudioFileWithCoverArtIsAudioWithArtwork) {
    for (const char* name : {"cover-art.mp3", "cover-art.m4a"}) {
        auto source = MediaSource::make(mediaURL(name), platform::kCMTimeInvalid, true);
        EXPECT_EQ(source->mediaType(), MediaType::audio) << name;
        EXPECT_TRUE(source->videoTracks().empty()) << name;
        EXPECT_EQ(source->audioTracks().size(), 1u) << name;
        EXPECT_TRUE(source->embeddedSubtitlesTracks().empty()) << name;
        ASSERT_TRUE(source->optionalMetadata()) << name;
        ASSERT_TRUE(source->optionalMetadata()->artwork) << name;
        EXPECT_EQ(source->optionalMetadata()->artwork->width(), 64) << name;
    }
}

TEST(MediaSourceOpening, VideoTracksCarryRotationAndPixelShape) {
    auto rotated = MediaSource::make(mediaURL("rotate-90.mp4"), platform::kCMTimeInvalid, true);
    ASSERT_EQ(rotated->videoTracks().size(), 1u);
    const VideoDimensions& turned = rotated->videoTracks()[0]->dimensions();
    EXPECT_EQ(turned.width, 160);
    EXPECT_EQ(turned.height, 90);
    EXPECT_TRUE(turned.displayTransform);
    EXPECT_DOUBLE_EQ(turned.effectiveSize.width, 90);
    EXPECT_DOUBLE_EQ(turned.effectiveSize.height, 160);
    EXPECT_DOUBLE_EQ(turned.aspectRatio, 0.5625);

    auto anamorphic = MediaSource::make(mediaURL("sar-4x3.mkv"), platform::kCMTimeInvalid, true);
    const VideoDimensions& wide = anamorphic->videoTracks()[0]->dimensions();
    EXPECT_DOUBLE_EQ(wide.pixelAspectRatio, 4.0 / 3.0);
    EXPECT_FALSE(wide.displayTransform);
    EXPECT_DOUBLE_EQ(wide.squarePixelSize.width, 160);
    EXPECT_DOUBLE_EQ(wide.squarePixelSize.height, 90);
    EXPECT_DOUBLE_EQ(wide.aspectRatio, 16.0 / 9.0);
}

TEST(MediaSourceOpening, FrameRateComesFromTheDecoder) {
    auto source = MediaSource::make(mediaURL("h264-aac.mp4"), platform::kCMTimeInvalid, true);
    ASSERT_EQ(source->videoTracks().size(), 1u);
    const auto rate = source->videoTracks()[0]->frameRate();
    ASSERT_TRUE(rate);
    EXPECT_EQ(av_cmp_q(*rate, AVRational{25, 1}), 0);
    EXPECT_EQ(source->audioTracks().size(), 1u);
}

TEST(MediaSourceLoading, CompletesOnceWithTheSourceOffTheMainThread) {
    std::atomic<bool> scanned = false;
    struct RecordingScanner final : SiblingSubtitlesScanner {
        explicit RecordingScanner(std::atomic<bool>& scanned) : scanned(scanned) {}
        void scan(const platform::URL& url, Completion completion) const override {
            EXPECT_EQ(url.lastPathComponent(), "h264-aac.mp4");
            scanned = true;
            platform::DispatchQueue::global().async(
                [completion = std::move(completion)] { completion({}); });
        }
        std::atomic<bool>& scanned;
    };
    const auto outcome =
        loadAndWait(mediaURL("h264-aac.mp4"), std::make_shared<RecordingScanner>(scanned));
    EXPECT_TRUE(scanned);
    EXPECT_EQ(outcome.failureCount, 0);
    ASSERT_EQ(outcome.completionCount, 1);
    EXPECT_EQ(outcome.source->url().lastPathComponent(), "h264-aac.mp4");
    EXPECT_TRUE(outcome.source->externalSubtitlesTracks().empty());
}

TEST(MediaSourceLoading, PipesAreNeitherMediaNorSubtitleFiles) {
    struct Folder {
        std::filesystem::path path = std::filesystem::temp_directory_path() /
                                     ("quillon-pipes-" + platform::UUID().uuidString());
        Folder() { std::filesystem::create_directory(path); }
        ~Folder() { std::filesystem::remove_all(path); }
        platform::URL url(const char* name) const {
            return platform::URL::fileURL((path / name).string());
        }
    } folder;
    // Opening any of these for reading would wait for a writer that never comes.
    for (const char* name : {"Piped.mkv", "Film.srt", "Alone.srt"}) {
        ASSERT_EQ(::mkfifo((folder.path / name).c_str(), 0600), 0) << name;
    }

    const auto piped = loadAndWait(folder.url("Piped.mkv"));
    EXPECT_EQ(piped.failureCount, 1);
    ASSERT_TRUE(piped.error);
    EXPECT_EQ(piped.error->kind(), Kind::failedToOpenURL);
    // Nor is a folder a document.
    const auto directory = loadAndWait(platform::URL::fileURL(folder.path.string()));
    ASSERT_TRUE(directory.error);
    EXPECT_EQ(directory.error->kind(), Kind::failedToOpenURL);

    // Beside a film, the pipe named like its subtitles is passed over, the file beside it is not.
    std::filesystem::copy_file(mediaPath("h264-aac.mp4"), folder.path / "Film.mp4");
    std::filesystem::copy_file(mediaPath("subtitles.srt"), folder.path / "Film.en.srt");
    const auto film = loadAndWait(folder.url("Film.mp4"));
    ASSERT_EQ(film.completionCount, 1);
    const auto external = film.source->externalSubtitlesTracks();
    ASSERT_EQ(external.size(), 1u);
    EXPECT_EQ(external[0]->externalMediaSource()->url().lastPathComponent(), "Film.en.srt");

    // Handed over by name, a pipe fails to load as a subtitle file.
    std::optional<MediaSource::ExternalSubtitlesLoadResult> added;
    const platform::DispatchSemaphore answered;
    film.source->loadExternalSubtitles(folder.url("Alone.srt"), [&](auto result) {
        added = std::move(result);
        answered.signal();
    });
    ASSERT_EQ(answered.wait(std::chrono::seconds(60)), platform::DispatchTimeoutResult::success);
    ASSERT_TRUE(added);
    const auto* error = std::get_if<MediaSourceLoadError>(&*added);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->kind(), Kind::failedToOpenURL);
}

TEST(MediaSourceLoading, AttachesTheSubtitleFilesTheScanFindsInItsOrder) {
    struct FixedScanner final : SiblingSubtitlesScanner {
        void scan(const platform::URL&, Completion completion) const override {
            completion(
                {mediaURL("subtitles.srt"), mediaURL("h264-aac.mp4"), mediaURL("subtitles.vtt")});
        }
    };
    const auto outcome = loadAndWait(mediaURL("gop-1s.mkv"), std::make_shared<FixedScanner>());
    ASSERT_EQ(outcome.completionCount, 1);
    const auto external = outcome.source->externalSubtitlesTracks();
    // The media file among the found ones has no subtitles and adds nothing.
    ASSERT_EQ(external.size(), 2u);
    EXPECT_EQ(external[0]->externalMediaSource()->url().lastPathComponent(), "subtitles.srt");
    EXPECT_EQ(external[1]->externalMediaSource()->url().lastPathComponent(), "subtitles.vtt");
    EXPECT_EQ(external[0]->id(), external[0]->externalMediaSourceTrack()->id());
    EXPECT_EQ(external[0]->decoder(), external[0]->externalMediaSourceTrack()->decoder());
    // The subtitle file lasts as long as the media it belongs to.
    EXPECT_EQ(external[0]->externalMediaSource()->duration(), outcome.source->duration());
    EXPECT_EQ(outcome.source->allSubtitlesTracks().size(), 2u);

    // Renaming the subtitle file's track renames the external track with it.
    external[1]->externalMediaSourceTrack()->setId("renamed.0");
    EXPECT_EQ(external[1]->id(), "renamed.0");
}
