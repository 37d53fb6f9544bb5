#include "platform/foundation/IniFileEncoder.h"

#include <QDataStream>
#include <QDateTime>
#include <QIODevice>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace platform {

namespace {

constexpr char upperHexDigits[] = "0123456789ABCDEF";

bool isHexDigit(char32_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A key or a group name: letters, digits, '_', '-' and '.' as they are, '/' as '\', the rest as
// %XX (up to U+00FF) or %UXXXX, one UTF-16 unit at a time.
void appendEscapedKey(const QString& key, QByteArray& out) {
    for (const QChar character : key) {
        const char16_t c = character.unicode();
        if (c == '/') {
            out += '\\';
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                   c == '_' || c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else if (c <= 0xFF) {
            out += '%';
            out += upperHexDigits[c >> 4];
            out += upperHexDigits[c & 0xF];
        } else {
            out += "%U";
            for (int shift = 12; shift >= 0; shift -= 4) {
                out += upperHexDigits[(c >> shift) & 0xF];
            }
        }
    }
}

// A value's text, escaped: C-like escapes for control characters, quotes and backslashes;
// UTF-8 for the rest of the text, except inside the binary forms (@ByteArray, @Variant,
// @DateTime), whose bytes from 0x7F up are written as \x escapes. Quoted when it holds ';', ','
// or '=', or begins or ends with a space.
void appendEscapedString(const QString& text, QByteArray& out) {
    const bool isText = !(text.startsWith(QLatin1String("@ByteArray(")) ||
                          text.startsWith(QLatin1String("@Variant(")) ||
                          text.startsWith(QLatin1String("@DateTime(")));
    const qsizetype start = out.size();
    bool needsQuotes = false;
    // After a \x escape a hex digit would be read as part of it.
    bool escapeHexDigit = false;
    const QList<uint> codePoints = text.toUcs4();
    for (const uint point : codePoints) {
        const auto c = static_cast<char32_t>(point);
        if (c == ';' || c == ',' || c == '=') {
            needsQuotes = true;
        }
        if (escapeHexDigit && isHexDigit(c)) {
            out += "\\x" + QByteArray::number(static_cast<uint>(c), 16);
            continue;
        }
        escapeHexDigit = false;
        switch (c) {
            case '\0':
                out += "\\0";
                escapeHexDigit = true;
                break;
            case '\a':
                out += "\\a";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\v':
                out += "\\v";
                break;
            case '"':
            case '\\':
                out += '\\';
                out += static_cast<char>(c);
                break;
            default:
                if (c <= 0x1F || (c >= 0x7F && !isText)) {
                    out += "\\x" + QByteArray::number(static_cast<uint>(c), 16);
                    escapeHexDigit = true;
                } else if (isText) {
                    out += QString::fromUcs4(&c, 1).toUtf8();
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    if (needsQuotes ||
        (out.size() > start && (out.at(start) == ' ' || out.at(out.size() - 1) == ' '))) {
        out.insert(start, '"');
        out += '"';
    }
}

// The typed text of a value: "@" forms for what is not plain text, a leading '@' doubled.
QString textOfValue(const QVariant& value) {
    switch (value.typeId()) {
        case QMetaType::UnknownType:
            return QStringLiteral("@Invalid()");
        case QMetaType::QByteArray: {
            const QByteArray bytes = value.toByteArray();
            return QStringLiteral("@ByteArray(") + QLatin1String(bytes) + u')';
        }
        case QMetaType::QString:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::Bool:
        case QMetaType::Float:
        case QMetaType::Double: {
            QString text = value.toString();
            if (text.startsWith(u'@')) {
                text.prepend(u'@');
            }
            return text;
        }
        case QMetaType::QRect: {
            const QRect rect = value.toRect();
            return QString::asprintf("@Rect(%d %d %d %d)", rect.x(), rect.y(), rect.width(),
                                     rect.height());
        }
        case QMetaType::QSize: {
            const QSize size = value.toSize();
            return QString::asprintf("@Size(%d %d)", size.width(), size.height());
        }
        case QMetaType::QPoint: {
            const QPoint point = value.toPoint();
            return QString::asprintf("@Point(%d %d)", point.x(), point.y());
        }
        default: {
            const bool isDateTime = value.typeId() == QMetaType::QDateTime;
            QByteArray bytes;
            {
                QDataStream stream(&bytes, QIODevice::WriteOnly);
                stream.setVersion(isDateTime ? QDataStream::Qt_5_6 : QDataStream::Qt_4_0);
                stream << value;
            }
            return QLatin1String(isDateTime ? "@DateTime(" : "@Variant(") + QLatin1String(bytes) +
                   u')';
        }
    }
}

void appendValue(const QVariant& value, QByteArray& out) {
    const bool isList = value.typeId() == QMetaType::QStringList ||
                        (value.typeId() == QMetaType::QVariantList && value.toList().size() != 1);
    if (!isList) {
        appendEscapedString(textOfValue(value), out);
        return;
    }
    const QVariantList items = value.toList();
    if (items.isEmpty()) {
        // Reads back as an empty list, where "" would read back as one empty text.
        out += "@Invalid()";
        return;
    }
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i != 0) {
            out += ", ";
        }
        appendEscapedString(textOfValue(items.at(i)), out);
    }
}

}  // namespace

QByteArray encodeIniFile(const std::map<QString, QVariant>& values) {
    // Each group in name order, [General] first; each key in name order within its group.
    std::map<QString, std::vector<std::pair<QString, const QVariant*>>> groups;
    for (const auto& [key, value] : values) {
        const qsizetype slash = key.indexOf(u'/');
        if (slash < 0) {
            groups[QString()].emplace_back(key, &value);
        } else {
            groups[key.left(slash)].emplace_back(key.mid(slash + 1), &value);
        }
    }
    QByteArray out;
    bool first = true;
    for (auto& [group, entries] : groups) {
        QByteArray header;
        appendEscapedKey(group, header);
        if (header.isEmpty()) {
            header = "[General]";
        } else if (header.compare("general", Qt::CaseInsensitive) == 0) {
            // A group of that name, rather than the keys without one.
            header = "[%General]";
        } else {
            header = '[' + header + ']';
        }
        if (!first) {
            out += '\n';
        }
        first = false;
        out += header + '\n';
        std::sort(entries.begin(), entries.end(),
                  [](const auto& a, const auto& b) { return a.first < b.first; });
        for (const auto& [key, value] : entries) {
            appendEscapedKey(key, out);
            out += '=';
            appendValue(*value, out);
            out += '\n';
        }
    }
    return out;
}

}  // namespace platform
