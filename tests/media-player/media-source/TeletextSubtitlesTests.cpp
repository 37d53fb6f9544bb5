#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/MediaSourceReading.h"

namespace quillon {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Writes a transport stream with one DVB teletext stream (PID 0x100, page 888, English) and a
// programme clock on PID 0x101, the way a broadcast carries subtitles: each PES packet holds
// teletext lines as data units of 46 bytes, filling exactly one transport packet.
class TeletextStreamWriter {
public:
    // A page header (row 0) of magazine 8 with the page number's two BCD digits, marked as a
    // subtitle page whose old content is erased.
    static Bytes header(std::uint8_t page, bool subtitle = true) {
        Bytes line = address(0);
        line.insert(line.end(), {hamming(page & 0xF), hamming(page >> 4), hamming(0),
                                 hamming(1 << 3),  // C4: erase page
                                 hamming(0),
                                 hamming(subtitle ? 1 << 3 : 0),  // C6: subtitle
                                 hamming(0), hamming(0)});
        while (line.size() < 42) {
            line.push_back(oddParity(' '));
        }
        return line;
    }
    // A row of the page: the text in a box, as subtitles are sent.
    static Bytes row(int number, std::string_view text) {
        Bytes line = address(number);
        const std::uint8_t startBox = 0x0B;
        const std::uint8_t endBox = 0x0A;
        for (std::uint8_t c : {std::uint8_t{0x0D}, startBox, startBox}) {
            line.push_back(oddParity(c));
        }
        for (char c : text) {
            line.push_back(oddParity(static_cast<std::uint8_t>(c)));
        }
        line.push_back(oddParity(endBox));
        line.push_back(oddParity(endBox));
        while (line.size() < 42) {
            line.push_back(oddParity(' '));
        }
        return line;
    }

    // One PES packet at `seconds` with up to three lines.
    void addPacket(int seconds, const std::vector<Bytes>& lines) {
        writeTables();
        const std::uint64_t time = static_cast<std::uint64_t>(seconds) * 90000;
        writeClock(time);

        Bytes pes = {0, 0, 1, 0xBD, 0, 0, 0x84, 0x80, 0x24};
        pes.insert(pes.end(), {static_cast<std::uint8_t>(0x21 | ((time >> 29) & 0x0E)),
                               static_cast<std::uint8_t>(time >> 22),
                               static_cast<std::uint8_t>(0x01 | ((time >> 14) & 0xFE)),
                               static_cast<std::uint8_t>(time >> 7),
                               static_cast<std::uint8_t>(0x01 | ((time << 1) & 0xFE))});
        pes.resize(pes.size() + 31, 0xFF);  // the header is 45 bytes long in all
        pes.push_back(0x10);                // EBU data
        for (std::size_t index = 0; index < 3; ++index) {
            if (index < lines.size()) {
                // Subtitle data unit, first field, line 7 + index, then the framing code.
                pes.insert(pes.end(),
                           {0x03, 0x2C, static_cast<std::uint8_t>(0xE0 | (7 + index)), 0xE4});
                // Sent least significant bit first.
                for (std::uint8_t byte : lines[index]) {
                    pes.push_back(reversed(byte));
                }
            } else {
                pes.insert(pes.end(), {0xFF, 0x2C});
                pes.resize(pes.size() + 44, 0xFF);
            }
        }
        const std::size_t length = pes.size() - 6;
        pes[4] = static_cast<std::uint8_t>(length >> 8);
        pes[5] = static_cast<std::uint8_t>(length);
        writePacket(0x100, pes, true);
    }

