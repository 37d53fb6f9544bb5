#pragma once

#include <QPointF>
#include <QRectF>

#include "platform/graphics/NSRange.h"

class QPainter;

namespace calyxware::detail {

struct TypesetText;

// Drawing passes over one laid-out line; `origin` is where the container's origin lies in the
// painter's coordinates, `lineRect` the line fragment's rectangle there.
void paintLineBackgrounds(const TypesetText& text, int lineIndex, platform::NSRange glyphRange,
                          const QRectF& lineRect, const QPointF& origin, QPainter& painter);
void paintLineGlyphs(const TypesetText& text, int lineIndex, platform::NSRange glyphRange,
                     const QPointF& origin, QPainter& painter);

}  // namespace calyxware::detail
