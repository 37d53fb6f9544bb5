#pragma once

#include <cstddef>

#include <QImage>
#include <QPointF>
#include <QWidget>
#include <memory>
#include <optional>

#include "media-player/decoders/subtitles/FormattedTextSubtitle.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSEdgeInsets.h"
#include "platform/graphics/NSMutableAttributedString.h"

namespace calyxware {
class AutoLayoutTextView;
}

namespace quillon {

// Draws one formatted subtitle: the text is laid out off screen at the style's own font sizes
// across the container width divided by the drawing scale, then drawn scaled, in layers: the
// style's rounded background box, the text's background colours, the shadows, the outlines and
// the fills. Layering puts every glyph's outline under the fill of every other glyph, and every
// shadow under every outline. The box sits on the bottom edge of the container, in its middle or
// on its top edge as the style's vertical alignment says (without one: the bottom when
// drawsAtBottom, else the top), left, centred or right as its alignment says; a style with a
// position puts the box's aligned point there instead. The subtitle's drawings go under the text,
// filled shapes placed the same way.
//
// Coordinates are top-down. Main thread only.
class SubtitleTextRenderingView : public QWidget {
public:
    // How far below its place the shadow layer's glyphs are drawn while their shadows are moved
    // back up: only the shadows land in the view.
    static constexpr platform::CGFloat shadowDisplacement = 100000.0;

    explicit SubtitleTextRenderingView(QWidget* parent = nullptr);
    ~SubtitleTextRenderingView() override;

    // Where a box goes whose style gives no vertical alignment.
    bool drawsAtBottom() const { return drawsAtBottom_; }
    void setDrawsAtBottom(bool drawsAtBottom);
    // Where the box goes: the style's vertical alignment, else the default above.
    SubtitleTextStyle::VerticalAlignment verticalAlignment() const;

    // How far down (negative: up) the text box is moved from its place so that it keeps clear
    // of the boxes of other subtitles on screen, in view points.
    platform::CGFloat stackingOffset() const { return stackingOffset_; }
    void setStackingOffset(platform::CGFloat offset);
    // Whether the box sits in the container by alignment alone and holds text, so that other
    // boxes may push it along: boxes placed at a point and drawings stay where they are put.
    bool isStackable() const;
    // The background box around the text, with the stacking offset, in view points; empty
    // without a subtitle.
    platform::CGRect boxFrame();

    // Where the text container sits inside the view, in view points.
    platform::NSEdgeInsets alignmentRectInsets() const { return alignmentRectInsets_; }
    void setAlignmentRectInsets(platform::NSEdgeInsets insets);

    // The drawing scale: stored, not applied to the view's own coordinates.
    platform::CGSize unitSquareSize() const { return unitSquareSize_; }
    void scaleUnitSquareToSize(platform::CGSize size);

    const std::optional<FormattedTextSubtitle>& subtitle() const { return subtitle_; }
    void setSubtitle(std::optional<FormattedTextSubtitle> subtitle);
    // The subtitle's text with the style's alignment as its only paragraph style.
    const std::optional<platform::NSMutableAttributedString>& subtitleTextWithAlignment() const {
        return subtitleTextWithAlignment_;
    }

    // The text view sized to the container, then shrunk to the text and placed by the
    // alignments, or at the style's position: the text box, in view points. The whole container
    // when the text has no size; empty without a subtitle.
    platform::CGRect textFrame();

    // The layers, for a drawing scale of `unitSquareSize` (see the class comment).
    struct LayeredTexts {
        platform::NSMutableAttributedString shadowText;
        platform::CGFloat shadowDisplacement;
        platform::NSMutableAttributedString outlineText;
        platform::NSMutableAttributedString fillText;
    };
    static LayeredTexts makeLayeredTexts(platform::CGSize unitSquareSize,
                                         const platform::NSAttributedString& text);

    // Where the subtitle's drawings go, in view points: their common bounding box stretched from
    // the canvas to the view and placed as a text box would be. Empty without drawings.
    platform::CGRect drawingFrame() const;

    // How many times the subtitle was laid out and drawn for painting.
    std::size_t renderingCount() const { return renderingCount_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // The subtitle as drawn, cut to the pixels it covers; made again only when the subtitle or
    // the view's shape changes, never for a repaint of the picture beneath.
    struct Rendering {
        QImage image;
        QPointF origin;
        qreal ratio = 1;
        QSize size;
    };

    void render(qreal ratio);
    void draw(QPainter& painter);
    void drawText(QPainter& painter);
    void drawDrawings(QPainter& painter) const;
    bool hasText() const;
    // The box of `size` placed in `container` by the alignments, or at the style's position.
    platform::CGRect placedBox(platform::CGRect container, platform::CGSize size) const;
    bool fitTextViewToText();
    void layoutTextContainer();

    std::unique_ptr<calyxware::AutoLayoutTextView> textView_;
    bool drawsAtBottom_ = true;
    platform::CGFloat stackingOffset_ = 0;
    platform::NSEdgeInsets alignmentRectInsets_;
    platform::CGSize unitSquareSize_{0, 0};
    std::optional<FormattedTextSubtitle> subtitle_;
    std::optional<platform::NSMutableAttributedString> subtitleTextWithAlignment_;
    std::optional<Rendering> rendering_;
    std::size_t renderingCount_ = 0;
};

}  // namespace quillon
