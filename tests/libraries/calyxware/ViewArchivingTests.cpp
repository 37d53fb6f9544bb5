#include <gtest/gtest.h>

#include <memory>

#include "libraries/calyxware/ArchivedAttributedString.h"
#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/CXWEagerTextStorage.h"
#include "libraries/calyxware/EagerLayoutManager.h"
#include "libraries/calyxware/TextContainer.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSMutableAttributedString.h"
#include "platform/graphics/NSUnderlineStyle.h"
#include "support/WidgetApplicationEnvironment.h"

namespace calyxware {
namespace {

using namespace platform;

// Every kind of attribute value, and a text with an emoji and an unpaired surrogate.
NSAttributedString richText() {
    NSMutableAttributedString text(std::u16string(u"Plain \U0001F600 bold\xD800 end"));
    const NSFont font = NSFont::fontWithNameOrSystemFont("DejaVu Sans", 17.5);
    text.addAttribute(NSFontAttributeName, font, NSMakeRange(0, text.length()));
    text.addAttribute(NSFontAttributeName,
                      NSFont::fontWithNameOrSystemFont("DejaVu Sans Bold Oblique", 11),
                      NSMakeRange(9, 4));
    text.addAttribute(NSForegroundColorAttributeName,
                      NSColor::colorWithSRGBRed(0.25, 0.5, 0.75, 0.9), NSMakeRange(0, 5));
    text.addAttribute(NSKernAttributeName, 1.25, NSMakeRange(2, 3));
    text.addAttribute(NSUnderlineStyleAttributeName,
                      NSUnderlineStyleDouble | NSUnderlinePatternDash, NSMakeRange(6, 2));
    NSShadow coloured;
    coloured.shadowOffset = CGSizeMake(1.5, -2);
    coloured.shadowBlurRadius = 3;
    coloured.shadowColor = NSColor::colorWithWhite(0, 0.5);
    text.addAttribute(NSShadowAttributeName, coloured, NSMakeRange(0, 4));
    text.addAttribute(NSShadowAttributeName, NSShadow{}, NSMakeRange(14, 2));
    NSParagraphStyle style;
    style.alignment = NSTextAlignmentCenter;
    style.lineBreakMode = NSLineBreakByTruncatingTail;
    style.paragraphSpacing = 8;
    text.addAttribute(NSParagraphStyleAttributeName, style, NSMakeRange(0, text.length()));
    text.addAttribute("org.quillon.test.tag", "tagged", NSMakeRange(3, 1));
    return text;
}

TEST(ViewArchiving, AttributedStringsSurviveAnArchiveUnchanged) {
    const NSAttributedString original = richText();
    NSKeyedArchiver archiver;
    encodeAttributedString(archiver, original, "text");
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    const auto decoded = decodeAttributedString(unarchiver, "text");
    ASSERT_TRUE(decoded) << (unarchiver.error() ? unarchiver.error()->debugDescription() : "");
    EXPECT_EQ(*decoded, original) << decoded->description() << "\n" << original.description();
}

TEST(ViewArchiving, AnAttributeRunBeyondTheTextIsRefused) {
    NSKeyedArchiver archiver;
    ArchivedAttributedString(richText()).encode(archiver);
    // Replace the text with a shorter one: the runs now reach beyond it.
    archiver.encodeData({'a', 0}, "utf16");
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    EXPECT_EQ(ArchivedAttributedString::initWithCoder(unarchiver), nullptr);
    ASSERT_NE(unarchiver.error(), nullptr);
    EXPECT_EQ(unarchiver.error()->code(), NSCoderReadCorruptError);
}

TEST(ViewArchiving, AutoLayoutTextViewsRoundTripTheirTextSystem) {
    AutoLayoutTextView view(CGRectMake(3, 4, 240, 60));
    view.textStorage()->setAttributedString(richText());
    view.setTextContainerInset(CGSizeMake(2, 5));
    view.setDrawsBackground(false);
    view.textContainer()->setLineBreakMode(NSLineBreakByTruncatingTail);

    const auto decoded = NSKeyedUnarchiver::unarchivedObjectOfClass<AutoLayoutTextView>(
        NSKeyedArchiver::archivedData(view));
    ASSERT_NE(decoded, nullptr);
    EXPECT_NE(dynamic_cast<CXWEagerTextStorage*>(decoded->textStorage()), nullptr);
    EXPECT_NE(dynamic_cast<EagerLayoutManager*>(decoded->layoutManager()), nullptr);
    EXPECT_EQ(decoded->textStorage()->attributedString(), richText());
    EXPECT_EQ(decoded->frame(), view.frame());
    EXPECT_EQ(decoded->textContainerInset(), CGSizeMake(2, 5));
    EXPECT_FALSE(decoded->drawsBackground());
    EXPECT_EQ(decoded->textContainer()->lineBreakMode(), NSLineBreakByTruncatingTail);
    EXPECT_EQ(decoded->textContainer()->lineFragmentPadding(), 0);
    EXPECT_EQ(decoded->intrinsicContentSize(), view.intrinsicContentSize());

    // The decoded system is live: an edit lays out and resizes.
    const CGSize before = decoded->intrinsicContentSize();
    decoded->textStorage()->appendAttributedString(NSAttributedString(std::string_view("\nmore")));
    EXPECT_GT(decoded->intrinsicContentSize().height, before.height);
}

TEST(ViewArchiving, APlainTextViewArchiveGetsAnEagerTextSystem) {
    // A plain view whose manager has two containers, the view showing the second, and a
    // setting of its own.
    TextView plain(CGRectMake(0, 0, 150, 40));
    plain.textStorage()->setAttributedString(richText());
    LayoutManager& plainManager = *plain.layoutManager();
    plainManager.setUsesFontLeading(false);
    auto first = std::make_shared<TextContainer>(CGSizeMake(77, 33));
    plainManager.insertTextContainer(first, 0);
    ASSERT_EQ(plainManager.textContainers().size(), 2u);

    NSKeyedArchiver archiver;
    plain.encode(archiver);
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    const auto view = AutoLayoutTextView::initWithCoder(unarchiver);
    ASSERT_NE(view, nullptr) << unarchiver.error()->debugDescription();

    auto* storage = dynamic_cast<CXWEagerTextStorage*>(view->textStorage());
    auto* manager = dynamic_cast<EagerLayoutManager*>(view->layoutManager());
    ASSERT_NE(storage, nullptr);
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(storage->attributedString(), richText());
    EXPECT_EQ(storage->layoutManagers().size(), 1u);
    EXPECT_FALSE(manager->usesFontLeading());
    EXPECT_FALSE(manager->backgroundLayoutEnabled());
    ASSERT_EQ(manager->textContainers().size(), 2u);
    EXPECT_EQ(manager->textContainers()[0]->size(), CGSizeMake(77, 33));
    EXPECT_EQ(manager->textContainers()[1].get(), view->textContainer());
    // Laid out from the first container on, as before.
    EXPECT_EQ(manager->textContainerForGlyphAtIndex(0), manager->textContainers()[0].get());
}

TEST(ViewArchiving, APlainArchiveWithoutContainerGetsANewOne) {
    TextView plain(CGRectMake(0, 0, 90, 30), std::shared_ptr<TextContainer>());
    NSKeyedArchiver archiver;
    plain.encode(archiver);
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    const auto view = AutoLayoutTextView::initWithCoder(unarchiver);
    ASSERT_NE(view, nullptr);
    ASSERT_NE(view->textContainer(), nullptr);
    EXPECT_EQ(view->textContainer()->size().width, 90);
    EXPECT_NE(dynamic_cast<CXWEagerTextStorage*>(view->textStorage()), nullptr);
    EXPECT_FALSE(view->isVerticallyResizable());
}

TEST(ViewArchiving, AMarkedArchiveWithPlainComponentsIsRefused) {
    TextView plain(CGRectMake(0, 0, 90, 30));
    NSKeyedArchiver archiver;
    plain.encode(archiver);
    archiver.encodeBool(true, "org.Calyxware.AutoLayoutTextView.isAutoLayoutTextView");
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    EXPECT_EQ(AutoLayoutTextView::initWithCoder(unarchiver), nullptr);
    ASSERT_NE(unarchiver.error(), nullptr);
    EXPECT_EQ(unarchiver.error()->domain(),
              "CXWAutoLayoutTextView.AutoLayoutTextView.DeserializationError");
    EXPECT_EQ(unarchiver.error()->code(), 1);
}

TEST(ViewArchiving, AContainerIndexOutsideTheArchiveIsRefused) {
    TextView plain(CGRectMake(0, 0, 90, 30));
    NSKeyedArchiver archiver;
    plain.encode(archiver);
    archiver.encodeInt64(5, "textContainerIndex");
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    EXPECT_EQ(AutoLayoutTextView::initWithCoder(unarchiver), nullptr);
    ASSERT_NE(unarchiver.error(), nullptr);
    EXPECT_EQ(unarchiver.error()->code(), NSCoderReadCorruptError);
}

// A manager whose archive cannot be read back.
class UnreadableLayoutManager : public LayoutManager {
public:
    void encode(NSKeyedArchiver& coder) const override {
        LayoutManager::encode(coder);
        coder.encodeString("not an array", "textContainers");
    }
};

TEST(ViewArchiving, AManagerThatCannotBeRecreatedReportsTheUnderlyingError) {
    auto storage = std::make_shared<TextStorage>(std::string_view("text"));
    auto manager = std::make_shared<UnreadableLayoutManager>();
    storage->addLayoutManager(manager);
    try {
        AutoLayoutTextView::recreateLayoutManager(*manager);
        FAIL() << "expected a DeserializationError";
    } catch (const AutoLayoutTextView::DeserializationError& error) {
        EXPECT_EQ(error.errorCase(),
                  AutoLayoutTextView::DeserializationError::Case::failedToRecreateLayoutManager);
        ASSERT_NE(error.underlyingError(), nullptr);
        EXPECT_EQ(error.underlyingError()->code(), NSCoderReadCorruptError);
        const NSError reported = error.nsError();
        EXPECT_EQ(reported.code(), 0);
        EXPECT_TRUE(reported.userInfo().contains(NSUnderlyingErrorKey));
    }
}

}  // namespace
}  // namespace calyxware
