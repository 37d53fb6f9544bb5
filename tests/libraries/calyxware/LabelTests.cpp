#include <gtest/gtest.h>

#include <QAccessible>
#include <QImage>

#include "support/WidgetApplicationEnvironment.h"
#include "libraries/calyxware/Label.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/NSFont.h"

namespace calyxware {
namespace {

using namespace platform;

NSAttributedString labelText(std::string_view utf8) {
    return NSAttributedString(
        utf8, {{NSFontAttributeName, NSFont::fontWithNameOrSystemFont("DejaVu Sans", 13)}});
}

TEST(Label, IsNeverEditableAndDrawsNoBackgroundUnlessAsked) {
    Label label;
    EXPECT_FALSE(label.isEditable());
    label.setEditable(true);
    EXPECT_FALSE(label.isEditable());
    EXPECT_FALSE(label.drawsBackground());
    EXPECT_TRUE(label.allowsVibrancy());
    label.setDrawsBackground(true);
    EXPECT_TRUE(label.drawsBackground());
    EXPECT_FALSE(label.allowsVibrancy());

    // Without a background nothing but the text is drawn.
    label.setDrawsBackground(false);
    label.setFrame(CGRectMake(0, 0, 30, 20));
    QImage image(30, 20, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    EXPECT_EQ(image.pixel(15, 10), 0u);
}

TEST(Label, ReportsTheStaticTextRole) {
    Label label;
    label.textStorage()->appendAttributedString(labelText("Shown text"));
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&label);
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->role(), QAccessible::StaticText);
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Shown text"));
    label.setAccessibleName(QStringLiteral("Spoken name"));
    EXPECT_EQ(accessible->text(QAccessible::Name), QStringLiteral("Spoken name"));
}

TEST(Label, LetsClicksThroughUnlessSelectable) {
    QWidget parent;
    parent.resize(100, 50);
    auto* label = new Label(&parent);
    label->setFrame(CGRectMake(10, 10, 60, 20));
    label->setSelectable(false);
    EXPECT_EQ(label->hitTest(CGPointMake(20, 15)), nullptr);
    EXPECT_FALSE(label->acceptsFirstResponder());
    EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(parent.childAt(20, 15), nullptr);

    label->setSelectable(true);
    EXPECT_EQ(label->hitTest(CGPointMake(20, 15)), label);
    EXPECT_EQ(label->hitTest(CGPointMake(90, 15)), nullptr);
    EXPECT_TRUE(label->acceptsFirstResponder());
    EXPECT_NE(label->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(parent.childAt(20, 15), label);

    label->setSelectedRange(NSMakeRange(1, 3));
    EXPECT_TRUE(label->resignFirstResponder());
    EXPECT_EQ(label->selectedRange(), NSMakeRange(0, 0));
}

TEST(Label, FitsItsText) {
    Label label;
    label.textStorage()->appendAttributedString(labelText("Stop"));
    label.textStorage()->addAttribute(NSKernAttributeName, 1.0, NSMakeRange(0, 4));
    const CGSize fitting = label.fittingSize();
    EXPECT_GT(fitting.width, 0);
    EXPECT_GT(fitting.height, 0);
    EXPECT_EQ(label.sizeHint(),
              QSize(static_cast<int>(fitting.width), static_cast<int>(fitting.height)));
}

TEST(Label, ArchivesWhetherItDrawsItsBackground) {
    Label label;
    label.textStorage()->appendAttributedString(labelText("Archived"));
    label.setDrawsBackground(true);
    label.setSelectable(false);
    const auto decoded =
        NSKeyedUnarchiver::unarchivedObjectOfClass<Label>(NSKeyedArchiver::archivedData(label));
    ASSERT_NE(decoded, nullptr);
    EXPECT_TRUE(decoded->drawsBackground());
    EXPECT_FALSE(decoded->isEditable());
    EXPECT_FALSE(decoded->isSelectable());
    EXPECT_EQ(decoded->textStorage()->attributedString(), label.textStorage()->attributedString());

    // An archive without the key (written by the superclass) decodes to no background.
    AutoLayoutTextView plain;
    plain.setDrawsBackground(true);
    NSKeyedArchiver archiver;
    plain.encode(archiver);
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    const auto fromPlain = Label::initWithCoder(unarchiver);
    ASSERT_NE(fromPlain, nullptr);
    EXPECT_FALSE(fromPlain->drawsBackground());
}

}  // namespace
}  // namespace calyxware
