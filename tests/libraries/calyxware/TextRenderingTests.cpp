#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cmath>
#include <string>

#include "support/WidgetApplicationEnvironment.h"
#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/TextContainer.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/graphics/NSFont.h"
#include "platform/graphics/NSMutableAttributedString.h"

namespace calyxware {
namespace {

using namespace platform;

constexpr QRgb kCanvas = 0xFF000000;
constexpr QRgb kBackground = 0xFF0000FF;
constexpr QRgb kFill = 0xFFFFFFFF;
constexpr QRgb kStroke = 0xFFFF0000;
constexpr QRgb kShadow = 0xFF00FF00;

// Whether two colours are within a little of each other per channel (antialiasing aside, the
// probes below sit well inside their areas).
bool near(QRgb actual, QRgb expected) {
    const auto close = [](int a, int b) { return std::abs(a - b) <= 24; };
    return close(qRed(actual), qRed(expected)) && close(qGreen(actual), qGreen(expected)) &&
           close(qBlue(actual), qBlue(expected)) && close(qAlpha(actual), qAlpha(expected));
}

std::string hex(QRgb colour) {
    char text[16];
    std::snprintf(text, sizeof text, "#%08X", colour);
    return text;
}

// " H ": the spaces show the background alone; the H is filled white, stroked red (6 points,
// a tenth of its size, half of it outside the outline) and casts a sharp green shadow 8 points
// right and 8 points down. A second line, "blurred", casts a soft shadow all around.
TEST(TextRendering, DrawsBackgroundStrokeAndShadowWhereTheyBelong) {
    const auto font = NSFont::fontWithName("DejaVu Sans Bold", 60);
    ASSERT_TRUE(font) << "fonts-dejavu-core is needed";
    NSShadow shadow;
    shadow.shadowOffset = CGSizeMake(8, -8);
    shadow.shadowColor = NSColor::colorWithSRGBRed(0, 1, 0, 1);
    NSShadow softShadow;
    softShadow.shadowBlurRadius = 8;
    softShadow.shadowColor = NSColor::colorWithSRGBRed(0, 1, 0, 1);
    NSMutableAttributedString text(
        std::string_view(" H "),
        {{NSFontAttributeName, *font},
         {NSForegroundColorAttributeName, NSColor::whiteColor()},
         {NSBackgroundColorAttributeName, NSColor::colorWithSRGBRed(0, 0, 1, 1)},
         {NSStrokeColorAttributeName, NSColor::colorWithSRGBRed(1, 0, 0, 1)},
         {NSStrokeWidthAttributeName, -10.0},
         {NSShadowAttributeName, shadow}});
    text.append(std::string_view("\nblurred"),
                {{NSFontAttributeName, *font},
                 {NSForegroundColorAttributeName, NSColor::whiteColor()},
                 {NSShadowAttributeName, softShadow}});
    AutoLayoutTextView view(CGRectMake(0, 0, 400, 200));
    view.textStorage()->setAttributedString(text);
    LayoutManager& manager = *view.layoutManager();
    TextContainer& container = *view.textContainer();

    const CGPoint origin = CGPointMake(20, 10);
    QImage image(340, 180, QImage::Format_ARGB32_Premultiplied);
    image.fill(kCanvas);
    {
        QPainter painter(&image);
        const NSRange glyphs = manager.glyphRangeForTextContainer(container);
        manager.drawBackgroundForGlyphRange(glyphs, origin, painter);
        manager.drawGlyphsForGlyphRange(glyphs, origin, painter);
    }
    const QString path = QStringLiteral(CALYXWARE_TEST_OUTPUT_DIR "/styled-text.png");
    EXPECT_TRUE(image.save(path)) << path.toStdString();

    const CGRect line = manager.lineFragmentRectForGlyphAtIndex(1);
    const CGFloat baseline = origin.y + line.origin.y + manager.locationForGlyphAtIndex(1).y;
    const CGRect leadingSpace = manager.boundingRectForGlyphRange(NSMakeRange(0, 1), container);
    const CGRect letter = manager.boundingRectForGlyphRange(NSMakeRange(1, 1), container);
    const auto pixel = [&image](CGFloat x, CGFloat y) {
        return image.pixel(static_cast<int>(std::floor(x)), static_cast<int>(std::floor(y)));
    };

    // The background covers the whole line height under the leading space.
    EXPECT_PRED2(near, pixel(origin.x + leadingSpace.midX(), origin.y + line.midY()), kBackground);
    EXPECT_PRED2(near, pixel(origin.x + leadingSpace.midX(), origin.y + line.maxY() - 1),
                 kBackground);
    // Outside the line fragment there is no background.
    EXPECT_PRED2(near, pixel(origin.x + leadingSpace.midX(), origin.y + line.maxY() + 2), kCanvas);

    // Along a row through the stems, from the left of the letter: the stroke comes first, then
    // the fill.
    const CGFloat row = baseline - 8;
    int x = static_cast<int>(origin.x + letter.minX());
    while (x < image.width() && near(image.pixel(x, static_cast<int>(row)), kBackground)) {
        ++x;
    }
    ASSERT_LT(x, image.width());
    const int strokeStart = x;
    EXPECT_PRED2(near, image.pixel(strokeStart + 1, static_cast<int>(row)), kStroke)
        << hex(image.pixel(strokeStart + 1, static_cast<int>(row)));
    int fillStart = strokeStart;
    while (fillStart < image.width() &&
           !near(image.pixel(fillStart, static_cast<int>(row)), kFill)) {
        ++fillStart;
    }
    // The stroke is 6 points wide: about that much red precedes the white.
    EXPECT_GE(fillStart - strokeStart, 4);
    EXPECT_LE(fillStart - strokeStart, 8);

    // Below the baseline, where the stem's shadow falls (8 down, 8 right) and neither the glyph
    // nor its stroke (3 points outside) reaches.
    int fillEnd = fillStart;
    while (near(image.pixel(fillEnd, static_cast<int>(row)), kFill)) {
        ++fillEnd;
    }
    const CGFloat stemCentre = (fillStart + fillEnd) / 2.0;
    EXPECT_PRED2(near, pixel(stemCentre + 8, baseline + 6), kShadow)
        << hex(pixel(stemCentre + 8, baseline + 6));
    // Under the stem's left half, which the offset shadow does not reach: background only.
    EXPECT_PRED2(near, pixel(stemCentre - 8, baseline + 6), kBackground);

    // The soft shadow spreads beyond the glyph: above the top of the "l" the canvas is partly
    // green, more so closer to the glyph.
    const NSUInteger l = 5;  // " H \nb|l|urred"
    const CGRect ell = manager.boundingRectForGlyphRange(NSMakeRange(l, 1), container);
    const CGFloat secondBaseline = origin.y + manager.lineFragmentRectForGlyphAtIndex(l).origin.y +
                                   manager.locationForGlyphAtIndex(l).y;
    const CGFloat ascender = 0.76 * 60;  // the top of the "l", a little below the line's top
    const QRgb near2 = pixel(origin.x + ell.midX(), secondBaseline - ascender - 2);
    const QRgb far = pixel(origin.x + ell.midX(), secondBaseline - ascender - 9);
    EXPECT_GT(qGreen(near2), 40) << hex(near2);
    EXPECT_LT(qGreen(near2), 250) << hex(near2);
    EXPECT_GT(qGreen(near2), qGreen(far)) << hex(near2) << " " << hex(far);
    EXPECT_EQ(qRed(near2), 0);
}

}  // namespace
}  // namespace calyxware
