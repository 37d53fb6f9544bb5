#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLocale;
class QTranslator;

namespace preferences_window {

// The translation context of the library's texts.
inline constexpr const char* kLocalizationContext = "PreferencesWindowKit";

// The library's resources: a folder named "preferences-window-translations" of Qt catalogues,
// "preferences-window_<language>.qm", which the build makes from the sources' .ts files. The
// texts are their own English keys, so a missing folder or language only leaves them in English.
class ResourceBundle {
public:
    static constexpr const char* kBundleName = "preferences-window-translations";
    static constexpr const char* kCatalogueName = "preferences-window";

    // Where the folder may lie, in the order searched: the application's resources (the
    // share/quillon-player folders from beside the executable's folder upward, where the build
    // tree keeps them too), the executable's own folder.
    static std::vector<std::filesystem::path> candidateDirectories();
    // The bundle in the first candidate that holds one.
    static std::optional<std::filesystem::path> find(
        const std::vector<std::filesystem::path>& candidates);

    // The process's bundle, looked for once. Without one, a line is logged once.
    static const ResourceBundle& shared();

    explicit ResourceBundle(std::optional<std::filesystem::path> directory)
        : directory_(std::move(directory)) {}

    const std::optional<std::filesystem::path>& directory() const { return directory_; }
    // The catalogue for the locale's languages, in their order of preference; null when the
    // bundle has none of them.
    std::unique_ptr<QTranslator> makeTranslator(const QLocale& locale) const;

private:
    std::optional<std::filesystem::path> directory_;
};

// A text of the library in the user's language: on first use with an application object, the
// bundle's catalogue for the user's languages is installed into it.
std::string localizedString(const char* key, const char* comment);

}  // namespace preferences_window
