#include "media-player/media-source/MediaSourceMetadata.h"

#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/StringHelpers.h"
#include "support/OwnLogLines.h"
#include "support/TestMedia.h"

extern char** environ;

namespace quillon {
namespace {

using platform::MPMediaType;
using platform::ScopedLogCapture;

// A fresh folder for files a test makes, removed with everything in it.
class TemporaryDirectory {
public:
    explicit TemporaryDirectory(const std::string& prefix) {
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("quillon-" + prefix + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        path_ = pattern;
    }
    ~TemporaryDirectory() {
        std::error_code error;
        std::filesystem::remove_all(path_, error);
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// Runs the ffmpeg command-line tool with these arguments (no shell, so values may hold anything).
void runFFmpeg(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"ffmpeg", "-nostdin", "-v", "error", "-y"});
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "ffmpeg", nullptr, nullptr, argv.data(), environ) != 0) {
        throw std::runtime_error("cannot start ffmpeg");
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("ffmpeg failed making " + arguments.back());
    }
}

std::vector<std::uint8_t> readFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> makeImage(const TemporaryDirectory& directory, const std::string& name,
                                    const std::string& color, const std::string& size) {
    const std::string path = directory.file(name);
    runFFmpeg({"-f", "lavfi", "-i", "color=c=" + color + ":s=" + size, "-frames:v", "1", path});
    return readFile(path);
}

// A fifth of a second of tone, with a picture when `withVideo`, carrying the given "key=value"
// container tags.
std::string makeTaggedFile(const TemporaryDirectory& directory, const std::string& name,
                           const std::vector<std::string>& tags, bool withVideo = false) {
    std::vector<std::string> arguments = {"-f", "lavfi", "-i", "sine=d=0.2"};
    if (withVideo) {
        arguments.insert(arguments.end(),
                         {"-f", "lavfi", "-i", "testsrc=s=32x24:d=0.2", "-c:v", "mpeg4"});
    }
    for (const std::string& tag : tags) {
        arguments.insert(arguments.end(), {"-metadata", tag});
    }
    arguments.push_back(directory.file(name));
    runFFmpeg(arguments);
    return directory.file(name);
}

class Dictionary {
public:
    Dictionary& set(const char* key, const char* value) {
        av_dict_set(inOutPointer(dictionary_), key, value, 0);
        return *this;
    }
    const AVDictionary* get() const { return dictionary_.get(); }

private:
    AVDictionaryPointer dictionary_;
};

MediaSourceOptionalMetadata metadataOf(const Dictionary& dictionary,
                                       MediaType mediaType = MediaType::video) {
    return makeOptionalMetadata(mediaType, dictionary.get(), std::nullopt);
}

TEST(MediaSourceMetadataTests, TextIsTrimmedAndBlankTextFallsBackToTheSortKey) {
    Dictionary tags;
    tags.set("title", " \n\t\u3000 ")
        .set("sort_name", "  Sorted title\n")
        .set("artist", "Artist")
        .set("sort_artist", "Sorted artist")
        .set("sort_composer", "Composer by sort key")
        .set("ALBUM", "\tAlbum\r\n")  // keys match regardless of case, as FFmpeg's lookups do
        .set("show", "   ")
        .set("description", "Short")
        .set("synopsis", "Long text\nover two lines")
        .set("lyrics", "  la la  ")
        .set("genre", "Genre")
        .set("copyright", "")
        .set("unrelated", "x");
    ScopedLogCapture log;
    MediaSourceOptionalMetadata metadata = metadataOf(tags);

    EXPECT_EQ(metadata.title, "Sorted title");
    EXPECT_EQ(metadata.artist, "Artist");
    EXPECT_EQ(metadata.composer, "Composer by sort key");
    EXPECT_EQ(metadata.albumTitle, "Album");
    EXPECT_EQ(metadata.showTitle, std::nullopt);
    EXPECT_EQ(metadata.shortDescription, "Short");
    EXPECT_EQ(metadata.fullDescription, "Long text\nover two lines");
    EXPECT_EQ(metadata.lyrics, "la la");
    EXPECT_EQ(metadata.genre, "Genre");
    EXPECT_EQ(metadata.copyright, std::nullopt);
    EXPECT_FALSE(metadata.mediaSubtype || metadata.seasonNumber || metadata.episodeNumber ||
                 metadata.releaseYear || metadata.artwork);
    EXPECT_TRUE(log.lines().empty());
}

TEST(MediaSourceMetadataTests, MalformedUTF8BecomesReplacementCharacters) {
    Dictionary tags;
    // A Latin-1 "é", a lone continuation byte, a truncated three-byte sequence and an encoded
    // surrogate; valid multi-byte characters stay as they are.
    tags.set("title", "Caf\xe9 \x80x \xe2\x82 \xed\xa0\x80 \xe2\x82\xac\xf0\x9f\x8e\xb5");
    EXPECT_EQ(metadataOf(tags).title,
              "Caf\ufffd \ufffdx \ufffd \ufffd\ufffd\ufffd \u20ac\U0001F3B5");
}

TEST(MediaSourceMetadataTests, IntegersAreTrimmedAndParsedStrictly) {
    struct Case {
        const char* value;
        std::optional<std::int64_t> expected;
    };
    const std::vector<Case> cases = {
        {" 3 ", 3},
        {"+7", 7},
        {"-2", -2},
        {"9223372036854775807", INT64_MAX},
        {"-9223372036854775808", INT64_MIN},
        {"3a", std::nullopt},
        {"9223372036854775808", std::nullopt},
        {"+", std::nullopt},
        {"--1", std::nullopt},
        {"1 2", std::nullopt},
        {"0x10", std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.value);
        Dictionary tags;
        tags.set("season_number", testCase.value).set("episode_sort", testCase.value);
        ScopedLogCapture log;
        MediaSourceOptionalMetadata metadata = metadataOf(tags);
        EXPECT_EQ(metadata.seasonNumber, testCase.expected);
        EXPECT_EQ(metadata.episodeNumber, testCase.expected);
        if (testCase.expected) {
            EXPECT_TRUE(log.lines().empty());
        } else {
            const std::string trimmed = platform::trimmingWhitespaceAndNewlines(testCase.value);
            EXPECT_EQ(log.lines(),
                      (std::vector<std::string>{
                          "Metadata value for key `season_number` is not an integer: \"" + trimmed +
                              "\".",
                          "Metadata value for key `episode_sort` is not an integer: \"" + trimmed +
                              "\"."}));
        }
    }
}

TEST(MediaSourceMetadataTests, ReleaseYearIsTheLeadingNumberOfTheDate) {
    struct Case {
        const char* value;
        std::optional<std::int64_t> expected;
    };
    const std::vector<Case> cases = {
        {"2004", 2004},
        {"2004-10-19T07:00:00Z", 2004},
        {" 1999\n", 1999},
        {"0042 BC", 42},
        {"circa 2004", std::nullopt},
        {"-2004", std::nullopt},
        {"12345678901234567890-01-01", std::nullopt},
    };
    for (const Case& testCase : cases) {
        SCOPED_TRACE(testCase.value);
        Dictionary tags;
        tags.set("date", testCase.value);
        ScopedLogCapture log;
        EXPECT_EQ(metadataOf(tags).releaseYear, testCase.expected);
        if (testCase.expected) {
            EXPECT_TRUE(log.lines().empty());
        } else {
            EXPECT_EQ(log.lines(),
                      std::vector<std::string>{
                          "Metadata value for key `date` is not a date: \"" +
                          platform::trimmingWhitespaceAndNewlines(testCase.value) + "\"."});
        }
    }

    ScopedLogCapture log;
    EXPECT_EQ(metadataOf(Dictionary()).releaseYear, std::nullopt);
    EXPECT_TRUE(log.lines().empty());
}

TEST(MediaSourceMetadataTests, MediaKindIsKeptOnlyUnderItsUmbrella) {
    const auto ignoring = [](const char* subtype, const char* umbrella) {
        return std::string("Ignoring `MPMediaType(rawValue: ") + subtype +
               ")` subtype because it is not part of the `" + umbrella + "` umbrella media type.";
    };
    const std::vector<std::tuple<const char*, MediaType, std::optional<MPMediaType>, std::string>>
        cases = {
            {"0", MediaType::video, MPMediaType::homeVideo(), ""},
            {"0", MediaType::audio, std::nullopt, ignoring("8192", "audio")},
            {"1", MediaType::video, std::nullopt, ignoring("1", "video")},
            {"2", MediaType::subtitles, MPMediaType::audioBook(), ""},
            {"9", MediaType::video, MPMediaType::movie(), ""},
            {"9", MediaType::audio, std::nullopt, ignoring("256", "audio")},
            {"21", MediaType::video, MPMediaType::videoPodcast(), ""},
            {"21", MediaType::audio, MPMediaType::podcast(), ""},
            {"23", MediaType::audio, MPMediaType::audioITunesU(), ""},
            {"23", MediaType::video, MPMediaType::videoITunesU(), ""},
            {"23", MediaType::subtitles, MPMediaType::videoITunesU(), ""},
            {"100", MediaType::video, std::nullopt, "Unrecognized iTunes media type: 100."},
            {"-1", MediaType::audio, std::nullopt, "Unrecognized iTunes media type: -1."},
            {"movie", MediaType::video, std::nullopt,
             "Metadata value for key `media_type` is not an integer: \"movie\"."},
        };
    for (const auto& [value, umbrella, expected, logLine] : cases) {
        SCOPED_TRACE(std::string(value) + " under " + std::to_string(rawValue(umbrella)));
        Dictionary tags;
        tags.set("media_type", value);
        ScopedLogCapture log;
        EXPECT_EQ(metadataOf(tags, umbrella).mediaSubtype, expected);
        EXPECT_EQ(log.lines(),
                  logLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{logLine});
    }
}

TEST(MediaSourceMetadataTests, LogLinesComeInKeyOrderAndKeepValuesVerbatim) {
    Dictionary tags;
    tags.set("date", "%@ {} %s")
        .set("episode_sort", "{0}")
        .set("season_number", "%1$@")
        .set("media_type", "9")
        .set("title", "Kept");
    ScopedLogCapture log;
    MediaSourceOptionalMetadata metadata = metadataOf(tags, MediaType::audio);
    EXPECT_EQ(metadata.title, "Kept");
    EXPECT_EQ(log.lines(),
              (std::vector<std::string>{
                  "Ignoring `MPMediaType(rawValue: 256)` subtype because it is not part of the "
                  "`audio` umbrella media type.",
                  "Metadata value for key `season_number` is not an integer: \"%1$@\".",
                  "Metadata value for key `episode_sort` is not an integer: \"{0}\".",
                  "Metadata value for key `date` is not a date: \"%@ {} %s\"."}));
}

// ---------------------------------------------------------------------------------------------
// Artwork

class ArtworkTests : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        directory_ = std::make_unique<TemporaryDirectory>("artwork");
        png_ = makeImage(*directory_, "cover.png", "red", "12x8");
        jpeg_ = makeImage(*directory_, "cover.jpg", "blue", "16x10");
    }
    static void TearDownTestSuite() { directory_.reset(); }

    // An attached-picture stream carrying `bytes` as its picture, as demuxers make them.
    static AVStream& addPictureStream(AVFormatContext& context,
                                      const std::vector<std::uint8_t>& bytes,
                                      AVCodecID codecID = AV_CODEC_ID_MJPEG,
                                      int disposition = AV_DISPOSITION_ATTACHED_PIC) {
        AVStream* stream = avformat_new_stream(&context, nullptr);
        if (stream == nullptr) {
            throw std::bad_alloc();
        }
        stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
        stream->codecpar->codec_id = codecID;
        stream->disposition = disposition;
        if (!bytes.empty()) {
            if (av_new_packet(&stream->attached_pic, static_cast<int>(bytes.size())) < 0) {
                throw std::bad_alloc();
            }
            std::copy(bytes.begin(), bytes.end(), stream->attached_pic.data);
        }
        return *stream;
    }

    static AVFormatContextPointer makeContext() {
        AVFormatContextPointer context(avformat_alloc_context());
        if (!context) {
            throw std::bad_alloc();
        }
        return context;
    }

    static inline std::unique_ptr<TemporaryDirectory> directory_;
    static inline std::vector<std::uint8_t> png_;
    static inline std::vector<std::uint8_t> jpeg_;
};

