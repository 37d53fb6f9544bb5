#include "libraries/calyxware/LayoutManager.h"

#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <cmath>

#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/GlyphPainter.h"
#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/TextContainer.h"
#include "libraries/calyxware/TextView.h"
#include "libraries/calyxware/Typesetter.h"
#include "platform/foundation/FatalError.h"

namespace calyxware {

namespace {

using platform::CGFloat;
using platform::CGRect;
using platform::NSRange;
using platform::NSUInteger;

constexpr std::string_view kBackgroundLayoutEnabledKey = "backgroundLayoutEnabled";
constexpr std::string_view kUsesFontLeadingKey = "usesFontLeading";
constexpr std::string_view kTextContainersKey = "textContainers";

// Rounding slack when deciding whether a line fits: a container made exactly as tall as its
// text, through a scale and back, must still hold all of it.
constexpr CGFloat kFitTolerance = 1e-3;

bool isTruncating(platform::NSLineBreakMode mode) {
    return mode == platform::NSLineBreakByTruncatingHead ||
           mode == platform::NSLineBreakByTruncatingTail ||
           mode == platform::NSLineBreakByTruncatingMiddle;
}

CGFloat availableWidth(const TextContainer& container) {
    return std::max(0.0, container.size().width - 2 * container.lineFragmentPadding());
}

bool fits(const TextContainer& container, CGFloat y, CGFloat height) {
    return y + height <= container.size().height + kFitTolerance;
}

CGFloat lineHeight(const QTextLine& line, bool includeLeading) {
    return line.ascent() + line.descent() + (includeLeading ? std::max(0.0, line.leading()) : 0);
}

// Where a line of `textWidth` starts within `available` for the paragraph's alignment.
CGFloat alignmentOffset(const platform::NSParagraphStyle& style, bool rightToLeft,
                        CGFloat available, CGFloat textWidth) {
    if (!std::isfinite(available) || textWidth >= available) {
        return 0;
    }
    switch (style.alignment) {
        case platform::NSTextAlignmentRight:
            return available - textWidth;
        case platform::NSTextAlignmentCenter:
            return (available - textWidth) / 2;
        case platform::NSTextAlignmentNatural:
            return rightToLeft ? available - textWidth : 0;
        case platform::NSTextAlignmentLeft:
        case platform::NSTextAlignmentJustified:
            return 0;
    }
    return 0;
}

CGFloat paragraphSpacingAfter(const platform::NSParagraphStyle& style) {
    return std::isfinite(style.paragraphSpacing) ? std::max(0.0, style.paragraphSpacing) : 0;
}

bool intersects(NSRange fragment, NSRange glyphs) {
    return fragment.location < platform::NSMaxRange(glyphs) &&
           glyphs.location < platform::NSMaxRange(fragment);
}

}  // namespace

LayoutManager::LayoutManager() = default;

LayoutManager::~LayoutManager() {
    for (const auto& container : textContainers_) {
        container->layoutManager_ = nullptr;
    }
}

void LayoutManager::setTextStorage(TextStorage* storage) {
    textStorage_ = storage;
    invalidateLayout();
    for (const auto& container : textContainers_) {
        if (TextView* view = container->textView()) {
            view->retainTextStorage();
        }
    }
}

void LayoutManager::replaceTextStorage(const std::shared_ptr<TextStorage>& storage) {
    platform::precondition(storage != nullptr, "LayoutManager: replacing with no text storage");
    const auto keepSelf = shared_from_this();
    if (textStorage_ == nullptr) {
        storage->addLayoutManager(keepSelf);
        return;
    }
    // The old storage may be owned only by the views these managers are about to leave.
    const auto keepOld = textStorage_->weak_from_this().lock();
    const auto managers = textStorage_->layoutManagers();
    for (const auto& manager : managers) {
        textStorage_->removeLayoutManager(*manager);
        storage->addLayoutManager(manager);
    }
}

void LayoutManager::addTextContainer(std::shared_ptr<TextContainer> container) {
    insertTextContainer(std::move(container), textContainers_.size());
}

void LayoutManager::insertTextContainer(std::shared_ptr<TextContainer> container,
                                        std::size_t index) {
    platform::precondition(container != nullptr && container->layoutManager_ == nullptr,
                           "LayoutManager: a text container belongs to one layout manager");
    platform::precondition(index <= textContainers_.size(),
                           "LayoutManager: text container index out of range");
    container->layoutManager_ = this;
    TextView* view = container->textView();
    textContainers_.insert(textContainers_.begin() + static_cast<std::ptrdiff_t>(index),
                           std::move(container));
    invalidateLayout();
    if (view != nullptr) {
        view->retainTextStorage();
        view->updateTextContainerSize();
    }
}

void LayoutManager::removeTextContainerAtIndex(std::size_t index) {
    platform::precondition(index < textContainers_.size(),
                           "LayoutManager: text container index out of range");
    const auto container = textContainers_[index];
    container->layoutManager_ = nullptr;
    textContainers_.erase(textContainers_.begin() + static_cast<std::ptrdiff_t>(index));
    invalidateLayout();
}

void LayoutManager::textContainerChangedGeometry(TextContainer&) {
    invalidateLayout();
}

void LayoutManager::processEditingForTextStorage(TextStorage&, TextStorageEditActions, NSRange,
                                                 std::ptrdiff_t) {
    invalidateLayout();
}

void LayoutManager::setUsesFontLeading(bool uses) {
    if (uses != usesFontLeading_) {
        usesFontLeading_ = uses;
        invalidateLayout();
    }
}

void LayoutManager::invalidateLayout() {
    layoutValid_ = false;
    fragments_.clear();
    extraRect_ = CGRect::zero();
    extraUsedRect_ = CGRect::zero();
    extraContainer_ = nullptr;
}

void LayoutManager::ensureLayoutForCharacterRange(NSRange) {
    if (!layoutValid_) {
        layOut();
    }
}

void LayoutManager::ensureLayoutForTextContainer(TextContainer&) {
    if (!layoutValid_) {
        layOut();
    }
}

NSUInteger LayoutManager::numberOfGlyphs() const {
    return textStorage_ != nullptr ? textStorage_->length() : 0;
}

void LayoutManager::layOut() {
    invalidateLayout();
    layoutValid_ = true;
    if (textStorage_ == nullptr || textContainers_.empty()) {
        return;
    }
    placeLines(textStorage_->string());
}

void LayoutManager::placeLines(const std::u16string& characters) {
    const NSUInteger length = characters.size();
    std::size_t containerIndex = 0;
    CGFloat y = 0;
    NSUInteger location = 0;
    while (location < length) {
        const detail::ParagraphEnd end = detail::findParagraphEnd(characters, location);
        const NSRange paragraph = platform::NSMakeRange(location, end.contentEnd - location);
        std::shared_ptr<detail::TypesetText> text =
            detail::typesetParagraph(*textStorage_, paragraph, location);
        QTextLayout& layout = *text->layout;
        const bool truncatesEachLine = isTruncating(text->paragraphStyle.lineBreakMode);
        const std::size_t firstFragment = fragments_.size();
        bool overflow = false;

        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLeadingIncluded(usesFontLeading_);
            CGFloat height = 0;
            while (true) {
                const TextContainer& container = *textContainers_[containerIndex];
                line.setLineWidth(detail::breakingWidth(availableWidth(container)));
                height = lineHeight(line, usesFontLeading_);
                if (fits(container, y, height)) {
                    break;
                }
                if (containerIndex + 1 >= textContainers_.size()) {
                    overflow = true;
                    break;
                }
                ++containerIndex;
                y = 0;
            }
            if (overflow) {
                break;
            }
            TextContainer& container = *textContainers_[containerIndex];
            LineFragment fragment;
            fragment.glyphRange =
                platform::NSMakeRange(location + static_cast<NSUInteger>(line.textStart()),
                                      static_cast<NSUInteger>(line.textLength()));
            fragment.rect = platform::CGRectMake(0, y, container.size().width, height);
            fragment.container = &container;
            fragment.text = text;
            fragment.lineIndex = line.lineNumber();
            if (truncatesEachLine &&
                line.naturalTextWidth() > availableWidth(container) + kFitTolerance) {
                fragment.text = detail::typesetTruncatedLine(
                    *textStorage_,
                    platform::NSMakeRange(fragment.glyphRange.location,
                                          end.contentEnd - fragment.glyphRange.location),
                    location, availableWidth(container), usesFontLeading_);
                fragment.lineIndex = 0;
            }
            const QTextLine placed = fragment.text->layout->lineAt(fragment.lineIndex);
            const CGFloat textWidth = placed.naturalTextWidth();
            const CGFloat x = alignedX(fragment, textWidth);
            fragment.text->layout->lineAt(fragment.lineIndex)
                .setPosition(QPointF(x + container.lineFragmentPadding(), y));
            fragment.usedRect =
                platform::CGRectMake(x, y, textWidth + 2 * container.lineFragmentPadding(), height);
            fragments_.push_back(std::move(fragment));
            y += height;
        }
        layout.endLayout();

        if (overflow) {
            if (isTruncating(textContainers_[containerIndex]->lineBreakMode())) {
                truncateLastFragment(containerIndex);
            }
            // The rest of the text fits in no container and stays unlaid.
            return;
        }
        // A paragraph's terminator belongs to its last line.
        if (fragments_.size() > firstFragment) {
            fragments_.back().glyphRange.length += end.terminatorLength;
        }
        // The room after a paragraph lies between line fragments, in none of them: backgrounds
        // and used rects keep to the lines. The last paragraph has nothing to keep apart.
        if (end.terminatorLength > 0) {
            y += paragraphSpacingAfter(text->paragraphStyle);
        }
        location = end.contentEnd + end.terminatorLength;
    }
    if (length == 0 || detail::endsWithParagraphTerminator(characters)) {
        placeExtraLineFragment(containerIndex, y);
    }
}

