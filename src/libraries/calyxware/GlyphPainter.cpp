#include "libraries/calyxware/GlyphPainter.h"

#include <QFontMetricsF>
#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRawFont>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/Typesetter.h"
#include "platform/graphics/NSUnderlineStyle.h"

namespace calyxware::detail {

namespace {

using platform::NSAttributeDictionary;

// The layout indices [from, to) of the line that the glyph range covers. A truncated line's
// ellipsis stands for the characters it hides, so it is painted when any of them is asked for.
struct LineSlice {
    int from = 0;
    int to = 0;
};

LineSlice sliceOf(const TypesetText& text, const QTextLine& line, platform::NSRange glyphRange) {
    const auto source = static_cast<long long>(text.source.location);
    const long long requestedFrom = static_cast<long long>(glyphRange.location) - source;
    const long long requestedTo = static_cast<long long>(platform::NSMaxRange(glyphRange)) - source;
    long long from = 0;
    long long to = 0;
    if (text.truncated) {
        const long long visible = text.visibleLength;
        from = std::clamp(requestedFrom, 0LL, visible);
        to = requestedTo > visible ? visible + 1 : requestedTo;
    } else {
        from = std::max<long long>(line.textStart(), requestedFrom);
        to = std::min<long long>(line.textStart() + line.textLength(), requestedTo);
    }
    if (to <= from) {
        return {0, 0};
    }
    return {static_cast<int>(from), static_cast<int>(to)};
}

template <typename Visit>
void forEachSegment(const TypesetText& text, LineSlice slice, Visit&& visit) {
    for (const TextSegment& segment : text.segments) {
        const int from = std::max(segment.start, slice.from);
        const int to = std::min(segment.start + segment.length, slice.to);
        if (from < to) {
            visit(segment.attributes, from, to);
        }
    }
}

std::optional<QColor> colorAttribute(const NSAttributeDictionary& attributes,
                                     const platform::NSAttributedStringKey& key) {
    if (const auto* color = platform::attributeValue<platform::NSColor>(attributes, key)) {
        return toQColor(*color);
    }
    return std::nullopt;
}

double numberAttribute(const NSAttributeDictionary& attributes,
                       const platform::NSAttributedStringKey& key) {
    const auto found = attributes.find(key);
    return found == attributes.end() ? 0.0 : found->second.numberValue().value_or(0.0);
}

std::int64_t integerAttribute(const NSAttributeDictionary& attributes,
                              const platform::NSAttributedStringKey& key) {
    const auto found = attributes.find(key);
    return found == attributes.end() ? 0 : found->second.integerValue().value_or(0);
}

QPainterPath glyphOutlines(const QTextLine& line, int from, int to, const QPointF& origin) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (const QGlyphRun& run : line.glyphRuns(from, to - from)) {
        const QRawFont font = run.rawFont();
        const QList<quint32> glyphs = run.glyphIndexes();
        const QList<QPointF> positions = run.positions();
        for (qsizetype i = 0; i < glyphs.size() && i < positions.size(); ++i) {
            QPainterPath glyph = font.pathForGlyph(glyphs[i]);
            glyph.translate(positions[i] + origin);
            path.addPath(glyph);
        }
    }
    return path;
}

// Three box blurs approximate a Gaussian of deviation `sigma` (in pixels) over the alpha of a
// premultiplied image whose colour is black.
std::array<int, 3> boxSizes(double sigma) {
    constexpr int passes = 3;
    const double ideal = std::sqrt(12.0 * sigma * sigma / passes + 1.0);
    int lower = static_cast<int>(std::floor(ideal));
    if (lower % 2 == 0) {
        --lower;
    }
    const int upper = lower + 2;
    const double idealLowerCount =
        (12.0 * sigma * sigma - passes * lower * lower - 4.0 * passes * lower - 3.0 * passes) /
        (-4.0 * lower - 4.0);
    const int lowerCount = static_cast<int>(std::lround(idealLowerCount));
    std::array<int, 3> sizes{};
    for (int i = 0; i < passes; ++i) {
        sizes[static_cast<std::size_t>(i)] = i < lowerCount ? lower : upper;
    }
    return sizes;
}

void boxBlurPass(std::vector<float>& source, std::vector<float>& target, int width, int height,
                 int radius, bool horizontal) {
    const int lines = horizontal ? height : width;
    const int count = horizontal ? width : height;
    const auto at = [&](int line, int i) {
        return horizontal ? static_cast<std::size_t>(line) * width + i
                          : static_cast<std::size_t>(i) * width + line;
    };
    const float scale = 1.0f / static_cast<float>(2 * radius + 1);
    for (int line = 0; line < lines; ++line) {
        float sum = 0;
        for (int i = -radius; i <= radius; ++i) {
            if (i >= 0 && i < count) {
                sum += source[at(line, i)];
            }
        }
        for (int i = 0; i < count; ++i) {
            target[at(line, i)] = sum * scale;
            const int leaving = i - radius;
            const int entering = i + radius + 1;
            if (leaving >= 0) {
                sum -= source[at(line, leaving)];
            }
            if (entering < count) {
                sum += source[at(line, entering)];
            }
        }
    }
}

void blurAlpha(QImage& image, double sigma) {
    if (sigma < 0.5) {
        return;
    }
    const int width = image.width();
    const int height = image.height();
    std::vector<float> alpha(static_cast<std::size_t>(width) * height);
    std::vector<float> scratch(alpha.size());
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            alpha[static_cast<std::size_t>(y) * width + x] = static_cast<float>(qAlpha(row[x]));
        }
    }
    for (int size : boxSizes(sigma)) {
        const int radius = (size - 1) / 2;
        boxBlurPass(alpha, scratch, width, height, radius, true);
        boxBlurPass(scratch, alpha, width, height, radius, false);
    }
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int value = std::clamp(
                static_cast<int>(std::lround(alpha[static_cast<std::size_t>(y) * width + x])), 0,
                255);
            row[x] = qRgba(0, 0, 0, value);
        }
    }
}