TEST_F(ArtworkTests, OnlyAttachedPicturesGiveArtwork) {
    AVFormatContextPointer context = makeContext();
    ScopedLogCapture log;
    EXPECT_FALSE(loadArtwork(addPictureStream(*context, png_, AV_CODEC_ID_PNG, 0)));
    EXPECT_FALSE(loadArtwork(addPictureStream(*context, {}, AV_CODEC_ID_PNG)));
    EXPECT_TRUE(log.lines().empty());

    // The bytes decide the format; the stream's codec is not asked.
    std::optional<ArtworkImage> image =
        loadArtwork(addPictureStream(*context, png_, AV_CODEC_ID_MJPEG));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->width(), 12);
    EXPECT_EQ(image->height(), 8);
    EXPECT_EQ(image->imageCodecID(), AV_CODEC_ID_PNG);
    EXPECT_STREQ(image->mimeType(), "image/png");
}

TEST_F(ArtworkTests, ArtworkSharesThePictureBytesAndOutlivesTheContext) {
    AVFormatContextPointer context = makeContext();
    const AVStream& stream = addPictureStream(*context, jpeg_);
    const std::uint8_t* pictureBytes = stream.attached_pic.data;
    std::optional<ArtworkImage> image = loadArtwork(stream);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->data().data(), pictureBytes);

    context.reset();
    ArtworkImage copy = *image;
    image.reset();
    EXPECT_TRUE(std::equal(copy.data().begin(), copy.data().end(), jpeg_.begin(), jpeg_.end()));
    EXPECT_EQ(copy.width(), 16);
    EXPECT_STREQ(copy.mimeType(), "image/jpeg");
}

