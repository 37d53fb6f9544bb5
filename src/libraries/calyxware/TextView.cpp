#include "libraries/calyxware/TextView.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "libraries/calyxware/ArchivedColor.h"
#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/QtConversions.h"
#include "libraries/calyxware/TextContainer.h"
#include "libraries/calyxware/TextStorage.h"
#include "libraries/calyxware/ViewCoding.h"

namespace calyxware {

namespace {

using platform::CGFloat;
using platform::CGSize;

constexpr std::string_view kBoundsWidthKey = "boundsWidth";
constexpr std::string_view kBoundsHeightKey = "boundsHeight";
constexpr std::string_view kInsetWidthKey = "insetWidth";
constexpr std::string_view kInsetHeightKey = "insetHeight";
constexpr std::string_view kMinWidthKey = "minWidth";
constexpr std::string_view kMinHeightKey = "minHeight";
constexpr std::string_view kMaxWidthKey = "maxWidth";
constexpr std::string_view kMaxHeightKey = "maxHeight";
constexpr std::string_view kHorizontallyResizableKey = "horizontallyResizable";
constexpr std::string_view kVerticallyResizableKey = "verticallyResizable";
constexpr std::string_view kDrawsBackgroundKey = "drawsBackground";
constexpr std::string_view kBackgroundColorKey = "backgroundColor";
constexpr std::string_view kEditableKey = "editable";
constexpr std::string_view kSelectableKey = "selectable";
constexpr std::string_view kTextStorageKey = "textStorage";
constexpr std::string_view kLayoutManagerIndexKey = "layoutManagerIndex";
constexpr std::string_view kTextContainerIndexKey = "textContainerIndex";
constexpr std::string_view kTextContainerKey = "textContainer";

constexpr CGFloat kLargeExtent = 1e7;

std::shared_ptr<TextContainer> makePlainTextSystem(CGFloat width) {
    auto storage = std::make_shared<TextStorage>();
    auto manager = std::make_shared<LayoutManager>();
    storage->addLayoutManager(manager);
    auto container = std::make_shared<TextContainer>(platform::CGSizeMake(width, kLargeExtent));
    container->setWidthTracksTextView(true);
    manager->addTextContainer(container);
    return containerRetainingStorage(std::move(storage), std::move(container));
}

// Keeps the scale of an axis when its frame extent changes.
CGFloat scaledBoundsExtent(CGFloat oldFrame, CGFloat oldBounds, CGFloat newFrame) {
    if (oldFrame == 0 || oldBounds == 0 || !std::isfinite(oldFrame) || !std::isfinite(oldBounds)) {
        return newFrame;
    }
    return newFrame * (oldBounds / oldFrame);
}

CGFloat drawingScale(CGFloat frame, CGFloat bounds) {
    const CGFloat ratio = frame / bounds;
    return std::isfinite(ratio) && ratio != 0 ? ratio : 1;
}

template <typename Item>
std::optional<std::size_t> indexOf(const std::vector<std::shared_ptr<Item>>& items,
                                   const Item* item) {
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].get() == item) {
            return i;
        }
    }
    return std::nullopt;
}

}  // namespace

TextView::TextView(QWidget* parent) : TextView(platform::CGRectZero, parent) {}

TextView::TextView(const platform::CGRect& frame, QWidget* parent)
    : TextView(DecodingTag{}, parent) {
    applyFrame(frame);
    setTextContainer(makePlainTextSystem(frame.size.width));
    updateEventHandling();
}

TextView::TextView(const platform::CGRect& frame, std::shared_ptr<TextContainer> container,
                   QWidget* parent)
    : TextView(DecodingTag{}, parent) {
    applyFrame(frame);
    setTextContainer(std::move(container));
    updateEventHandling();
}

TextView::TextView(DecodingTag, QWidget* parent)
    : QWidget(parent), maxSize_(platform::CGSizeMake(kLargeExtent, kLargeExtent)) {
    registerCalyxwareCodingClasses();
}

TextView::~TextView() {
    if (textContainer_ != nullptr && textContainer_->textView_ == this) {
        textContainer_->textView_ = nullptr;
    }
}

