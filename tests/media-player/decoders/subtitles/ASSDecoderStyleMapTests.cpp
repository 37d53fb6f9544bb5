#include <cmath>
#include <string>

#include "ASSDecoderTestSupport.h"
#include "platform/foundation/Log.h"
#include "platform/graphics/NSFontManager.h"

namespace quillon::asstest {
namespace {

using namespace platform;

const NSAttributeDictionary& attributesOf(const SubtitleTextStyle& style) {
    return style.textAttributes.underlyingTextAttributes;
}

template <typename T>
const T* attribute(const SubtitleTextStyle& style, const NSAttributedStringKey& key) {
    return attributeValue<T>(attributesOf(style), key);
}

using ASSDecoderStyleMapTest = ASSDecoderTest;

TEST_F(ASSDecoderStyleMapTest, StylesBecomeTextStyles) {
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Default,DejaVu Serif,20,&H80FF8000,&H000000FF,&H00000000,&H00000000,-1,0,-1,-1,"
        "100,100,1.5,0,0,0,0,7,10,11,12,0"));
    SubtitleTextStyle style = decoder->style("Default");

    NSFont font = style.textAttributes.font();
    EXPECT_EQ(font.familyName(), "DejaVu Serif");
    EXPECT_EQ(font.pointSize(), 20);
    EXPECT_TRUE(font.isBold());
    EXPECT_FALSE(font.isItalic());
    EXPECT_EQ(style.textAttributes.fontTraits, NSBoldFontMask);
    // &HAABBGGRR: blue 0x80 ... the alpha byte 0x80 is half transparency.
    EXPECT_EQ(style.textAttributes.foregroundColor(),
              NSColor::colorWithSRGBRed(0.0, 128.0 / 255, 1.0, 127.0 / 255));
    EXPECT_EQ(*attribute<double>(style, NSKernAttributeName), 1.5);
    EXPECT_EQ(*attribute<std::int64_t>(style, NSUnderlineStyleAttributeName), 1);
    EXPECT_EQ(*attribute<std::int64_t>(style, NSStrikethroughStyleAttributeName), 1);
    EXPECT_EQ(attribute<double>(style, NSStrokeWidthAttributeName), nullptr);
    EXPECT_EQ(style.alignmentInContainer, SubtitleTextStyle::Alignment::left);
    EXPECT_EQ(style.containerInsets, NSEdgeInsetsMake(12, 10, 12, 11));
    EXPECT_EQ(style.overlayStyle.backgroundColor, NSColor::clearColor());
    EXPECT_FALSE(style.shouldRestrictOverridesToBasicAttributes);
    EXPECT_EQ(style.scalingInfo.initialBaseFontSize, 20);
    EXPECT_EQ(style.scalingInfo.additionalFontSizeMultiplier, 1);
}

TEST_F(ASSDecoderStyleMapTest, ArialAndUnknownFontsFallBackToTheDefaultFont) {
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Default,Arial,20,&H00FFFFFF,&H0,&H0,&H0,0,-1,0,0,100,100,0,0,1,0,0,2,0,0,0,0\n"
        "Style: Missing,No Such Font Family,18,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,"
        "2,0,0,0,0"));
    NSFont italicFallback = NSFontManager::sharedFontManager().convertFont(
        NSFont::fontWithNameOrSystemFont("Helvetica", 20), NSItalicFontMask);
    EXPECT_EQ(decoder->style("Default").textAttributes.font(), italicFallback);
    EXPECT_EQ(decoder->style("Missing").textAttributes.font(),
              NSFont::fontWithNameOrSystemFont("Helvetica", 18));
}