TEST_F(ArtworkTests, UnreadablePicturesAreLoggedAndTheNextPictureIsUsed) {
    AVFormatContextPointer context = makeContext();
    avformat_new_stream(context.get(), nullptr);  // a stream that is no picture at all
    std::vector<std::uint8_t> truncatedPNG(png_.begin(), png_.begin() + 40);
    addPictureStream(*context, std::vector<std::uint8_t>(300, 0x5a), AV_CODEC_ID_MJPEG);
    addPictureStream(*context, truncatedPNG, AV_CODEC_ID_PNG);
    addPictureStream(*context, jpeg_, AV_CODEC_ID_MJPEG);
    addPictureStream(*context, png_, AV_CODEC_ID_PNG);
    av_dict_set(&context->metadata, "title", "With covers", 0);

    ScopedLogCapture log;
    MediaSourceOptionalMetadata metadata = makeMetadata(*context, MediaType::audio);
    ASSERT_TRUE(metadata.artwork);
    EXPECT_EQ(metadata.artwork->imageCodecID(), AV_CODEC_ID_MJPEG);
    EXPECT_EQ(metadata.title, "With covers");
    EXPECT_EQ(
        test::ownLogLines(log.lines()),
        (std::vector<std::string>{
            "Failed to load artwork image from data encoded by codec ID AVCodecID(rawValue: "
            "7).",
            "Failed to load artwork image from data encoded by codec ID AVCodecID(rawValue: " +
                std::to_string(static_cast<int>(AV_CODEC_ID_PNG)) + ")."}));
}

