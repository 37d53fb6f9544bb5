#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
}

#include "ASSDecoderTestSupport.h"
#include "SubtitlesTestSupport.h"
#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/decoders/subtitles/FFmpegFormattedTextSubtitlesDecoder.h"
#include "support/TestMedia.h"

namespace quillon::asstest {
namespace {

using namespace platform;

// What libavcodec's own subtitle decoder hands over for a file: its ASS header and, per decoded
// subtitle, the formatted-text decoder's answer for the rectangles.
struct DecodedFile {
    std::shared_ptr<ASSDecoder> assDecoder;
    std::vector<std::string> rectangleTexts;
    std::vector<FormattedTextSubtitle> subtitles;
};

class ASSDecoderMediaTest : public ASSDecoderTest {
protected:
    DecodedFile decodeFile(const std::string& name) {
        subtitlestest::SubtitlesFile file(test::mediaPath(name));
        const AVCodec* codec = avcodec_find_decoder(file.stream->codecpar->codec_id);
        EXPECT_NE(codec, nullptr);
        AVCodecContextPointer context(avcodec_alloc_context3(codec));
        EXPECT_GE(avcodec_parameters_to_context(context.get(), file.stream->codecpar), 0);
        context->pkt_timebase = file.stream->time_base;
        EXPECT_GE(avcodec_open2(context.get(), codec, nullptr), 0);

        DecodedFile decoded;
        EXPECT_GT(context->subtitle_header_size, 0);
        decoded.assDecoder = ASSDecoder::make(context->subtitle_header,
                                              context->subtitle_header_size, manager_, notifier_);
        FFmpegFormattedTextSubtitlesDecoder decoder(decoded.assDecoder);
        for (const PacketRef& packet : file.readSubtitlePackets()) {
            AVSubtitle subtitle{};
            int gotSubtitle = 0;
            EXPECT_GE(avcodec_decode_subtitle2(context.get(), &subtitle, &gotSubtitle,
                                               &packet->avPacket()),
                      0);
            if (gotSubtitle && subtitle.num_rects > 0) {
                std::span<AVSubtitleRect* const> rects(subtitle.rects, subtitle.num_rects);
                for (const AVSubtitleRect* rect : rects) {
                    decoded.rectangleTexts.emplace_back(rect->ass ? rect->ass : "");
                }
                Subtitles subtitles = decoder.makeSubtitles(rects);
                for (const FormattedTextSubtitle& formatted : *subtitles.formattedTextSubtitles()) {
                    decoded.subtitles.push_back(formatted);
                }
            }
            avsubtitle_free(&subtitle);
        }
        return decoded;
    }
};

std::vector<std::string> textsOf(const std::vector<FormattedTextSubtitle>& subtitles) {
    std::vector<std::string> texts;
    for (const FormattedTextSubtitle& subtitle : subtitles) {
        texts.push_back(subtitle.formattedText->string());
    }
    return texts;
}

TEST_F(ASSDecoderMediaTest, ASSTrackInMatroska) {
    DecodedFile decoded = decodeFile("subtitles-ass.mkv");
    // The decoder hands events over without "Dialogue:" and without times.
    ASSERT_FALSE(decoded.rectangleTexts.empty());
    EXPECT_EQ(decoded.rectangleTexts[0].rfind("0,0,Default,,0,0,0,,{\\b1}Bold", 0), 0u)
        << decoded.rectangleTexts[0];

    EXPECT_FALSE(decoded.assDecoder->originalContainerSize());
    EXPECT_EQ(
        textsOf(decoded.subtitles),
        (std::vector<std::string>{"Bold and italic\nsecond line", "red back to style, half alpha",
                                  "Serif 28\u00A0non\u00A0breaking\u00A0space",
                                  "Thick border, deep shadow then Top style"}));

    SubtitleTextStyle defaultStyle = decoded.assDecoder->style("Default");
    SubtitleTextStyle topStyle = decoded.assDecoder->style("Top");
    EXPECT_EQ(defaultStyle.textAttributes.font().familyName(), "DejaVu Sans");
    EXPECT_EQ(topStyle.textAttributes.foregroundColor(), NSColor::colorWithSRGBRed(1, 1, 0, 1));
    EXPECT_TRUE(topStyle.textAttributes.font().isBold());

    auto first = runsOf(*decoded.subtitles[0].formattedText);
    ASSERT_GE(first.size(), 3u);
    EXPECT_EQ(first[0].text, "Bold");
    EXPECT_TRUE(attribute<NSFont>(first[0], NSFontAttributeName)->isBold());
    EXPECT_EQ(first[2].text, "italic");
    EXPECT_TRUE(attribute<NSFont>(first[2], NSFontAttributeName)->isItalic());

    EXPECT_EQ(decoded.subtitles[1].style, topStyle);
    auto second = runsOf(*decoded.subtitles[1].formattedText);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].text, "red");
    EXPECT_EQ(*attribute<NSColor>(second[0], NSForegroundColorAttributeName),
              NSColor::colorWithSRGBRed(1, 0, 0, 1));
    EXPECT_EQ(second[1].attributes, topStyle.textAttributes.underlyingTextAttributes);
    EXPECT_EQ(attribute<NSColor>(second[2], NSForegroundColorAttributeName)->alphaComponent(),
              127.0 / 255);