TEST_F(ASSDecoderStyleMapTest, OutlineShadowAndBox) {
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Outline,DejaVu Sans,20,&H00FFFFFF,&H0,&H000000FF,&H80000000,0,0,0,0,100,100,0,0,"
        "1,2,0,2,0,0,0,0\n"
        "Style: Shadow,DejaVu Sans,20,&H00FFFFFF,&H0,&H000000FF,&H80FF0000,0,0,0,0,100,100,0,0,"
        "1,0,2,2,0,0,0,0\n"
        "Style: Box,DejaVu Sans,20,&H00FFFFFF,&H0,&H4000FF00,&H0,0,0,0,0,100,100,0,0,3,4,2,2,0,"
        "0,0,0"));
    SubtitleTextStyle outline = decoder->style("Outline");
    EXPECT_DOUBLE_EQ(*attribute<double>(outline, NSStrokeWidthAttributeName), -20);
    EXPECT_EQ(*attribute<NSColor>(outline, NSStrokeColorAttributeName),
              NSColor::colorWithSRGBRed(1, 0, 0, 1));
    EXPECT_EQ(attribute<NSShadow>(outline, NSShadowAttributeName), nullptr);

    SubtitleTextStyle shadow = decoder->style("Shadow");
    EXPECT_DOUBLE_EQ(*attribute<double>(shadow, NSStrokeWidthAttributeName), -10);  // w = 1
    const NSShadow* textShadow = attribute<NSShadow>(shadow, NSShadowAttributeName);
    ASSERT_NE(textShadow, nullptr);
    EXPECT_EQ(textShadow->shadowOffset, (CGSize{2, -2}));
    EXPECT_EQ(textShadow->shadowColor, NSColor::colorWithSRGBRed(0, 0, 1, 127.0 / 255));

    SubtitleTextStyle box = decoder->style("Box");
    EXPECT_EQ(attribute<double>(box, NSStrokeWidthAttributeName), nullptr);
    EXPECT_EQ(attribute<NSShadow>(box, NSShadowAttributeName), nullptr);
    EXPECT_EQ(box.overlayStyle.backgroundColor, NSColor::colorWithSRGBRed(0, 1, 0, 191.0 / 255));
    EXPECT_EQ(box.overlayStyle.insets, (CGSize{4, 4}));
}

TEST_F(ASSDecoderStyleMapTest, DefaultIsAlwaysPresent) {
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Top,DejaVu Sans,16,&H0000FFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,8,0,0,0,0"));
    ASSDecoder::StyleMap styles = decoder->styleMap();
    EXPECT_EQ(styles.size(), 2u);
    EXPECT_EQ(styles.at("Default"), userSpecifiedStyle());
    EXPECT_EQ(decoder->style("Nowhere"), userSpecifiedStyle());
    EXPECT_EQ(decoder->style("Top").alignmentInContainer, SubtitleTextStyle::Alignment::center);

    auto empty = makeDecoder("");
    EXPECT_EQ(empty->styleMap().size(), 1u);
    EXPECT_EQ(empty->style("Default"), userSpecifiedStyle());
}

TEST_F(ASSDecoderStyleMapTest, BadStyleLinesAreLoggedNotFatal) {
    ScopedLogCapture log;
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Main,DejaVu Sans,20,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,1,0,0,0,0\n"
        "Style: Main,DejaVu Sans,40,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,3,0,0,0,0\n"
        "Style: Zero,DejaVu Sans,20,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,0,0,0,0,0\n"
        "Style: Ten,DejaVu Sans,20,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,10,0,0,0,0\n"
        "Style: ,DejaVu Sans,20,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,3,0,0,0,0"));
    SubtitleTextStyle main = decoder->style("Main");
    EXPECT_EQ(main.textAttributes.font().pointSize(), 20);
    EXPECT_EQ(main.alignmentInContainer, SubtitleTextStyle::Alignment::left);
    EXPECT_EQ(decoder->style("Zero").alignmentInContainer, SubtitleTextStyle::Alignment::center);
    EXPECT_EQ(decoder->style("Ten").alignmentInContainer, SubtitleTextStyle::Alignment::center);
    // A style may be named by the empty string: the event with an empty style name finds it.
    EXPECT_EQ(decoder->style("").alignmentInContainer, SubtitleTextStyle::Alignment::right);
    EXPECT_TRUE(log.contains("duplicateStyleName(\"Main\")"));
    EXPECT_TRUE(log.contains("invalidTextAlignmentValue(0)"));
    EXPECT_TRUE(log.contains("invalidTextAlignmentValue(10)"));
}