CGFloat LayoutManager::alignedX(const LineFragment& fragment, CGFloat textWidth) const {
    const detail::TypesetText& text = *fragment.text;
    return alignmentOffset(text.paragraphStyle,
                           text.layout->textOption().textDirection() == Qt::RightToLeft,
                           availableWidth(*fragment.container), textWidth);
}

void LayoutManager::truncateLastFragment(std::size_t containerIndex) {
    if (fragments_.empty() ||
        fragments_.back().container != textContainers_[containerIndex].get()) {
        return;
    }
    LineFragment& last = fragments_.back();
    const NSUInteger start = last.glyphRange.location;
    const NSUInteger paragraphEnd = platform::NSMaxRange(last.text->source);
    const TextContainer& container = *last.container;
    last.text = detail::typesetTruncatedLine(*textStorage_,
                                             platform::NSMakeRange(start, paragraphEnd - start),
                                             start, availableWidth(container), usesFontLeading_);
    last.lineIndex = 0;
    // The hidden rest of the text belongs to the truncated line.
    last.glyphRange.length = textStorage_->length() - start;
    QTextLine line = last.text->layout->lineAt(0);
    const CGFloat textWidth = line.naturalTextWidth();
    const CGFloat x = alignedX(last, textWidth);
    line.setPosition(QPointF(x + container.lineFragmentPadding(), last.rect.origin.y));
    last.usedRect =
        platform::CGRectMake(x, last.rect.origin.y, textWidth + 2 * container.lineFragmentPadding(),
                             last.rect.size.height);
}

