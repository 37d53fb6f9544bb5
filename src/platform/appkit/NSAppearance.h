#pragma once

class QPalette;

namespace platform {

// Whether a palette draws light content on dark ground: its window colour is darker than its
// window text.
bool isDarkPalette(const QPalette& palette);

// The dark appearance of heads-up panels: light text and controls on a dark ground, whatever
// the desktop's palette. The accent (highlight) colours are taken from `base`.
QPalette darkAppearancePalette(const QPalette& base);

// Whether drawing happens in a dark appearance now, read from the application's palette at the
// time of the call; images that have a dark variant ask at each drawing.
bool isDarkAppearance();

}  // namespace platform
