#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
class FontCollection;
}

namespace platform::detail {

// The installed font families, through Qt's font database. Every call needs a QGuiApplication,
// and any thread may make it. Once the application object goes away or the process exits, the
// calls find nothing (no family, an empty face) instead of reaching Qt's freed database.

// The family's name as the database spells it, when a family of that name (any case) exists.
// Families registered for documents (see addPrivateFontFile) are not among them.
std::optional<std::string> installedFamilyName(std::string_view family);

struct FontFace {
    std::string family;
    bool bold = false;
    bool italic = false;
};

// A family, or a family followed by a style after a space or hyphen ("DejaVu Sans Bold Oblique",
// "DejaVu Sans-Bold"): the installed family and the traits the style names. With a document's
// fonts, their families and face names come first.
std::optional<FontFace> resolveFontName(std::string_view name,
                                        const FontCollection* documentFonts = nullptr);

// A font file registered with the text system for the text of the documents that carry it. Its
// families are meant to have names of their own (FontCollection gives them theirs): they are
// found only through the documents' FontCollection, never by name alone.
struct PrivateFontFile {
    int handle = -1;
    std::vector<std::string> families;
};
// Nothing when the text system refuses the file, or when there is no QGuiApplication (or no
// longer one) to register it with.
std::optional<PrivateFontFile> addPrivateFontFile(const std::string& path);
// Once the application object has gone, there is nothing left to unregister from.
void removePrivateFontFile(int handle);

// The desktop's user-interface and monospaced fonts.
FontFace systemFontFace();
FontFace fixedPitchFontFace();

}  // namespace platform::detail