TEST_F(ASSDecoderStyleMapTest, PlayResolutionGivesTheContainerSize) {
    const std::string style =
        "Style: Default,DejaVu Sans,54,&H00FFFFFF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,2,0,0,0,0";
    auto standard = makeDecoder(headerWithStyles(style, "PlayResX: 384\nPlayResY: 288\n"));
    EXPECT_FALSE(standard->originalContainerSize());
    EXPECT_EQ(standard->style("Default").scalingInfo.baseFontSizePercentageRelativeToVideoHeight,
              userSpecifiedStyle().scalingInfo.baseFontSizePercentageRelativeToVideoHeight);

    auto fullHD = makeDecoder(headerWithStyles(style, "PlayResX: 1920\nPlayResY: 1080\n"));
    ASSERT_TRUE(fullHD->originalContainerSize());
    EXPECT_EQ(*fullHD->originalContainerSize(), (CGSize{1920, 1080}));
    EXPECT_DOUBLE_EQ(
        fullHD->style("Default").scalingInfo.baseFontSizePercentageRelativeToVideoHeight, 5);

    // Neither given: a zero height gives no percentage of its own.
    auto unsized = makeDecoder(headerWithStyles(style));
    ASSERT_TRUE(unsized->originalContainerSize());
    EXPECT_EQ(*unsized->originalContainerSize(), (CGSize{0, 0}));
    EXPECT_EQ(unsized->style("Default").scalingInfo.baseFontSizePercentageRelativeToVideoHeight, 5);
}

TEST_F(ASSDecoderStyleMapTest, UserSpecifiedStyleKeepsItsLookAndTakesBasicAttributes) {
    useUserSpecifiedStyle(true);
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Default,DejaVu Serif,20,&H000000FF,&H0,&H0,&H0,-1,-1,-1,0,100,100,0,0,1,2,0,9,0,"
        "0,0,0"));
    SubtitleTextStyle style = decoder->style("Default");
    SubtitleTextStyle user = userSpecifiedStyle();
    EXPECT_EQ(style.textAttributes.foregroundColor(), user.textAttributes.foregroundColor());
    EXPECT_EQ(style.textAttributes.fontTraits, NSBoldFontMask | NSItalicFontMask);
    EXPECT_TRUE(style.textAttributes.font().isBold());
    EXPECT_TRUE(style.textAttributes.font().isItalic());
    EXPECT_EQ(*attribute<std::int64_t>(style, NSUnderlineStyleAttributeName), 1);
    EXPECT_EQ(*attribute<std::int64_t>(style, NSStrikethroughStyleAttributeName), 0);
    EXPECT_EQ(style.alignmentInContainer, SubtitleTextStyle::Alignment::right);
    EXPECT_EQ(style.containerInsets, user.containerInsets);
    EXPECT_EQ(style.scalingInfo, user.scalingInfo);
    EXPECT_TRUE(style.shouldRestrictOverridesToBasicAttributes);
}

TEST_F(ASSDecoderStyleMapTest, UserStyleChangesRebuildTheMap) {
    auto decoder = makeDecoder(headerWithStyles(
        "Style: Main,DejaVu Sans,20,&H000000FF,&H0,&H0,&H0,0,0,0,0,100,100,0,0,1,0,0,2,0,0,0,0"));
    const NSColor red = NSColor::colorWithSRGBRed(1, 0, 0, 1);
    ASSERT_EQ(decoder->style("Main").textAttributes.foregroundColor(), red);

    // The preference: the notifier tells the decoder, which resolves its styles again.
    useUserSpecifiedStyle(true);
    manager_->updateUserSpecifiedStyle();
    EXPECT_TRUE(eventually([&] {
        return decoder->style("Main").textAttributes.foregroundColor() == NSColor::whiteColor();
    }));

    // The caption settings: the user style is rebuilt, then the decoder's map.
    FakeCaptionAppearance::Values values = captionAppearance_->values();
    values.foregroundColor = NSColor::colorWithSRGBRed(0, 1, 0, 1);
    captionAppearance_->setValues(values);
    EXPECT_TRUE(eventually([&] {
        return decoder->style("Main").textAttributes.foregroundColor() ==
                   NSColor::colorWithSRGBRed(0, 1, 0, 1) &&
               decoder->style("Default").textAttributes.foregroundColor() ==
                   NSColor::colorWithSRGBRed(0, 1, 0, 1);
    }));

    useUserSpecifiedStyle(false);
    manager_->updateUserSpecifiedStyle();
    EXPECT_TRUE(
        eventually([&] { return decoder->style("Main").textAttributes.foregroundColor() == red; }));
}

}  // namespace
}  // namespace quillon::asstest