void LayoutManager::placeExtraLineFragment(std::size_t containerIndex, CGFloat y) {
    const NSUInteger length = textStorage_->length();
    static const platform::NSAttributeDictionary noAttributes;
    const platform::NSAttributeDictionary& attributes =
        length > 0 ? textStorage_->attributesAtIndex(length - 1) : noAttributes;
    const CGFloat height = detail::emptyLineHeight(attributes, usesFontLeading_);
    for (; containerIndex < textContainers_.size(); ++containerIndex, y = 0) {
        TextContainer& container = *textContainers_[containerIndex];
        if (!fits(container, y, height)) {
            continue;
        }
        const CGFloat padding = container.lineFragmentPadding();
        const CGFloat x = alignmentOffset(detail::paragraphStyleForAttributes(attributes), false,
                                          availableWidth(container), 0);
        extraRect_ = platform::CGRectMake(0, y, container.size().width, height);
        extraUsedRect_ = platform::CGRectMake(x, y, 2 * padding, height);
        extraContainer_ = &container;
        return;
    }
}

NSRange LayoutManager::glyphRangeForTextContainer(TextContainer& container) {
    ensureLayoutForTextContainer(container);
    const LineFragment* first = nullptr;
    const LineFragment* last = nullptr;
    for (const LineFragment& fragment : fragments_) {
        if (fragment.container == &container) {
            first = first != nullptr ? first : &fragment;
            last = &fragment;
        }
    }
    if (first == nullptr) {
        return platform::NSMakeRange(extraContainer_ == &container ? numberOfGlyphs() : 0, 0);
    }
    return platform::NSMakeRange(
        first->glyphRange.location,
        platform::NSMaxRange(last->glyphRange) - first->glyphRange.location);
}

