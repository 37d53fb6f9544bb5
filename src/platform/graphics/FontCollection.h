#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

namespace detail {
class RegisteredFontFile;
}

// The fonts that one document brings with it (a film's attached fonts), registered with the text
// system for that document's text alone. Each family is registered under a name of its own, so
// that nothing else (the controls, the text of other documents) ever resolves to it: only a
// lookup through this collection (NSFont::fontWithName) finds a family by the names the fonts
// give it: family names, full names and PostScript names, any case. Glyphs that a font lacks
// fall back to the system's fonts like those of any other font.
//
// A file shared by several documents (the same bytes under the same family names) is registered
// once; the last collection to hold it unregisters it when it goes. Immutable once made; any
// thread may use it or release it.
class FontCollection {
public:
    struct FontFile {
        // How the document names the file (an attachment's file name): for messages only.
        std::string name;
        std::vector<std::uint8_t> data;
    };

    // Why one file was left out.
    using Skipped = std::function<void(const std::string& name, const std::string& reason)>;

    // Registers the TrueType and OpenType fonts and collections among `files`. A file that is
    // none, or that the text system refuses, is left out and reported to `skipped`. Families the
    // files do not have are looked up in `inherited` (a media file's fonts, for a subtitle file
    // beside it). Without a QGuiApplication nothing can be registered and the collection holds
    // only what it inherits.
    static std::shared_ptr<const FontCollection> make(
        std::vector<FontFile> files, std::shared_ptr<const FontCollection> inherited = nullptr,
        const Skipped& skipped = {});

    ~FontCollection();
    FontCollection(const FontCollection&) = delete;
    FontCollection& operator=(const FontCollection&) = delete;

    // The families of the collection's own fonts, as the fonts name them, sorted.
    std::vector<std::string> familyNames() const;

    // The name the text system knows a family of the collection by, for a family name of its
    // fonts (any case); none when neither it nor the collection it inherits has the family.
    std::optional<std::string> registeredFamily(std::string_view family) const;

    struct RegisteredFace {
        std::string family;
        bool bold = false;
        bool italic = false;
    };
    // The registered family and traits of the face with that full or PostScript name.
    std::optional<RegisteredFace> registeredFace(std::string_view faceName) const;

private:
    struct Passkey {};

public:
    explicit FontCollection(Passkey) {}

private:
    // Case-folded names to what they resolve to.
    std::map<std::string, std::string, std::less<>> families_;
    std::map<std::string, RegisteredFace, std::less<>> faces_;
    std::vector<std::string> familyNames_;
    std::vector<std::shared_ptr<const detail::RegisteredFontFile>> files_;
    std::shared_ptr<const FontCollection> inherited_;
};

}  // namespace platform
