#include <QImage>
#include <QString>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "application/desktop/ApplicationIcon.h"
#include "application/desktop/DesktopEntry.h"

namespace {

bool writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    return static_cast<bool>(file);
}

}  // namespace

// quillon-desktop-files DIRECTORY: writes the launcher entry, the MIME package and the icons
// (icons/hicolor/<size>/apps/...) that installing the player puts under share/.
int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIRECTORY\n", argv[0]);
        return 2;
    }
    const std::filesystem::path directory = argv[1];
    const std::string id = quillon::kDesktopApplicationID;
    bool ok = true;
    std::filesystem::create_directories(directory / "applications");
    std::filesystem::create_directories(directory / "mime" / "packages");
    ok &= writeText(directory / "applications" / (id + ".desktop"), quillon::makeDesktopEntry());
    ok &= writeText(directory / "mime" / "packages" / (id + ".xml"),
                    quillon::makeSharedMimeInfoPackage());
    const auto hicolor = directory / "icons" / "hicolor";
    std::filesystem::create_directories(hicolor / "scalable" / "apps");
    ok &= writeText(hicolor / "scalable" / "apps" / (id + ".svg"), quillon::applicationIconSVG());
    for (const int size : quillon::applicationIconPixelSizes()) {
        const auto folder = hicolor / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
        std::filesystem::create_directories(folder);
        ok &= quillon::renderApplicationIcon(size).save(
            QString::fromStdString((folder / (id + ".png")).string()), "PNG");
    }
    if (!ok) {
        std::fprintf(stderr, "%s: failed to write into %s\n", argv[0], directory.c_str());
        return 1;
    }
    return 0;
}