CGRect LayoutManager::usedRectForTextContainer(TextContainer& container) {
    ensureLayoutForTextContainer(container);
    CGRect used = CGRect::null();
    for (const LineFragment& fragment : fragments_) {
        if (fragment.container == &container) {
            used = used.unionWith(fragment.usedRect);
        }
    }
    if (extraContainer_ == &container) {
        used = used.unionWith(extraUsedRect_);
    }
    return used.isNull() ? CGRect::zero() : used;
}

CGRect LayoutManager::extraLineFragmentRect() {
    ensureLayoutForCharacterRange({});
    return extraRect_;
}

CGRect LayoutManager::extraLineFragmentUsedRect() {
    ensureLayoutForCharacterRange({});
    return extraUsedRect_;
}

TextContainer* LayoutManager::extraLineFragmentTextContainer() {
    ensureLayoutForCharacterRange({});
    return extraContainer_;
}

void LayoutManager::enumerateLineFragmentsForGlyphRange(NSRange glyphRange,
                                                        const LineFragmentBlock& block) {
    ensureLayoutForCharacterRange(glyphRange);
    // The block may ask the manager questions; it must not see the list change under it.
    const std::vector<LineFragment> fragments = fragments_;
    for (const LineFragment& fragment : fragments) {
        if (!intersects(fragment.glyphRange, glyphRange)) {
            continue;
        }
        bool stop = false;
        block(fragment.rect, fragment.usedRect, *fragment.container, fragment.glyphRange, stop);
        if (stop) {
            return;
        }
    }
}

const LayoutManager::LineFragment* LayoutManager::fragmentForGlyph(NSUInteger glyphIndex) {
    ensureLayoutForCharacterRange(platform::NSMakeRange(glyphIndex, 1));
    for (const LineFragment& fragment : fragments_) {
        if (platform::NSLocationInRange(glyphIndex, fragment.glyphRange)) {
            return &fragment;
        }
    }
    return nullptr;
}

CGRect LayoutManager::lineFragmentRectForGlyphAtIndex(NSUInteger glyphIndex,
                                                      NSRange* effectiveRange) {
    const LineFragment* fragment = fragmentForGlyph(glyphIndex);
    if (effectiveRange != nullptr) {
        *effectiveRange = fragment != nullptr ? fragment->glyphRange : NSRange{};
    }
    return fragment != nullptr ? fragment->rect : CGRect::zero();
}

CGRect LayoutManager::lineFragmentUsedRectForGlyphAtIndex(NSUInteger glyphIndex) {
    const LineFragment* fragment = fragmentForGlyph(glyphIndex);
    return fragment != nullptr ? fragment->usedRect : CGRect::zero();
}

// Layout index of a storage index within a fragment's text; a glyph hidden by truncation maps
// to the ellipsis.
static int layoutIndexOf(const detail::TypesetText& text, NSUInteger glyphIndex) {
    const auto offset = static_cast<int>(glyphIndex - text.source.location);
    return text.truncated ? std::min(offset, text.visibleLength) : offset;
}

platform::CGPoint LayoutManager::locationForGlyphAtIndex(NSUInteger glyphIndex) {
    const LineFragment* fragment = fragmentForGlyph(glyphIndex);
    if (fragment == nullptr) {
        return platform::CGPointZero;
    }
    const QTextLine line = fragment->text->layout->lineAt(fragment->lineIndex);
    const int index =
        std::min(layoutIndexOf(*fragment->text, glyphIndex), line.textStart() + line.textLength());
    return platform::CGPointMake(line.cursorToX(index) - fragment->rect.origin.x,
                                 line.y() + line.ascent() - fragment->rect.origin.y);
}

CGRect LayoutManager::boundingRectForGlyphRange(NSRange glyphRange, TextContainer& container) {
    ensureLayoutForTextContainer(container);
    CGRect bounds = CGRect::null();
    for (const LineFragment& fragment : fragments_) {
        if (fragment.container != &container || !intersects(fragment.glyphRange, glyphRange)) {
            continue;
        }
        const QTextLine line = fragment.text->layout->lineAt(fragment.lineIndex);
        const NSRange covered = platform::NSIntersectionRange(fragment.glyphRange, glyphRange);
        const int lineEnd = line.textStart() + line.textLength();
        const int from =
            std::clamp(layoutIndexOf(*fragment.text, covered.location), line.textStart(), lineEnd);
        const int to =
            std::clamp(layoutIndexOf(*fragment.text, platform::NSMaxRange(covered)), from, lineEnd);
        const CGFloat x1 = line.cursorToX(from);
        const CGFloat x2 = line.cursorToX(to);
        bounds =
            bounds.unionWith(platform::CGRectMake(std::min(x1, x2), fragment.rect.origin.y,
                                                  std::abs(x2 - x1), fragment.rect.size.height));
    }
    return bounds.isNull() ? CGRect::zero() : bounds;
}

