#include <gtest/gtest.h>

#include <iconv.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "EncodingSampleTexts.h"
#include "ExternalSubtitlesTestSupport.h"
#include "SubtitleFolderTree.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/subtitles/FFmpegSubtitlesFrameDecoder.h"
#include "media-player/media-source/CharacterEncodingDetector.h"
#include "media-player/media-source/MediaSourceReading.h"

namespace quillon {
namespace {

namespace samples = test::samples;
using test::loadedExternalSubtitles;
using test::makeMainSource;
using test::SubtitleFolderTree;

// The cue texts of a SubRip script: the lines after each timing line, joined by "\n".
std::vector<std::string> cueTexts(std::string_view script) {
    std::vector<std::string> texts;
    std::istringstream lines{std::string(script)};
    std::string line;
    std::optional<std::string> cue;
    while (std::getline(lines, line)) {
        if (line.find("-->") != std::string::npos) {
            cue.emplace();
        } else if (line.empty()) {
            if (cue) {
                texts.push_back(*cue);
            }
            cue.reset();
        } else if (cue) {
            *cue += cue->empty() ? line : "\n" + line;
        }
    }
    if (cue) {
        texts.push_back(*cue);
    }
    return texts;
}

std::string plainText(const Subtitles& subtitles) {
    if (const TextSubtitle* text = subtitles.textSubtitle()) {
        return text->text;
    }
    std::string joined;
    if (const auto* formatted = subtitles.formattedTextSubtitles()) {
        for (const FormattedTextSubtitle& subtitle : *formatted) {
            joined += (joined.empty() ? "" : "\n") + subtitle.formattedText->string();
        }
    }
    return joined;
}

// What stands for a packet that the decoder refused.
constexpr const char* refused = "(refused)";

// Reads the tracks of a loaded subtitle file from where the file stands to its end, as the
// player would, and decodes every packet with its track's decoder: the texts per track.
std::vector<std::vector<std::string>> decodedTexts(const MediaSource::ExternalSubtitles& loaded) {
    std::vector<std::shared_ptr<SubtitlesTrack>> tracks;
    for (const auto& track : loaded.externalSubtitlesTracks) {
        tracks.push_back(track->externalMediaSourceTrack());
    }
    std::vector<std::vector<std::string>> texts(tracks.size());
    while (auto packet = readVisualPacket(*loaded.mediaSource, nullptr, tracks)) {
        for (std::size_t index = 0; index < tracks.size(); ++index) {
            if (packet->track != tracks[index]) {
                continue;
            }
            try {
                for (const SubtitlesFrame& frame :
                     tracks[index]->decoder()->decode(*packet->packet)) {
                    texts[index].push_back(plainText(frame.subtitles));
                }
            } catch (const platform::Error& error) {
                texts[index].push_back(refused);
                ::testing::Test::RecordProperty("refusal", error.debugDescription());
            }
        }
    }
    return texts;
}

struct EncodingCase {
    const char* name;
    const char* encoding;  // as iconv names it
    std::string_view text;
    std::string_view prefix = {};
    // FFmpeg 5.1 reads UTF-16 text with a byte-order mark as UTF-8, but drops the bytes after
    // the first of a character that begins a line: the decoder refuses those cues as invalid
    // UTF-8.
    bool damagesLineStarts = false;
};

void PrintTo(const EncodingCase& encodingCase, std::ostream* stream) {
    *stream << encodingCase.name;
}

class ExternalSubtitlesEncoding : public ::testing::TestWithParam<EncodingCase> {
protected:
    SubtitleFolderTree tree;
    std::shared_ptr<MediaSource> main = makeMainSource();
};

TEST_P(ExternalSubtitlesEncoding, TheDecoderShowsTheTextOfTheFile) {
    const EncodingCase& parameters = GetParam();
    const auto encoded =
        quillon::test::convertWithIconv(parameters.text, "UTF-8", parameters.encoding);
    ASSERT_TRUE(encoded) << "iconv can't write the sample in " << parameters.encoding;
    tree.file("subtitles.srt", std::string(parameters.prefix) + *encoded);

    const auto loaded = loadedExternalSubtitles(*main, tree.url("subtitles.srt"));
    ASSERT_EQ(loaded.externalSubtitlesTracks.size(), 1u);
    const auto& detected = loaded.externalSubtitlesTracks[0]->decoder()->characterEncoding();
    ASSERT_TRUE(detected);
    RecordProperty("detected", *detected);

    // uchardet names every one of these right from the cues alone.
    std::vector<std::string> expected = cueTexts(parameters.text);
    if (parameters.damagesLineStarts) {
        for (std::string& cue : expected) {
            if (static_cast<unsigned char>(cue.front()) >= 0x80) {
                cue = refused;
            }
        }
    }
    EXPECT_EQ(decodedTexts(loaded), std::vector<std::vector<std::string>>{expected})
        << "detected as " << *detected;
}

INSTANTIATE_TEST_SUITE_P(
    SubtitleTexts, ExternalSubtitlesEncoding,
    ::testing::Values(
        EncodingCase{"UTF8", "UTF-8", samples::czech},
        // FFmpeg's text demuxers drop the mark and convert UTF-16 to UTF-8, so the
        // detector only ever sees UTF-8 of such files.
        EncodingCase{"UTF8WithByteOrderMark", "UTF-8", samples::russian, "\xEF\xBB\xBF"},
        EncodingCase{"UTF16LittleEndian", "UTF-16LE", samples::czech, "\xFF\xFE", true},
        // Every line is damaged: uchardet gives up on UTF-8 then, but the decoder
        // must not be told a single-byte encoding that garbles every cue.
        EncodingCase{"UTF16LittleEndianJapanese", "UTF-16LE", samples::japanese, "\xFF\xFE", true},
        EncodingCase{"UTF16BigEndian", "UTF-16BE", samples::french, "\xFE\xFF", true},
        EncodingCase{"Windows1250", "WINDOWS-1250", samples::czech},
        EncodingCase{"Windows1251", "WINDOWS-1251", samples::russian},
        EncodingCase{"Windows1252", "WINDOWS-1252", samples::french},
        EncodingCase{"ISO8859_2", "ISO-8859-2", samples::czech},
        EncodingCase{"KOI8R", "KOI8-R", samples::russian},
        EncodingCase{"ShiftJIS", "SHIFT_JIS", samples::japanese},
        EncodingCase{"GB18030", "GB18030", samples::simplifiedChinese},
        EncodingCase{"Big5", "BIG5", samples::traditionalChinese},
        EncodingCase{"EUCKR", "EUC-KR", samples::korean}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

TEST(ExternalSubtitlesEncodingEdges, UTF16WithoutAByteOrderMarkIsNoFileFFmpegReads) {
    SubtitleFolderTree tree;
    tree.file("subtitles.srt",
              *quillon::test::convertWithIconv(samples::french, "UTF-8", "UTF-16LE"));
    const auto load =
        test::loadExternalSubtitlesAndWait(*makeMainSource(), tree.url("subtitles.srt"));
    ASSERT_NE(load.error(), nullptr);
    EXPECT_EQ(load.error()->kind(), MediaSourceLoadError::Kind::failedToOpenURL);
}

TEST(ExternalSubtitlesEncodingEdges, EachTrackOfOneFileHasItsOwnEncodingAndIsReadFromItsStart) {
    // Two SubRip tracks in two legacy encodings; the second starts after the first has ended (in
    // another cluster), so that a file sought back by the second track's index alone would skip
    // the whole first track.
    SubtitleFolderTree tree;
    tree.file("ru.srt",
              *quillon::test::convertWithIconv(samples::russian, "UTF-8", "WINDOWS-1251"));
    tree.file("cs.srt", *quillon::test::convertWithIconv(samples::czech, "UTF-8", "ISO-8859-2"));
    const std::string command = "ffmpeg -nostdin -v error -y -i '" + tree.path("ru.srt") +
                                "' -itsoffset 40 -i '" + tree.path("cs.srt") +
                                "' -map 0:s -map 1:s -c:s copy -f matroska '" +
                                tree.path("two.mks") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    const auto loaded = loadedExternalSubtitles(*makeMainSource(), tree.url("two.mks"));
    ASSERT_EQ(loaded.externalSubtitlesTracks.size(), 2u);
    EXPECT_EQ(decodedTexts(loaded),
              (std::vector{cueTexts(samples::russian), cueTexts(samples::czech)}));
}

// A Matroska file with one DVD subtitles stream of two cues, muxed by libavformat: FFmpeg makes
// bitmap subtitles only from bitmaps.
void writeBitmapSubtitlesFile(const std::string& path) {
    const AVCodec* encoder = avcodec_find_encoder(AV_CODEC_ID_DVD_SUBTITLE);
    ASSERT_NE(encoder, nullptr);
    AVCodecContextPointer encoding(avcodec_alloc_context3(encoder));
    encoding->width = 720;
    encoding->height = 480;
    encoding->time_base = {1, 1000};
    ASSERT_GE(avcodec_open2(encoding.get(), encoder, nullptr), 0);

    AVFormatContext* output = nullptr;
    ASSERT_GE(avformat_alloc_output_context2(&output, nullptr, "matroska", path.c_str()), 0);
    AVFormatContextPointer outputOwner(output);
    AVStream* stream = avformat_new_stream(output, nullptr);
    ASSERT_NE(stream, nullptr);
    ASSERT_GE(avcodec_parameters_from_context(stream->codecpar, encoding.get()), 0);
    stream->time_base = {1, 1000};
    ASSERT_GE(avio_open(&output->pb, path.c_str(), AVIO_FLAG_WRITE), 0);
    ASSERT_GE(avformat_write_header(output, nullptr), 0);

    constexpr int width = 32;
    constexpr int height = 16;
    for (int cue = 0; cue < 2; ++cue) {
        std::array<std::uint8_t, width * height> indices{};
        for (std::size_t pixel = 0; pixel < indices.size(); ++pixel) {
            indices[pixel] = static_cast<std::uint8_t>(1 + (pixel / width + cue) % 3);
        }
        std::array<std::uint32_t, 4> palette{0x00000000, 0xFFFFFFFF, 0xFFFF0000, 0xFF0000FF};
        AVSubtitleRect rect{};
        rect.type = SUBTITLE_BITMAP;
        rect.x = 100;
        rect.y = 400;
        rect.w = width;
        rect.h = height;
        rect.nb_colors = 4;
        rect.data[0] = indices.data();
        rect.linesize[0] = width;
        rect.data[1] = reinterpret_cast<std::uint8_t*>(palette.data());
        AVSubtitleRect* rects[] = {&rect};
        AVSubtitle subtitle{};
        subtitle.end_display_time = 1500;
        subtitle.num_rects = 1;
        subtitle.rects = rects;

        std::vector<std::uint8_t> buffer(1 << 16);
        const int size = avcodec_encode_subtitle(encoding.get(), buffer.data(),
                                                 static_cast<int>(buffer.size()), &subtitle);
        ASSERT_GT(size, 0);
        AVPacket* packet = av_packet_alloc();
        ASSERT_GE(av_new_packet(packet, size), 0);
        std::copy_n(buffer.data(), size, packet->data);
        packet->pts = packet->dts = 1000 + cue * 2000;
        packet->duration = 1500;
        packet->stream_index = stream->index;
        av_packet_rescale_ts(packet, {1, 1000}, stream->time_base);
        const int written = av_interleaved_write_frame(output, packet);
        av_packet_free(&packet);
        ASSERT_GE(written, 0);
    }
    ASSERT_GE(av_write_trailer(output), 0);
    avio_closep(&output->pb);
}

TEST(ExternalSubtitlesEncodingEdges, BitmapSubtitlesAreNotReadForAnEncoding) {
    SubtitleFolderTree tree;
    ASSERT_NO_FATAL_FAILURE(writeBitmapSubtitlesFile(tree.path("bitmaps.mks")));

    const auto loaded = loadedExternalSubtitles(*makeMainSource(), tree.url("bitmaps.mks"));
    ASSERT_EQ(loaded.externalSubtitlesTracks.size(), 1u);
    const auto& track = loaded.externalSubtitlesTracks[0];
    EXPECT_EQ(track->decoder()->characterEncoding(), std::nullopt);

    // A detection over these packets would have named an encoding, and it was not run.
    CharacterEncodingDetector detector;
    const std::shared_ptr<SubtitlesTrack> tracks[] = {track->externalMediaSourceTrack()};
    int packets = 0;
    while (auto packet = readVisualPacket(*loaded.mediaSource, nullptr, tracks)) {
        const AVPacket& avPacket = packet->packet->avPacket();
        EXPECT_TRUE(detector.analyze(
            std::as_bytes(std::span(avPacket.data, static_cast<std::size_t>(avPacket.size)))));
        ++packets;
    }
    EXPECT_EQ(packets, 2);
    EXPECT_NE(detector.finish(), std::nullopt);
}

}  // namespace
}  // namespace quillon
