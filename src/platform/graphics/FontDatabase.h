#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::detail {

// The installed font families, through Qt's font database. Every call needs a QGuiApplication,
// and any thread may make it. Once the application object goes away or the process exits, the
// calls find nothing (no family, an empty face) instead of reaching Qt's freed database.

// The family's name as the database spells it, when a family of that name (any case) exists.
std::optional<std::string> installedFamilyName(std::string_view family);

struct FontFace {
    std::string family;
    bool bold = false;
    bool italic = false;
};

// A family, or a family followed by a style after a space or hyphen ("DejaVu Sans Bold Oblique",
// "DejaVu Sans-Bold"): the installed family and the traits the style names.
std::optional<FontFace> resolveFontName(std::string_view name);

// The desktop's user-interface and monospaced fonts.
FontFace systemFontFace();
FontFace fixedPitchFontFace();

}  // namespace platform::detail
