#include "application/ApplicationTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>

#include "platform/foundation/ApplicationResources.h"
#include "platform/foundation/Log.h"

namespace quillon {

ApplicationTranslations::ApplicationTranslations(
    const QLocale& locale, std::optional<std::vector<std::filesystem::path>> resourceDirectories)
    : directory_(platform::findResourceDirectory(
          resourceDirectories ? *resourceDirectories : platform::applicationResourceDirectories(),
          kDirectoryName)) {
    if (directory_) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(locale, QString::fromLatin1(kCatalogueName), QStringLiteral("_"),
                             QString::fromStdString(directory_->string()))) {
            QCoreApplication::installTranslator(translator.get());
            application_ = std::move(translator);
        }
    } else {
        platform::logWarning(
            "Unable to find the folder {} of the application's catalogues: its texts "
            "show in English.",
            kDirectoryName);
    }
    // Qt's own dialogs (the Open panel's fallback, message boxes' standard buttons).
    auto qt = std::make_unique<QTranslator>();
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(qt.get());
        qt_ = std::move(qt);
    }
}

ApplicationTranslations::~ApplicationTranslations() {
    for (const auto* translator : {application_.get(), qt_.get()}) {
        if (translator != nullptr && QCoreApplication::instance() != nullptr) {
            QCoreApplication::removeTranslator(const_cast<QTranslator*>(translator));
        }
    }
}

}  // namespace quillon
