#pragma once

#include <QLocale>
#include <QTranslator>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace quillon {

// The application's texts in the user's language: its own catalogue
// ("translations/quillon-player_<language>.qm" among the application's resources) and Qt's
// for the texts of Qt's own dialogs, installed into the application for as long as this object
// lives. A language without a catalogue leaves the texts in English.
class ApplicationTranslations {
public:
    static constexpr const char* kDirectoryName = "translations";
    static constexpr const char* kCatalogueName = "quillon-player";

    // Looks in `resourceDirectories` (none: the running program's) for the catalogues of the
    // locale's languages and installs what it finds. Needs an application object.
    explicit ApplicationTranslations(
        const QLocale& locale = QLocale(),
        std::optional<std::vector<std::filesystem::path>> resourceDirectories = std::nullopt);
    ~ApplicationTranslations();
    ApplicationTranslations(const ApplicationTranslations&) = delete;
    ApplicationTranslations& operator=(const ApplicationTranslations&) = delete;

    // The folder the application's catalogues came from; none when there is none.
    const std::optional<std::filesystem::path>& directory() const { return directory_; }
    // Whether the application's own catalogue for the locale was installed.
    bool hasApplicationCatalogue() const { return application_ != nullptr; }

private:
    std::optional<std::filesystem::path> directory_;
    std::unique_ptr<QTranslator> application_;
    std::unique_ptr<QTranslator> qt_;
};

}  // namespace quillon