// Paints the shadow that the fill and the stroke of `path` cast. Like the shadows of the
// desktop's drawing model, offset and blur are measured in the painter's base space: a scaled
// drawing keeps its shadow offset, and a positive offset height moves the shadow up.
void paintShadow(QPainter& painter, const QPainterPath& path, const std::optional<QColor>& fill,
                 const std::optional<QPen>& stroke, const platform::NSShadow& shadow) {
    const QColor color =
        shadow.shadowColor ? toQColor(*shadow.shadowColor) : QColor(0, 0, 0, 255 / 3);
    if (color.alpha() == 0) {
        return;
    }
    const QTransform world = painter.worldTransform();
    const QPointF offset(shadow.shadowOffset.width, -shadow.shadowOffset.height);
    QPainterPath fillShape;
    if (fill) {
        fillShape = world.map(path).translated(offset);
    }
    QPainterPath strokeShape;
    if (stroke) {
        strokeShape = world.map(QPainterPathStroker(*stroke).createStroke(path)).translated(offset);
    }
    const double blur = std::max(0.0, shadow.shadowBlurRadius);
    const double margin = std::ceil(blur * 1.5) + 2;
    QRectF bounds = fillShape.boundingRect().united(strokeShape.boundingRect());
    bounds.adjust(-margin, -margin, margin, margin);
    bounds =
        bounds.intersected(QRectF(painter.viewport()).adjusted(-margin, -margin, margin, margin));
    if (bounds.isEmpty()) {
        return;
    }
    const qreal ratio = effectiveDevicePixelRatio(painter);
    // Whole device pixels, so that the shadow image lands on the pixel grid unresampled.
    const QPointF topLeft(std::floor(bounds.left() * ratio) / ratio,
                          std::floor(bounds.top() * ratio) / ratio);
    const QSize pixels(static_cast<int>(std::ceil((bounds.right() - topLeft.x()) * ratio)),
                       static_cast<int>(std::ceil((bounds.bottom() - topLeft.y()) * ratio)));
    QImage image(pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter maskPainter(&image);
        maskPainter.setRenderHint(QPainter::Antialiasing);
        maskPainter.scale(ratio, ratio);
        maskPainter.translate(-topLeft);
        if (fill) {
            maskPainter.fillPath(fillShape, QColor(0, 0, 0, fill->alpha()));
        }
        if (stroke) {
            maskPainter.fillPath(strokeShape, QColor(0, 0, 0, stroke->color().alpha()));
        }
    }
    blurAlpha(image, blur * ratio / 2);
    {
        QPainter tint(&image);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(image.rect(), color);
    }
    image.setDevicePixelRatio(ratio);
    painter.save();
    painter.resetTransform();
    painter.drawImage(topLeft, image);
    painter.restore();
}

