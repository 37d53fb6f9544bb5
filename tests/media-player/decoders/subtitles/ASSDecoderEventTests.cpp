#include <QPainterPath>
#include <atomic>
#include <string>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/error.h>
}

#include "ASSDecoderTestSupport.h"
#include "media-player/decoders/common/FFmpegError.h"
#include "media-player/decoders/subtitles/ASSRenderingContext.h"
#include "media-player/decoders/subtitles/FFmpegFormattedTextSubtitlesDecoder.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/NSFontManager.h"

namespace quillon::asstest {
namespace {

using namespace platform;

// Default: white, half transparent, 20 points, with an outline and a shadow. Top: yellow, bold.
const std::string header = headerWithStyles(
    "Style: Default,DejaVu Sans,20,&H80FFFFFF,&H0,&H00000000,&H00000000,0,0,0,0,100,100,0,0,1,2,"
    "2,2,10,10,10,0\n"
    "Style: Top,DejaVu Serif,16,&H0000FFFF,&H0,&H00000000,&H0,-1,0,0,0,100,100,0,0,1,0,0,8,20,"
    "30,40,0");

class ASSDecoderEventTest : public ASSDecoderTest {
protected:
    FormattedTextSubtitle decode(const std::string& event) {
        if (!decoder_) {
            decoder_ = makeDecoder(header);
        }
        std::vector<FormattedTextSubtitle> subtitles =
            decoder_->formattedTextSubtitles(("0,0," + event).c_str());
        EXPECT_EQ(subtitles.size(), 1u);
        return subtitles.at(0);
    }

    std::vector<TextRun> runs(const std::string& event) {
        return runsOf(*decode(event).formattedText);
    }

