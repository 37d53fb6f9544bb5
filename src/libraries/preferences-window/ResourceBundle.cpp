#include "libraries/preferences-window/ResourceBundle.h"

#include <QCoreApplication>
#include <QLocale>
#include <QString>
#include <QTranslator>

#include "platform/foundation/ApplicationResources.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"

namespace preferences_window {

namespace {

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
    std::vector<std::filesystem::path> candidates = platform::applicationResourceDirectories();
    if (const auto executable = platform::executableDirectory()) {
        candidates.push_back(*executable);
    }
    return candidates;
}

std::optional<std::filesystem::path> ResourceBundle::find(
    const std::vector<std::filesystem::path>& candidates) {
    return platform::findResourceDirectory(candidates, kBundleName);
}

const ResourceBundle& ResourceBundle::shared() {
    static platform::NeverDestroyed<ResourceBundle> bundle([] {
        auto directory = find(candidateDirectories());
        if (!directory) {
            platform::logWarning(
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
