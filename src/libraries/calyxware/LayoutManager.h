#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "libraries/calyxware/TextStorage.h"
#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSRange.h"

class QPainter;

namespace calyxware {

class TextContainer;

namespace detail {
struct TypesetText;
}

// Lays the text of its storage out into its containers, in order, and draws it.
//
// The engine is thin: each paragraph is shaped and broken into lines by QTextLayout (at 72 dpi,
// so one layout unit is one point), and the manager stacks the lines from the top of each
// container, moving to the next container when a line does not fit. One glyph slot stands for
// each UTF-16 unit, so glyph indices and ranges are character indices and ranges. Layout is
// computed whole and lazily: any question about it first lays out everything when an edit or a
// geometry change invalidated it. Subclasses may lay out eagerly (EagerLayoutManager).
//
// Geometry is in container coordinates: origin at the container's top left, y growing down.
// Main thread only.
class LayoutManager : public platform::SecureCoded<LayoutManager>,
                      public std::enable_shared_from_this<LayoutManager> {
public:
    static constexpr std::string_view className = "NSLayoutManager";

    // rect, usedRect, container, glyphRange, stop.
    using LineFragmentBlock = std::function<void(const platform::CGRect&, const platform::CGRect&,
                                                 TextContainer&, platform::NSRange, bool&)>;

    LayoutManager();
    ~LayoutManager() override;
    LayoutManager(const LayoutManager&) = delete;
    LayoutManager& operator=(const LayoutManager&) = delete;

    // Set by the storage when it adds or removes this manager.
    TextStorage* textStorage() const { return textStorage_; }
    virtual void setTextStorage(TextStorage* storage);
    // Moves every layout manager of the current storage to `storage`.
    void replaceTextStorage(const std::shared_ptr<TextStorage>& storage);

    const std::vector<std::shared_ptr<TextContainer>>& textContainers() const {
        return textContainers_;
    }
    void addTextContainer(std::shared_ptr<TextContainer> container);
    void insertTextContainer(std::shared_ptr<TextContainer> container, std::size_t index);
    void removeTextContainerAtIndex(std::size_t index);
    virtual void textContainerChangedGeometry(TextContainer& container);

    // Called by the storage when an edit is processed.
    virtual void processEditingForTextStorage(TextStorage& storage,
                                              TextStorageEditActions editedMask,
                                              platform::NSRange newCharacterRange,
                                              std::ptrdiff_t changeInLength);

    // Kept and archived; layout here never runs in the background either way.
    bool backgroundLayoutEnabled() const { return backgroundLayoutEnabled_; }
    void setBackgroundLayoutEnabled(bool enabled) { backgroundLayoutEnabled_ = enabled; }
    // Whether line heights include the fonts' leading.
    bool usesFontLeading() const { return usesFontLeading_; }
    void setUsesFontLeading(bool uses);

    void invalidateLayout();
    bool hasValidLayout() const { return layoutValid_; }
    void ensureLayoutForCharacterRange(platform::NSRange range);
    void ensureLayoutForTextContainer(TextContainer& container);

    platform::NSUInteger numberOfGlyphs() const;
    platform::NSRange glyphRangeForCharacterRange(platform::NSRange range) const { return range; }
    platform::NSRange characterRangeForGlyphRange(platform::NSRange range) const { return range; }

    // The glyphs laid out in the container; an empty range when it holds none.
    platform::NSRange glyphRangeForTextContainer(TextContainer& container);
    // The union of the used rectangles of the container's lines (and of the extra line
    // fragment when it is there); zero when the container holds nothing.
    platform::CGRect usedRectForTextContainer(TextContainer& container);
    // The line after a final paragraph terminator (or of empty text), where an insertion point
    // would go; zero rectangles and a null container when there is none.
    platform::CGRect extraLineFragmentRect();
    platform::CGRect extraLineFragmentUsedRect();
    TextContainer* extraLineFragmentTextContainer();
    // Calls the block for each line fragment that holds glyphs of the range, in order.
    void enumerateLineFragmentsForGlyphRange(platform::NSRange glyphRange,
                                             const LineFragmentBlock& block);
    platform::CGRect lineFragmentRectForGlyphAtIndex(platform::NSUInteger glyphIndex,
                                                     platform::NSRange* effectiveRange = nullptr);
    platform::CGRect lineFragmentUsedRectForGlyphAtIndex(platform::NSUInteger glyphIndex);
    // Where the glyph sits in its line fragment: x of its origin and y of the baseline, both
    // from the fragment's origin; zero for a glyph that was not laid out.
    platform::CGPoint locationForGlyphAtIndex(platform::NSUInteger glyphIndex);
    // The smallest rectangle that holds the advances of the range's glyphs laid out in the
    // container, each as tall as its line fragment; zero when there are none.
    platform::CGRect boundingRectForGlyphRange(platform::NSRange glyphRange,
                                               TextContainer& container);
    // The container the glyph was laid out in, or null when it did not fit anywhere.
    TextContainer* textContainerForGlyphAtIndex(platform::NSUInteger glyphIndex);
    // The glyphs of the glyph's line fragment hidden by truncation; {NSNotFound, 0} when the
    // line is not truncated.
    platform::NSRange truncatedGlyphRangeInLineFragmentForGlyphAtIndex(
        platform::NSUInteger glyphIndex);
    // What the glyph's line fragment shows: its characters, or for a truncated line the part
    // left standing followed by "…"; empty for a glyph that was not laid out.
    std::u16string displayedStringOfLineFragmentForGlyphAtIndex(platform::NSUInteger glyphIndex);

    // Fills the background-colour attribute's rectangles of the glyphs, the container's origin
    // being at `origin` in the painter's coordinates.
    void drawBackgroundForGlyphRange(platform::NSRange glyphRange, platform::CGPoint origin,
                                     QPainter& painter);
    // Draws the glyphs with their shadows, strokes, fills, underlines and strikethroughs. Stroke
    // joins follow the painter's pen.
    void drawGlyphsForGlyphRange(platform::NSRange glyphRange, platform::CGPoint origin,
                                 QPainter& painter);

    // Writes the settings, then the containers.
    void encode(platform::NSKeyedArchiver& coder) const override;
    static std::shared_ptr<LayoutManager> initWithCoder(platform::NSKeyedUnarchiver& coder);

protected:
    // Reads what `encode` wrote into this (new) manager; false after a failure.
    bool decodeFromCoder(platform::NSKeyedUnarchiver& coder);

private:
    friend class TextStorage;

    struct LineFragment {
        platform::NSRange glyphRange;
        platform::CGRect rect;
        platform::CGRect usedRect;
        TextContainer* container = nullptr;
        std::shared_ptr<detail::TypesetText> text;
        int lineIndex = 0;
    };

    void layOut();
    void placeLines(const std::u16string& characters);
    // Cuts the container's last fragment, which is followed by text that does not fit.
    void truncateLastFragment(std::size_t containerIndex);
    void placeExtraLineFragment(std::size_t containerIndex, platform::CGFloat y);
    const LineFragment* fragmentForGlyph(platform::NSUInteger glyphIndex);
    platform::CGFloat alignedX(const LineFragment& fragment, platform::CGFloat textWidth) const;

    TextStorage* textStorage_ = nullptr;
    std::vector<std::shared_ptr<TextContainer>> textContainers_;
    bool backgroundLayoutEnabled_ = true;
    bool usesFontLeading_ = true;

    bool layoutValid_ = false;
    std::vector<LineFragment> fragments_;
    platform::CGRect extraRect_;
    platform::CGRect extraUsedRect_;
    TextContainer* extraContainer_ = nullptr;
};

}  // namespace calyxware
