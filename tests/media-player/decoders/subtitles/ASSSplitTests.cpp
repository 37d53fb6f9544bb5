#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "media-player/decoders/subtitles/ASSSplit.h"

namespace quillon {
namespace {

std::string stringOf(const char* text) {
    return text ? std::string(text) : std::string("<absent>");
}

std::span<ASSStyle> stylesOf(ASSSplitContext* context) {
    std::int32_t count = 0;
    ASSStyle* styles = assSplitStyles(context, &count);
    return {styles, static_cast<std::size_t>(count)};
}

constexpr const char* v4PlusFormat =
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
    "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\n";

// ---------------------------------------------------------------------------------------------
// Script header sections

TEST(ASSSplitHeaderTest, ScriptInfoKeysAndComments) {
    auto context = assSplit(
        "[Script Info]\n"
        "; PlayResX: 1\n"
        "!: PlayResY: 2\n"
        "Title: ignored\n"
        "ScriptType: v4.00+\n"
        "PlayResX: 640\n"
        "PlayResY:   480\r\n"
        "Timer: 100.5\n");
    ASSERT_TRUE(context);
    const ASSScriptInfo& info = assSplitScript(context.get())->info;
    EXPECT_EQ(stringOf(info.ScriptType), "v4.00+");
    EXPECT_EQ(info.PlayResX, 640);
    EXPECT_EQ(info.PlayResY, 480);
    EXPECT_FLOAT_EQ(info.Timer, 100.5f);
    EXPECT_EQ(info.Collisions, nullptr);
}

TEST(ASSSplitHeaderTest, V4PlusStylesInTableOrder) {
    auto context = assSplit((std::string("[V4+ Styles]\n") + v4PlusFormat +
                             "Style: Default,DejaVu Sans,20,&H00FFFFFF,&H000000FF,&H00000000,"
                             "&H80000000,-1,0,-1,0,100,110,1.5,0,1,2,1.5,2,10,11,12,1\n")
                                .c_str());
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 1u);
    const ASSStyle& style = styles[0];
    EXPECT_EQ(stringOf(style.Name), "Default");
    EXPECT_EQ(stringOf(style.Fontname), "DejaVu Sans");
    EXPECT_EQ(style.Fontsize, 20);
    EXPECT_EQ(style.PrimaryColour, 0x00FFFFFFu);
    EXPECT_EQ(style.SecondaryColour, 0x000000FFu);
    EXPECT_EQ(style.BackColour, 0x80000000u);
    EXPECT_EQ(style.Bold, -1);
    EXPECT_EQ(style.Underline, -1);
    EXPECT_FLOAT_EQ(style.ScaleY, 110.0f);
    EXPECT_FLOAT_EQ(style.Spacing, 1.5f);
    EXPECT_EQ(style.BorderStyle, 1);
    EXPECT_FLOAT_EQ(style.Outline, 2.0f);
    EXPECT_FLOAT_EQ(style.Shadow, 1.5f);
    EXPECT_EQ(style.Alignment, 2);
    EXPECT_EQ(style.MarginL, 10);
    EXPECT_EQ(style.MarginR, 11);
    EXPECT_EQ(style.MarginV, 12);
    EXPECT_EQ(style.Encoding, 1);
}

TEST(ASSSplitHeaderTest, ReorderedUnknownAndInexactColumns) {
    auto context = assSplit(
        "[V4+ Styles]\n"
        "Format: Fontsize, Vendor, Name, Styl, Alignment\n"
        "Style: 32, whatever, Top, 99, 8\n");
    ASSERT_TRUE(context);
    EXPECT_EQ(context->fieldCount[assSectionV4PlusStyles], 5);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 1u);
    EXPECT_EQ(styles[0].Fontsize, 32);
    EXPECT_EQ(stringOf(styles[0].Name), "Top");
    EXPECT_EQ(styles[0].Alignment, 8);
    EXPECT_EQ(styles[0].Fontname, nullptr);
}

