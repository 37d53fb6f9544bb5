#include <cstdint>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/error.h>
}

#include "media-player/decoders/subtitles/ASSOverrideCodes.h"

namespace quillon {
namespace {

// Writes every callback as one readable line.
struct Recorder {
    std::vector<std::string> events;

    static Recorder& of(void* priv) { return *static_cast<Recorder*>(priv); }

    static ASSOverrideCallbacks callbacks() {
        ASSOverrideCallbacks callbacks;
        callbacks.text = [](void* priv, const char* characters, std::int32_t length) {
            of(priv).events.push_back("text " + std::string(characters, length));
        };
        callbacks.newLine = [](void* priv, std::int32_t forced) {
            of(priv).events.push_back(fmt::format("newLine {}", forced));
        };
        callbacks.style = [](void* priv, char letter, std::int32_t close) {
            of(priv).events.push_back(fmt::format("style {} {}", letter, close));
        };
        callbacks.color = [](void* priv, std::uint32_t colour, std::uint32_t index) {
            of(priv).events.push_back(fmt::format("color {:08X} {}", colour, index));
        };
        callbacks.alpha = [](void* priv, std::int32_t alpha, std::int32_t index) {
            of(priv).events.push_back(fmt::format("alpha {} {}", alpha, index));
        };
        callbacks.fontName = [](void* priv, const char* name) {
            of(priv).events.push_back(fmt::format("fontName {}", name ? name : "<absent>"));
        };
        callbacks.fontSize = [](void* priv, std::int32_t size) {
            of(priv).events.push_back(fmt::format("fontSize {}", size));
        };
        callbacks.alignment = [](void* priv, std::int32_t alignment) {
            of(priv).events.push_back(fmt::format("alignment {}", alignment));
        };
        callbacks.cancelOverrides = [](void* priv, const char* name) {
            of(priv).events.push_back(fmt::format("cancel '{}'", name));
        };
        callbacks.move = [](void* priv, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                            std::int32_t y2, std::int32_t t1, std::int32_t t2) {
            of(priv).events.push_back(
                fmt::format("move {} {} {} {} {} {}", x1, y1, x2, y2, t1, t2));
        };
        callbacks.origin = [](void* priv, std::int32_t x, std::int32_t y) {
            of(priv).events.push_back(fmt::format("origin {} {}", x, y));
        };
        callbacks.drawingMode = [](void* priv, std::int32_t level) {
            of(priv).events.push_back(fmt::format("drawing {}", level));
        };
        callbacks.end = [](void* priv) { of(priv).events.push_back("end"); };
        return callbacks;
    }
};

struct Split {
    std::int32_t result;
    std::vector<std::string> events;
};

Split split(const char* text) {
    Recorder recorder;
    std::int32_t result = assSplitOverrideCodes(Recorder::callbacks(), &recorder, text);
    return {result, recorder.events};
}

using Events = std::vector<std::string>;

TEST(ASSOverrideCodesTest, StyleCodes) {
    EXPECT_EQ(split("{\\b1}bold{\\b}x").events,
              (Events{"style b 0", "text bold", "style b -1", "text x", "end"}));
    EXPECT_EQ(split("{\\i1\\u1\\s1}a{\\b0\\i0\\u0\\s0}").events,
              (Events{"style i 0", "style u 0", "style s 0", "text a", "style b 1", "style i 1",
                      "style u 1", "style s 1", "end"}));
}

TEST(ASSOverrideCodesTest, ColourAndAlphaCodes) {
    EXPECT_EQ(split("{\\c&H0000FF&\\1c&HFF0000&\\3c&H00FF00&\\4c\\c}").events,
              (Events{"color 000000FF 0", "color 00FF0000 1", "color 0000FF00 3",
                      "color FFFFFFFF 4", "color FFFFFFFF 0", "end"}));
    EXPECT_EQ(
        split("{\\alpha&H80&\\1a&HFF&\\3a\\alpha\\4a&H0&}").events,
        (Events{"alpha 128 0", "alpha 255 1", "alpha -1 3", "alpha -1 0", "alpha 0 4", "end"}));
}

TEST(ASSOverrideCodesTest, FontCodes) {
    EXPECT_EQ(split("{\\fnDejaVu Serif\\fs28}x{\\fn\\fs}y").events,
              (Events{"fontName DejaVu Serif", "fontSize 28", "text x", "fontName <absent>",
                      "fontSize -1", "text y", "end"}));
    // Longer names than a font name can be are no font code at all.
    EXPECT_EQ(split(("{\\fn" + std::string(200, 'F') + "}x").c_str()).events,
              (Events{"text x", "end"}));
}

TEST(ASSOverrideCodesTest, AlignmentCodes) {
    EXPECT_EQ(split("{\\an8}{\\an}{\\a}{\\a6}{\\a10}{\\a1}").events,
              (Events{"alignment 8", "alignment -1", "alignment -1", "alignment 8", "alignment 5",
                      "alignment 1", "end"}));
}

TEST(ASSOverrideCodesTest, ResetCodes) {
    EXPECT_EQ(split("{\\b1}a{\\r}b{\\rTop Style}c").events,
              (Events{"style b 0", "text a", "cancel ''", "text b", "cancel 'Top Style'", "text c",
                      "end"}));
}

TEST(ASSOverrideCodesTest, PositionCodes) {
    EXPECT_EQ(split("{\\pos(10,20)\\move(1, 2,3,4)\\move(1,2,3,4,5,-6)\\org(-7,8)}").events,
              (Events{"move 10 20 10 20 -1 -1", "move 1 2 3 4 -1 -1", "move 1 2 3 4 5 -6",
                      "origin -7 8", "end"}));
    // Canvas points may have fractions; times may not.
    EXPECT_EQ(split("{\\pos(640.4,-2.6)\\move(1.5,2,3,4,5.5,6)}").events,
              (Events{"move 640 -3 640 -3 -1 -1", "end"}));
}

TEST(ASSOverrideCodesTest, LineBreaksAndHardSpaces) {
    EXPECT_EQ(
        split("one\\Ntwo\\nthree\\hfour").events,
        (Events{"text one", "newLine 1", "text two", "newLine 0", "text three\\hfour", "end"}));
}

TEST(ASSOverrideCodesTest, UnknownCodesAreSkipped) {
    EXPECT_EQ(split("{\\bord4\\shad3\\b1}x{\\blur2}{\\fscx120}{\\clip(0,0,1,1)}y").events,
              (Events{"style b 0", "text x", "text y", "end"}));
    // Codes whose digit runs on, or that sit inside other codes, are skipped as a whole.
    EXPECT_EQ(split("{\\b700}a{\\t(\\b1)}b{\\org(1.5,2)}c").events,
              (Events{"text a", "text b", "text c", "end"}));
}

TEST(ASSOverrideCodesTest, CommentsInBracesAreSkipped) {
    EXPECT_EQ(split("{note} x").events, (Events{"text  x", "end"}));
    EXPECT_EQ(split("Line {a comment}after").events, (Events{"text Line ", "text after", "end"}));
    // The codes of a block that also holds a comment still count.
    EXPECT_EQ(split("{say\\b1}a{\\i1}b{\\u1}{then}c").events,
              (Events{"style b 0", "text a", "style i 0", "text b", "style u 0", "text c", "end"}));
    // A brace that nothing closes is text.
    EXPECT_EQ(split("a { b").events, (Events{"text a { b", "end"}));
}

TEST(ASSOverrideCodesTest, DrawingModeCodes) {
    EXPECT_EQ(split("{\\p1}m 0 0 l 1 0{\\p0}x{\\pos(1,2)\\pbo-5\\p4}").events,
              (Events{"drawing 1", "text m 0 0 l 1 0", "drawing 0", "text x", "move 1 2 1 2 -1 -1",
                      "drawing 4", "end"}));
}

TEST(ASSOverrideCodesTest, UnclosedBlockFails) {
    for (const char* text : {"{\\b1", "a{\\b1", "{\\b1 text", "{\\", "{\\pos(1,2)"}) {
        Split result = split(text);
        EXPECT_EQ(result.result, AVERROR_INVALIDDATA) << text;
        EXPECT_TRUE(result.events.empty() || result.events.back() != "end") << text;
    }
    Split partial = split("x{\\i1}y{\\b1");
    EXPECT_EQ(partial.events, (Events{"text x", "style i 0", "text y"}));
}

TEST(ASSOverrideCodesTest, EmptyTextAndMissingCallbacks) {
    EXPECT_EQ(split("").events, (Events{"end"}));
    EXPECT_EQ(split(nullptr).events, (Events{"end"}));
    ASSOverrideCallbacks none;
    EXPECT_EQ(assSplitOverrideCodes(none, nullptr, "{\\b1}x\\N{\\fnA}y"), 0);
}

}  // namespace
}  // namespace quillon
