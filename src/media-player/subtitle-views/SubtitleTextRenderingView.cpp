#include "media-player/subtitle-views/SubtitleTextRenderingView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPen>
#include <algorithm>
#include <cmath>

#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/TextContainer.h"
#include "libraries/calyxware/TextStorage.h"
#include "platform/graphics/NSAttributeDictionary.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSParagraphStyle.h"
#include "platform/graphics/NSShadow.h"

namespace quillon {

using platform::CGFloat;
using platform::CGRect;
using platform::CGSize;

namespace {

bool isUsableScale(CGSize size) {
    return size.width > 0 && size.height > 0 && std::isfinite(size.width) &&
           std::isfinite(size.height);
}

platform::NSRange wholeRange(const platform::NSAttributedString& text) {
    return {0, text.length()};
}

}  // namespace

SubtitleTextRenderingView::SubtitleTextRenderingView(QWidget* parent)
    : QWidget(parent), textView_(std::make_unique<calyxware::AutoLayoutTextView>()) {
    // Only a layout engine: never shown, never in the widget tree.
    textView_->setDrawsBackground(false);
    textView_->textContainer()->setHeightTracksTextView(true);
    textView_->textContainer()->setLineBreakMode(platform::NSLineBreakByTruncatingTail);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
}

SubtitleTextRenderingView::~SubtitleTextRenderingView() = default;

void SubtitleTextRenderingView::setDrawsAtBottom(bool drawsAtBottom) {
    drawsAtBottom_ = drawsAtBottom;
    rendering_.reset();
    update();
}

SubtitleTextStyle::VerticalAlignment SubtitleTextRenderingView::verticalAlignment() const {
    if (subtitle_ && subtitle_->style.verticalAlignmentInContainer) {
        return *subtitle_->style.verticalAlignmentInContainer;
    }
    return drawsAtBottom_ ? SubtitleTextStyle::VerticalAlignment::bottom
                          : SubtitleTextStyle::VerticalAlignment::top;
}

void SubtitleTextRenderingView::setStackingOffset(CGFloat offset) {
    if (offset == stackingOffset_) {
        return;
    }
    stackingOffset_ = offset;
    rendering_.reset();
    update();
}

bool SubtitleTextRenderingView::hasText() const {
    return subtitleTextWithAlignment_ && subtitleTextWithAlignment_->length() > 0;
}

bool SubtitleTextRenderingView::isStackable() const {
    return subtitle_ && !subtitle_->style.position && subtitle_->drawings.empty() && hasText();
}

CGRect SubtitleTextRenderingView::boxFrame() {
    if (!fitTextViewToText()) {
        return {};
    }
    const CGSize u = unitSquareSize_;
    const SubtitleTextStyle::OverlayStyle& overlay = subtitle_->style.overlayStyle;
    return textView_->frame().insetBy(-overlay.insets.width * u.width,
                                      -overlay.insets.height * u.height);
}

CGRect SubtitleTextRenderingView::placedBox(CGRect container, CGSize size) const {
    using Vertical = SubtitleTextStyle::VerticalAlignment;
    const SubtitleTextStyle& style = subtitle_->style;
    const Vertical vertical = verticalAlignment();
    // The part of the box's width and height that lies before its anchor.
    CGFloat before = 0;
    switch (style.alignmentInContainer) {
        case SubtitleTextStyle::Alignment::left:
            break;
        case SubtitleTextStyle::Alignment::center:
            before = 0.5;
            break;
        case SubtitleTextStyle::Alignment::right:
            before = 1;
            break;
    }
    const CGFloat above = vertical == Vertical::bottom ? 1 : vertical == Vertical::middle ? 0.5 : 0;
    if (const std::optional<SubtitleTextStyle::Position>& position = style.position) {
        // A box placed at a point keeps the script's bottom alignment unless it names another.
        const CGFloat positionedAbove = style.verticalAlignmentInContainer ? above : 1;
        const CGSize canvas = position->canvasSize;
        const CGFloat scaleX = canvas.width > 0 ? width() / canvas.width : 1;
        const CGFloat scaleY = canvas.height > 0 ? height() / canvas.height : 1;
        return platform::CGRectMake(position->point.x * scaleX - size.width * before,
                                    position->point.y * scaleY - size.height * positionedAbove,
                                    size.width, size.height);
    }
    return platform::CGRectMake(
        container.origin.x + (container.size.width - size.width) * before,
        container.origin.y + (container.size.height - size.height) * above + stackingOffset_,
        size.width, size.height);
}

CGRect SubtitleTextRenderingView::drawingFrame() const {
    if (!subtitle_ || subtitle_->drawings.empty()) {
        return {};
    }
    QRectF bounds;
    for (const SubtitleDrawing& drawing : subtitle_->drawings) {
        bounds = bounds.united(drawing.path->boundingRect());
    }
    const CGSize canvas = subtitle_->drawings.front().canvasSize;
    const CGFloat scaleX = canvas.width > 0 ? width() / canvas.width : 1;
    const CGFloat scaleY = canvas.height > 0 ? height() / canvas.height : 1;
    const platform::NSEdgeInsets& i = alignmentRectInsets_;
    const CGRect container = platform::CGRectMake(i.left, i.top, width() - (i.left + i.right),
                                                  height() - (i.top + i.bottom));
    return placedBox(container, {bounds.width() * scaleX, bounds.height() * scaleY});
}

void SubtitleTextRenderingView::setAlignmentRectInsets(platform::NSEdgeInsets insets) {
    // Layout runs again for every subtitle that starts; what it leaves as it was stays drawn.
    if (insets == alignmentRectInsets_) {
        return;
    }
    alignmentRectInsets_ = insets;
    rendering_.reset();
    update();
}

void SubtitleTextRenderingView::scaleUnitSquareToSize(CGSize size) {
    if (size == unitSquareSize_) {
        return;
    }
    unitSquareSize_ = size;
    rendering_.reset();
    update();
}

void SubtitleTextRenderingView::setSubtitle(std::optional<FormattedTextSubtitle> subtitle) {
    update();
    rendering_.reset();
    subtitle_ = std::move(subtitle);
    if (!subtitle_) {
        subtitleTextWithAlignment_.reset();
        return;
    }
    platform::NSParagraphStyle paragraphStyle = platform::NSParagraphStyle::defaultParagraphStyle();
    if (subtitle_->style.alignmentInContainer == SubtitleTextStyle::Alignment::center) {
        paragraphStyle.alignment = platform::NSTextAlignmentCenter;
    }
    platform::NSMutableAttributedString text = subtitle_->formattedText
                                                   ? subtitle_->formattedText->mutableCopy()
                                                   : platform::NSMutableAttributedString();
    if (text.length() > 0) {
        text.addAttribute(platform::NSParagraphStyleAttributeName, paragraphStyle,
                          wholeRange(text));
    }
    subtitleTextWithAlignment_ = std::move(text);
}

void SubtitleTextRenderingView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

void SubtitleTextRenderingView::layoutTextContainer() {
    if (!subtitle_) {
        return;
    }
    const platform::NSEdgeInsets& i = alignmentRectInsets_;
    const CGSize u = unitSquareSize_;
    const CGFloat px = u.width * subtitle_->style.overlayStyle.insets.width;
    const CGFloat py = u.height * subtitle_->style.overlayStyle.insets.height;
    const CGFloat width = this->width();
    const CGFloat height = this->height();
    textView_->setFrame(platform::CGRectMake(i.left + px, i.top + py,
                                             width - (i.left + i.right + 2 * px),
                                             height - (i.top + i.bottom + 2 * py)));
    // Absolute: the text is laid out at its own size across the container width divided by u.
    // Applied after the frame, since a frame change from an empty frame cannot carry a scale.
    textView_->scaleUnitSquareToSize(u);
}

bool SubtitleTextRenderingView::fitTextViewToText() {
    if (!subtitleTextWithAlignment_ || !subtitle_ || !isUsableScale(unitSquareSize_)) {
        return false;
    }
    layoutTextContainer();
    textView_->textStorage()->setAttributedString(*subtitleTextWithAlignment_);
    const CGSize size = textView_->intrinsicContentSize();
    if (size.width == calyxware::NSViewNoIntrinsicMetric ||
        size.height == calyxware::NSViewNoIntrinsicMetric) {
        return true;
    }
    textView_->setFrame(placedBox(textView_->frame(), size));
    return true;
}

CGRect SubtitleTextRenderingView::textFrame() {
    return fitTextViewToText() ? textView_->frame() : CGRect{};
}

SubtitleTextRenderingView::LayeredTexts SubtitleTextRenderingView::makeLayeredTexts(
    CGSize unitSquareSize, const platform::NSAttributedString& text) {
    LayeredTexts layers{text.mutableCopy(), shadowDisplacement, text.mutableCopy(),
                        text.mutableCopy()};
    const platform::NSRange all = wholeRange(text);
    if (all.length == 0) {
        return layers;
    }
    layers.shadowText.removeAttribute(platform::NSBackgroundColorAttributeName, all);
    layers.outlineText.removeAttribute(platform::NSBackgroundColorAttributeName, all);
    layers.fillText.removeAttribute(platform::NSBackgroundColorAttributeName, all);

    text.enumerateAttribute(
        platform::NSShadowAttributeName, all,
        [&](const platform::NSAttributeValue* value, platform::NSRange range, bool&) {
            const platform::NSShadow* shadow = value != nullptr ? value->shadow() : nullptr;
            if (shadow == nullptr) {
                return;
            }
            layers.outlineText.removeAttribute(platform::NSShadowAttributeName, range);
            layers.fillText.removeAttribute(platform::NSShadowAttributeName, range);
            // Shadow offsets are measured in the unscaled base space, so they are scaled here
            // by hand; the displacement brings the shadows back from where their glyphs go.
            platform::NSShadow displaced = *shadow;
            displaced.shadowOffset.width *= unitSquareSize.width;
            displaced.shadowOffset.height *= unitSquareSize.height;
            displaced.shadowOffset.height += shadowDisplacement;
            layers.shadowText.addAttribute(platform::NSShadowAttributeName, displaced, range);
        });

    const platform::NSColor invisible = platform::NSColor::colorWithWhite(1, 0);
    layers.outlineText.addAttribute(platform::NSForegroundColorAttributeName, invisible, all);
    layers.outlineText.addAttribute(platform::NSUnderlineColorAttributeName, invisible, all);
    layers.outlineText.addAttribute(platform::NSStrikethroughColorAttributeName, invisible, all);
    layers.fillText.addAttribute(platform::NSStrokeColorAttributeName, invisible, all);
    return layers;
}

void SubtitleTextRenderingView::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    if (!subtitleTextWithAlignment_ || !subtitle_) {
        return;
    }
    QPainter painter(this);
    // At the pixels of what is painted on: the screen's, or an image's that the view is rendered
    // into.
    const qreal ratio = calyxware::effectiveDevicePixelRatio(painter);
    if (!rendering_ || rendering_->ratio != ratio || rendering_->size != size()) {
        render(ratio);
    }
    if (!rendering_->image.isNull()) {
        painter.drawImage(rendering_->origin, rendering_->image);
    }
}