TEST(ASSSplitHeaderTest, FormatWithMoreColumnsThanKnownKeepsValuesAligned) {
    std::string format = "Format: Name";
    std::string values = "Style: Wide";
    for (int i = 0; i < 60; ++i) {
        format += ", Extra" + std::to_string(i);
        values += "," + std::to_string(i);
    }
    format += ", Fontsize, Alignment\n";
    values += ",42,7\n";
    auto context = assSplit(("[V4+ Styles]\n" + format + values).c_str());
    ASSERT_TRUE(context);
    EXPECT_EQ(context->fieldCount[assSectionV4PlusStyles], 63);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 1u);
    EXPECT_EQ(stringOf(styles[0].Name), "Wide");
    EXPECT_EQ(styles[0].Fontsize, 42);
    EXPECT_EQ(styles[0].Alignment, 7);
}

TEST(ASSSplitHeaderTest, MissingValuesDoNotRunIntoTheNextLine) {
    auto context = assSplit(
        "[V4+ Styles]\n"
        "Format: Name, Fontsize, Alignment\n"
        "Style: Short,\n"
        "Style: Next,30,9\n"
        "Style: Bare\r\n"
        "Style: Last, , 3\n");
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 4u);
    EXPECT_EQ(stringOf(styles[0].Name), "Short");
    EXPECT_EQ(styles[0].Fontsize, 0);
    EXPECT_EQ(stringOf(styles[1].Name), "Next");
    EXPECT_EQ(styles[1].Fontsize, 30);
    EXPECT_EQ(styles[1].Alignment, 9);
    EXPECT_EQ(stringOf(styles[2].Name), "Bare");
    EXPECT_EQ(stringOf(styles[3].Name), "Last");
    EXPECT_EQ(styles[3].Fontsize, 0);
    EXPECT_EQ(styles[3].Alignment, 3);
}

TEST(ASSSplitHeaderTest, BadNumbersLeaveFieldsAlone) {
    auto context = assSplit(
        "[V4+ Styles]\n"
        "Format: Name, Fontsize, PrimaryColour, Spacing, MarginL, MarginR, MarginV\n"
        "Style: A,abc,&Hxyz,nan,99999999999,-2147483648,20.5\n"
        "Style: B,+7,65535,1e3, 12 ,inf,-0\n"
        "Style: C,-1,-1,-2.5,0x10,&H1,\n");
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 3u);
    EXPECT_EQ(styles[0].Fontsize, 0);
    EXPECT_EQ(styles[0].PrimaryColour, 0u);
    EXPECT_FLOAT_EQ(styles[0].Spacing, 0.0f);
    EXPECT_EQ(styles[0].MarginL, 0);  // out of range
    EXPECT_EQ(styles[0].MarginR, -2147483647 - 1);
    EXPECT_EQ(styles[0].MarginV, 20);  // a number followed by other text keeps the number

    EXPECT_EQ(styles[1].Fontsize, 7);
    EXPECT_EQ(styles[1].PrimaryColour, 65535u);
    EXPECT_FLOAT_EQ(styles[1].Spacing, 1000.0f);
    EXPECT_EQ(styles[1].MarginL, 12);
    EXPECT_EQ(styles[1].MarginR, 0);

    EXPECT_EQ(styles[2].Fontsize, -1);
    EXPECT_EQ(styles[2].PrimaryColour, 0xFFFFFFFFu);
    EXPECT_FLOAT_EQ(styles[2].Spacing, -2.5f);
    EXPECT_EQ(styles[2].MarginL, 0);
    EXPECT_EQ(styles[2].MarginV, 0);
}

TEST(ASSSplitHeaderTest, ColourForms) {
    auto context = assSplit(
        "[V4+ Styles]\n"
        "Format: PrimaryColour, SecondaryColour, OutlineColour, BackColour\n"
        "Style: &HFFFFFF,&h80FF0000,&H123456789,&H\n");
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 1u);
    EXPECT_EQ(styles[0].PrimaryColour, 0x00FFFFFFu);
    EXPECT_EQ(styles[0].SecondaryColour, 0x80FF0000u);
    EXPECT_EQ(styles[0].OutlineColour, 0x12345678u);  // at most eight digits
    EXPECT_EQ(styles[0].BackColour, 0u);
}

