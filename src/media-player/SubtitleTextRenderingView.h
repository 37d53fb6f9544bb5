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
// shadow under every outline. The box sits on the bottom edge of the container (drawsAtBottom)
// or on its top edge, aligned as the style says.
//
// Coordinates are top-down. Main thread only.
class SubtitleTextRenderingView : public QWidget {
public:
    // How far below its place the shadow layer's glyphs are drawn while their shadows are moved
    // back up: only the shadows land in the view.
    static constexpr platform::CGFloat shadowDisplacement = 100000.0;

    explicit SubtitleTextRenderingView(QWidget* parent = nullptr);
    ~SubtitleTextRenderingView() override;

    bool drawsAtBottom() const { return drawsAtBottom_; }
    void setDrawsAtBottom(bool drawsAtBottom);

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

    // The text view sized to the container, then shrunk to the text and placed: the text box,
    // in view points. The whole container when the text has no size; empty without a subtitle.
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
    bool fitTextViewToText();
    void layoutTextContainer();

    std::unique_ptr<calyxware::AutoLayoutTextView> textView_;
    bool drawsAtBottom_ = true;
    platform::NSEdgeInsets alignmentRectInsets_;
    platform::CGSize unitSquareSize_{0, 0};
    std::optional<FormattedTextSubtitle> subtitle_;
    std::optional<platform::NSMutableAttributedString> subtitleTextWithAlignment_;
    std::optional<Rendering> rendering_;
    std::size_t renderingCount_ = 0;
};

}  // namespace quillon
