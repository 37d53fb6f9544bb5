#pragma once

#include <QPainterPath>
#include <cstdint>
#include <string_view>

namespace quillon {

// The shape that an event's drawing commands ("m 0 0 l 100 0 100 100 0 100") describe, in canvas
// pixels: a drawing at level n is given in units of 1 / 2^(n-1) pixel. Every "m" starts a closed
// figure, "n" an open one; "l" draws lines, "b" cubic Bézier curves, "s" a spline through its
// points (drawn here as lines between them), "p" extends it and "c" closes it. Numbers that do
// not form a whole command are dropped; text that is no command or number is skipped.
QPainterPath assDrawingPath(std::string_view commands, std::int32_t level);

}  // namespace quillon
