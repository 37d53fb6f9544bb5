#include "platform/graphics/FontDatabase.h"

#include <QCoreApplication>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QString>
#include <QStringList>
#include <cstdlib>
#include <map>
#include <mutex>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/graphics/FontCollection.h"

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
    // The families of the font files registered for documents, by Qt's handle.
    std::map<int, QStringList> privateFamilies;
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

bool isPrivateFamily(const QString& family) {
    for (const auto& [handle, families] : gate().privateFamilies) {
        if (families.contains(family, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

// An installed family of that name; the families registered for documents are theirs alone.
std::optional<QString> findFamily(const QString& family) {
    const QString trimmed = family.trimmed();
    if (trimmed.isEmpty()) {
        return std::nullopt;
    }
    for (const QString& installed : QFontDatabase::families()) {
        if (installed.compare(trimmed, Qt::CaseInsensitive) == 0) {
            if (isPrivateFamily(installed)) {
                return std::nullopt;
            }
            return installed;
        }
    }
    return std::nullopt;
}

// The document's own family of that name first, then an installed one.
std::optional<QString> findFamily(const QString& family, const FontCollection* documentFonts) {
    if (documentFonts != nullptr) {
        if (auto registered = documentFonts->registeredFamily(family.trimmed().toStdString())) {
            return QString::fromStdString(*registered);
        }
    }
    return findFamily(family);
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

std::optional<FontFace> resolveFontName(std::string_view name,
                                        const FontCollection* documentFonts) {
    return lookUp(std::optional<FontFace>(), [name, documentFonts]() -> std::optional<FontFace> {
        requireGuiApplication();
        const QString text =
            QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size())).trimmed();
        if (const auto family = findFamily(text, documentFonts)) {
            return FontFace{family->toStdString(), false, false};
        }
        if (documentFonts != nullptr) {
            if (auto face = documentFonts->registeredFace(text.toStdString())) {
                return FontFace{std::move(face->family), face->bold, face->italic};
            }
        }
        // Try every split point from the right, so that the longest family wins ("DejaVu Sans
        // Condensed Bold" is the bold face of "DejaVu Sans Condensed").
        for (qsizetype index = text.size() - 1; index > 0; --index) {
            const QChar separator = text.at(index);
            if (separator != QLatin1Char(' ') && separator != QLatin1Char('-')) {
                continue;
            }
            if (const auto family = findFamily(text.left(index), documentFonts)) {
                if (auto face = faceForStyle(*family, text.mid(index + 1))) {
                    return face;
                }
            }
        }
        return std::nullopt;
    });
}

std::optional<PrivateFontFile> addPrivateFontFile(const std::string& path) {
    // Without an application object Qt has no font database to add to (and stops the process
    // when asked for one).
    if (qGuiApp == nullptr) {
        return std::nullopt;
    }
    return lookUp(std::optional<PrivateFontFile>(), [&path]() -> std::optional<PrivateFontFile> {
        const int handle = QFontDatabase::addApplicationFont(QString::fromStdString(path));
        if (handle < 0) {
            return std::nullopt;
        }
        const QStringList families = QFontDatabase::applicationFontFamilies(handle);
        if (families.isEmpty()) {
            QFontDatabase::removeApplicationFont(handle);
            return std::nullopt;
        }
        gate().privateFamilies.insert_or_assign(handle, families);
        PrivateFontFile file{handle, {}};
        for (const QString& family : families) {
            file.families.push_back(family.toStdString());
        }
        return file;
    });
}

void removePrivateFontFile(int handle) {
    lookUp(false, [handle] {
        gate().privateFamilies.erase(handle);
        return QFontDatabase::removeApplicationFont(handle);
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