TEST_F(ArtworkTests, ImagesFromOrdinaryMemory) {
    std::optional<ArtworkImage> image = ArtworkImage::fromData(png_);
    ASSERT_TRUE(image);
    EXPECT_NE(image->data().data(), png_.data());
    EXPECT_EQ(image->data().size(), png_.size());
    EXPECT_FALSE(ArtworkImage::fromData({}));
    EXPECT_FALSE(ArtworkImage::fromData(std::vector<std::uint8_t>{'B', 'M', 0, 0}));
}

// ---------------------------------------------------------------------------------------------
// Files

MediaSourceOptionalMetadata metadataOfFile(const std::string& path, MediaType mediaType) {
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return {};
    }
    AVFormatContextPointer context(raw);
    avformat_find_stream_info(raw, nullptr);
    return makeMetadata(*context, mediaType);
}

TEST(MediaSourceMetadataFileTests, CoverArtOfAudioFiles) {
    for (const char* name : {"cover-art.mp3", "cover-art.m4a"}) {
        SCOPED_TRACE(name);
        MediaSourceOptionalMetadata metadata =
            metadataOfFile(test::mediaPath(name), MediaType::audio);
        ASSERT_TRUE(metadata.artwork);
        EXPECT_EQ(metadata.artwork->imageCodecID(), AV_CODEC_ID_MJPEG);
        EXPECT_EQ(metadata.artwork->width(), 64);
        EXPECT_EQ(metadata.artwork->height(), 64);
        ASSERT_GE(metadata.artwork->data().size(), 3U);
        EXPECT_EQ(metadata.artwork->data()[0], 0xff);
        EXPECT_EQ(metadata.artwork->data()[1], 0xd8);
        // The cover's own stream title is no title of the file.
        EXPECT_EQ(metadata.title, std::nullopt);
    }
}

