#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "libraries/calyxware/AutoLayoutTextViewDeserializationError.h"
#include "libraries/calyxware/TextView.h"

namespace calyxware {

class EagerLayoutManager;

// A multi-line text view that a layout can size from its text: its intrinsic size (Qt's size
// hint) is the size of its laid-out text, rounded up, plus the container insets, and is exact as
// soon as an edit returns because the view runs on the eager text system (a CXWEagerTextStorage
// and an EagerLayoutManager). Every full layout invalidates the cached size, which calls
// updateGeometry. The container tracks the view's width; the view never resizes itself.
// Main thread only.
class AutoLayoutTextView : public TextView {
    Q_OBJECT

public:
    using DeserializationError = AutoLayoutTextViewDeserializationError;

    static constexpr std::string_view className = "AutoLayoutTextView";
    static constexpr std::string_view superclassName = TextView::className;

    // A view with a zero frame over its own eager text system.
    explicit AutoLayoutTextView(QWidget* parent = nullptr);
    explicit AutoLayoutTextView(const platform::CGRect& frame, QWidget* parent = nullptr);
    // A container that has a layout manager must have an EagerLayoutManager over (when it has
    // one) a CXWEagerTextStorage; anything else stops the process.
    AutoLayoutTextView(const platform::CGRect& frame, std::shared_ptr<TextContainer> container,
                       QWidget* parent = nullptr);

    // A container of (width, +infinity) tracking the view's width, without padding, in a new
    // eager text system; the returned reference keeps the whole system alive.
    static std::shared_ptr<TextContainer> makeTextContainer(platform::CGFloat width);
    // The view keeps the storage it builds for itself; nothing else owns it.
    static bool stronglyReferencesTextStorage() { return true; }

    platform::CGSize intrinsicContentSize() const override;
    void invalidateIntrinsicContentSize() override;
    // Absolute, not cumulative: the bounds go back to the frame's size before the scale applies.
    void scaleUnitSquareToSize(platform::CGSize size) override;

    // Called by the eager layout manager after each full layout.
    virtual void layoutDidComplete();
    virtual platform::CGSize computeIntrinsicContentSize() const;
    // The width of the union of the used rectangles of the container's lines (and of the extra
    // line fragment when it has a size); 0 without any.
    virtual platform::CGFloat usedTextWidth() const;
    // Frame size over bounds size on each axis; 1 where that is 0 or not finite.
    virtual platform::CGSize unitSquareScale() const;

    // Writes the text view, then marks the archive as one of this class.
    void encode(platform::NSKeyedArchiver& coder) const override;
    std::string_view codingClassName() const override { return className; }
    // An archive of a plain text view gets an eager text system with the same text, attributes,
    // containers and layout manager settings. Failures are handed to the coder as
    // DeserializationError values.
    static std::shared_ptr<AutoLayoutTextView> initWithCoder(platform::NSKeyedUnarchiver& coder);

    // Replaces the container's storage and manager with eager ones, keeping the text and the
    // manager's archived settings. Throws DeserializationError.
    static void rebuildTextSystem(TextContainer& container);
    // The manager, archived and decoded again as an EagerLayoutManager, in its place in the
    // storage and over its containers. Throws DeserializationError.
    static std::shared_ptr<EagerLayoutManager> recreateLayoutManager(LayoutManager& manager);

protected:
    AutoLayoutTextView(DecodingTag tag, QWidget* parent) : TextView(tag, parent) {}
    bool decodeFromCoder(platform::NSKeyedUnarchiver& coder);

private:
    static std::shared_ptr<TextContainer> checkedContainer(
        std::shared_ptr<TextContainer> container);
    void configureSizing();
    bool hasEagerTextSystem() const;

    // Absent until computed, and after every invalidation.
    mutable std::optional<platform::CGSize> intrinsicContentSize_;
};

}  // namespace calyxware
