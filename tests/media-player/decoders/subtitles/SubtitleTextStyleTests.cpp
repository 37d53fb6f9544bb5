#include <gtest/gtest.h>

#include "media-player/decoders/subtitles/SubtitleTextStyle.h"
#include "support/GuiApplicationEnvironment.h"
#include "platform/graphics/NSFontManager.h"

using namespace platform;
using quillon::SubtitleTextStyle;

namespace {

SubtitleTextStyle restrictedUserStyle() {
    SubtitleTextStyle style;
    style.textAttributes.underlyingTextAttributes = {
        {NSForegroundColorAttributeName, NSColor::colorWithSRGBRed(1, 1, 0, 1)},
        {NSStrokeWidthAttributeName, -5.0},
    };
    style.textAttributes.setFont(NSFont::systemFontOfSize(12));
    style.shouldRestrictOverridesToBasicAttributes = true;
    style.alignmentInContainer = SubtitleTextStyle::Alignment::center;
    style.scalingInfo = {12, 5, 1.5};
    return style;
}

SubtitleTextStyle boldItalicUnderlinedLeftStyle() {
    SubtitleTextStyle style;
    style.textAttributes.fontTraits = NSBoldFontMask | NSItalicFontMask;
    style.textAttributes.underlyingTextAttributes = {
        {NSForegroundColorAttributeName, NSColor::colorWithSRGBRed(0, 0, 1, 1)},
        {NSUnderlineStyleAttributeName, 1},
    };
    style.textAttributes.setFont(NSFont::systemFontOfSize(30));
    style.alignmentInContainer = SubtitleTextStyle::Alignment::left;
    style.containerInsets = {1, 2, 3, 4};
    return style;
}

}  // namespace

TEST(SubtitleTextStyleTest, HelpersFallBackToBlackAndTheHelveticaChain) {
    const NSAttributeDictionary wrongTypes{{NSForegroundColorAttributeName, 1.0},
                                           {NSFontAttributeName, "Helvetica"}};
    EXPECT_EQ(quillon::foregroundColor(wrongTypes), NSColor::blackColor());
    EXPECT_EQ(quillon::font(wrongTypes), NSFont::fontWithNameOrSystemFont("Helvetica", 12));
    EXPECT_EQ(quillon::font({}).pointSize(), 12);

    const NSFont font = NSFont::systemFontOfSize(20);
    const NSAttributeDictionary present{{NSForegroundColorAttributeName, NSColor::whiteColor()},
                                        {NSFontAttributeName, font}};
    EXPECT_EQ(quillon::foregroundColor(present), NSColor::whiteColor());
    EXPECT_EQ(quillon::font(present), font);
}

TEST(SubtitleTextStyleTest, SetFontGivesTheFontExactlyTheStyleTraits) {
    const NSFontManager& manager = NSFontManager::sharedFontManager();
    SubtitleTextStyle::TextAttributes attributes;
    attributes.fontTraits = NSItalicFontMask;
    attributes.setFont(NSFont::boldSystemFontOfSize(14));
    EXPECT_EQ(manager.traitsOfFont(attributes.font()), NSItalicFontMask);
    EXPECT_EQ(attributes.font().pointSize(), 14);

    attributes.fontTraits = NSBoldFontMask;
    attributes.setFont(attributes.font());
    EXPECT_EQ(manager.traitsOfFont(attributes.font()), NSBoldFontMask);
}

TEST(SubtitleTextStyleTest, UnrestrictedApplyTakesTheOtherStyleEntirely) {
    SubtitleTextStyle style;
    const SubtitleTextStyle other = boldItalicUnderlinedLeftStyle();
    style.apply(other);
    EXPECT_EQ(style, other);
}

TEST(SubtitleTextStyleTest, RestrictedApplyTakesOnlyTheBasicAttributes) {
    SubtitleTextStyle style = restrictedUserStyle();
    const SubtitleTextStyle before = style;
    SubtitleTextStyle other = boldItalicUnderlinedLeftStyle();
    other.textAttributes.underlyingTextAttributes.insert_or_assign(
        NSStrikethroughStyleAttributeName, 1.0);
    other.verticalAlignmentInContainer = SubtitleTextStyle::VerticalAlignment::top;
    other.position = SubtitleTextStyle::Position{CGPointMake(1, 2), CGSizeMake(384, 288)};
    style.apply(other);

    const NSAttributeDictionary& attributes = style.textAttributes.underlyingTextAttributes;
    EXPECT_EQ(style.textAttributes.foregroundColor(), before.textAttributes.foregroundColor());
    EXPECT_EQ(attributes.at(NSStrokeWidthAttributeName), NSAttributeValue(-5.0));
    const NSFont font = style.textAttributes.font();
    EXPECT_EQ(font.familyName(), before.textAttributes.font().familyName());
    EXPECT_EQ(font.pointSize(), 12);
    EXPECT_TRUE(font.isBold());
    EXPECT_TRUE(font.isItalic());
    EXPECT_EQ(style.textAttributes.fontTraits, NSBoldFontMask | NSItalicFontMask);
    // Underline and strikethrough come over as integers.
    EXPECT_EQ(attributes.at(NSUnderlineStyleAttributeName), NSAttributeValue(1));
    EXPECT_EQ(attributes.at(NSStrikethroughStyleAttributeName), NSAttributeValue(1));
    EXPECT_EQ(style.alignmentInContainer, SubtitleTextStyle::Alignment::left);
    // Placement is not looks: a sign still goes where the script puts it.
    EXPECT_EQ(style.verticalAlignmentInContainer, other.verticalAlignmentInContainer);
    EXPECT_EQ(style.position, other.position);
    EXPECT_EQ(style.containerInsets, before.containerInsets);
    EXPECT_EQ(style.scalingInfo, before.scalingInfo);
    EXPECT_TRUE(style.shouldRestrictOverridesToBasicAttributes);

    // Missing lines become explicit zeros, so they turn the user's lines off.
    style.apply(SubtitleTextStyle{});
    EXPECT_EQ(attributes.at(NSUnderlineStyleAttributeName), NSAttributeValue(0));
    EXPECT_EQ(attributes.at(NSStrikethroughStyleAttributeName), NSAttributeValue(0));
    EXPECT_FALSE(style.textAttributes.font().isBold());
}
