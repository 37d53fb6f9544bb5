#pragma once

#include <string>
#include <string_view>
#include <unordered_set>

#include "platform/foundation/DeclaredTypes.h"
#include "platform/foundation/UTType.h"

namespace quillon {

// The type the application declares for subtitle files; every subtitles format conforms to it.
inline constexpr std::string_view subtitlesTypeIdentifier = "org.quillon.subtitles";
// The one system type whose extensions count as subtitles although it is not declared as such.
inline constexpr std::string_view closedCaptionTypeIdentifier = "com.scenarist.closed-caption";

// The file-name extensions that count as subtitle files.
class SupportedFileExtensions {
public:
    // The extensions of every imported, then exported, declaration that conforms to the
    // subtitles type, and those the registry knows for the closed-caption type.
    static SupportedFileExtensions make(const platform::UTTypeRegistry& registry,
                                        const platform::BundleTypeDeclarations& bundle);

    explicit SupportedFileExtensions(std::unordered_set<std::string> declared);

    // The extensions in the letter case in which they are declared (for the Open panel's filter).
    const std::unordered_set<std::string>& declared() const { return declared_; }

    // Whether an extension names subtitles. Declarations and file names may spell extensions in
    // any case ("SRT", "Srt"), so both sides are compared lower-cased.
    bool contains(std::string_view extension) const;

private:
    std::unordered_set<std::string> declared_;
    std::unordered_set<std::string> lowercased_;
};

// Built once, on first use, from the main bundle's declarations and the shared type registry.
const SupportedFileExtensions& supportedFileExtensions();

}  // namespace quillon