    std::shared_ptr<ASSDecoder> decoder_;
};

NSFont fontOf(const TextRun& run) {
    return *attribute<NSFont>(run, NSFontAttributeName);
}

NSColor foregroundOf(const TextRun& run) {
    return *attribute<NSColor>(run, NSForegroundColorAttributeName);
}

TEST_F(ASSDecoderEventTest, DecodedEventShapeGivesTextInItsStyle) {
    FormattedTextSubtitle subtitle = decode("Default,,0,0,0,,Hello, world");
    EXPECT_EQ(subtitle.formattedText->string(), "Hello, world");
    SubtitleTextStyle style = decoder_->style("Default");
    EXPECT_EQ(subtitle.style, style);
    auto textRuns = runsOf(*subtitle.formattedText);
    ASSERT_EQ(textRuns.size(), 1u);
    EXPECT_EQ(textRuns[0].attributes, style.textAttributes.underlyingTextAttributes);
}

TEST_F(ASSDecoderEventTest, DialogueLinesUseTheHeadersColumns) {
    decoder_ = makeDecoder(header);
    auto subtitles = decoder_->formattedTextSubtitles(
        "Dialogue: 0,0:00:01.00,0:00:02.00,Top,,0,0,0,,One\n"
        "Dialogue: 0,0:00:01.00,0:00:02.00,Default,,0,0,0,,Two, three");
    ASSERT_EQ(subtitles.size(), 2u);
    EXPECT_EQ(subtitles[0].formattedText->string(), "One");
    EXPECT_EQ(subtitles[0].style, decoder_->style("Top"));
    EXPECT_EQ(subtitles[1].formattedText->string(), "Two, three");
}

TEST_F(ASSDecoderEventTest, EventMarginsReplaceTheStylesWhenGiven) {
    EXPECT_EQ(decode("Top,,0,0,0,,x").style.containerInsets, NSEdgeInsetsMake(40, 20, 40, 30));
    EXPECT_EQ(decode("Top,,5,0,7,,x").style.containerInsets, NSEdgeInsetsMake(7, 5, 7, 30));
    EXPECT_EQ(decode("Nowhere,,0,0,0,,x").style, decoder_->style("Default"));
}

TEST_F(ASSDecoderEventTest, BoldThenResetGivesTwoRuns) {
    auto textRuns = runs("Default,,0,0,0,,{\\b1}a{\\r}b");
    ASSERT_EQ(textRuns.size(), 2u);
    EXPECT_EQ(textRuns[0].text, "a");
    EXPECT_TRUE(fontOf(textRuns[0]).isBold());
    EXPECT_EQ(textRuns[1].text, "b");
    EXPECT_EQ(textRuns[1].attributes,
              decoder_->style("Default").textAttributes.underlyingTextAttributes);
}

TEST_F(ASSDecoderEventTest, StyleCodes) {
    auto textRuns = runs("Default,,0,0,0,,{\\i1\\u1}a{\\s1\\u0}b{\\i\\s}c{\\b1\\b0}d{\\b1}e");
    ASSERT_EQ(textRuns.size(), 4u);
    EXPECT_TRUE(fontOf(textRuns[0]).isItalic());
    EXPECT_EQ(*attribute<std::int64_t>(textRuns[0], NSUnderlineStyleAttributeName), 1);
    EXPECT_EQ(*attribute<std::int64_t>(textRuns[1], NSUnderlineStyleAttributeName), 0);
    EXPECT_EQ(*attribute<std::int64_t>(textRuns[1], NSStrikethroughStyleAttributeName), 1);
    // Without a digit a code goes back to the style's value; bold on and off again changes
    // nothing.
    EXPECT_EQ(textRuns[2].text, "cd");
    EXPECT_FALSE(fontOf(textRuns[2]).isItalic());
    EXPECT_FALSE(fontOf(textRuns[2]).isBold());
    EXPECT_EQ(*attribute<std::int64_t>(textRuns[2], NSStrikethroughStyleAttributeName), 0);
    EXPECT_TRUE(fontOf(textRuns[3]).isBold());
}

TEST_F(ASSDecoderEventTest, ColourCodesKeepTheCurrentAlpha) {
    auto textRuns = runs("Default,,0,0,0,,{\\c&H0000FF&}red{\\1c&HFF0000&}blue{\\c}base");
    ASSERT_EQ(textRuns.size(), 3u);
    EXPECT_EQ(foregroundOf(textRuns[0]), NSColor::colorWithSRGBRed(1, 0, 0, 127.0 / 255));
    EXPECT_EQ(foregroundOf(textRuns[1]), NSColor::colorWithSRGBRed(0, 0, 1, 127.0 / 255));
    EXPECT_EQ(foregroundOf(textRuns[2]), NSColor::colorWithSRGBRed(1, 1, 1, 127.0 / 255));
}

TEST_F(ASSDecoderEventTest, AlphaCodes) {
    auto textRuns = runs("Default,,0,0,0,,{\\alpha&H00&}a{\\1a&HFF&}b{\\alpha}c");
    ASSERT_EQ(textRuns.size(), 3u);
    EXPECT_EQ(foregroundOf(textRuns[0]).alphaComponent(), 1);
    EXPECT_EQ(foregroundOf(textRuns[1]).alphaComponent(), 0);
    EXPECT_EQ(foregroundOf(textRuns[2]).alphaComponent(), 127.0 / 255);
}

TEST_F(ASSDecoderEventTest, OutlineAndShadowCodes) {
    auto textRuns =
        runs("Default,,0,0,0,,{\\3c&H00FF00&\\3a&H80&\\4c&HFF0000&\\4a&H40&}a{\\3c\\4c\\4a}b");
    ASSERT_EQ(textRuns.size(), 2u);
    EXPECT_EQ(*attribute<NSColor>(textRuns[0], NSStrokeColorAttributeName),
              NSColor::colorWithSRGBRed(0, 1, 0, 127.0 / 255));
    EXPECT_EQ(attribute<NSShadow>(textRuns[0], NSShadowAttributeName)->shadowColor,
              NSColor::colorWithSRGBRed(0, 0, 1, 191.0 / 255));
    // Back to the style's outline colour (keeping the alpha set above), shadow colour and alpha.
    EXPECT_EQ(*attribute<NSColor>(textRuns[1], NSStrokeColorAttributeName),
              NSColor::colorWithSRGBRed(0, 0, 0, 127.0 / 255));
    EXPECT_EQ(attribute<NSShadow>(textRuns[1], NSShadowAttributeName)->shadowColor,
              NSColor::colorWithSRGBRed(0, 0, 0, 1));

    // Without an outline or a shadow there is nothing to colour.
    auto plain = runs("Top,,0,0,0,,{\\3c&H00FF00&\\4c&HFF0000&\\4a&H00&}x");
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_EQ(attribute<NSShadow>(plain[0], NSShadowAttributeName), nullptr);
    EXPECT_EQ(plain[0].attributes, decoder_->style("Top").textAttributes.underlyingTextAttributes);
}

TEST_F(ASSDecoderEventTest, FontCodes) {
    auto textRuns = runs("Top,,0,0,0,,{\\fnDejaVu Sans\\fs28}a{\\fn}b{\\fs}c{\\fnNo Such Font}d");
    ASSERT_EQ(textRuns.size(), 3u);
    EXPECT_EQ(fontOf(textRuns[0]).familyName(), "DejaVu Sans");
    EXPECT_EQ(fontOf(textRuns[0]).pointSize(), 28);
    EXPECT_TRUE(fontOf(textRuns[0]).isBold());  // the style's traits stay
    EXPECT_EQ(fontOf(textRuns[1]).familyName(), "DejaVu Serif");
    EXPECT_EQ(fontOf(textRuns[1]).pointSize(), 28);
    EXPECT_EQ(textRuns[2].text, "cd");  // an unknown family changes nothing
    EXPECT_EQ(fontOf(textRuns[2]), decoder_->style("Top").textAttributes.font());
}

TEST_F(ASSDecoderEventTest, ResetToANamedStyle) {
    auto textRuns = runs("Default,,0,0,0,,{\\b1}a{\\rTop}b{\\rNowhere}c");
    ASSERT_EQ(textRuns.size(), 3u);
    EXPECT_EQ(textRuns[1].attributes,
              decoder_->style("Top").textAttributes.underlyingTextAttributes);
    EXPECT_EQ(textRuns[2].attributes,
              decoder_->style("Default").textAttributes.underlyingTextAttributes);
}

TEST_F(ASSDecoderEventTest, LineBreaksHardSpacesAndUnknownCodes) {
    FormattedTextSubtitle subtitle =
        decode("Default,,0,0,0,,one\\Ntwo\\nthree\\hfour{\\bord4\\shad3\\blur1}five");
    EXPECT_EQ(subtitle.formattedText->string(), "one\ntwo\nthree\u00A0fourfive");
    EXPECT_EQ(runsOf(*subtitle.formattedText).size(), 1u);
}

TEST_F(ASSDecoderEventTest, LegacyBytesAreReadInTheirEncoding) {
    FormattedTextSubtitle subtitle = decode("Default,,0,0,0,,caf\xe9 cr\xe8me br\xfbl\xe9\x65");
    EXPECT_EQ(subtitle.formattedText->string(), "caf\u00e9 cr\u00e8me br\u00fbl\u00e9\x65");
}

TEST_F(ASSDecoderEventTest, RestrictedStylesTakeOnlyBasicOverrides) {
    useUserSpecifiedStyle(true);
    auto textRuns = runs("Default,,0,0,0,,{\\c&H00FF00&\\fs40\\alpha&H80&}x{\\i1}y");
    ASSERT_EQ(textRuns.size(), 2u);
    SubtitleTextStyle style = decoder_->style("Default");
    ASSERT_TRUE(style.shouldRestrictOverridesToBasicAttributes);
    EXPECT_EQ(textRuns[0].attributes, style.textAttributes.underlyingTextAttributes);
    EXPECT_EQ(foregroundOf(textRuns[1]), style.textAttributes.foregroundColor());
    EXPECT_TRUE(fontOf(textRuns[1]).isItalic());
}

TEST_F(ASSDecoderEventTest, UnclosedOverrideBlockFailsTheEvent) {
    ScopedLogCapture log;
    try {
        decode("Default,,0,0,0,,{\\b1 never closed");
        FAIL() << "no error";
    } catch (const FFmpegError& error) {
        EXPECT_EQ(error, FFmpegError::other(AVERROR_INVALIDDATA));
    }
    EXPECT_TRUE(log.contains("formattedTextSubtitle(from:)"));
}

TEST_F(ASSDecoderEventTest, RenderingContextFollowsAlignmentCodes) {
    SubtitleTextStyle base = userSpecifiedStyle();
    base.shouldRestrictOverridesToBasicAttributes = false;
    auto alignmentAfter = [&](const char* text) {
        ASSRenderingContext context(base, {});
        EXPECT_EQ(assSplitOverrideCodes(ASSRenderingContext::callbacks(), &context, text), 0);
        return context.currentStyle.alignmentInContainer;
    };
    EXPECT_EQ(alignmentAfter("{\\an7}"), SubtitleTextStyle::Alignment::left);
    EXPECT_EQ(alignmentAfter("{\\an9}"), SubtitleTextStyle::Alignment::right);
    EXPECT_EQ(alignmentAfter("{\\a3}"), SubtitleTextStyle::Alignment::right);
    EXPECT_EQ(alignmentAfter("{\\an1\\an}"), SubtitleTextStyle::Alignment::center);
}

TEST_F(ASSDecoderEventTest, AlignmentAndPositionPlaceTheWholeEvent) {
    using Vertical = SubtitleTextStyle::VerticalAlignment;
    using Horizontal = SubtitleTextStyle::Alignment;
    const SubtitleTextStyle top = decode("Default,,0,0,0,,{\\an8}A{\\an1}B").style;
    EXPECT_EQ(top.verticalAlignmentInContainer, Vertical::top) << "the first alignment wins";
    EXPECT_EQ(top.alignmentInContainer, Horizontal::center);
    const SubtitleTextStyle legacy = decode("Default,,0,0,0,,{\\a11}A").style;
    EXPECT_EQ(legacy.verticalAlignmentInContainer, Vertical::middle);
    EXPECT_EQ(legacy.alignmentInContainer, Horizontal::right);
    EXPECT_EQ(decode("Default,,0,0,0,,{\\an1}A").style.verticalAlignmentInContainer,
              Vertical::bottom)
        << "an event aligned to the bottom says so, for the view that draws at the top";

    // A style's alignment: bottom is left to the view.
    EXPECT_EQ(decode("Top,,0,0,0,,A").style.verticalAlignmentInContainer, Vertical::top);
    EXPECT_EQ(decode("Default,,0,0,0,,A").style.verticalAlignmentInContainer, std::nullopt);

    // Positions are on the script's canvas: this header gives none, so 384 x 288.
    EXPECT_EQ(decoder_->canvasSize(), CGSizeMake(384, 288));
    EXPECT_EQ(decode("Default,,0,0,0,,{\\pos(10,20)}A{\\pos(30,40)}").style.position,
              (SubtitleTextStyle::Position{CGPointMake(10, 20), CGSizeMake(384, 288)}));
    EXPECT_EQ(decode("Default,,0,0,0,,{\\move(5,6,100,100,0,500)}A").style.position,
              (SubtitleTextStyle::Position{CGPointMake(5, 6), CGSizeMake(384, 288)}));

    auto canvasOf = [&](const std::string& info) {
        return makeDecoder(headerWithStyles("", info))->canvasSize();
    };
    EXPECT_EQ(canvasOf("PlayResX: 1920\nPlayResY: 1080\n"), CGSizeMake(1920, 1080));
    EXPECT_EQ(canvasOf("PlayResY: 480\n"), CGSizeMake(640, 480));
    EXPECT_EQ(canvasOf("PlayResX: 640\n"), CGSizeMake(640, 480));
}

TEST_F(ASSDecoderEventTest, DrawingsBecomeShapesInThePrimaryColour) {
    const FormattedTextSubtitle subtitle =
        decode("Default,,0,0,0,,{\\c&H0000FF&\\p3}m 0 0 l 40 0 40 20 0 20{\\p0}after");
    EXPECT_EQ(subtitle.formattedText->string(), "after");
    ASSERT_EQ(subtitle.drawings.size(), 1u);
    const SubtitleDrawing& drawing = subtitle.drawings[0];
    EXPECT_EQ(drawing.path->boundingRect(), QRectF(0, 0, 10, 5)) << "level 3: quarter pixels";
    EXPECT_EQ(drawing.canvasSize, CGSizeMake(384, 288));
    EXPECT_EQ(drawing.fillColor, NSColor::colorWithSRGBRed(1, 0, 0, 0x7F / 255.0));
    ASSERT_TRUE(drawing.outlineColor);
    EXPECT_DOUBLE_EQ(drawing.outlineWidth, 2);

    // Curves, open figures and stray words.
    const FormattedTextSubtitle curves =
        decode("Default,,0,0,0,,{\\p1}m 0 0 b 10 0 10 10 0 10 x n 20 20 l 30 30 s 40 20 50 30 c");
    ASSERT_EQ(curves.drawings.size(), 1u);
    EXPECT_EQ(curves.drawings[0].path->boundingRect().toAlignedRect(), QRect(0, 0, 50, 30));
    EXPECT_TRUE(decode("Default,,0,0,0,,{\\p1}m 0 0 l").drawings.empty());
}

// ---------------------------------------------------------------------------------------------
// Rectangles of decoded subtitles

AVSubtitleRect assRect(char* text) {
    AVSubtitleRect rect{};
    rect.type = SUBTITLE_ASS;
    rect.ass = text;
    return rect;
}

TEST_F(ASSDecoderEventTest, FormattedTextDecoderTakesEveryRectangle) {
    FFmpegFormattedTextSubtitlesDecoder decoder(makeDecoder(header));
    std::string first = "0,0,Default,,0,0,0,,Hello";
    std::string second =
        "Dialogue: 0,0:00:00.00,0:00:01.00,Top,,0,0,0,,A\n"
        "Dialogue: 0,0:00:00.00,0:00:01.00,Top,,0,0,0,,B";
    AVSubtitleRect rects[] = {assRect(first.data()), assRect(second.data())};
    AVSubtitleRect* pointers[] = {&rects[0], &rects[1]};
    Subtitles subtitles = decoder.makeSubtitles(pointers);
    ASSERT_EQ(subtitles.kind(), Subtitles::Kind::formattedText);
    const auto& formatted = *subtitles.formattedTextSubtitles();
    ASSERT_EQ(formatted.size(), 3u);
    EXPECT_EQ(formatted[0].formattedText->string(), "Hello");
    EXPECT_EQ(formatted[1].formattedText->string(), "A");
    EXPECT_EQ(formatted[2].formattedText->string(), "B");

    AVSubtitleRect empty = assRect(nullptr);
    AVSubtitleRect* emptyPointer[] = {&empty};
    EXPECT_THROW(decoder.makeSubtitles(emptyPointer), ASSDecoder::DecodingError);
    std::string noEvent = "Dialogue without a colon";
    AVSubtitleRect stray = assRect(noEvent.data());
    AVSubtitleRect* strayPointer[] = {&stray};
    // Not a "Dialogue:" line, so it is read as a decoded event whose fields are mostly missing.
    EXPECT_EQ(decoder.makeSubtitles(strayPointer).formattedTextSubtitles()->size(), 1u);
    std::string badLine = "Dialogue: oops";
    AVSubtitleRect bad = assRect(badLine.data());
    AVSubtitleRect* badPointer[] = {&bad};
    EXPECT_EQ(decoder.makeSubtitles(badPointer).formattedTextSubtitles()->size(), 1u);
}

TEST_F(ASSDecoderEventTest, DecodingWhileTheStyleMapIsRebuilt) {
    decoder_ = makeDecoder(header);
    std::atomic<bool> done = false;
    std::thread rebuilder([&] {
        while (!done) {
            decoder_->updateStyleMap();
        }
    });
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(decoder_
                      ->formattedTextSubtitles(
                          "Dialogue: 0,0:00:00.00,0:00:01.00,Top,,0,0,0,,{\\rDefault}x")
                      .size(),
                  1u);
        EXPECT_EQ(decode("Top,,0,0,0,,{\\b1}y{\\rDefault}z").formattedText->length(), 2u);
    }
    done = true;
    rebuilder.join();
}

}  // namespace
}  // namespace quillon::asstest