TEST(ASSSplitHeaderTest, V4StylesWithTertiaryColourAndLegacyAlignment) {
    auto context = assSplit(
        "[V4 Styles]\n"
        "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, TertiaryColour, "
        "BackColour, Bold, Italic, BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, "
        "MarginV, AlphaLevel, Encoding\n"
        "Style: Low,Arial,18,16777215,65535,255,0,-1,0,1,2,2,2,30,30,10,0,0\n"
        "Style: High,Arial,18,16777215,65535,255,0,0,0,1,2,2,6,30,30,10,0,0\n"
        "Style: Mid,Arial,18,16777215,65535,255,0,0,0,1,2,2,9,30,30,10,0,0\n");
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 3u);
    EXPECT_EQ(styles[0].OutlineColour, 255u);
    EXPECT_EQ(styles[0].Bold, -1);
    EXPECT_EQ(styles[0].Alignment, 2);
    EXPECT_EQ(styles[1].Alignment, 8);
    EXPECT_EQ(styles[2].Alignment, 4);
}

TEST(ASSSplitHeaderTest, SectionsAndStrayLines) {
    auto context = assSplit(
        "garbage before any section\n"
        "[Fonts]\n"
        "Style: Hidden,Arial\n"  // a record line outside a known section is not read
        "[A Section Name Too Long]\n"
        "Style: AlsoHidden\n"
        "[V4+ Styles]\n"
        "Format: Name\n"
        "Style: Seen\n"
        "[Events]\n"
        "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\n"
        "Comment: 0,0:00:00.00,0:00:01.00,Seen,,0,0,0,,never shown\n"
        "Style: Late\n");  // record lines name their own section
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    ASSERT_EQ(styles.size(), 2u);
    EXPECT_EQ(stringOf(styles[0].Name), "Seen");
    EXPECT_EQ(stringOf(styles[1].Name), "Late");
    EXPECT_EQ(assSplitScript(context.get())->dialogsCount, 0);
    EXPECT_EQ(context->currentSection, assSectionV4PlusStyles);
}

TEST(ASSSplitHeaderTest, EventsWithFormat) {
    auto context = assSplit(
        "[Events]\n"
        "Format: Layer, Start, End, Style, Text\n"
        "Dialogue: 0,0:00:01.00,0:00:02.50,Default,Hello, world\n"
        "Dialogue: 2,1:02:03.04,bad,Top,{\\b1}x\r\n");
    ASSERT_TRUE(context);
    ASSScript* script = assSplitScript(context.get());
    ASSERT_EQ(script->dialogsCount, 2);
    EXPECT_EQ(script->dialogs[0].Start, 100);
    EXPECT_EQ(script->dialogs[0].End, 250);
    EXPECT_EQ(stringOf(script->dialogs[0].Style), "Default");
    EXPECT_EQ(stringOf(script->dialogs[0].Text), "Hello, world");
    EXPECT_EQ(script->dialogs[1].Layer, 2);
    EXPECT_EQ(script->dialogs[1].Start, 372304);
    EXPECT_EQ(script->dialogs[1].End, 0);
    EXPECT_EQ(stringOf(script->dialogs[1].Text), "{\\b1}x");  // the "\r" ends the value
}

TEST(ASSSplitHeaderTest, DialogueBeforeFormatUsesTableOrder) {
    auto context = assSplit(
        "[Events]\n"
        "Dialogue: 1,0:00:00.5,0:00:01.00,Main,Who,1,2,3,Fx,Text, with comma\n"
        "Format: Text\n");  // too late: the order is fixed
    ASSERT_TRUE(context);
    ASSScript* script = assSplitScript(context.get());
    ASSERT_EQ(script->dialogsCount, 1);
    const ASSDialog& dialog = script->dialogs[0];
    EXPECT_EQ(dialog.Layer, 1);
    EXPECT_EQ(dialog.Start, 5);
    EXPECT_EQ(stringOf(dialog.Name), "Who");
    EXPECT_EQ(dialog.MarginV, 3);
    EXPECT_EQ(stringOf(dialog.Effect), "Fx");
    EXPECT_EQ(stringOf(dialog.Text), "Text, with comma");
    EXPECT_EQ(context->fieldCount[assSectionEvents], 10);
}

