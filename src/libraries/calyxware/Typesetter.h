#pragma once

#include <QFont>
#include <QTextLayout>
#include <memory>
#include <optional>
#include <vector>

#include "platform/graphics/NSAttributeDictionary.h"
#include "platform/graphics/NSParagraphStyle.h"
#include "platform/graphics/NSRange.h"

namespace calyxware {

class TextStorage;

namespace detail {

// A stretch of a typeset text whose characters share their attributes.
struct TextSegment {
    int start = 0;
    int length = 0;
    platform::NSAttributeDictionary attributes;
};

// Characters of the storage shaped by one QTextLayout: a paragraph (without its terminator), or
// the visible part of a truncated line followed by an ellipsis. Layout indices count from
// `source.location` in the storage; a truncated text shows only its first `visibleLength`
// characters of `source`, then the ellipsis (layout index `visibleLength`).
struct TypesetText {
    std::unique_ptr<QTextLayout> layout;
    platform::NSRange source;
    int visibleLength = 0;
    bool truncated = false;
    platform::NSParagraphStyle paragraphStyle;
    // Cover the layout's text in order.
    std::vector<TextSegment> segments;
};

// The font text is drawn in when it has no font attribute.
platform::NSFont defaultFont();
// The Qt font for a run with these attributes (font and kerning).
QFont fontForAttributes(const platform::NSAttributeDictionary& attributes);
platform::NSParagraphStyle paragraphStyleForAttributes(
    const platform::NSAttributeDictionary& attributes);

// Where the paragraph that starts at `location` ends: the index of its terminator (or the text's
// length) and the terminator's length (0, 1, or 2 for CR LF).
struct ParagraphEnd {
    platform::NSUInteger contentEnd = 0;
    platform::NSUInteger terminatorLength = 0;
};
ParagraphEnd findParagraphEnd(const std::u16string& text, platform::NSUInteger location);
bool endsWithParagraphTerminator(const std::u16string& text);

// The paragraph `range` (without terminator) ready for line breaking: its layout has not begun.
// `attributesIndex` names the character whose attributes give the font of an empty paragraph
// and the paragraph style.
std::unique_ptr<TypesetText> typesetParagraph(const TextStorage& storage, platform::NSRange range,
                                              platform::NSUInteger attributesIndex);

// One line showing the longest start of `range` (whole graphemes, trailing white space dropped)
// that fits `availableWidth` together with an ellipsis, laid out at position (0, 0).
std::unique_ptr<TypesetText> typesetTruncatedLine(const TextStorage& storage,
                                                  platform::NSRange range,
                                                  platform::NSUInteger attributesIndex,
                                                  qreal availableWidth, bool includeLeading);

// The height of an empty line in the font of these attributes.
qreal emptyLineHeight(const platform::NSAttributeDictionary& attributes, bool includeLeading);

// The line width to break at for a container line of this width: never negative, and bounded so
// that an unlimited container does not overflow Qt's fixed-point layout.
qreal breakingWidth(qreal availableWidth);

}  // namespace detail
}  // namespace calyxware
