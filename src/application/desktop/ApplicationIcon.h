#pragma once

#include <QImage>
#include <string>
#include <vector>

// The player's icon, drawn from one set of shapes both as the scalable SVG of the icon theme and
// as its pixel sizes, so that the two can never disagree.
namespace quillon {

// The sizes, in pixels, of the theme's fixed-size icons.
const std::vector<int>& applicationIconPixelSizes();

// The icon as an SVG document of 256 × 256 units.
std::string applicationIconSVG();

// The icon at `size` × `size` pixels, premultiplied ARGB.
QImage renderApplicationIcon(int size);

}  // namespace quillon