TEST(MediaSourceMetadataFileTests, FilesWithoutTagsOrCoversHaveNoMetadata) {
    for (const char* name : {"h264-aac.mkv", "multi-2v3a1s.mkv"}) {
        SCOPED_TRACE(name);
        ScopedLogCapture log;
        MediaSourceOptionalMetadata metadata =
            metadataOfFile(test::mediaPath(name), MediaType::video);
        EXPECT_FALSE(metadata.artwork);
        EXPECT_FALSE(metadata.title || metadata.artist || metadata.albumTitle ||
                     metadata.composer || metadata.genre || metadata.lyrics ||
                     metadata.releaseYear || metadata.mediaSubtype);
        EXPECT_TRUE(log.lines().empty());
    }
}

// What the source made of the file's metadata when it opened it.
MediaSourceOptionalMetadata metadataOfSource(const std::string& path) {
    std::shared_ptr<MediaSource> source =
        MediaSource::make(platform::URL::fileURL(path), platform::CMTime(), true);
    if (!source->optionalMetadata()) {
        ADD_FAILURE() << "no metadata for " << path;
        return {};
    }
    return *source->optionalMetadata();
}

TEST(MediaSourceMetadataFileTests, TagsOfCommonContainers) {
    TemporaryDirectory directory("tags");
    const std::vector<std::string> tags = {
        "title= Title ",     "artist=Artist",    "album=Album",
        "composer=Composer", "genre=Genre",      "lyrics=Line one\nLine two",
        "date=2004-10-19",   "copyright=(c) Us", "description=Short",
        "synopsis=Long",     "show=Show",        "season_number=3",
        "episode_sort=7",    "media_type=2",
    };
    for (const char* name : {"tags.mp3", "tags.m4a", "tags.mkv"}) {
        SCOPED_TRACE(name);
        const std::string path = makeTaggedFile(directory, name, tags);
        ScopedLogCapture log;
        const MediaSourceOptionalMetadata metadata = metadataOfSource(path);
        EXPECT_EQ(metadata.title, "Title");
        EXPECT_EQ(metadata.artist, "Artist");
        EXPECT_EQ(metadata.albumTitle, "Album");
        EXPECT_EQ(metadata.composer, "Composer");
        EXPECT_EQ(metadata.genre, "Genre");
        EXPECT_EQ(metadata.lyrics, "Line one\nLine two");
        EXPECT_EQ(metadata.releaseYear, 2004);
        EXPECT_EQ(metadata.copyright, "(c) Us");
        EXPECT_EQ(metadata.shortDescription, "Short");
        EXPECT_EQ(metadata.fullDescription, "Long");
        EXPECT_EQ(metadata.showTitle, "Show");
        EXPECT_EQ(metadata.seasonNumber, 3);
        EXPECT_EQ(metadata.episodeNumber, 7);
        EXPECT_EQ(metadata.mediaSubtype, MPMediaType::audioBook());
        EXPECT_FALSE(metadata.artwork);
        EXPECT_TRUE(log.lines().empty());
    }
}