    void write(const std::filesystem::path& path) const {
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(stream_.data()),
                   static_cast<std::streamsize>(stream_.size()));
    }

private:
    static std::uint8_t hamming(int nibble) {
        static constexpr std::array<std::uint8_t, 16> codes = {0x15, 0x02, 0x49, 0x5E, 0x64, 0x73,
                                                               0x38, 0x2F, 0xD0, 0xC7, 0x8C, 0x9B,
                                                               0xA1, 0xB6, 0xFD, 0xEA};
        return codes[static_cast<std::size_t>(nibble & 0xF)];
    }
    static std::uint8_t oddParity(std::uint8_t c) {
        c &= 0x7F;
        return __builtin_popcount(c) % 2 == 0 ? static_cast<std::uint8_t>(c | 0x80) : c;
    }
    static std::uint8_t reversed(std::uint8_t byte) {
        std::uint8_t result = 0;
        for (int bit = 0; bit < 8; ++bit) {
            result = static_cast<std::uint8_t>((result << 1) | ((byte >> bit) & 1));
        }
        return result;
    }
    // Magazine 8 (sent as 0) and the row number.
    static Bytes address(int row) { return {hamming((row & 1) << 3), hamming(row >> 1)}; }
    static std::uint32_t crc32(const Bytes& data) {
        std::uint32_t crc = 0xFFFFFFFF;
        for (std::uint8_t byte : data) {
            crc ^= static_cast<std::uint32_t>(byte) << 24;
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 0x80000000) != 0 ? (crc << 1) ^ 0x04C11DB7 : crc << 1;
            }
        }
        return crc;
    }
    static Bytes section(std::uint8_t tableID, const Bytes& body) {
        const std::size_t length = body.size() + 4;
        Bytes section = {tableID, static_cast<std::uint8_t>(0xB0 | (length >> 8)),
                         static_cast<std::uint8_t>(length)};
        section.insert(section.end(), body.begin(), body.end());
        const std::uint32_t crc = crc32(section);
        for (int shift = 24; shift >= 0; shift -= 8) {
            section.push_back(static_cast<std::uint8_t>(crc >> shift));
        }
        section.insert(section.begin(), 0);  // pointer field
        return section;
    }
    void writeTables() {
        writePacket(0, section(0x00, {0, 1, 0xC1, 0, 0, 0, 1, 0xF0, 0x00}), true);
        // Programme 1: clock on 0x101; stream type 6 on 0x100 with a teletext descriptor
        // (English, subtitle page, magazine 8, page 88).
        writePacket(0x1000,
                    section(0x02, {0,    1,    0xC1, 0,    0,    0xE1, 0x01, 0xF0, 0x00, 0x06, 0xE1,
                                   0x00, 0xF0, 0x07, 0x56, 0x05, 'e',  'n',  'g',  0x10, 0x88}),
                    true);
    }
    void writeClock(std::uint64_t time) {
        Bytes packet = {0x47, 0x01, 0x01, static_cast<std::uint8_t>(0x20 | counter(0x101)),
                        183,  0x10};
        packet.insert(packet.end(),
                      {static_cast<std::uint8_t>(time >> 25), static_cast<std::uint8_t>(time >> 17),
                       static_cast<std::uint8_t>(time >> 9), static_cast<std::uint8_t>(time >> 1),
                       static_cast<std::uint8_t>(((time & 1) << 7) | 0x7E), 0});
        packet.resize(188, 0xFF);
        stream_.insert(stream_.end(), packet.begin(), packet.end());
    }
    void writePacket(int pid, const Bytes& payload, bool unitStart) {
        Bytes packet = {0x47, static_cast<std::uint8_t>((unitStart ? 0x40 : 0) | (pid >> 8)),
                        static_cast<std::uint8_t>(pid),
                        static_cast<std::uint8_t>(0x10 | counter(pid))};
        packet.insert(packet.end(), payload.begin(), payload.end());
        packet.resize(188, 0xFF);
        stream_.insert(stream_.end(), packet.begin(), packet.end());
    }
    int counter(int pid) { return counters_[pid]++ & 0xF; }

    Bytes stream_;
    std::map<int, int> counters_;
};

std::string textOf(const Subtitles& subtitles) {
    std::string joined;
    if (const auto* formatted = subtitles.formattedTextSubtitles()) {
        for (const auto& subtitle : *formatted) {
            joined += (joined.empty() ? "" : "\n") + subtitle.formattedText->string();
        }
    }
    return joined;
}