TEST(ASSSplitHeaderTest, AbsentAndEmptyText) {
    auto absent = assSplit(nullptr);
    ASSERT_TRUE(absent);
    EXPECT_EQ(absent->currentSection, -1);
    EXPECT_EQ(assSplitStyles(absent.get(), nullptr), nullptr);
    auto empty = assSplit("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(assSplitScript(empty.get())->stylesCount, 0);
}

TEST(ASSSplitHeaderTest, StyleLookup) {
    auto context =
        assSplit("[V4+ Styles]\nFormat: Name\nStyle: Top\nStyle: Default\nStyle: Default\n");
    ASSERT_TRUE(context);
    auto styles = stylesOf(context.get());
    EXPECT_EQ(assStyleGet(context.get(), nullptr), &styles[1]);
    EXPECT_EQ(assStyleGet(context.get(), ""), &styles[1]);
    EXPECT_EQ(assStyleGet(context.get(), "Top"), &styles[0]);
    EXPECT_EQ(assStyleGet(context.get(), "top"), nullptr);
    EXPECT_EQ(assStyleGet(context.get(), "To"), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Events of decoded subtitles

TEST(ASSSplitEventTest, DialogueLinesContinueInTheHeadersSection) {
    auto context = assSplit(
        "[Events]\nFormat: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, "
        "Text\n");
    ASSERT_TRUE(context);
    std::int32_t count = -1;
    ASSDialog* first = assSplitDialog(
        context.get(), "Dialogue: 0,0:00:00.20,0:00:01.20,Default,,0,0,0,,One\n", 0, &count);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(stringOf(first->Text), "One");
    EXPECT_EQ(first->Start, 20);

    // Each call frees the events of the last one.
    ASSDialog* second = assSplitDialog(context.get(),
                                       "Dialogue: 0,0:00:01.00,0:00:02.00,Top,,0,0,0,,Two\n"
                                       "Dialogue: 1,0:00:01.00,0:00:02.00,Top,,0,0,0,,Three",
                                       0, &count);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(assSplitScript(context.get())->dialogsCount, 2);
    EXPECT_EQ(stringOf(second[1].Text), "Three");

    EXPECT_EQ(assSplitDialog(context.get(), "", 0, &count), nullptr);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(assSplitScript(context.get())->dialogsCount, 0);
}

TEST(ASSSplitEventTest, DecodedEventShapeIsNoDialogueLine) {
    // FFmpeg hands events over without the "Dialogue:" key; as a line they say nothing.
    auto context = assSplit("[Events]\nFormat: Layer, Start, End, Style, Text\n");
    std::int32_t count = -1;
    EXPECT_EQ(assSplitDialog(context.get(), "0,0,Default,,0,0,0,,Hello", 0, &count), nullptr);
    EXPECT_EQ(count, 0);

    auto dialog = assSplitDialogFields("0,0,Default,,0,0,0,,Hello");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(stringOf(dialog->Style), "Default");
    EXPECT_EQ(stringOf(dialog->Name), "");
    EXPECT_EQ(stringOf(dialog->Text), "Hello");
}

TEST(ASSSplitEventTest, DecodedEventFields) {
    auto dialog = assSplitDialogFields("12, 3,Top, Narrator ,10,20,30,Scroll up,Hi, there,{\\i1}");
    ASSERT_TRUE(dialog);
    EXPECT_EQ(dialog->ReadOrder, 12);
    EXPECT_EQ(dialog->Layer, 3);
    EXPECT_EQ(stringOf(dialog->Style), "Top");
    EXPECT_EQ(stringOf(dialog->Name), "Narrator ");
    EXPECT_EQ(dialog->MarginL, 10);
    EXPECT_EQ(dialog->MarginR, 20);
    EXPECT_EQ(dialog->MarginV, 30);
    EXPECT_EQ(stringOf(dialog->Effect), "Scroll up");
    EXPECT_EQ(stringOf(dialog->Text), "Hi, there,{\\i1}");
    EXPECT_EQ(dialog->Start, 0);
    EXPECT_EQ(dialog->End, 0);
}

TEST(ASSSplitEventTest, ShortAndEmptyDecodedEvents) {
    auto shortEvent = assSplitDialogFields("5,x,Top");
    ASSERT_TRUE(shortEvent);
    EXPECT_EQ(shortEvent->ReadOrder, 5);
    EXPECT_EQ(shortEvent->Layer, 0);
    EXPECT_EQ(stringOf(shortEvent->Style), "Top");
    EXPECT_EQ(stringOf(shortEvent->Name), "");
    EXPECT_EQ(stringOf(shortEvent->Text), "");

    auto empty = assSplitDialogFields("");
    ASSERT_TRUE(empty);
    EXPECT_EQ(stringOf(empty->Style), "");
    auto absent = assSplitDialogFields(nullptr);
    ASSERT_TRUE(absent);
}

}  // namespace
}  // namespace quillon