// Ogg keeps a file's tags in each stream's comment header; Matroska's stream tags name the
// tracks and are no tags of the file.
TEST(MediaSourceMetadataFileTests, OggTagsComeFromTheMainStreamAndOtherStreamTagsDoNot) {
    for (const char* name : {"tagged.opus", "tagged.ogg", "tagged-flac.oga"}) {
        SCOPED_TRACE(name);
        const MediaSourceOptionalMetadata metadata = metadataOfSource(test::mediaPath(name));
        EXPECT_EQ(metadata.title, "Ogg title");
        EXPECT_EQ(metadata.artist, "Ogg artist");
        EXPECT_EQ(metadata.albumTitle, "Ogg album");
        EXPECT_EQ(metadata.releaseYear, 2004);
    }

    const MediaSourceOptionalMetadata tracksWithTitles =
        metadataOfSource(test::mediaPath("multi-2v3a1s.mkv"));
    EXPECT_EQ(tracksWithTitles.title, std::nullopt);
}

// The stream's tags are read by the same rules as the container's: fallbacks, trimming, and log
// lines in key order.
TEST(MediaSourceMetadataFileTests, OggStreamTagsKeepTheFallbacksAndTheLogOrder) {
    TemporaryDirectory directory("ogg");
    const std::string path =
        makeTaggedFile(directory, "fallbacks.ogg",
                       {"title=  ", "sort_name=Sorted title", "sort_artist=Sorted artist",
                        "date=circa 2004", "season_number=3a"});
    ScopedLogCapture log;
    const MediaSourceOptionalMetadata metadata = metadataOfSource(path);
    EXPECT_EQ(metadata.title, "Sorted title");
    EXPECT_EQ(metadata.artist, "Sorted artist");
    EXPECT_EQ(metadata.releaseYear, std::nullopt);
    EXPECT_EQ(log.lines(), (std::vector<std::string>{
                               "Metadata value for key `season_number` is not an integer: \"3a\".",
                               "Metadata value for key `date` is not a date: \"circa 2004\"."}));
}

TEST(MediaSourceMetadataFileTests, TheSourcesMediaTypeDecidesWhichMediaKindsAreKept) {
    TemporaryDirectory directory("kinds");
    const std::string tvShow = makeTaggedFile(directory, "tv.mp4", {"media_type=10"}, true);
    const std::string music = makeTaggedFile(directory, "music.mp4", {"media_type=1"}, true);
    const std::string audioOnlyMovie = makeTaggedFile(directory, "movie.m4a", {"media_type=9"});

    ScopedLogCapture log;
    EXPECT_EQ(metadataOfSource(tvShow).mediaSubtype, MPMediaType::tvShow());
    EXPECT_EQ(metadataOfSource(music).mediaSubtype, std::nullopt);
    EXPECT_EQ(metadataOfSource(audioOnlyMovie).mediaSubtype, std::nullopt);
    EXPECT_TRUE(
        log.contains("Ignoring `MPMediaType(rawValue: 1)` subtype because it is not part "
                     "of the `video` umbrella media type."));
    EXPECT_TRUE(
        log.contains("Ignoring `MPMediaType(rawValue: 256)` subtype because it is not "
                     "part of the `audio` umbrella media type."));
}

}  // namespace
}  // namespace quillon
