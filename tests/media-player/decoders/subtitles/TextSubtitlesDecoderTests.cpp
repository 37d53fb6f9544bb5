#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/subtitles/FFmpegTextSubtitlesDecoder.h"

namespace quillon {
namespace {

AVSubtitleRect textRect(char* text) {
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_TEXT;
    rect.text = text;
    return rect;
}

AVSubtitleRect assRect(char* ass) {
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_ASS;
    rect.ass = ass;
    return rect;
}

std::string textOf(const Subtitles& subtitles) {
    EXPECT_EQ(subtitles.kind(), Subtitles::Kind::text);
    return subtitles.textSubtitle() ? subtitles.textSubtitle()->text : std::string();
}

TEST(TextSubtitlesDecoderTests, JoinsTextRectanglesWithNewlines) {
    char a[] = "a";
    char b[] = "b";
    AVSubtitleRect first = textRect(a);
    AVSubtitleRect second = textRect(b);
    std::vector<AVSubtitleRect*> rects{&first, &second};
    FFmpegTextSubtitlesDecoder decoder;
    EXPECT_EQ(textOf(decoder.makeSubtitles(rects)), "a\nb");
}

TEST(TextSubtitlesDecoderTests, TakesTheTextFieldOfASSEvents) {
    // The form libavcodec 5.1 gives every text codec: ReadOrder, Layer, Style, Name, MarginL,
    // MarginR, MarginV, Effect, Text.
    char event[] = "3,0,Default,Narrator,0,0,0,,{\\i1}Hello{\\i0}, you\\Nthere\\nnow";
    AVSubtitleRect rect = assRect(event);
    std::vector<AVSubtitleRect*> rects{&rect};
    FFmpegTextSubtitlesDecoder decoder;
    EXPECT_EQ(textOf(decoder.makeSubtitles(rects)), "Hello, you\nthere\nnow");
}

TEST(TextSubtitlesDecoderTests, PlainTextOfASSEventEdgeCases) {
    using D = FFmpegTextSubtitlesDecoder;
    EXPECT_EQ(D::plainTextOfASSEvent("0,0,Default,,0,0,0,,a\\hb"), "a\u00A0b");
    // An unclosed block is text, not a reason to drop the rest of the line.
    EXPECT_EQ(D::plainTextOfASSEvent("0,0,Default,,0,0,0,,{\\b1}x {oops"), "x {oops");
    EXPECT_EQ(D::plainTextOfASSEvent("0,0,Default,,0,0,0,,"), "");
    EXPECT_EQ(D::plainTextOfASSEvent("0,0,Default,,0,0,0,,line\r\n"), "line");
    // Too few fields for an event: the whole line is the text.
    EXPECT_EQ(D::plainTextOfASSEvent("just text"), "just text");
    // A trailing backslash is kept as it is.
    EXPECT_EQ(D::plainTextOfASSEvent("0,0,Default,,0,0,0,,end\\"), "end\\");
}

TEST(TextSubtitlesDecoderTests, SkipsRectanglesWithoutTextAndFailsWhenNoneHasText) {
    char a[] = "kept";
    AVSubtitleRect text = textRect(a);
    AVSubtitleRect bitmap{};
    bitmap.type = SUBTITLE_BITMAP;
    AVSubtitleRect emptyText = textRect(nullptr);
    AVSubtitleRect emptyASS = assRect(nullptr);
    FFmpegTextSubtitlesDecoder decoder;

    std::vector<AVSubtitleRect*> mixed{&bitmap, &text, &emptyText};
    EXPECT_EQ(textOf(decoder.makeSubtitles(mixed)), "kept");

    std::vector<AVSubtitleRect*> none{&bitmap, &emptyText, &emptyASS};
    try {
        decoder.makeSubtitles(none);
        FAIL() << "expected unknownSubtitleType";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::unknownSubtitleType());
    }
}

}  // namespace
}  // namespace quillon