void TextView::setTextContainer(std::shared_ptr<TextContainer> container) {
    if (container == textContainer_) {
        return;
    }
    if (textContainer_ != nullptr) {
        textContainer_->textView_ = nullptr;
    }
    if (container != nullptr && container->textView_ != nullptr) {
        // A container shows in one view: the view it leaves keeps no container.
        TextView* previous = container->textView_;
        previous->textContainer_.reset();
        previous->retainedTextStorage_.reset();
        previous->update();
    }
    // Hold the old system until the new one is in place: it may own the new container.
    const auto oldContainer = std::move(textContainer_);
    const auto oldStorage = std::move(retainedTextStorage_);
    textContainer_ = std::move(container);
    if (textContainer_ != nullptr) {
        textContainer_->textView_ = this;
    }
    retainTextStorage();
    updateTextContainerSize();
    invalidateIntrinsicContentSize();
    update();
}

LayoutManager* TextView::layoutManager() const {
    return textContainer_ != nullptr ? textContainer_->layoutManager() : nullptr;
}

TextStorage* TextView::textStorage() const {
    LayoutManager* manager = layoutManager();
    return manager != nullptr ? manager->textStorage() : nullptr;
}

void TextView::retainTextStorage() {
    TextStorage* storage = textStorage();
    retainedTextStorage_ = storage != nullptr ? storage->weak_from_this().lock() : nullptr;
}

void TextView::updateTextContainerSize() {
    if (textContainer_ == nullptr) {
        return;
    }
    CGSize size = textContainer_->size();
    if (textContainer_->widthTracksTextView()) {
        size.width = std::max(0.0, boundsSize_.width - 2 * textContainerInset_.width);
    }
    if (textContainer_->heightTracksTextView()) {
        size.height = std::max(0.0, boundsSize_.height - 2 * textContainerInset_.height);
    }
    textContainer_->setSize(size);
}

void TextView::applyFrame(const platform::CGRect& frame) {
    const platform::CGRect old = frame_;
    frame_ = frame;
    boundsSize_ = platform::CGSizeMake(
        scaledBoundsExtent(old.size.width, boundsSize_.width, frame.size.width),
        scaledBoundsExtent(old.size.height, boundsSize_.height, frame.size.height));
    applyingFrame_ = true;
    setGeometry(widgetGeometry(frame));
    applyingFrame_ = false;
}

void TextView::setFrame(const platform::CGRect& frame) {
    applyFrame(frame);
    updateTextContainerSize();
    update();
}

void TextView::setFrameSize(CGSize size) {
    setFrame({frame_.origin, size});
}

void TextView::setFrameOrigin(platform::CGPoint origin) {
    setFrame({origin, frame_.size});
}

void TextView::setBoundsSize(CGSize size) {
    boundsSize_ = size;
    updateTextContainerSize();
    update();
}

void TextView::scaleUnitSquareToSize(CGSize size) {
    setBoundsSize(
        platform::CGSizeMake(boundsSize_.width / size.width, boundsSize_.height / size.height));
}

void TextView::setTextContainerInset(CGSize inset) {
    textContainerInset_ = inset;
    updateTextContainerSize();
    invalidateIntrinsicContentSize();
    update();
}

platform::CGPoint TextView::textContainerOrigin() const {
    return platform::CGPointMake(textContainerInset_.width, textContainerInset_.height);
}

void TextView::setDrawsBackground(bool draws) {
    drawsBackground_ = draws;
    update();
}

void TextView::setBackgroundColor(const platform::NSColor& color) {
    backgroundColor_ = color;
    update();
}

void TextView::setEditable(bool editable) {
    editable_ = editable;
    updateEventHandling();
}

void TextView::setSelectable(bool selectable) {
    selectable_ = selectable;
    if (!selectable) {
        selectedRange_ = platform::NSMakeRange(selectedRange_.location, 0);
    }
    updateEventHandling();
}

QWidget* TextView::hitTest(platform::CGPoint point) {
    return frame_.contains(point) ? this : nullptr;
}

