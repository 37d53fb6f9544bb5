#include "platform/graphics/FontDatabase.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <mutex>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform::detail {
namespace {

// Threads of ours (the subtitle style manager's queue, subtitle decoders) look fonts up while the
// user quits, and Qt frees its font database when the application object goes and again when
// the process exits. Every lookup runs inside this gate, and the gate closes before either
// teardown: a lookup under way is waited for, and later ones find nothing instead of reading
// freed memory.
struct FontDatabaseGate {
    std::mutex mutex;
    bool closed = false;
    std::once_flag closingRegistered;
};

FontDatabaseGate& gate() {
    static NeverDestroyed<FontDatabaseGate> gate;
    return gate.get();
}

void closeGate() {
    const std::lock_guard lock(gate().mutex);
    gate().closed = true;
}

// Exit runs the later registration first, so the gate's is made once Qt's database exists and is
// filled (a lookup of the system font alone does not build it): Qt registered the exit-time
// destruction of the database before. The application object's destructor runs its post
// routines before it takes the database down.
void closeBeforeQtTearsTheDatabaseDown() {
    std::call_once(gate().closingRegistered, [] {
        (void)QFontDatabase::families();
        qAddPostRoutine(closeGate);
        std::atexit(closeGate);
    });
}

template <typename Result, typename Lookup>
Result lookUp(Result whenClosed, Lookup&& lookup) {
    const std::lock_guard lock(gate().mutex);
    if (gate().closed) {
        return whenClosed;
    }
    Result result = lookup();
    closeBeforeQtTearsTheDatabaseDown();
    return result;
}

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
    // Built by the first lookup that needs it, maybe after the gate's exit handler was registered:
    // it must outlive that handler.
    static NeverDestroyed<const QStringList> genericStyles{
        QStringList{"regular", "normal", "book", "roman", "medium", "bold", "italic", "oblique",
                    "bolditalic", "boldoblique", "italicbold", "obliquebold"}};
    if (!known && !genericStyles.get().contains(normalized)) {
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
    return lookUp(std::optional<std::string>(), [family]() -> std::optional<std::string> {
        requireGuiApplication();
        const auto found =
            findFamily(QString::fromUtf8(family.data(), static_cast<qsizetype>(family.size())));
        return found ? std::optional(found->toStdString()) : std::nullopt;
    });
}

std::optional<FontFace> resolveFontName(std::string_view name) {
    return lookUp(std::optional<FontFace>(), [name]() -> std::optional<FontFace> {
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
    });
}

FontFace systemFontFace() {
    return lookUp(FontFace{}, [] {
        requireGuiApplication();
        return faceOf(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
    });
}

FontFace fixedPitchFontFace() {
    return lookUp(FontFace{}, [] {
        requireGuiApplication();
        return faceOf(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    });
}

}  // namespace platform::detail
