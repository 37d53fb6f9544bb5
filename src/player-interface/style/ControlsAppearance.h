#pragma once

#include <QFont>
#include <QPalette>

#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSFont.h"

namespace quillon {

// How large a symbol image is drawn next to text of a given font.
struct SymbolConfiguration {
    enum class Scale { small, medium, large };
    Scale scale = Scale::medium;

    // The side of the square a symbol takes beside text of `fontPointSize`.
    double pointSizeForFont(double fontPointSize) const;

    friend bool operator==(const SymbolConfiguration&, const SymbolConfiguration&) = default;
};

// The look shared by the player controls and the scrubber; each made once and kept.

// The system font at 13 points, regular. (Qt 6.4 cannot ask a font for tabular digits; the
// desktop's usual interface fonts have them anyway.)
const platform::NSFont& controlsFont();
// The same font for Qt's widgets, in real points.
QFont controlsQFont();
const SymbolConfiguration& controlsSymbolConfiguration();
// White at 78 % opacity: the symbols' and the knob's colour on the dark heads-up panel.
inline constexpr platform::NSColor controlsTintColor() {
    return platform::NSColor::colorWithWhite(1.0, 0.78);
}
// The same colour as it adapts to the palette it is drawn in: the palette's text colour at 78 %
// opacity, white on a dark palette, near-black on a light one.
platform::NSColor controlsTintColor(const QPalette& palette);

}  // namespace quillon
