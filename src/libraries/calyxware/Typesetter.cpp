#include "libraries/calyxware/Typesetter.h"

#include <QString>
#include <QTextBoundaryFinder>
#include <QTextOption>
#include <algorithm>
#include <cmath>

#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/TextStorage.h"

namespace calyxware::detail {

namespace {

using platform::NSAttributeDictionary;
using platform::NSRange;
using platform::NSUInteger;

constexpr char16_t kEllipsis = u'\u2026';
// Tab stops every half inch, the usual default of text systems on the desktop.
constexpr qreal kTabStopDistance = 36;
constexpr qreal kMaximumBreakingWidth = 1e6;

const NSAttributeDictionary& attributesAt(const TextStorage& storage, NSUInteger index,
                                          NSRange* effectiveRange = nullptr) {
    static const NSAttributeDictionary empty;
    if (index >= storage.length()) {
        if (effectiveRange != nullptr) {
            *effectiveRange = platform::NSMakeRange(index, 0);
        }
        return empty;
    }
    return storage.attributesAtIndex(index, effectiveRange);
}

bool isParagraphTerminator(char16_t unit) {
    return unit == u'\n' || unit == u'\r' || unit == u'\u2029';
}

bool truncatesEachLine(platform::NSLineBreakMode mode) {
    return mode == platform::NSLineBreakByTruncatingHead ||
           mode == platform::NSLineBreakByTruncatingTail ||
           mode == platform::NSLineBreakByTruncatingMiddle;
}

QTextOption textOption(const platform::NSParagraphStyle& style, const QString& text,
                       bool singleLine) {
    QTextOption option;
    option.setUseDesignMetrics(true);
    option.setTabStopDistance(kTabStopDistance);
    option.setTextDirection(text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
    // Lines are placed by the layout manager; Qt only justifies.
    option.setAlignment(style.alignment == platform::NSTextAlignmentJustified
                            ? Qt::AlignJustify
                            : Qt::Alignment(Qt::AlignLeft | Qt::AlignAbsolute));
    if (singleLine || truncatesEachLine(style.lineBreakMode) ||
        style.lineBreakMode == platform::NSLineBreakByClipping) {
        option.setWrapMode(QTextOption::NoWrap);
    } else if (style.lineBreakMode == platform::NSLineBreakByCharWrapping) {
        option.setWrapMode(QTextOption::WrapAnywhere);
    } else {
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    }
    return option;
}

// The first `visibleLength` characters of `source`, optionally followed by an ellipsis in the
// attributes of the last of them.
std::unique_ptr<TypesetText> makeText(const TextStorage& storage, NSRange source, int visibleLength,
                                      bool ellipsis, NSUInteger attributesIndex, bool singleLine) {
    auto text = std::make_unique<TypesetText>();
    text->source = source;
    text->visibleLength = visibleLength;
    text->truncated = ellipsis;

    std::u16string characters =
        storage.string().substr(source.location, static_cast<std::size_t>(visibleLength));
    NSUInteger index = source.location;
    const NSUInteger end = source.location + static_cast<NSUInteger>(visibleLength);
    while (index < end) {
        NSRange run;
        const NSAttributeDictionary& attributes = attributesAt(storage, index, &run);
        const NSUInteger runEnd = std::min(platform::NSMaxRange(run), end);
        text->segments.push_back({static_cast<int>(index - source.location),
                                  static_cast<int>(runEnd - index), attributes});
        index = runEnd;
    }
    const NSAttributeDictionary& paragraphAttributes = attributesAt(storage, attributesIndex);
    if (ellipsis) {
        characters.push_back(kEllipsis);
        text->segments.push_back(
            {visibleLength, 1,
             visibleLength > 0 ? text->segments.back().attributes : paragraphAttributes});
    }
    text->paragraphStyle = paragraphStyleForAttributes(paragraphAttributes);

    const QString qtext =
        QString::fromUtf16(characters.data(), static_cast<qsizetype>(characters.size()));
    text->layout = std::make_unique<QTextLayout>(qtext, fontForAttributes(paragraphAttributes),
                                                 &layoutPaintDevice());
    QList<QTextLayout::FormatRange> formats;
    for (const TextSegment& segment : text->segments) {
        QTextLayout::FormatRange range;
        range.start = segment.start;
        range.length = segment.length;
        range.format.setFont(fontForAttributes(segment.attributes));
        formats.append(range);
    }
    text->layout->setFormats(formats);
    text->layout->setTextOption(textOption(text->paragraphStyle, qtext, singleLine));
    text->layout->setCacheEnabled(true);
    return text;
}

qreal layOutSingleLine(QTextLayout& layout, bool includeLeading) {
    layout.beginLayout();
    QTextLine line = layout.createLine();
    qreal width = 0;
    if (line.isValid()) {
        line.setLeadingIncluded(includeLeading);
        line.setLineWidth(kMaximumBreakingWidth);
        line.setPosition(QPointF(0, 0));
        width = line.naturalTextWidth();
    }
    layout.endLayout();
    return width;
}

}  // namespace

platform::NSFont defaultFont() {
    return platform::NSFont::systemFontOfSize(12);
}

QFont fontForAttributes(const NSAttributeDictionary& attributes) {
    const platform::NSFont* font =
        platform::attributeValue<platform::NSFont>(attributes, platform::NSFontAttributeName);
    QFont qfont = toQFont(font != nullptr ? *font : defaultFont());
    if (const auto kern = attributes.find(platform::NSKernAttributeName);
        kern != attributes.end()) {
        if (auto points = kern->second.numberValue(); points && *points != 0) {
            qfont.setLetterSpacing(QFont::AbsoluteSpacing, *points);
        }
    }
    return qfont;
}

platform::NSParagraphStyle paragraphStyleForAttributes(const NSAttributeDictionary& attributes) {
    const auto* style = platform::attributeValue<platform::NSParagraphStyle>(
        attributes, platform::NSParagraphStyleAttributeName);
    return style != nullptr ? *style : platform::NSParagraphStyle::defaultParagraphStyle();
}

ParagraphEnd findParagraphEnd(const std::u16string& text, NSUInteger location) {
    for (NSUInteger index = location; index < text.size(); ++index) {
        if (isParagraphTerminator(text[index])) {
            const bool crlf =
                text[index] == u'\r' && index + 1 < text.size() && text[index + 1] == u'\n';
            return {index, crlf ? 2u : 1u};
        }
    }
    return {text.size(), 0};
}

bool endsWithParagraphTerminator(const std::u16string& text) {
    return !text.empty() && isParagraphTerminator(text.back());
}

std::unique_ptr<TypesetText> typesetParagraph(const TextStorage& storage, NSRange range,
                                              NSUInteger attributesIndex) {
    return makeText(storage, range, static_cast<int>(range.length), false, attributesIndex, false);
}

std::unique_ptr<TypesetText> typesetTruncatedLine(const TextStorage& storage, NSRange range,
                                                  NSUInteger attributesIndex, qreal availableWidth,
                                                  bool includeLeading) {
    const std::u16string& characters = storage.string();
    const QString text = QString::fromUtf16(characters.data() + range.location,
                                            static_cast<qsizetype>(range.length));
    // Cut only between graphemes, so that no accent is separated from its letter.
    std::vector<int> boundaries;
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    for (qsizetype position = 0; position >= 0; position = finder.toNextBoundary()) {
        boundaries.push_back(static_cast<int>(position));
    }
    const auto visibleLengthFor = [&](int cut) {
        while (cut > 0 && text.at(cut - 1).isSpace()) {
            --cut;
        }
        return cut;
    };
    const auto make = [&](int cut) {
        auto line = makeText(storage, range, visibleLengthFor(cut), true, attributesIndex, true);
        const qreal width = layOutSingleLine(*line->layout, includeLeading);
        return std::make_pair(std::move(line), width);
    };

    // The widths grow with the cut: find the longest cut that still fits.
    std::size_t low = 0;
    std::size_t high = boundaries.size() - 1;
    while (low < high) {
        const std::size_t middle = (low + high + 1) / 2;
        if (make(boundaries[middle]).second <= availableWidth) {
            low = middle;
        } else {
            high = middle - 1;
        }
    }
    return make(boundaries[low]).first;
}

qreal emptyLineHeight(const NSAttributeDictionary& attributes, bool includeLeading) {
    QTextLayout layout(QString(), fontForAttributes(attributes), &layoutPaintDevice());
    QTextOption option;
    option.setUseDesignMetrics(true);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    qreal height = 0;
    if (line.isValid()) {
        line.setLeadingIncluded(includeLeading);
        line.setLineWidth(kMaximumBreakingWidth);
        height =
            line.ascent() + line.descent() + (includeLeading ? std::max(0.0, line.leading()) : 0);
    }
    layout.endLayout();
    return height;
}

qreal breakingWidth(qreal availableWidth) {
    if (!std::isfinite(availableWidth)) {
        return availableWidth > 0 ? kMaximumBreakingWidth : 0;
    }
    // A hair of slack, so that a width computed from a laid-out width breaks the same way.
    return std::clamp(availableWidth + 1e-3, 0.0, kMaximumBreakingWidth);
}

}  // namespace calyxware::detail