    auto third = runsOf(*decoded.subtitles[2].formattedText);
    ASSERT_EQ(third.size(), 2u);
    const NSFont* serif = attribute<NSFont>(third[0], NSFontAttributeName);
    EXPECT_EQ(serif->familyName(), "DejaVu Serif");
    EXPECT_EQ(serif->pointSize(), 28);

    auto fourth = runsOf(*decoded.subtitles[3].formattedText);
    ASSERT_EQ(fourth.size(), 2u);
    EXPECT_EQ(fourth[1].attributes, topStyle.textAttributes.underlyingTextAttributes);
}

TEST_F(ASSDecoderMediaTest, SubRipTrackInMatroska) {
    DecodedFile decoded = decodeFile("subtitles-srt.mkv");
    ASSERT_FALSE(decoded.rectangleTexts.empty());
    EXPECT_EQ(decoded.rectangleTexts[0], "0,0,Default,,0,0,0,,First cue, plain text.");

    // libavcodec's default header: 384 x 288, one "Default" style in Arial.
    EXPECT_FALSE(decoded.assDecoder->originalContainerSize());
    EXPECT_EQ(decoded.assDecoder->styleMap().size(), 1u);
    EXPECT_EQ(decoded.assDecoder->style("Default").textAttributes.font(),
              NSFont::fontWithNameOrSystemFont("Helvetica", 16));

    ASSERT_EQ(decoded.subtitles.size(), 3u);
    EXPECT_EQ(decoded.subtitles[0].formattedText->string(), "First cue, plain text.");

    auto second = runsOf(*decoded.subtitles[1].formattedText);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(second[0].text, "Overlapping");
    EXPECT_TRUE(attribute<NSFont>(second[0], NSFontAttributeName)->isItalic());
    EXPECT_EQ(second[1].text, " cue on\n");
    EXPECT_EQ(second[2].text, "two lines");
    EXPECT_TRUE(attribute<NSFont>(second[2], NSFontAttributeName)->isBold());

    auto third = runsOf(*decoded.subtitles[2].formattedText);
    ASSERT_EQ(third.size(), 2u);
    EXPECT_EQ(third[0].text, "Yellow");
    EXPECT_EQ(*attribute<NSColor>(third[0], NSForegroundColorAttributeName),
              NSColor::colorWithSRGBRed(1, 1, 0, 1));
    EXPECT_EQ(third[1].text, " \u2013 \u00fcmlauts, \u65e5\u672c\u8a9e");
}

}  // namespace
}  // namespace quillon::asstest
