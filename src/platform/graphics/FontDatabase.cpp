#include "platform/graphics/FontDatabase.h"

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QString>
#include <QStringList>

#include "platform/foundation/FatalError.h"

namespace platform::detail {
namespace {

void requireGuiApplication() {
    precondition(qGuiApp != nullptr,
                 "Fonts are looked up in Qt's font database, which needs a QGuiApplication: "
                 "create one before asking for fonts.");
}

std::optional<QString> findFamily(const QString& family) {
    const QString trimmed = family.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    for (const QString& installed : QFontDatabase::families()) {
        if (installed.compare(trimmed, Qt::CaseInsensitive) == 0) {
            return installed;
        }
    }
    return std::nullopt;
}

// Style words as font names use them, with or without spaces ("BoldItalic").
std::optional<FontFace> faceForStyle(const QString& family, const QString& style) {
    QString normalized = style.trimmed().toLower();
    normalized.remove(QLatin1Char(' '));
    normalized.remove(QLatin1Char('-'));
    if (normalized.isEmpty()) {
        return std::nullopt;
    }
    bool known = false;
    for (const QString& installedStyle : QFontDatabase::styles(family)) {
        QString candidate = installedStyle.toLower();
        candidate.remove(QLatin1Char(' '));
        if (candidate == normalized) {
            known = true;
            break;
        }
    }
    static const QStringList genericStyles = {
        "regular", "normal",  "book",       "roman",       "medium",     "bold",
        "italic",  "oblique", "bolditalic", "boldoblique", "italicbold", "obliquebold"};
    if (!known && !genericStyles.contains(normalized)) {
        return std::nullopt;
    }
    const bool italic = normalized.contains("italic") || normalized.contains("oblique");
    return FontFace{family.toStdString(), normalized.contains("bold"), italic};
}

FontFace faceOf(const QFont& font) {
    return {font.family().toStdString(), font.weight() >= QFont::Bold,
            font.style() != QFont::StyleNormal};
}

}  // namespace

std::optional<std::string> installedFamilyName(std::string_view family) {
    requireGuiApplication();
    const auto found =
        findFamily(QString::fromUtf8(family.data(), static_cast<qsizetype>(family.size())));
    return found ? std::optional(found->toStdString()) : std::nullopt;
}

std::optional<FontFace> resolveFontName(std::string_view name) {
    requireGuiApplication();
    const QString text =
        QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).trimmed();
    if (const auto family = findFamily(text)) {
        return FontFace{family->toStdString(), false, false};
    }
    // Try every split point from the right, so that the longest family wins ("DejaVu Sans
    // Condensed Bold" is the bold face of "DejaVu Sans Condensed").
    for (qsizetype index = text.size() - 1; index > 0; --index) {
        const QChar separator = text.at(index);
        if (separator != QLatin1Char(' ') && separator != QLatin1Char('-')) {
            continue;
        }
        if (const auto family = findFamily(text.left(index))) {
            if (auto face = faceForStyle(*family, text.mid(index + 1))) {
                return face;
            }
        }
    }
    return std::nullopt;
}

FontFace systemFontFace() {
    requireGuiApplication();
    return faceOf(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

FontFace fixedPitchFontFace() {
    requireGuiApplication();
    return faceOf(QFontDatabase::systemFont(QFontDatabase::FixedFont));
}

}  // namespace platform::detail
