#pragma once

#include <string>
#include <vector>

// What the desktop learns about the player when it is installed: the launcher entry, the MIME
// types it opens and the subtitle types that the desktop's MIME database does not know. All of
// it comes from the declared document and subtitle types, so that the launcher offers the player
// for exactly the files it opens.
namespace quillon {

// The application's identity on the desktop: the launcher entry's and the bus name's.
inline constexpr const char* kDesktopApplicationID = "org.quillon.player";

// The MIME types of every declared type that is a document type or a subtitles type, in the
// order of the declarations, each once.
std::vector<std::string> desktopEntryMimeTypes();

// The MIME types the player defines itself (the desktop's database has none for them), with
// the file-name extensions of the declarations that carry them.
struct OwnMimeType {
    std::string mimeType;
    std::string description;
    std::vector<std::string> extensions;
};
std::vector<OwnMimeType> ownMimeTypes();

// "org.quillon.player.desktop".
std::string makeDesktopEntry();
// A shared-mime-info package for ownMimeTypes().
std::string makeSharedMimeInfoPackage();

}  // namespace quillon
