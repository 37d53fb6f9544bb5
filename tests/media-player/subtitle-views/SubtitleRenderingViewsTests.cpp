#include <gtest/gtest.h>

#include <QImage>
#include <QPixmap>
#include <cmath>

#include "SubtitlesViewTestSupport.h"
#include "media-player/subtitle-views/FormattedTextSubtitleView.h"
#include "media-player/subtitle-views/ImageSubtitleView.h"
#include "media-player/subtitle-views/SubtitleImageRenderingView.h"
#include "media-player/subtitle-views/SubtitleTextRenderingView.h"
#include "platform/graphics/NSShadow.h"

namespace {

using namespace platform;
using namespace quillon;
using namespace quillon::test;

// --- Image subtitles ---------------------------------------------------------------------------

struct ImagePlacement {
    ImageSubtitleView view;
    ImagePlacement(CGRect imageFrame, bool primary, std::optional<VideoDimensions> dimensions,
                   int width, int height)
        : view(ImageSubtitle{solidImage(2, 2, 0, 0, 255), imageFrame, std::nullopt}, primary,
               dimensions) {
        view.resize(width, height);
    }
    // Layout runs on a resize event, which a widget that was never shown only gets later.
    QRect placed() {
        view.performLayout();
        return view.renderingView().geometry();
    }
};

const VideoDimensions fullHD(1920, 1080, std::nullopt, 1);

TEST(ImageSubtitleViewTest, RectanglesAreScaledOntoTheCentredCanvas) {
    // 1920 × 1080 in 960 × 600: scale 0.5, canvas 960 × 540 at (0, 30).
    ImagePlacement primary(CGRectMake(100, 900, 400, 100), true, fullHD, 960, 600);
    EXPECT_DOUBLE_EQ(primary.view.imageScale(), 0.5);
    EXPECT_EQ(primary.view.imageFrameInCanvas(0.5, CGSizeMake(960, 540)),
              CGRectMake(50, 450, 200, 50));
    EXPECT_EQ(primary.placed(), QRect(50, 480, 200, 50));

    // Secondary: mirrored to y = 540 − 500 = 40 on the canvas; it misses the middle line.
    ImagePlacement secondary(CGRectMake(100, 900, 400, 100), false, fullHD, 960, 600);
    EXPECT_EQ(secondary.placed(), QRect(50, 70, 200, 50));

    // A secondary rectangle across the middle line turns through a half turn.
    ImagePlacement straddling(CGRectMake(0, 400, 960, 200), false, fullHD, 1920, 1080);
    EXPECT_EQ(straddling.placed(), QRect(960, 480, 960, 200));

    // A narrower view pillar-boxes the canvas: scale min(0.5, 400 / 1080).
    ImagePlacement pillarBoxed(CGRectMake(0, 0, 1920, 1080), true, fullHD, 960, 400);
    const double scale = 400.0 / 1080.0;
    EXPECT_DOUBLE_EQ(pillarBoxed.view.imageScale(), scale);
    const double canvasWidth = 1920 * scale;
    EXPECT_EQ(pillarBoxed.placed(), QRect(static_cast<int>(std::lround(480 - canvasWidth / 2)), 0,
                                          static_cast<int>(std::lround(480 + canvasWidth / 2)) -
                                              static_cast<int>(std::lround(480 - canvasWidth / 2)),
                                          400));
}

TEST(ImageSubtitleViewTest, DimensionsComeFromTheSubtitleFirstAndOtherwiseScaleIsOne) {
    // Without any dimensions: the rectangle in view points from the top left; a secondary one
    // mirrors against the view.
    ImagePlacement bare(CGRectMake(10, 20, 30, 40), true, std::nullopt, 960, 540);
    EXPECT_EQ(bare.view.imageScale(), 1);
    EXPECT_EQ(bare.placed(), QRect(10, 20, 30, 40));
    ImagePlacement bareSecondary(CGRectMake(10, 20, 30, 40), false, std::nullopt, 960, 540);
    EXPECT_EQ(bareSecondary.placed(), QRect(10, 540 - 60, 30, 40));

    // The subtitle's own canvas wins over the track's.
    ImageSubtitle own{solidImage(2, 2, 0, 0, 255), CGRectMake(0, 0, 720, 576),
                      VideoDimensions(720, 576, std::nullopt, 1)};
    ImageSubtitleView view(own, true, fullHD);
    view.resize(720, 576);
    view.performLayout();
    EXPECT_EQ(view.videoDimensions(), CGSizeMake(720, 576));
    EXPECT_EQ(view.renderingView().geometry(), QRect(0, 0, 720, 576));

    // A view of no size gives scale 1 rather than 0.
    ImagePlacement empty(CGRectMake(0, 0, 10, 10), true, fullHD, 0, 0);
    EXPECT_EQ(empty.view.imageScale(), 1);
}

TEST(ImageSubtitleViewTest, TheBitmapIsDrawnWhereItIsPlaced) {
    ImageSubtitleView view(
        ImageSubtitle{solidImage(40, 10, 0, 0, 255), CGRectMake(100, 900, 400, 100), std::nullopt},
        true, fullHD);
    view.resize(960, 600);
    ASSERT_FALSE(view.renderingView().contents().isNull());
    const QImage image = view.grab().toImage();
    EXPECT_EQ(QColor(image.pixel(150, 500)), QColor(255, 0, 0));
    EXPECT_EQ(qAlpha(image.pixel(40, 500)), 0);
    EXPECT_EQ(qAlpha(image.pixel(150, 470)), 0);

    // A bitmap of another pixel format cannot be shown: the view stays empty.
    CVPixelBufferRef yuv;
    CVPixelBufferCreate(4, 4, kCVPixelFormatType_420YpCbCr8BiPlanarVideoRange, nullptr, &yuv);
    SubtitleImageRenderingView rendering;
    rendering.setSubtitle(ImageSubtitle{yuv, CGRectMake(0, 0, 4, 4), std::nullopt});
    EXPECT_TRUE(rendering.contents().isNull());
}

// --- Formatted text subtitles ------------------------------------------------------------------

TEST(FormattedTextSubtitleViewTest, TheScaleFollowsThePictureHeight) {
    SubtitleTextStyle style = plainStyle();
    style.scalingInfo = {20, 5, 1.5};
    style.containerInsets = NSEdgeInsetsMake(10, 20, 30, 40);
    FormattedTextSubtitleView view(formatted("Hello", style), true);
    view.resize(1280, 720);
    view.performLayout();
    EXPECT_DOUBLE_EQ(FormattedTextSubtitleView::scale(style, 720), 1.8);
    EXPECT_DOUBLE_EQ(view.renderingView().unitSquareSize().width, 2.7);
    EXPECT_DOUBLE_EQ(view.renderingView().unitSquareSize().height, 2.7);
    const NSEdgeInsets insets = view.renderingView().alignmentRectInsets();
    EXPECT_DOUBLE_EQ(insets.top, 18);
    EXPECT_DOUBLE_EQ(insets.left, 36);
    EXPECT_DOUBLE_EQ(insets.bottom, 54);
    EXPECT_DOUBLE_EQ(insets.right, 72);
    EXPECT_EQ(view.renderingView().geometry(), view.rect());

    style.scalingInfo.initialBaseFontSize = 0;
    EXPECT_EQ(FormattedTextSubtitleView::scale(style, 720), 1);
    style.scalingInfo = {20, -5, 1};
    EXPECT_EQ(FormattedTextSubtitleView::scale(style, 720), 1);
}

// A rendering view of 1000 × 500 at drawing scale 2 with insets and box margins.
struct TextPlacement {
    SubtitleTextRenderingView view;
    TextPlacement(SubtitleTextStyle::Alignment alignment, bool atBottom,
                  const std::string& text = "Subtitle") {
        SubtitleTextStyle style = plainStyle();
        style.alignmentInContainer = alignment;
        style.overlayStyle.insets = CGSizeMake(5, 3);
        view.resize(1000, 500);
        view.setSubtitle(formatted(text, style));
        view.setDrawsAtBottom(atBottom);
        view.setAlignmentRectInsets(NSEdgeInsetsMake(10, 20, 30, 40));
        view.scaleUnitSquareToSize(CGSizeMake(2, 2));
    }
};

TEST(SubtitleTextRenderingViewTest, TheTextBoxSitsOnTheContainerEdges) {
    // The container: insets plus the box margins times the scale.
    const double left = 20 + 10, right = 1000 - 40 - 10, top = 10 + 6, bottom = 500 - 30 - 6;

    TextPlacement bottomRight(SubtitleTextStyle::Alignment::right, true);
    const CGRect box = bottomRight.view.textFrame();
    ASSERT_GT(box.width(), 0);
    EXPECT_DOUBLE_EQ(box.maxX(), right);
    EXPECT_DOUBLE_EQ(box.maxY(), bottom);
    const NSAttributedString& aligned = *bottomRight.view.subtitleTextWithAlignment();
    EXPECT_EQ(attributeValue<NSParagraphStyle>(aligned.attributesAtIndex(0),
                                               NSParagraphStyleAttributeName)
                  ->alignment,
              NSTextAlignmentNatural)
        << "right keeps the default paragraph alignment";

    TextPlacement topLeft(SubtitleTextStyle::Alignment::left, false);
    EXPECT_DOUBLE_EQ(topLeft.view.textFrame().minX(), left);
    EXPECT_DOUBLE_EQ(topLeft.view.textFrame().minY(), top);

    TextPlacement centred(SubtitleTextStyle::Alignment::center, true);
    const CGRect centredBox = centred.view.textFrame();
    EXPECT_NEAR(centredBox.midX(), (left + right) / 2, 0.5 + 1e-9);
    EXPECT_EQ(attributeValue<NSParagraphStyle>(
                  centred.view.subtitleTextWithAlignment()->attributesAtIndex(0),
                  NSParagraphStyleAttributeName)
                  ->alignment,
              NSTextAlignmentCenter);

    // The text is laid out at its own size and drawn twice as large.
    TextPlacement unscaled(SubtitleTextStyle::Alignment::left, true);
    unscaled.view.scaleUnitSquareToSize(CGSizeMake(1, 1));
    const CGRect single = unscaled.view.textFrame();
    EXPECT_NEAR(box.width(), 2 * single.width(), 2.0);
    EXPECT_NEAR(box.height(), 2 * single.height(), 2.0);

    // No drawing scale yet: nothing to place.
    SubtitleTextRenderingView fresh;
    fresh.setSubtitle(formatted("x"));
    EXPECT_EQ(fresh.textFrame(), CGRect{});
}

TEST(SubtitleTextRenderingViewTest, LayersSplitShadowsOutlinesAndFills) {
    NSMutableAttributedString text(std::string_view("shadowplain"));
    NSShadow shadow{CGSizeMake(2, -3), 1, NSColor::blackColor()};
    text.addAttribute(NSShadowAttributeName, shadow, {0, 6});
    text.addAttribute(NSBackgroundColorAttributeName, NSColor::blackColor(), {0, 11});
    text.addAttribute(NSForegroundColorAttributeName, NSColor::whiteColor(), {0, 11});
    const auto layers = SubtitleTextRenderingView::makeLayeredTexts(CGSizeMake(2, 3), text);

    EXPECT_EQ(layers.shadowDisplacement, 100000.0);
    const NSShadow* moved =
        attributeValue<NSShadow>(layers.shadowText.attributesAtIndex(0), NSShadowAttributeName);
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(moved->shadowOffset, CGSizeMake(4, -9 + 100000.0));
    EXPECT_EQ(layers.shadowText.attributesAtIndex(8).count(NSShadowAttributeName), 0u);
    EXPECT_EQ(layers.shadowText.attributesAtIndex(8).at(NSForegroundColorAttributeName),
              NSAttributeValue(NSColor::whiteColor()))
        << "runs without a shadow keep their attributes";

    const NSColor invisible = NSColor::colorWithWhite(1, 0);
    const auto colour = [](const NSMutableAttributedString& layer, const char* key) {
        const NSColor* found = attributeValue<NSColor>(layer.attributesAtIndex(3), key);
        return found != nullptr ? *found : NSColor::blackColor();
    };
    EXPECT_EQ(layers.outlineText.attributesAtIndex(0).count(NSBackgroundColorAttributeName) +
                  layers.fillText.attributesAtIndex(0).count(NSShadowAttributeName),
              0u);
    EXPECT_EQ(colour(layers.outlineText, NSForegroundColorAttributeName), invisible);
    EXPECT_EQ(colour(layers.outlineText, NSUnderlineColorAttributeName), invisible);
    EXPECT_EQ(colour(layers.fillText, NSStrokeColorAttributeName), invisible);
    EXPECT_EQ(colour(layers.fillText, NSForegroundColorAttributeName), NSColor::whiteColor());
}

TEST(SubtitleTextRenderingViewTest, DrawsTheBoxTheShadowAndTheText) {
    SubtitleTextStyle style = plainStyle();
    style.alignmentInContainer = SubtitleTextStyle::Alignment::left;
    style.overlayStyle = {CGSizeMake(10, 10), 0, NSColor::colorWithSRGBRed(0, 0, 1, 1)};
    // A red shadow well below the glyphs, where nothing else is drawn.
    auto& attributes = style.textAttributes.underlyingTextAttributes;
    attributes.insert_or_assign(
        NSShadowAttributeName,
        NSShadow{CGSizeMake(0, -60), 0, NSColor::colorWithSRGBRed(1, 0, 0, 1)});
    SubtitleTextRenderingView view;
    view.resize(600, 300);
    view.setSubtitle(formatted("HHHH", style));
    view.setDrawsAtBottom(false);
    view.scaleUnitSquareToSize(CGSizeMake(1, 1));
    const CGRect text = view.textFrame();
    ASSERT_GT(text.width(), 0);

    const QImage image = view.grab().toImage();
    // The box's margin, left of the text.
    EXPECT_EQ(QColor(image.pixel(5, static_cast<int>(text.midY()))), QColor(0, 0, 255));
    // White glyphs inside the text box.
    int white = 0, red = 0;
    for (int y = static_cast<int>(text.minY()); y < static_cast<int>(text.maxY()); ++y) {
        for (int x = static_cast<int>(text.minX()); x < static_cast<int>(text.maxX()); ++x) {
            white += QColor(image.pixel(x, y)) == QColor(255, 255, 255) ? 1 : 0;
        }
    }
    // The shadow: 60 points below, outside the box.
    for (int y = static_cast<int>(text.maxY()) + 15; y < static_cast<int>(text.maxY()) + 60; ++y) {
        for (int x = 0; x < 600; ++x) {
            const QColor pixel(image.pixel(x, y));
            red += pixel.red() > 200 && pixel.green() < 50 && pixel.blue() < 50 ? 1 : 0;
        }
    }
    EXPECT_GT(white, 20);
    EXPECT_GT(red, 20);
    // Nothing of the displaced shadow layer's own glyphs lands in the view: away from the box
    // and the shadow, the view stays empty.
    EXPECT_EQ(qAlpha(image.pixel(590, 290)), 0);
}

TEST(SubtitleTextRenderingViewTest, RepaintsReuseTheRenderingUntilTheSubtitleOrSizeChanges) {
    SubtitleTextRenderingView view;
    view.resize(600, 300);
    view.setSubtitle(formatted("HHHH", plainStyle()));
    view.scaleUnitSquareToSize(CGSizeMake(1, 1));
    // The picture beneath repaints many times a second; the text is drawn once.
    const QImage first = view.grab().toImage();
    const QImage again = view.grab().toImage();
    EXPECT_EQ(view.renderingCount(), 1u);
    EXPECT_EQ(first, again);

    view.resize(500, 300);
    view.grab();
    EXPECT_EQ(view.renderingCount(), 2u);
    view.setSubtitle(formatted("HH", plainStyle()));
    view.grab();
    view.grab();
    EXPECT_EQ(view.renderingCount(), 3u);
}

// --- Script positions and drawings --------------------------------------------------------------

// A decoded event shown in a picture of the given size.
struct ShownEvent {
    FormattedTextSubtitleView view;
    ShownEvent(const FormattedTextSubtitle& subtitle, int width, int height)
        : view(subtitle, true) {
        view.resize(width, height);
        view.performLayout();
    }
    CGRect box() { return view.renderingView().textFrame(); }
};

TEST(SubtitleTextRenderingViewTest, APositionPlacesTheAlignedPointOfTheBox) {
    ASSEvents events;
    const std::string header = scriptHeader(640, 360);
    const FormattedTextSubtitle topLeft =
        events.decode(header, "0,Default,,0,0,0,,{\\an7\\pos(160,90)}Sign");
    const FormattedTextSubtitle bottomRight =
        events.decode(header, "0,Default,,0,0,0,,{\\an3\\move(480,270,0,0)}Sign");
    const FormattedTextSubtitle centred =
        events.decode(header, "0,Default,,0,0,0,,{\\pos(320,180)}Sign");
    for (const auto& [width, height] : {std::pair(960, 540), std::pair(800, 600)}) {
        const double toleranceX = 0.02 * width, toleranceY = 0.02 * height;
        ShownEvent first(topLeft, width, height);
        EXPECT_NEAR(first.box().minX(), width / 4.0, toleranceX) << width;
        EXPECT_NEAR(first.box().minY(), height / 4.0, toleranceY) << width;
        ShownEvent second(bottomRight, width, height);
        EXPECT_NEAR(second.box().maxX(), 3 * width / 4.0, toleranceX) << width;
        EXPECT_NEAR(second.box().maxY(), 3 * height / 4.0, toleranceY) << width;
        // Without an alignment code: the style's bottom centre.
        ShownEvent third(centred, width, height);
        EXPECT_NEAR(third.box().midX(), width / 2.0, toleranceX) << width;
        EXPECT_NEAR(third.box().maxY(), height / 2.0, toleranceY) << width;

        // The ink lies in the box, right and below the point.
        const std::vector<int> rows = rowsWith(picture(first.view), isWhite);
        ASSERT_FALSE(rows.empty());
        EXPECT_GE(rows.front(), height / 4 - 1);
        EXPECT_LE(rows.back(), first.box().maxY());
    }
}

TEST(SubtitleTextRenderingViewTest, DrawingsAreFilledShapesNotText) {
    ASSEvents events;
    // Red, on a 640 x 360 canvas shown at 1280 x 720: a 100 pixel square comes out at 200.
    const std::string header = scriptHeader(640, 360, "&H000000FF");
    for (const char* event :
         {"0,Default,,0,0,0,,{\\an7\\pos(100,50)\\p1}m 0 0 l 100 0 100 100 0 100{\\p0}",
          "0,Default,,0,0,0,,{\\an7\\pos(100,50)\\p2}m 0 0 l 200 0 200 200 0 200"}) {
        const FormattedTextSubtitle subtitle = events.decode(header, event);
        EXPECT_EQ(subtitle.formattedText->string(), "") << "no command shows as text";
        ShownEvent shown(subtitle, 1280, 720);
        const QImage image = picture(shown.view);
        int inside = 0;
        for (int y = 104; y < 296; y += 8) {
            for (int x = 204; x < 396; x += 8) {
                inside += isRed(QColor(image.pixel(x, y))) ? 1 : 0;
            }
        }
        EXPECT_EQ(inside, 24 * 24) << event;
        for (const QPoint outside : {QPoint(196, 200), QPoint(404, 200), QPoint(300, 96),
                                     QPoint(300, 304), QPoint(640, 600)}) {
            EXPECT_EQ(QColor(image.pixel(outside)), QColor(Qt::black)) << event;
        }
    }
}

TEST(SubtitleTextRenderingViewTest, CommentsInBracesAreNotDrawn) {
    ASSEvents events;
    const std::string header = scriptHeader(640, 360);
    const FormattedTextSubtitle withComment =
        events.decode(header, "0,Default,,0,0,0,,Line {a comment}after");
    EXPECT_EQ(withComment.formattedText->string(), "Line after");
    const FormattedTextSubtitle without = events.decode(header, "0,Default,,0,0,0,,Line after");
    ShownEvent first(withComment, 960, 540);
    ShownEvent second(without, 960, 540);
    EXPECT_EQ(picture(first.view), picture(second.view));
}

}  // namespace