std::vector<SubtitlesFrame> decodeAll(const std::shared_ptr<MediaSource>& source) {
    const auto track = source->embeddedSubtitlesTracks().at(0);
    std::vector<SubtitlesFrame> frames;
    const std::shared_ptr<SubtitlesTrack> tracks[] = {track};
    while (auto next = readVisualPacket(*source, nullptr, tracks)) {
        for (auto& frame : track->decoder()->decode(*next->packet)) {
            frames.push_back(std::move(frame));
        }
    }
    return frames;
}

std::shared_ptr<MediaSource> openStream(const TeletextStreamWriter& writer) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("quillon-teletext-" + std::to_string(::getpid()) + ".ts");
    writer.write(path);
    auto source = MediaSource::make(platform::URL::fileURL(path.string()),
                                    platform::CMTimeMakeWithSeconds(10, 1000), false);
    std::filesystem::remove(path);
    return source;
}

TEST(TeletextSubtitlesTest, ATeletextStreamIsASubtitlesTrackDecodedAsText) {
    // Page 888 is sent at 1 s and complete when the next header of its magazine comes at 3 s;
    // page 889, empty, ends it at 5 s.
    TeletextStreamWriter writer;
    writer.addPacket(
        1, {TeletextStreamWriter::header(0x88), TeletextStreamWriter::row(22, "Hello teletext")});
    writer.addPacket(3, {TeletextStreamWriter::header(0x89)});
    writer.addPacket(5, {TeletextStreamWriter::header(0x88)});
    writer.addPacket(6, {TeletextStreamWriter::header(0x89)});
    const auto source = openStream(writer);
    ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);
    EXPECT_EQ(source->embeddedSubtitlesTracks().at(0)->languageCodes(),
              std::vector<std::string>{"en"});

    std::vector<SubtitlesFrame> frames = decodeAll(source);
    // What a page replaces goes first.
    std::erase_if(frames, [](const SubtitlesFrame& frame) {
        return frame.subtitles.kind() == Subtitles::Kind::clearPreviousSubtitles &&
               CMTimeCompare(frame.startTime, platform::CMTimeMakeWithSeconds(3, 1000)) == 0;
    });
    ASSERT_GE(frames.size(), 2u);
    // In the user's style, as formatted text.
    EXPECT_EQ(frames[0].subtitles.kind(), Subtitles::Kind::formattedText);
    EXPECT_EQ(textOf(frames[0].subtitles), "Hello teletext");
    EXPECT_EQ(platform::CMTimeGetSeconds(frames[0].startTime), 3.0);
    // The empty page takes it off the screen.
    EXPECT_EQ(frames[1].subtitles.kind(), Subtitles::Kind::clearPreviousSubtitles);
}

// A page stays until the next one: each new page takes the one before it off the screen instead
// of stacking on it.
TEST(TeletextSubtitlesTest, ANewPageReplacesThePageBefore) {
    // Each sending of page 888 is complete when the next header of its magazine comes, here
    // that of a page which is no subtitle.
    TeletextStreamWriter writer;
    writer.addPacket(
        1, {TeletextStreamWriter::header(0x88), TeletextStreamWriter::row(22, "First page")});
    writer.addPacket(2, {TeletextStreamWriter::header(0xFF, false)});
    writer.addPacket(
        3, {TeletextStreamWriter::header(0x88), TeletextStreamWriter::row(22, "Second page")});
    writer.addPacket(4, {TeletextStreamWriter::header(0xFF, false)});
    const auto source = openStream(writer);
    ASSERT_EQ(source->embeddedSubtitlesTracks().size(), 1u);

    std::vector<std::pair<Subtitles::Kind, double>> seen;
    std::vector<std::string> texts;
    for (const auto& frame : decodeAll(source)) {
        seen.emplace_back(frame.subtitles.kind(), platform::CMTimeGetSeconds(frame.startTime));
        texts.push_back(textOf(frame.subtitles));
    }
    using Kind = Subtitles::Kind;
    const std::vector<std::pair<Kind, double>> expected = {{Kind::clearPreviousSubtitles, 2.0},
                                                           {Kind::formattedText, 2.0},
                                                           {Kind::clearPreviousSubtitles, 4.0},
                                                           {Kind::formattedText, 4.0}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(texts, (std::vector<std::string>{"", "First page", "", "Second page"}));
}

}  // namespace
}  // namespace quillon