void paintDecoration(QPainter& painter, const QColor& color, std::int64_t style, qreal left,
                     qreal right, qreal y, qreal thickness) {
    if (color.alpha() == 0 || right <= left) {
        return;
    }
    const std::int64_t kind = style & 0xFF;
    if (kind == platform::NSUnderlineStyleThick) {
        thickness *= 2;
    }
    painter.fillRect(QRectF(left, y - thickness / 2, right - left, thickness), color);
    if (kind == platform::NSUnderlineStyleDouble) {
        painter.fillRect(QRectF(left, y + thickness * 1.5, right - left, thickness), color);
    }
}

}  // namespace

void paintLineBackgrounds(const TypesetText& text, int lineIndex, platform::NSRange glyphRange,
                          const QRectF& lineRect, const QPointF& origin, QPainter& painter) {
    const QTextLine line = text.layout->lineAt(lineIndex);
    if (!line.isValid()) {
        return;
    }
    forEachSegment(
        text, sliceOf(text, line, glyphRange),
        [&](const NSAttributeDictionary& attributes, int from, int to) {
            const auto color = colorAttribute(attributes, platform::NSBackgroundColorAttributeName);
            if (!color || color->alpha() == 0) {
                return;
            }
            const qreal x1 = line.cursorToX(from) + origin.x();
            const qreal x2 = line.cursorToX(to) + origin.x();
            painter.fillRect(
                QRectF(std::min(x1, x2), lineRect.top(), std::abs(x2 - x1), lineRect.height()),
                *color);
        });
}

void paintLineGlyphs(const TypesetText& text, int lineIndex, platform::NSRange glyphRange,
                     const QPointF& origin, QPainter& painter) {
    const QTextLine line = text.layout->lineAt(lineIndex);
    if (!line.isValid()) {
        return;
    }
    const qreal baseline = line.y() + line.ascent() + origin.y();
    forEachSegment(
        text, sliceOf(text, line, glyphRange),
        [&](const NSAttributeDictionary& attributes, int from, int to) {
            const QFont font = fontForAttributes(attributes);
            const QColor foreground =
                colorAttribute(attributes, platform::NSForegroundColorAttributeName)
                    .value_or(QColor(Qt::black));
            // Per cent of the point size: negative strokes and fills, positive only strokes.
            const double strokePercent =
                numberAttribute(attributes, platform::NSStrokeWidthAttributeName);
            const bool fills = strokePercent <= 0;
            std::optional<QPen> stroke;
            if (strokePercent != 0) {
                QPen pen(colorAttribute(attributes, platform::NSStrokeColorAttributeName)
                             .value_or(foreground),
                         std::abs(strokePercent) / 100.0 * font.pointSizeF());
                pen.setJoinStyle(painter.pen().joinStyle());
                pen.setCapStyle(Qt::FlatCap);
                stroke = pen;
            }
            const QPainterPath outlines = glyphOutlines(line, from, to, origin);

            if (const auto* shadow = platform::attributeValue<platform::NSShadow>(
                    attributes, platform::NSShadowAttributeName)) {
                paintShadow(painter, outlines,
                            fills ? std::optional<QColor>(foreground) : std::nullopt, stroke,
                            *shadow);
            }
            if (fills && foreground.alpha() > 0) {
                painter.fillPath(outlines, foreground);
            }
            if (stroke && stroke->color().alpha() > 0) {
                painter.strokePath(outlines, *stroke);
            }

            const std::int64_t underline =
                integerAttribute(attributes, platform::NSUnderlineStyleAttributeName);
            const std::int64_t strikethrough =
                integerAttribute(attributes, platform::NSStrikethroughStyleAttributeName);
            if (underline == 0 && strikethrough == 0) {
                return;
            }
            const QFontMetricsF metrics(font);
            const qreal left = std::min(line.cursorToX(from), line.cursorToX(to)) + origin.x();
            const qreal right = std::max(line.cursorToX(from), line.cursorToX(to)) + origin.x();
            if (underline != 0) {
                paintDecoration(painter,
                                colorAttribute(attributes, platform::NSUnderlineColorAttributeName)
                                    .value_or(foreground),
                                underline, left, right, baseline + metrics.underlinePos(),
                                metrics.lineWidth());
            }
            if (strikethrough != 0) {
                paintDecoration(
                    painter,
                    colorAttribute(attributes, platform::NSStrikethroughColorAttributeName)
                        .value_or(foreground),
                    strikethrough, left, right, baseline - metrics.strikeOutPos(),
                    metrics.lineWidth());
            }
        });
}

}  // namespace calyxware::detail
