#pragma once

#include <QWidget>
#include <memory>
#include <string_view>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSColor.h"
#include "platform/graphics/NSRange.h"

namespace calyxware {

class LayoutManager;
class TextContainer;
class TextStorage;

// "No intrinsic size on this axis"; as a Qt size hint it is an invalid (negative) extent.
inline constexpr platform::CGFloat NSViewNoIntrinsicMetric = -1;

// A view that shows the text of its text container: it draws the container's glyphs (and,
// when asked, a background) inside `textContainerInset`, and keeps the container as wide and/or
// as tall as itself where the container tracks it. The view holds its container and its text
// storage strongly, so a text system built for it lives as long as it does.
//
// Like the desktop's views it has a frame (in the parent's coordinates, fractional: the widget's
// geometry is its rounding) and a bounds rectangle, its own coordinate system: scaling the unit
// square makes the bounds smaller than the frame and draws everything larger. The view does not
// edit text interactively; `editable` and the selection are kept for subclasses and clients.
// Main thread only.
class TextView : public QWidget, public platform::NSSecureCoding {
    Q_OBJECT

public:
    static constexpr std::string_view className = "NSTextView";

    // A view over a new plain text system (storage, layout manager, container).
    explicit TextView(QWidget* parent = nullptr);
    explicit TextView(const platform::CGRect& frame, QWidget* parent = nullptr);
    // A view over the given container (none: a view without text system).
    TextView(const platform::CGRect& frame, std::shared_ptr<TextContainer> container,
             QWidget* parent = nullptr);
    ~TextView() override;

    TextContainer* textContainer() const { return textContainer_.get(); }
    void setTextContainer(std::shared_ptr<TextContainer> container);
    LayoutManager* layoutManager() const;
    TextStorage* textStorage() const;

    platform::CGRect frame() const { return frame_; }
    void setFrame(const platform::CGRect& frame);
    void setFrameSize(platform::CGSize size);
    void setFrameOrigin(platform::CGPoint origin);
    platform::CGRect bounds() const { return {{0, 0}, boundsSize_}; }
    void setBoundsSize(platform::CGSize size);
    // Divides the bounds size by `size`, so that one unit is drawn `size` points large.
    virtual void scaleUnitSquareToSize(platform::CGSize size);

    platform::CGSize textContainerInset() const { return textContainerInset_; }
    void setTextContainerInset(platform::CGSize inset);
    platform::CGPoint textContainerOrigin() const;

    platform::CGSize minSize() const { return minSize_; }
    void setMinSize(platform::CGSize size) { minSize_ = size; }
    platform::CGSize maxSize() const { return maxSize_; }
    void setMaxSize(platform::CGSize size) { maxSize_ = size; }
    bool isHorizontallyResizable() const { return horizontallyResizable_; }
    void setHorizontallyResizable(bool resizable) { horizontallyResizable_ = resizable; }
    bool isVerticallyResizable() const { return verticallyResizable_; }
    void setVerticallyResizable(bool resizable) { verticallyResizable_ = resizable; }

    virtual bool drawsBackground() const { return drawsBackground_; }
    virtual void setDrawsBackground(bool draws);
    platform::NSColor backgroundColor() const { return backgroundColor_; }
    void setBackgroundColor(const platform::NSColor& color);
    virtual bool allowsVibrancy() const { return false; }

    virtual bool isEditable() const { return editable_; }
    virtual void setEditable(bool editable);
    virtual bool isSelectable() const { return selectable_; }
    virtual void setSelectable(bool selectable);
    platform::NSRange selectedRange() const { return selectedRange_; }
    void setSelectedRange(platform::NSRange range) { selectedRange_ = range; }

    // The view that a click at `point` (in the parent's coordinates) reaches: this view when
    // the point is inside its frame, else none.
    virtual QWidget* hitTest(platform::CGPoint point);
    virtual bool acceptsFirstResponder() const { return isEditable() || isSelectable(); }
    // Called when the view loses keyboard focus; false refuses (Qt moves focus regardless).
    virtual bool resignFirstResponder() { return true; }

    // The size the view asks for in a layout; none on either axis here.
    virtual platform::CGSize intrinsicContentSize() const;
    virtual void invalidateIntrinsicContentSize();
    // The intrinsic size with "none" as 0.
    platform::CGSize fittingSize() const;
    QSize sizeHint() const override;

    // Writes the frame, the bounds, the view's settings and its text system (the storage with
    // its managers and containers, and which container is the view's).
    void encode(platform::NSKeyedArchiver& coder) const override;
    std::string_view codingClassName() const override { return className; }
    static std::shared_ptr<TextView> initWithCoder(platform::NSKeyedUnarchiver& coder);

    // For the text system: take a strong reference to the current storage; resize the container
    // where it tracks the view.
    void retainTextStorage();
    void updateTextContainerSize();

protected:
    struct DecodingTag {};
    // The defaults only, without text system; decodeFromCoder fills the view in.
    TextView(DecodingTag, QWidget* parent);
    // Reads what `encode` wrote; false after a failure (recorded on the coder).
    bool decodeFromCoder(platform::NSKeyedUnarchiver& coder);

    // Whether clicks reach the view at all; Qt cannot ask hitTest point by point, so the answer
    // also makes the widget transparent for the mouse.
    virtual bool receivesMouseEvents() const { return true; }
    // Applies receivesMouseEvents and acceptsFirstResponder to the widget.
    void updateEventHandling();

    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void moveEvent(QMoveEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void applyFrame(const platform::CGRect& frame);

    std::shared_ptr<TextContainer> textContainer_;
    std::shared_ptr<TextStorage> retainedTextStorage_;
    platform::CGRect frame_;
    platform::CGSize boundsSize_;
    platform::CGSize textContainerInset_;
    platform::CGSize minSize_;
    platform::CGSize maxSize_;
    bool horizontallyResizable_ = false;
    bool verticallyResizable_ = true;
    bool drawsBackground_ = true;
    platform::NSColor backgroundColor_ = platform::NSColor::whiteColor();
    bool editable_ = true;
    bool selectable_ = true;
    platform::NSRange selectedRange_;
    bool applyingFrame_ = false;
};

}  // namespace calyxware
