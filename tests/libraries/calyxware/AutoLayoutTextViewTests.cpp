#include <gtest/gtest.h>

#include <QApplication>
#include <QVBoxLayout>
#include <cmath>
#include <limits>
#include <memory>

#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/CXWEagerTextStorage.h"
#include "libraries/calyxware/EagerLayoutManager.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/TextContainer.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSMutableAttributedString.h"
#include "support/WidgetApplicationEnvironment.h"

namespace calyxware {
namespace {

using namespace platform;

NSAttributeDictionary dejaVu(CGFloat size) {
    const auto font = NSFont::fontWithName("DejaVu Sans", size);
    EXPECT_TRUE(font) << "fonts-dejavu-core is needed";
    return {{NSFontAttributeName, font.value_or(NSFont::systemFontOfSize(size))}};
}

NSAttributedString text(std::string_view utf8, CGFloat size = 20) {
    return NSAttributedString(utf8, dejaVu(size));
}

// Counts how often the size is computed.
class CountingTextView : public AutoLayoutTextView {
public:
    using AutoLayoutTextView::AutoLayoutTextView;
    CGSize computeIntrinsicContentSize() const override {
        ++computations;
        return AutoLayoutTextView::computeIntrinsicContentSize();
    }
    mutable int computations = 0;
};

TEST(AutoLayoutTextView, BuildsAnEagerTextSystemThatTracksItsWidth) {
    AutoLayoutTextView view(CGRectMake(0, 0, 120, 40));
    ASSERT_NE(view.textContainer(), nullptr);
    EXPECT_NE(dynamic_cast<EagerLayoutManager*>(view.layoutManager()), nullptr);
    EXPECT_NE(dynamic_cast<CXWEagerTextStorage*>(view.textStorage()), nullptr);
    EXPECT_EQ(view.textContainer()->lineFragmentPadding(), 0);
    EXPECT_TRUE(view.textContainer()->widthTracksTextView());
    EXPECT_FALSE(view.textContainer()->heightTracksTextView());
    EXPECT_EQ(view.textContainer()->size().width, 120);
    EXPECT_TRUE(std::isinf(view.textContainer()->size().height));
    EXPECT_FALSE(view.isHorizontallyResizable());
    EXPECT_FALSE(view.isVerticallyResizable());
    EXPECT_TRUE(std::isinf(view.maxSize().width));
    // A plain init has a zero frame and still a whole system, owned by the view alone.
    AutoLayoutTextView plain;
    ASSERT_NE(plain.textStorage(), nullptr);
    plain.textStorage()->setAttributedString(text("kept"));
    EXPECT_EQ(plain.textStorage()->length(), 4u);
}

TEST(AutoLayoutTextView, EmptyTextIsTheInsetsWideAndOneLineTall) {
    AutoLayoutTextView view(CGRectMake(0, 0, 200, 100));
    view.setTextContainerInset(CGSizeMake(3.2, 2));
    LayoutManager& manager = *view.layoutManager();
    const CGRect extra = manager.extraLineFragmentUsedRect();
    ASSERT_GT(extra.height(), 0);
    EXPECT_EQ(extra.width(), 0);
    EXPECT_EQ(view.usedTextWidth(), 0);
    const CGSize size = view.intrinsicContentSize();
    EXPECT_EQ(size.width, 7);  // ceil(2 × 3.2)
    EXPECT_EQ(size.height, std::ceil(extra.height() + 4));
    EXPECT_EQ(view.sizeHint(), QSize(7, static_cast<int>(size.height)));
}

TEST(AutoLayoutTextView, TrailingNewlineAddsTheExtraLineFragment) {
    AutoLayoutTextView view(CGRectMake(0, 0, 300, 100));
    view.textStorage()->setAttributedString(text("Hello"));
    const CGSize oneLine = view.intrinsicContentSize();
    EXPECT_EQ(view.layoutManager()->extraLineFragmentTextContainer(), nullptr);

    view.textStorage()->appendAttributedString(text("\n"));
    const CGRect extra = view.layoutManager()->extraLineFragmentRect();
    EXPECT_EQ(view.layoutManager()->extraLineFragmentTextContainer(), view.textContainer());
    EXPECT_GT(extra.origin.y, 0);
    const CGSize twoLines = view.intrinsicContentSize();
    EXPECT_EQ(twoLines.width, oneLine.width);
    EXPECT_EQ(twoLines.height, std::ceil(extra.maxY()));
    EXPECT_GT(twoLines.height, oneLine.height);
}

TEST(AutoLayoutTextView, TheExtraLineFragmentTakesPartInTheUsedWidth) {
    // Right-aligned text ending in a line break: its last line's used rectangle sits at the right
    // edge, the extra fragment's (with the same alignment) too, so the union spans only them.
    AutoLayoutTextView view(CGRectMake(0, 0, 300, 100));
    NSAttributeDictionary attributes = dejaVu(20);
    NSParagraphStyle right;
    right.alignment = NSTextAlignmentRight;
    attributes.emplace(NSParagraphStyleAttributeName, right);
    view.textStorage()->setAttributedString(
        NSAttributedString(std::string_view("Hi\n"), attributes));
    LayoutManager& manager = *view.layoutManager();
    EXPECT_EQ(manager.extraLineFragmentUsedRect().origin.x, 300);
    const CGRect line = manager.lineFragmentUsedRectForGlyphAtIndex(0);
    EXPECT_NEAR(line.maxX(), 300, 1e-6);
    EXPECT_NEAR(view.usedTextWidth(), line.width(), 1e-6);
}

TEST(AutoLayoutTextView, ParagraphSpacingSeparatesParagraphsNotTheLinesOfOne) {
    // The first paragraph wraps into two lines; the second is one line.
    const auto layOut = [](CGFloat spacing) {
        auto view = std::make_unique<AutoLayoutTextView>(CGRectMake(0, 0, 90, 100));
        NSAttributeDictionary attributes = dejaVu(20);
        NSParagraphStyle style;
        style.paragraphSpacing = spacing;
        attributes.emplace(NSParagraphStyleAttributeName, style);
        view->textStorage()->setAttributedString(
            NSAttributedString(std::string_view("Wrapped words\nLast"), attributes));
        return view;
    };
    const auto plain = layOut(0);
    const auto spaced = layOut(8);
    LayoutManager& before = *plain->layoutManager();
    LayoutManager& after = *spaced->layoutManager();
    constexpr NSUInteger secondLine = 8;  // "words"
    constexpr NSUInteger lastParagraph = 14;
    ASSERT_GT(before.lineFragmentRectForGlyphAtIndex(secondLine).minY(), 0);

    EXPECT_EQ(after.lineFragmentRectForGlyphAtIndex(secondLine),
              before.lineFragmentRectForGlyphAtIndex(secondLine));
    EXPECT_EQ(after.lineFragmentRectForGlyphAtIndex(lastParagraph).minY(),
              before.lineFragmentRectForGlyphAtIndex(lastParagraph).minY() + 8);
    // The room lies between the lines: neither line grows to cover it.
    EXPECT_EQ(after.lineFragmentRectForGlyphAtIndex(secondLine).height(),
              before.lineFragmentRectForGlyphAtIndex(secondLine).height());
    // Nothing follows the last paragraph, so only the one gap adds to the height.
    EXPECT_EQ(spaced->intrinsicContentSize().height, plain->intrinsicContentSize().height + 8);

    // A negative spacing pulls nothing together.
    const auto negative = layOut(-5);
    EXPECT_EQ(negative->layoutManager()->lineFragmentRectForGlyphAtIndex(lastParagraph),
              before.lineFragmentRectForGlyphAtIndex(lastParagraph));
}

TEST(AutoLayoutTextView, UnitSquareScaleIsAbsoluteAndMultipliesTheSize) {
    AutoLayoutTextView view(CGRectMake(0, 0, 400, 100));
    view.textStorage()->setAttributedString(text("Scaled text"));
    const CGFloat usedWidth = view.usedTextWidth();
    const CGFloat usedHeight =
        view.layoutManager()->usedRectForTextContainer(*view.textContainer()).height();

    view.scaleUnitSquareToSize(CGSizeMake(2, 2));
    view.scaleUnitSquareToSize(CGSizeMake(2, 2));
    EXPECT_EQ(view.unitSquareScale(), CGSizeMake(2, 2));
    EXPECT_EQ(view.bounds().size, CGSizeMake(200, 50));
    // Laid out at its own size across the unscaled width.
    EXPECT_EQ(view.textContainer()->size().width, 200);
    EXPECT_NEAR(view.usedTextWidth(), usedWidth, 1e-9);
    EXPECT_EQ(view.intrinsicContentSize(),
              CGSizeMake(std::ceil(2 * usedWidth), std::ceil(2 * usedHeight)));

    // The scale survives a frame change.
    view.setFrameSize(CGSizeMake(300, 60));
    EXPECT_EQ(view.unitSquareScale(), CGSizeMake(2, 2));
}

TEST(AutoLayoutTextView, DegenerateScalesCountAsOne) {
    AutoLayoutTextView view(CGRectMake(0, 0, 100, 40));
    view.setBoundsSize(CGSizeMake(0, 20));
    EXPECT_EQ(view.unitSquareScale(), CGSizeMake(1, 2));
    view.setBoundsSize(CGSizeMake(50, std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(view.unitSquareScale(), CGSizeMake(2, 1));
    AutoLayoutTextView zero;  // frame and bounds 0 × 0
    EXPECT_EQ(zero.unitSquareScale(), CGSizeMake(1, 1));
}

TEST(AutoLayoutTextView, ComputesTheSizeOnceBetweenInvalidationsAndAsksForRelayout) {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* view = new CountingTextView(CGRectMake(0, 0, 300, 100));
    layout->addWidget(view);
    view->textStorage()->setAttributedString(text("first"));
    view->computations = 0;

    const CGSize first = view->intrinsicContentSize();
    view->intrinsicContentSize();
    view->sizeHint();
    EXPECT_EQ(view->computations, 1);

    QApplication::processEvents();
    view->textStorage()->appendAttributedString(text(" and more"));
    const CGSize second = view->intrinsicContentSize();
    EXPECT_EQ(view->computations, 2);
    EXPECT_GT(second.width, first.width);
    // updateGeometry told the parent's layout, which now hints the new width.
    QApplication::processEvents();
    EXPECT_GE(layout->sizeHint().width(), static_cast<int>(second.width));
}

TEST(AutoLayoutTextView, NoTextSystemMeansNoIntrinsicSize) {
    AutoLayoutTextView view(CGRectMake(0, 0, 50, 50), std::shared_ptr<TextContainer>());
    EXPECT_EQ(view.intrinsicContentSize(),
              CGSizeMake(NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric));
    EXPECT_EQ(view.usedTextWidth(), NSViewNoIntrinsicMetric);
    EXPECT_FALSE(view.sizeHint().isValid());
    EXPECT_EQ(view.fittingSize(), CGSizeMake(0, 0));
}

class TailTruncation : public ::testing::Test {
protected:
    // A container that tracks a view two lines tall and truncates its last line.
    void SetUp() override {
        view.textContainer()->setHeightTracksTextView(true);
        view.textContainer()->setLineBreakMode(NSLineBreakByTruncatingTail);
        const CGFloat lineHeight = [] {
            AutoLayoutTextView probe(CGRectMake(0, 0, 100, 100));
            probe.textStorage()->setAttributedString(text("x"));
            return probe.intrinsicContentSize().height;
        }();
        view.setFrame(CGRectMake(0, 0, 150, 2 * lineHeight + 1));
    }

    AutoLayoutTextView view{CGRectMake(0, 0, 150, 10)};
};

TEST_F(TailTruncation, TheLastLineThatFitsEndsInAnEllipsis) {
    view.textStorage()->setAttributedString(
        text("The quick brown fox jumps over the lazy dog and keeps on running far away"));
    LayoutManager& manager = *view.layoutManager();
    const NSUInteger length = view.textStorage()->length();
    // Everything belongs to the two lines: the second hides the rest.
    EXPECT_EQ(manager.glyphRangeForTextContainer(*view.textContainer()), NSMakeRange(0, length));
    NSRange secondLine;
    manager.lineFragmentRectForGlyphAtIndex(length - 1, &secondLine);
    EXPECT_GT(secondLine.location, 0u);
    EXPECT_EQ(NSMaxRange(secondLine), length);
    const std::u16string shown = manager.displayedStringOfLineFragmentForGlyphAtIndex(length - 1);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(shown.back(), u'\u2026');
    EXPECT_NE(shown[shown.size() - 2], u' ');  // white space before the ellipsis is dropped
    const NSRange hidden = manager.truncatedGlyphRangeInLineFragmentForGlyphAtIndex(length - 1);
    EXPECT_LT(hidden.location, length);
    EXPECT_EQ(NSMaxRange(hidden), length);
    // The truncated line still fits its container.
    EXPECT_LE(manager.lineFragmentUsedRectForGlyphAtIndex(length - 1).maxX(), 150 + 1e-6);
    EXPECT_EQ(manager.extraLineFragmentTextContainer(), nullptr);
}

TEST_F(TailTruncation, TextThatFitsIsNotTruncated) {
    view.textStorage()->setAttributedString(text("Short"));
    LayoutManager& manager = *view.layoutManager();
    EXPECT_EQ(manager.displayedStringOfLineFragmentForGlyphAtIndex(0), u"Short");
    EXPECT_EQ(manager.truncatedGlyphRangeInLineFragmentForGlyphAtIndex(0).location, NSNotFound);
}

TEST_F(TailTruncation, AParagraphThatDoesNotFitTruncatesThePreviousLine) {
    view.textStorage()->setAttributedString(text("One\nTwo\nThree"));
    LayoutManager& manager = *view.layoutManager();
    EXPECT_EQ(manager.displayedStringOfLineFragmentForGlyphAtIndex(0), u"One");
    EXPECT_EQ(manager.displayedStringOfLineFragmentForGlyphAtIndex(4), u"Two\u2026");
    EXPECT_EQ(manager.textContainerForGlyphAtIndex(9), view.textContainer());
}

TEST(AutoLayoutTextView, TruncatingParagraphStylesKeepOneLinePerParagraph) {
    AutoLayoutTextView view(CGRectMake(0, 0, 80, 100));
    NSAttributeDictionary attributes = dejaVu(20);
    NSParagraphStyle style;
    style.lineBreakMode = NSLineBreakByTruncatingTail;
    attributes.emplace(NSParagraphStyleAttributeName, style);
    view.textStorage()->setAttributedString(
        NSAttributedString(std::string_view("A long first line\nok"), attributes));
    LayoutManager& manager = *view.layoutManager();
    const std::u16string first = manager.displayedStringOfLineFragmentForGlyphAtIndex(0);
    EXPECT_EQ(first.back(), u'\u2026');
    EXPECT_EQ(manager.displayedStringOfLineFragmentForGlyphAtIndex(18), u"ok");
}

}  // namespace
}  // namespace calyxware
