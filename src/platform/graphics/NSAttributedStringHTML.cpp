#include "platform/graphics/NSAttributedStringHTML.h"

#include <QByteArrayView>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

namespace platform {

std::optional<NSMutableAttributedString> attributedStringWithHTML(std::span<const std::byte> data,
                                                                  NSStringEncoding encoding) {
    if (encoding != NSUTF8StringEncoding) {
        return std::nullopt;
    }
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString html = decoder.decode(QByteArrayView(reinterpret_cast<const char*>(data.data()),
                                                       static_cast<qsizetype>(data.size())));
    if (decoder.hasError()) {
        return std::nullopt;
    }
    QTextDocument document;
    document.setHtml(html);

    NSMutableAttributedString result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        if (block != document.begin()) {
            result.append(std::u16string_view(u"\n"), {});
        }
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            const QTextFragment piece = fragment.fragment();
            if (!piece.isValid()) {
                continue;
            }
            NSAttributeDictionary attributes;
            const QTextCharFormat format = piece.charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                attributes.emplace(NSLinkAttributeName, format.anchorHref().toStdString());
            }
            // Qt marks line breaks inside a paragraph with U+2028.
            QString text = piece.text();
            text.replace(QChar(0x2028), QLatin1Char('\n'));
            result.append(std::u16string_view(text.toStdU16String()), attributes);
        }
    }
    return result;
}

}  // namespace platform
