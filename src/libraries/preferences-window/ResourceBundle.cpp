#include "libraries/preferences-window/ResourceBundle.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>
#include <system_error>

#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace preferences_window {

namespace {

std::optional<std::filesystem::path> executableDirectory() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return std::nullopt;
    }
    return executable.parent_path();
}

// Installs the catalogue for the user's languages into the application the first time there
// is an application to install it into. Main thread only.
void installTranslationOnce() {
    static bool installed = false;
    if (installed || QCoreApplication::instance() == nullptr) {
        return;
    }
    installed = true;
    // Installed for the rest of the process: the application keeps a pointer to it.
    static platform::NeverDestroyed<std::unique_ptr<QTranslator>> translator(
        ResourceBundle::shared().makeTranslator(QLocale()));
    if (translator.get()) {
        QCoreApplication::installTranslator(translator.get().get());
    }
}

}  // namespace

std::vector<std::filesystem::path> ResourceBundle::candidateDirectories() {
    std::vector<std::filesystem::path> candidates;
    const auto executable = executableDirectory();
    if (executable) {
        candidates.push_back(executable->parent_path() / "share" / "quillon-player");
    }
    candidates.emplace_back(QUILLON_PREFERENCES_WINDOW_BUILD_DIRECTORY);
    if (executable) {
        candidates.push_back(*executable);
    }
    return candidates;
}

std::optional<std::filesystem::path> ResourceBundle::find(
    const std::vector<std::filesystem::path>& candidates) {
    for (const auto& candidate : candidates) {
        std::error_code error;
        const auto bundle = candidate / kBundleName;
        if (std::filesystem::is_directory(bundle, error)) {
            return bundle;
        }
    }
    return std::nullopt;
}

const ResourceBundle& ResourceBundle::shared() {
    static platform::NeverDestroyed<ResourceBundle> bundle([] {
        auto directory = find(candidateDirectories());
        if (!directory) {
            platform::log(
                "Unable to find the folder {}: the preferences window shows its texts "
                "in English.",
                kBundleName);
        }
        return ResourceBundle(std::move(directory));
    }());
    return bundle.get();
}

std::unique_ptr<QTranslator> ResourceBundle::makeTranslator(const QLocale& locale) const {
    if (!directory_) {
        return nullptr;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, QString::fromLatin1(kCatalogueName), QStringLiteral("_"),
                          QString::fromStdString(directory_->string()))) {
        return nullptr;
    }
    return translator;
}

std::string localizedString(const char* key, const char* comment) {
    installTranslationOnce();
    return platform::localizedString(key, comment, kLocalizationContext);
}

}  // namespace preferences_window