void TextView::updateEventHandling() {
    setAttribute(Qt::WA_TransparentForMouseEvents, !receivesMouseEvents());
    setFocusPolicy(acceptsFirstResponder() ? Qt::ClickFocus : Qt::NoFocus);
}

platform::CGSize TextView::intrinsicContentSize() const {
    return platform::CGSizeMake(NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric);
}

void TextView::invalidateIntrinsicContentSize() {
    updateGeometry();
}

platform::CGSize TextView::fittingSize() const {
    const CGSize size = intrinsicContentSize();
    return platform::CGSizeMake(std::max(0.0, size.width), std::max(0.0, size.height));
}

QSize TextView::sizeHint() const {
    const CGSize size = intrinsicContentSize();
    const auto extent = [](CGFloat value) {
        return value < 0 || !std::isfinite(value)
                   ? -1
                   : static_cast<int>(std::ceil(std::min(value, 1e7)));
    };
    return QSize(extent(size.width), extent(size.height));
}

void TextView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const platform::CGRect bounds = this->bounds();
    painter.scale(drawingScale(frame_.size.width, bounds.size.width),
                  drawingScale(frame_.size.height, bounds.size.height));
    if (drawsBackground()) {
        painter.fillRect(QRectF(0, 0, bounds.size.width, bounds.size.height),
                         toQColor(backgroundColor_));
    }
    LayoutManager* manager = layoutManager();
    if (manager == nullptr) {
        return;
    }
    const platform::NSRange glyphs = manager->glyphRangeForTextContainer(*textContainer_);
    manager->drawBackgroundForGlyphRange(glyphs, textContainerOrigin(), painter);
    manager->drawGlyphsForGlyphRange(glyphs, textContainerOrigin(), painter);
}

void TextView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // A Qt layout resized the widget: its geometry becomes the frame.
    if (!applyingFrame_ && geometry() != widgetGeometry(frame_)) {
        setFrame(frameOfWidget(*this));
    }
}

void TextView::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (!applyingFrame_ && geometry() != widgetGeometry(frame_)) {
        setFrame(frameOfWidget(*this));
    }
}

void TextView::focusOutEvent(QFocusEvent* event) {
    resignFirstResponder();
    QWidget::focusOutEvent(event);
}

void TextView::encode(platform::NSKeyedArchiver& coder) const {
    encodeViewFrame(coder, frame_, isHidden());
    coder.encodeDouble(boundsSize_.width, kBoundsWidthKey);
    coder.encodeDouble(boundsSize_.height, kBoundsHeightKey);
    coder.encodeDouble(textContainerInset_.width, kInsetWidthKey);
    coder.encodeDouble(textContainerInset_.height, kInsetHeightKey);
    coder.encodeDouble(minSize_.width, kMinWidthKey);
    coder.encodeDouble(minSize_.height, kMinHeightKey);
    coder.encodeDouble(maxSize_.width, kMaxWidthKey);
    coder.encodeDouble(maxSize_.height, kMaxHeightKey);
    coder.encodeBool(horizontallyResizable_, kHorizontallyResizableKey);
    coder.encodeBool(verticallyResizable_, kVerticallyResizableKey);
    coder.encodeBool(drawsBackground_, kDrawsBackgroundKey);
    encodeColor(coder, backgroundColor_, kBackgroundColorKey);
    coder.encodeBool(editable_, kEditableKey);
    coder.encodeBool(selectable_, kSelectableKey);
    if (textContainer_ == nullptr) {
        return;
    }
    // The archive is a tree: the storage holds its managers, each its containers. A container
    // that is not part of a whole system is written on its own.
    LayoutManager* manager = textContainer_->layoutManager();
    TextStorage* storage = manager != nullptr ? manager->textStorage() : nullptr;
    const auto managerIndex =
        storage != nullptr ? indexOf(storage->layoutManagers(), manager) : std::nullopt;
    const auto containerIndex = manager != nullptr
                                    ? indexOf(manager->textContainers(), textContainer_.get())
                                    : std::nullopt;
    if (managerIndex && containerIndex) {
        coder.encodeObject(*storage, kTextStorageKey);
        coder.encodeInt64(static_cast<std::int64_t>(*managerIndex), kLayoutManagerIndexKey);
        coder.encodeInt64(static_cast<std::int64_t>(*containerIndex), kTextContainerIndexKey);
    } else {
        coder.encodeObject(*textContainer_, kTextContainerKey);
    }
}

