#include "platform/foundation/Localization.h"

#include <QCoreApplication>
#include <QString>

namespace platform {

std::string localizedString(const char* key, const char* comment) {
    return localizedString(key, comment, kApplicationLocalizationContext);
}

std::string localizedString(const char* key, const char* comment, const char* context) {
    // Without an installed translation Qt hands back the key itself, with or without an
    // application object.
    return QCoreApplication::translate(context, key, comment).toStdString();
}

}  // namespace platform
