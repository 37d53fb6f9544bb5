#pragma once

#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace platform::detail {

// A file that is not a TrueType or OpenType font or collection, or whose tables run past its end.
class MalformedFontError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the naming and style tables of one face of a font file say about it. Names are in UTF-8,
// from the records in a Unicode encoding or in Mac Roman (ASCII only); the first of each list is
// the US English one where there is one. Records in other legacy encodings are not read.
struct SFNTFaceNames {
    // The family (name ID 1): the name by which styled subtitles and the older desktop systems
    // know a family of at most four faces, regular, bold, italic and bold italic.
    std::vector<std::string> families;
    // The typographic family (name ID 16), which may group more weights under one name.
    std::vector<std::string> typographicFamilies;
    // The full name and the PostScript name of the face (name IDs 4 and 6).
    std::vector<std::string> faceNames;
    bool bold = false;
    bool italic = false;
};

// The faces of a TrueType or OpenType font (one) or of a collection (one per font in it). Throws
// MalformedFontError.
std::vector<SFNTFaceNames> readSFNTFaceNames(std::span<const std::uint8_t> file);

// A copy of the font file in which face i belongs to the family `familyNames[i]` alone: its
// family names, in every language, are replaced by that name, and its typographic and WWS family
// and subfamily names are dropped, so that the text system files the face under that family with
// the style its subfamily name gives. The full and PostScript names are kept. Every other byte of
// the file stays as it is; the new naming tables are appended. Throws MalformedFontError.
std::vector<std::uint8_t> renamingSFNTFamilies(std::span<const std::uint8_t> file,
                                               const std::vector<std::string>& familyNames);

}  // namespace platform::detail