void SubtitleTextRenderingView::render(qreal ratio) {
    rendering_.emplace();
    rendering_->ratio = ratio;
    rendering_->size = size();
    const QSize pixels = (QSizeF(size()) * ratio).toSize();
    if (pixels.isEmpty() || !fitTextViewToText()) {
        return;
    }
    ++renderingCount_;
    QImage full(pixels, QImage::Format_ARGB32_Premultiplied);
    full.setDevicePixelRatio(ratio);
    full.fill(Qt::transparent);
    {
        QPainter painter(&full);
        draw(painter);
    }
    // Only the part that was drawn on is kept: painting it over every video frame is then cheap.
    int top = pixels.height();
    int bottom = -1;
    int left = pixels.width();
    int right = -1;
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(full.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x) {
            if (qAlpha(line[x]) != 0) {
                top = std::min(top, y);
                bottom = y;
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    if (bottom < 0) {
        return;
    }
    const QRect drawn(QPoint(left, top), QPoint(right, bottom));
    rendering_->image = full.copy(drawn);
    rendering_->image.setDevicePixelRatio(ratio);
    rendering_->origin = QPointF(drawn.topLeft()) / ratio;
}

void SubtitleTextRenderingView::draw(QPainter& painter) {
    painter.setRenderHint(QPainter::Antialiasing);
    drawDrawings(painter);
    if (hasText()) {
        drawText(painter);
    }
}

void SubtitleTextRenderingView::drawDrawings(QPainter& painter) const {
    const CGRect frame = drawingFrame();
    if (frame.isEmpty()) {
        return;
    }
    QRectF bounds;
    for (const SubtitleDrawing& drawing : subtitle_->drawings) {
        bounds = bounds.united(drawing.path->boundingRect());
    }
    painter.save();
    painter.translate(frame.origin.x, frame.origin.y);
    painter.scale(frame.size.width / bounds.width(), frame.size.height / bounds.height());
    painter.translate(-bounds.topLeft());
    for (const SubtitleDrawing& drawing : subtitle_->drawings) {
        // The outline goes under the fill, as a glyph's does.
        if (drawing.outlineColor && drawing.outlineWidth > 0) {
            QPen pen(calyxware::toQColor(*drawing.outlineColor), 2 * drawing.outlineWidth);
            pen.setJoinStyle(Qt::RoundJoin);
            painter.strokePath(*drawing.path, pen);
        }
        painter.fillPath(*drawing.path, calyxware::toQColor(drawing.fillColor));
    }
    painter.restore();
}

void SubtitleTextRenderingView::drawText(QPainter& painter) {
    const CGSize u = unitSquareSize_;
    const SubtitleTextStyle::OverlayStyle& overlay = subtitle_->style.overlayStyle;
    const CGRect textFrame = textView_->frame();

    // The box grows with the drawing scale in its margins, but keeps the style's corner radius.
    const CGRect box =
        textFrame.insetBy(-overlay.insets.width * u.width, -overlay.insets.height * u.height);
    painter.save();
    QPainterPath boxPath;
    boxPath.addRoundedRect(calyxware::toQRectF(box), overlay.cornerRadius, overlay.cornerRadius);
    painter.fillPath(boxPath, calyxware::toQColor(overlay.backgroundColor));
    painter.restore();

    const LayeredTexts layers = makeLayeredTexts(u, *subtitleTextWithAlignment_);
    calyxware::LayoutManager& layoutManager = *textView_->layoutManager();
    calyxware::TextContainer& container = *textView_->textContainer();
    calyxware::TextStorage& storage = *textView_->textStorage();

    painter.translate(textFrame.origin.x, textFrame.origin.y);
    QPen pen = painter.pen();
    pen.setJoinStyle(Qt::BevelJoin);
    painter.setPen(pen);

    // The storage still holds the text with its background colours.
    painter.save();
    painter.scale(u.width, u.height);
    layoutManager.drawBackgroundForGlyphRange(layoutManager.glyphRangeForTextContainer(container),
                                              platform::CGPointZero, painter);
    painter.restore();

    painter.save();
    painter.translate(0, layers.shadowDisplacement);
    painter.scale(u.width, u.height);
    storage.setAttributedString(layers.shadowText);
    layoutManager.drawGlyphsForGlyphRange(layoutManager.glyphRangeForTextContainer(container),
                                          platform::CGPointZero, painter);
    painter.restore();

    painter.scale(u.width, u.height);

    painter.save();
    storage.setAttributedString(layers.outlineText);
    layoutManager.drawGlyphsForGlyphRange(layoutManager.glyphRangeForTextContainer(container),
                                          platform::CGPointZero, painter);
    painter.restore();

    painter.save();
    storage.setAttributedString(layers.fillText);
    layoutManager.drawGlyphsForGlyphRange(layoutManager.glyphRangeForTextContainer(container),
                                          platform::CGPointZero, painter);
    painter.restore();
}

}  // namespace quillon
