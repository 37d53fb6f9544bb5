#include <gtest/gtest.h>

#include <vector>

#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSMutableAttributedString.h"

using namespace platform;

namespace {

const NSAttributeDictionary red{
    {NSForegroundColorAttributeName, NSColor::colorWithSRGBRed(1, 0, 0, 1)}};
const NSAttributeDictionary kerned{{NSKernAttributeName, 2.0}};

struct RunRecord {
    NSRange range;
    NSAttributeDictionary attributes;
    friend bool operator==(const RunRecord&, const RunRecord&) = default;
};

std::vector<RunRecord> runs(const NSAttributedString& string) {
    std::vector<RunRecord> records;
    string.enumerateAttributes({0, string.length()},
                               [&](const NSAttributeDictionary& attributes, NSRange range, bool&) {
                                   records.push_back({range, attributes});
                               });
    return records;
}

}  // namespace

TEST(NSAttributedStringTest, OverlappingEditsSplitAndMergeRuns) {
    NSMutableAttributedString string("abcdefghij");
    string.addAttributes(red, {0, 6});
    string.addAttribute(NSKernAttributeName, 2.0, {4, 4});
    NSAttributeDictionary both = red;
    both.insert(kerned.begin(), kerned.end());
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{
                                {{0, 4}, red}, {{4, 2}, both}, {{6, 2}, kerned}, {{8, 2}, {}}}));

    NSRange effective;
    EXPECT_EQ(string.attributesAtIndex(5, &effective), both);
    EXPECT_EQ(effective, (NSRange{4, 2}));
    // One attribute's range spans runs that differ only in other attributes.
    const NSAttributeValue* color =
        string.attributeAtIndex(NSForegroundColorAttributeName, 1, &effective);
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(effective, (NSRange{0, 6}));
    EXPECT_EQ(string.attributeAtIndex(NSForegroundColorAttributeName, 7, &effective), nullptr);
    EXPECT_EQ(effective, (NSRange{6, 4}));

    // Removing the colour makes the first runs equal to their neighbours again.
    string.removeAttribute(NSForegroundColorAttributeName, {0, 10});
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 4}, {}}, {{4, 4}, kerned}, {{8, 2}, {}}}));
    string.setAttributes({}, {3, 7});
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 10}, {}}}));
}

TEST(NSAttributedStringTest, EnumerationIsClippedAndStoppable) {
    NSMutableAttributedString string("aaabbbccc");
    string.setAttributes(red, {3, 3});
    std::vector<NSRange> seen;
    string.enumerateAttributes(
        {2, 5}, [&](const NSAttributeDictionary&, NSRange range, bool&) { seen.push_back(range); });
    EXPECT_EQ(seen, (std::vector<NSRange>{{2, 1}, {3, 3}, {6, 1}}));

    seen.clear();
    string.enumerateAttribute(NSForegroundColorAttributeName, {0, 9},
                              [&](const NSAttributeValue* value, NSRange range, bool& stop) {
                                  seen.push_back(range);
                                  stop = value != nullptr;
                              });
    EXPECT_EQ(seen, (std::vector<NSRange>{{0, 3}, {3, 3}}));
}

TEST(NSAttributedStringTest, RangesCountUtf16CodeUnits) {
    // U+1F600 takes a surrogate pair; "é" one unit.
    NSMutableAttributedString string(
        "a\xF0\x9F\x98\x80"
        "b\xC3\xA9");
    ASSERT_EQ(string.length(), 5u);
    string.addAttributes(red, {1, 2});
    EXPECT_EQ(string.attributedSubstringFromRange({1, 2}).string(), "\xF0\x9F\x98\x80");
    EXPECT_EQ(string.attributesAtIndex(2), red);
    EXPECT_TRUE(string.attributesAtIndex(3).empty());

    string.replaceCharacters(NSRange{1, 2}, std::string_view("xyz"));
    EXPECT_EQ(string.string(), "axyzb\xC3\xA9");
    // Replacement text takes the attributes of the first replaced character.
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 1}, {}}, {{1, 3}, red}, {{4, 2}, {}}}));
}