bool TextView::decodeFromCoder(platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    const DecodedViewFrame decodedFrame = decodeViewFrame(coder);
    applyFrame(decodedFrame.frame);
    setHidden(decodedFrame.hidden);
    if (coder.containsValue(kBoundsWidthKey)) {
        boundsSize_ = platform::CGSizeMake(coder.decodeDouble(kBoundsWidthKey),
                                           coder.decodeDouble(kBoundsHeightKey));
    }
    textContainerInset_ = platform::CGSizeMake(coder.decodeDouble(kInsetWidthKey),
                                               coder.decodeDouble(kInsetHeightKey));
    minSize_ =
        platform::CGSizeMake(coder.decodeDouble(kMinWidthKey), coder.decodeDouble(kMinHeightKey));
    if (coder.containsValue(kMaxWidthKey)) {
        maxSize_ = platform::CGSizeMake(coder.decodeDouble(kMaxWidthKey),
                                        coder.decodeDouble(kMaxHeightKey));
    }
    horizontallyResizable_ = coder.decodeBool(kHorizontallyResizableKey);
    verticallyResizable_ = coder.containsValue(kVerticallyResizableKey)
                               ? coder.decodeBool(kVerticallyResizableKey)
                               : verticallyResizable_;
    drawsBackground_ = coder.containsValue(kDrawsBackgroundKey)
                           ? coder.decodeBool(kDrawsBackgroundKey)
                           : drawsBackground_;
    backgroundColor_ = decodeColor(coder, kBackgroundColorKey).value_or(backgroundColor_);
    editable_ = coder.containsValue(kEditableKey) ? coder.decodeBool(kEditableKey) : editable_;
    selectable_ =
        coder.containsValue(kSelectableKey) ? coder.decodeBool(kSelectableKey) : selectable_;

    std::shared_ptr<TextContainer> container;
    std::shared_ptr<TextStorage> storage;
    if (coder.containsValue(kTextStorageKey)) {
        storage = coder.decodeObjectOfClass<TextStorage>(kTextStorageKey);
        if (storage == nullptr) {
            if (coder.error() == nullptr) {
                failCorruptArchive(coder, "a text view with a malformed text storage");
            }
            return false;
        }
        const std::int64_t managerIndex = coder.decodeInt64(kLayoutManagerIndexKey);
        const std::int64_t containerIndex = coder.decodeInt64(kTextContainerIndexKey);
        const auto& managers = storage->layoutManagers();
        if (managerIndex < 0 || static_cast<std::size_t>(managerIndex) >= managers.size() ||
            containerIndex < 0 ||
            static_cast<std::size_t>(containerIndex) >=
                managers[static_cast<std::size_t>(managerIndex)]->textContainers().size()) {
            failCorruptArchive(coder, "a text view whose text container is not in its archive");
            return false;
        }
        container = managers[static_cast<std::size_t>(managerIndex)]
                        ->textContainers()[static_cast<std::size_t>(containerIndex)];
    } else if (coder.containsValue(kTextContainerKey)) {
        container = coder.decodeObjectOfClass<TextContainer>(kTextContainerKey);
        if (container == nullptr) {
            if (coder.error() == nullptr) {
                failCorruptArchive(coder, "a text view with a malformed text container");
            }
            return false;
        }
    }
    setTextContainer(std::move(container));
    updateEventHandling();
    return coder.error() == nullptr;
}

std::shared_ptr<TextView> TextView::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    std::shared_ptr<TextView> view(new TextView(DecodingTag{}, nullptr));
    return view->decodeFromCoder(coder) ? view : nullptr;
}

}  // namespace calyxware
