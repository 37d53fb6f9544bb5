#include <gtest/gtest.h>

#include <QImage>
#include <vector>

#include "support/WidgetApplicationEnvironment.h"
#include "libraries/calyxware/LayerView.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"

namespace calyxware {
namespace {

using namespace platform;
using BorderWidth = LayerView::BorderWidth;

constexpr QRgb kWhite = 0xFFFFFFFF;

// Renders the view alone (no window background) onto white at a device pixel ratio.
QImage render(LayerView& view, qreal ratio) {
    QImage image(view.size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(kWhite);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Device pixels of border colour from the left edge along the middle row.
int borderPixels(const QImage& image) {
    const int row = image.height() / 2;
    int count = 0;
    while (count < image.width() && image.pixel(count, row) == 0xFF000000) {
        ++count;
    }
    return count;
}

TEST(LayerView, StartsWithTheDefaults) {
    LayerView view;
    EXPECT_EQ(view.backgroundColor(), NSColor::clearColor());
    EXPECT_EQ(view.borderWidth(), BorderWidth::points(0));
    EXPECT_EQ(view.borderColor(), NSColor::blackColor());
    EXPECT_EQ(view.cornerRadius(), 0);
    EXPECT_EQ(view.contentsScale(), 1.0);
    EXPECT_EQ(view.animatableBorderWidthInPoints(), 0);
    EXPECT_EQ(view.animatableBorderWidthInPixels(), 0);
}

TEST(LayerView, BorderWidthsInPointsAndPixelsAtTwoDeviceRatios) {
    LayerView view(CGRectMake(0, 0, 20, 20));
    view.setBackgroundColor(NSColor::colorWithSRGBRed(0, 0, 1, 1));
    struct Case {
        BorderWidth width;
        qreal ratio;
        int devicePixels;
    };
    for (const Case& c : std::vector<Case>{{BorderWidth::points(2), 1, 2},
                                           {BorderWidth::points(2), 2, 4},
                                           {BorderWidth::pixels(2), 1, 2},
                                           {BorderWidth::pixels(2), 2, 2},
                                           {BorderWidth::pixels(3), 2, 3}}) {
        view.setBorderWidth(c.width);
        const QImage image = render(view, c.ratio);
        EXPECT_EQ(view.contentsScale(), c.ratio);
        EXPECT_EQ(borderPixels(image), c.devicePixels)
            << (c.width.isPoints() ? "points " : "pixels ") << c.width.value() << " at " << c.ratio;
        // Inside the border: the background.
        EXPECT_EQ(image.pixel(c.devicePixels + 1, image.height() / 2), 0xFF0000FF);
    }
}

TEST(LayerView, RoundedCornersClipTheBackground) {
    LayerView view(CGRectMake(0, 0, 40, 40));
    view.setBackgroundColor(NSColor::colorWithSRGBRed(1, 0, 0, 1));
    view.setCornerRadius(12);
    const QImage image = render(view, 1);
    EXPECT_EQ(image.pixel(1, 1), kWhite);
    EXPECT_EQ(image.pixel(38, 38), kWhite);
    EXPECT_EQ(image.pixel(20, 20), 0xFFFF0000);
    EXPECT_EQ(image.pixel(20, 0), 0xFFFF0000);
}

TEST(LayerView, SettingTheBorderWidthAnnouncesBothAnimatableWidths) {
    LayerView view;
    std::vector<std::string> order;
    QObject::connect(&view, &LayerView::animatableBorderWidthInPointsChanged,
                     [&order] { order.push_back("points"); });
    QObject::connect(&view, &LayerView::animatableBorderWidthInPixelsChanged,
                     [&order] { order.push_back("pixels"); });
    view.setBorderWidth(BorderWidth::points(3));
    EXPECT_EQ(order, (std::vector<std::string>{"points", "pixels"}));
    // The stored animatable values are untouched.
    EXPECT_EQ(view.animatableBorderWidthInPoints(), 0);
    view.setAnimatableBorderWidthInPixels(5);
    EXPECT_EQ(view.borderWidth(), BorderWidth::pixels(5));
    EXPECT_EQ(view.animatableBorderWidthInPixels(), 5);
    EXPECT_EQ(order.size(), 2u);  // the animatable setters do not announce
}

TEST(LayerView, BorderWidthAnimationsStartFromTheWidthInEffect) {
    LayerView view(CGRectMake(0, 0, 10, 10));
    render(view, 2);  // lands at a device pixel ratio of 2
    view.setBorderWidth(BorderWidth::points(1));

    QPropertyAnimation* pixels = view.animator().setValue("animatableBorderWidthInPixels", 4.0);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels->startValue().toDouble(), 2.0);
    EXPECT_EQ(pixels->endValue().toDouble(), 4.0);
    pixels->setCurrentTime(pixels->duration());
    EXPECT_EQ(view.borderWidth(), BorderWidth::pixels(4));

    view.setBorderWidth(BorderWidth::pixels(3));
    QPropertyAnimation* points = view.animator().setValue("animatableBorderWidthInPoints", 0.0);
    ASSERT_NE(points, nullptr);
    EXPECT_EQ(points->startValue().toDouble(), 1.5);
    points->setCurrentTime(points->duration() / 2);
    EXPECT_EQ(view.borderWidth(), BorderWidth::points(0.75));
}

TEST(LayerView, OtherAnimationsStartFromTheCurrentValue) {
    LayerView view;
    view.setCornerRadius(4);
    view.setBackgroundColor(NSColor::blackColor());
    QPropertyAnimation* radius = view.animator().setValue("cornerRadius", 10.0);
    ASSERT_NE(radius, nullptr);
    radius->setCurrentTime(0);
    EXPECT_EQ(view.cornerRadius(), 4);
    radius->setCurrentTime(radius->duration() / 2);
    EXPECT_EQ(view.cornerRadius(), 7);

    QPropertyAnimation* color =
        view.animator().setValue("backgroundColor", QVariant::fromValue(NSColor::whiteColor()));
    ASSERT_NE(color, nullptr);
    color->setCurrentTime(color->duration() / 2);
    EXPECT_EQ(view.backgroundColor(), NSColor::colorWithWhite(0.5, 1));

    // A new animation of the same key replaces the running one.
    QPointer<QPropertyAnimation> first = view.animator().setValue("cornerRadius", 1.0);
    view.animator().setValue("cornerRadius", 2.0);
    EXPECT_TRUE(first.isNull() || first->state() == QAbstractAnimation::Stopped);
}

TEST(LayerView, KeysWithoutADefaultAnimationChangeAtOnce) {
    EXPECT_EQ(LayerView::defaultAnimationForKey("windowOpacity"), nullptr);
    EXPECT_NE(LayerView::defaultAnimationForKey("borderColor"), nullptr);
    LayerView view;
    EXPECT_EQ(view.animator().setValue("windowOpacity", 0.5), nullptr);
    view.animator().setDuration(0);
    EXPECT_EQ(view.animator().setValue("cornerRadius", 6.0), nullptr);
    EXPECT_EQ(view.cornerRadius(), 6);
}

TEST(LayerView, ArchivesItsDecorationUnderItsKeys) {
    LayerView view(CGRectMake(5, 6, 70, 80));
    view.setBackgroundColor(NSColor::colorWithSRGBRed(0.1, 0.2, 0.3, 0.4));
    view.setBorderWidth(BorderWidth::pixels(1.5));
    view.setBorderColor(NSColor::colorWithWhite(0.5, 1));
    view.setCornerRadius(9);

    NSKeyedArchiver archiver;
    view.encode(archiver);
    NSKeyedUnarchiver keys(archiver.encodedData());
    EXPECT_FALSE(keys.decodeBool("org.Calyxware.LayerView.isBorderWidthInPoints"));
    EXPECT_EQ(keys.decodeDouble("org.Calyxware.LayerView.borderWidth"), 1.5);
    EXPECT_EQ(keys.decodeDouble("org.Calyxware.LayerView.cornerRadius"), 9);

    const auto decoded =
        NSKeyedUnarchiver::unarchivedObjectOfClass<LayerView>(NSKeyedArchiver::archivedData(view));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(decoded->backgroundColor(), view.backgroundColor());
    EXPECT_EQ(decoded->borderWidth(), BorderWidth::pixels(1.5));
    EXPECT_EQ(decoded->borderColor(), view.borderColor());
    EXPECT_EQ(decoded->cornerRadius(), 9);
    EXPECT_EQ(decoded->geometry(), QRect(5, 6, 70, 80));
    EXPECT_EQ(decoded->animatableBorderWidthInPixels(), 0);
}

TEST(LayerView, AWidthNeedsBothKeysToBeDecoded) {
    NSKeyedArchiver archiver;
    archiver.encodeBool(false, "org.Calyxware.LayerView.isBorderWidthInPoints");
    archiver.encodeDouble(7, "org.Calyxware.LayerView.cornerRadius");
    NSKeyedUnarchiver unarchiver(archiver.encodedData());
    const auto view = LayerView::initWithCoder(unarchiver);
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(view->borderWidth(), BorderWidth::points(0));
    EXPECT_EQ(view->cornerRadius(), 7);
    EXPECT_EQ(view->backgroundColor(), NSColor::clearColor());
}

}  // namespace
}  // namespace calyxware
