#include "application/desktop/DesktopEntry.h"

#include <algorithm>
#include <array>
#include <string_view>

#include "platform/foundation/DeclaredTypes.h"
#include "platform/foundation/UTType.h"

namespace quillon {

namespace {

constexpr std::string_view kSubtitlesType = "org.quillon.subtitles";

// Invented for the subtitle formats that the desktop's MIME database leaves out; every other
// MIME type of the declarations is the database's own.
constexpr std::array<std::string_view, 2> kOwnMimeTypes{"text/x-vobsub", "application/x-pgs"};

// The launcher's texts in the languages the player ships.
struct LocalizedEntryTexts {
    const char* language;
    const char* genericName;
    const char* comment;
};
constexpr std::array<LocalizedEntryTexts, 6> kLocalizedTexts{{
    {"de", "Medienwiedergabe", "Video- und Audiodateien abspielen"},
    {"es", "Reproductor multimedia", "Reproducir archivos de vídeo y audio"},
    {"fr", "Lecteur multimédia", "Lire des fichiers vidéo et audio"},
    {"it", "Lettore multimediale", "Riproduci file video e audio"},
    {"ja", "メディアプレーヤー", "ビデオとオーディオのファイルを再生します"},
    {"nl", "Mediaspeler", "Video- en audiobestanden afspelen"},
}};

bool isOpenedType(const platform::UTTypeDeclaration& declaration) {
    if (platform::UTTypeConformsTo(declaration.identifier, kSubtitlesType)) {
        return true;
    }
    for (const auto& documentType : platform::mainBundleDocumentTypes()) {
        for (const auto& contentType : documentType.contentTypes) {
            if (platform::UTTypeConformsTo(declaration.identifier, contentType)) {
                return true;
            }
        }
    }
    return false;
}

template <typename Visit>
void forEachOpenedDeclaration(Visit visit) {
    const auto& bundle = platform::mainBundleTypeDeclarations();
    for (const auto* list :
         {&bundle.exported, &bundle.imported, &platform::systemTypeDeclarations()}) {
        for (const auto& declaration : *list) {
            if (isOpenedType(declaration)) {
                visit(declaration);
            }
        }
    }
}

std::string escapeXML(std::string_view text) {
    std::string escaped;
    for (const char c : text) {
        switch (c) {
            case '&':
                escaped += "&amp;";
                break;
            case '<':
                escaped += "&lt;";
                break;
            case '>':
                escaped += "&gt;";
                break;
            case '"':
                escaped += "&quot;";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

}  // namespace

std::vector<std::string> desktopEntryMimeTypes() {
    std::vector<std::string> mimeTypes;
    forEachOpenedDeclaration([&](const platform::UTTypeDeclaration& declaration) {
        for (const auto& mimeType : declaration.tags(platform::kUTTagClassMIMEType)) {
            if (std::find(mimeTypes.begin(), mimeTypes.end(), mimeType) == mimeTypes.end()) {
                mimeTypes.push_back(mimeType);
            }
        }
    });
    return mimeTypes;
}

std::vector<OwnMimeType> ownMimeTypes() {
    std::vector<OwnMimeType> types;
    forEachOpenedDeclaration([&](const platform::UTTypeDeclaration& declaration) {
        for (const auto& mimeType : declaration.tags(platform::kUTTagClassMIMEType)) {
            if (std::find(kOwnMimeTypes.begin(), kOwnMimeTypes.end(), mimeType) !=
                kOwnMimeTypes.end()) {
                types.push_back({mimeType, declaration.description,
                                 declaration.tags(platform::kUTTagClassFilenameExtension)});
            }
        }
    });
    return types;
}

std::string makeDesktopEntry() {
    std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.4\n"
        "Name=Quillon Player\n"
        "GenericName=Media Player\n";
    for (const auto& texts : kLocalizedTexts) {
        entry += std::string("GenericName[") + texts.language + "]=" + texts.genericName + "\n";
    }
    entry += "Comment=Play video and audio files\n";
    for (const auto& texts : kLocalizedTexts) {
        entry += std::string("Comment[") + texts.language + "]=" + texts.comment + "\n";
    }
    entry +=
        "Exec=quillon-player %U\n"
        "TryExec=quillon-player\n"
        "Icon=org.quillon.player\n"
        "Terminal=false\n"
        "StartupNotify=true\n"
        "StartupWMClass=quillon-player\n"
        "DBusActivatable=true\n"
        "Categories=AudioVideo;Video;Audio;Player;\n"
        "Keywords=video;audio;movie;film;subtitles;player;\n"
        "MimeType=";
    for (const auto& mimeType : desktopEntryMimeTypes()) {
        entry += mimeType + ";";
    }
    entry += "\n";
    return entry;
}

std::string makeSharedMimeInfoPackage() {
    std::string package =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n";
    for (const auto& type : ownMimeTypes()) {
        package += "  <mime-type type=\"" + escapeXML(type.mimeType) + "\">\n";
        package += "    <comment>" + escapeXML(type.description) + "</comment>\n";
        for (const auto& extension : type.extensions) {
            // A ".sub" is MicroDVD text as often as the picture half of a VobSub pair: the
            // database's own type keeps that extension.
            if (extension == "sub") {
                continue;
            }
            package += "    <glob pattern=\"*." + escapeXML(extension) + "\"/>\n";
        }
        package += "  </mime-type>\n";
    }
    package += "</mime-info>\n";
    return package;
}

}  // namespace quillon