TEST(NSAttributedStringTest, InsertionTakesAttributesOfThePrecedingCharacter) {
    NSMutableAttributedString string("ab");
    string.setAttributes(red, {0, 1});
    string.replaceCharacters(NSRange{1, 0}, std::string_view("X"));
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 2}, red}, {{2, 1}, {}}}));
    string.replaceCharacters(NSRange{0, 0}, std::string_view("Y"));
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 3}, red}, {{3, 1}, {}}}));

    string.deleteCharacters({0, 3});
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 1}, {}}}));
    string.deleteCharacters({0, 1});
    EXPECT_EQ(string.length(), 0u);
    EXPECT_TRUE(runs(string).empty());
}

TEST(NSAttributedStringTest, AppendingJoinsEqualRuns) {
    NSMutableAttributedString string;
    string.append("one ", red);
    string.append(u"two ", red);
    string.appendAttributedString(NSAttributedString("three", kerned));
    EXPECT_EQ(string.string(), "one two three");
    EXPECT_EQ(runs(string), (std::vector<RunRecord>{{{0, 8}, red}, {{8, 5}, kerned}}));

    // Appending a string to itself reads the original before changing it.
    string.appendAttributedString(string);
    EXPECT_EQ(string.string(), "one two threeone two three");
    EXPECT_EQ(runs(string).size(), 4u);
}

TEST(NSAttributedStringTest, CopiesAreIndependentAndEqualityComparesRuns) {
    NSMutableAttributedString original("hello", red);
    const NSAttributedStringRef snapshot = original.copy();
    NSMutableAttributedString edited = original.mutableCopy();
    edited.addAttribute(NSKernAttributeName, 1.0, {0, 2});
    original.replaceCharacters(NSRange{0, 1}, std::string_view("J"));

    EXPECT_EQ(snapshot->string(), "hello");
    EXPECT_EQ(runs(*snapshot), (std::vector<RunRecord>{{{0, 5}, red}}));
    EXPECT_EQ(edited.string(), "hello");
    EXPECT_NE(edited, *snapshot);

    // The same characters with the same attributes are equal however they were built.
    NSMutableAttributedString built;
    built.append("he", red);
    built.append("llo", red);
    EXPECT_EQ(built, *snapshot);
    EXPECT_NE(NSAttributedString("hello"), *snapshot);
    // An integer attribute is not the same value as the equal double.
    EXPECT_NE(NSAttributedString("a", {{NSUnderlineStyleAttributeName, 1}}),
              NSAttributedString("a", {{NSUnderlineStyleAttributeName, 1.0}}));
}

TEST(NSAttributedStringTest, AttributeValuesReadBackByKind) {
    const NSAttributeValue integer = 1;
    const NSAttributeValue integral = 2.0;
    const NSAttributeValue fraction = 2.5;
    const NSAttributeValue color = NSColor::whiteColor();
    EXPECT_EQ(integer.integerValue(), 1);
    EXPECT_EQ(integral.integerValue(), 2);
    EXPECT_EQ(fraction.integerValue(), std::nullopt);
    EXPECT_EQ(fraction.numberValue(), 2.5);
    EXPECT_EQ(color.numberValue(), std::nullopt);
    ASSERT_NE(color.color(), nullptr);
    EXPECT_EQ(color.font(), nullptr);
}

TEST(NSAttributedStringDeathTest, RangeBeyondTheEndStopsTheProcess) {
    NSMutableAttributedString string("abc");
    EXPECT_DEATH(string.addAttributes(red, {2, 2}), "out of bounds");
    EXPECT_DEATH((void)string.attributesAtIndex(3), "out of bounds");
}

TEST(NSColorTest, AlphaReplacementAndNamedColours) {
    const NSColor red = NSColor::colorWithSRGBRed(1, 0, 0, 1);
    EXPECT_EQ(red.colorWithAlphaComponent(0.25).alphaComponent(), 0.25);
    EXPECT_EQ(red.colorWithAlphaComponent(0.25).redComponent(), 1);
    EXPECT_EQ(NSColor::clearColor(), NSColor::blackColor().colorWithAlphaComponent(0));
    EXPECT_NE(NSColor::whiteColor(), NSColor::colorWithWhite(1, 0.5));
}