TextContainer* LayoutManager::textContainerForGlyphAtIndex(NSUInteger glyphIndex) {
    const LineFragment* fragment = fragmentForGlyph(glyphIndex);
    return fragment != nullptr ? fragment->container : nullptr;
}

NSRange LayoutManager::truncatedGlyphRangeInLineFragmentForGlyphAtIndex(NSUInteger glyphIndex) {
    const LineFragment* fragment = fragmentForGlyph(glyphIndex);
    if (fragment == nullptr || !fragment->text->truncated) {
        return platform::NSMakeRange(platform::NSNotFound, 0);
    }
    const NSUInteger hiddenStart =
        fragment->text->source.location + static_cast<NSUInteger>(fragment->text->visibleLength);
    return platform::NSMakeRange(hiddenStart,
                                 platform::NSMaxRange(fragment->glyphRange) - hiddenStart);
}

std::u16string LayoutManager::displayedStringOfLineFragmentForGlyphAtIndex(NSUInteger glyphIndex) {
    const LineFragment* fragment = fragmentForGlyph(glyphIndex);
    if (fragment == nullptr) {
        return {};
    }
    const QTextLine line = fragment->text->layout->lineAt(fragment->lineIndex);
    const QString shown = fragment->text->layout->text().mid(line.textStart(), line.textLength());
    return shown.toStdU16String();
}

void LayoutManager::drawBackgroundForGlyphRange(NSRange glyphRange, platform::CGPoint origin,
                                                QPainter& painter) {
    ensureLayoutForCharacterRange(glyphRange);
    const QPointF offset = toQPointF(origin);
    for (const LineFragment& fragment : fragments_) {
        if (intersects(fragment.glyphRange, glyphRange)) {
            detail::paintLineBackgrounds(*fragment.text, fragment.lineIndex, glyphRange,
                                         toQRectF(fragment.rect).translated(offset), offset,
                                         painter);
        }
    }
}

void LayoutManager::drawGlyphsForGlyphRange(NSRange glyphRange, platform::CGPoint origin,
                                            QPainter& painter) {
    ensureLayoutForCharacterRange(glyphRange);
    const QPointF offset = toQPointF(origin);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    for (const LineFragment& fragment : fragments_) {
        if (intersects(fragment.glyphRange, glyphRange)) {
            detail::paintLineGlyphs(*fragment.text, fragment.lineIndex, glyphRange, offset,
                                    painter);
        }
    }
    painter.restore();
}

void LayoutManager::encode(platform::NSKeyedArchiver& coder) const {
    coder.encodeBool(backgroundLayoutEnabled_, kBackgroundLayoutEnabledKey);
    coder.encodeBool(usesFontLeading_, kUsesFontLeadingKey);
    coder.encodeArrayOfObjects(textContainers_, kTextContainersKey);
}

bool LayoutManager::decodeFromCoder(platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    if (coder.containsValue(kBackgroundLayoutEnabledKey)) {
        backgroundLayoutEnabled_ = coder.decodeBool(kBackgroundLayoutEnabledKey);
    }
    if (coder.containsValue(kUsesFontLeadingKey)) {
        usesFontLeading_ = coder.decodeBool(kUsesFontLeadingKey);
    }
    if (coder.containsValue(kTextContainersKey)) {
        auto containers = coder.decodeArrayOfObjects<TextContainer>(kTextContainersKey);
        if (!containers) {
            failCorruptArchive(coder, "a layout manager with malformed text containers");
            return false;
        }
        for (auto& container : *containers) {
            addTextContainer(std::move(container));
        }
    }
    return coder.error() == nullptr;
}

std::shared_ptr<LayoutManager> LayoutManager::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    auto manager = std::make_shared<LayoutManager>();
    return manager->decodeFromCoder(coder) ? manager : nullptr;
}

}  // namespace calyxware
