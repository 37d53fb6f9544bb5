#include "libraries/calyxware/AutoLayoutTextView.h"

#include <cmath>
#include <limits>

#include "libraries/calyxware/CXWEagerTextStorage.h"
#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/EagerLayoutManager.h"
#include "libraries/calyxware/TextContainer.h"
#include "platform/foundation/FatalError.h"

namespace calyxware {

namespace {

using platform::CGFloat;
using platform::CGSize;

constexpr std::string_view kIsAutoLayoutTextViewKey =
    "org.Calyxware.AutoLayoutTextView.isAutoLayoutTextView";
constexpr CGFloat kInfinity = std::numeric_limits<CGFloat>::infinity();

CGFloat scaleRatio(CGFloat frame, CGFloat bounds) {
    const CGFloat ratio = frame / bounds;
    return ratio == 0 || !std::isfinite(ratio) ? 1 : ratio;
}

// Writes an object under another class name, so that decoding makes an object of that class
// from the same keys.
class ArchivedUnderClassName final : public platform::NSSecureCoding {
public:
    ArchivedUnderClassName(const platform::NSSecureCoding& object, std::string_view className)
        : object_(object), className_(className) {}
    void encode(platform::NSKeyedArchiver& coder) const override { object_.encode(coder); }
    std::string_view codingClassName() const override { return className_; }

private:
    const platform::NSSecureCoding& object_;
    std::string_view className_;
};

}  // namespace

AutoLayoutTextView::AutoLayoutTextView(QWidget* parent)
    : AutoLayoutTextView(platform::CGRectZero, parent) {}

AutoLayoutTextView::AutoLayoutTextView(const platform::CGRect& frame, QWidget* parent)
    : AutoLayoutTextView(frame, makeTextContainer(frame.size.width), parent) {}

AutoLayoutTextView::AutoLayoutTextView(const platform::CGRect& frame,
                                       std::shared_ptr<TextContainer> container, QWidget* parent)
    : TextView(frame, checkedContainer(std::move(container)), parent) {
    intrinsicContentSize_.reset();
    configureSizing();
}

std::shared_ptr<TextContainer> AutoLayoutTextView::checkedContainer(
    std::shared_ptr<TextContainer> container) {
    if (container != nullptr && container->layoutManager() != nullptr) {
        LayoutManager* manager = container->layoutManager();
        platform::precondition(dynamic_cast<EagerLayoutManager*>(manager) != nullptr,
                               "AutoLayoutTextView needs an EagerLayoutManager");
        platform::precondition(
            manager->textStorage() == nullptr ||
                dynamic_cast<CXWEagerTextStorage*>(manager->textStorage()) != nullptr,
            "AutoLayoutTextView needs a CXWEagerTextStorage");
    }
    return container;
}

void AutoLayoutTextView::configureSizing() {
    setMinSize(platform::CGSizeMake(0, 0));
    setMaxSize(platform::CGSizeMake(kInfinity, kInfinity));
    setHorizontallyResizable(false);
    setVerticallyResizable(false);
}

std::shared_ptr<TextContainer> AutoLayoutTextView::makeTextContainer(CGFloat width) {
    auto container = std::make_shared<TextContainer>(platform::CGSizeMake(width, kInfinity));
    container->setWidthTracksTextView(true);
    container->setHeightTracksTextView(false);
    container->setLineFragmentPadding(0);
    auto storage = std::make_shared<CXWEagerTextStorage>();
    auto manager = std::make_shared<EagerLayoutManager>();
    storage->addLayoutManager(manager);
    manager->addTextContainer(container);
    return containerRetainingStorage(std::move(storage), std::move(container));
}

CGSize AutoLayoutTextView::intrinsicContentSize() const {
    if (!intrinsicContentSize_) {
        intrinsicContentSize_ = computeIntrinsicContentSize();
    }
    return *intrinsicContentSize_;
}

void AutoLayoutTextView::invalidateIntrinsicContentSize() {
    intrinsicContentSize_.reset();
    TextView::invalidateIntrinsicContentSize();
}

void AutoLayoutTextView::scaleUnitSquareToSize(CGSize size) {
    setBoundsSize(frame().size);
    TextView::scaleUnitSquareToSize(size);
}

void AutoLayoutTextView::layoutDidComplete() {
    invalidateIntrinsicContentSize();
}

CGSize AutoLayoutTextView::computeIntrinsicContentSize() const {
    LayoutManager* manager = layoutManager();
    TextContainer* container = textContainer();
    if (manager == nullptr || container == nullptr) {
        return platform::CGSizeMake(NSViewNoIntrinsicMetric, NSViewNoIntrinsicMetric);
    }
    const CGFloat usedHeight = manager->usedRectForTextContainer(*container).height();
    const CGFloat usedWidth = usedTextWidth();
    const CGSize scale = unitSquareScale();
    const CGSize inset = textContainerInset();
    return platform::CGSizeMake(std::ceil(scale.width * (usedWidth + 2 * inset.width)),
                                std::ceil(scale.height * (usedHeight + 2 * inset.height)));
}

CGFloat AutoLayoutTextView::usedTextWidth() const {
    LayoutManager* manager = layoutManager();
    TextContainer* container = textContainer();
    if (manager == nullptr || container == nullptr) {
        return NSViewNoIntrinsicMetric;
    }
    std::optional<platform::CGRect> used;
    const platform::CGRect extra = manager->extraLineFragmentUsedRect();
    if (extra.size.width != 0 || extra.size.height != 0) {
        used = extra;
    }
    manager->enumerateLineFragmentsForGlyphRange(
        manager->glyphRangeForTextContainer(*container),
        [&used](const platform::CGRect&, const platform::CGRect& usedRect, TextContainer&,
                platform::NSRange, bool&) { used = used ? used->unionWith(usedRect) : usedRect; });
    return used ? used->width() : 0;
}

CGSize AutoLayoutTextView::unitSquareScale() const {
    const platform::CGRect frame = this->frame();
    const platform::CGRect bounds = this->bounds();
    return platform::CGSizeMake(scaleRatio(frame.size.width, bounds.size.width),
                                scaleRatio(frame.size.height, bounds.size.height));
}

void AutoLayoutTextView::encode(platform::NSKeyedArchiver& coder) const {
    TextView::encode(coder);
    coder.encodeBool(true, kIsAutoLayoutTextViewKey);
}

bool AutoLayoutTextView::hasEagerTextSystem() const {
    LayoutManager* manager = layoutManager();
    if (textContainer() == nullptr || manager == nullptr) {
        return true;
    }
    return dynamic_cast<EagerLayoutManager*>(manager) != nullptr &&
           (manager->textStorage() == nullptr ||
            dynamic_cast<CXWEagerTextStorage*>(manager->textStorage()) != nullptr);
}

bool AutoLayoutTextView::decodeFromCoder(platform::NSKeyedUnarchiver& coder) {
    intrinsicContentSize_.reset();
    if (!TextView::decodeFromCoder(coder)) {
        return false;
    }
    if (!coder.decodeBool(kIsAutoLayoutTextViewKey)) {
        // A plain text view's archive, such as an interface file: give it the eager system.
        if (TextContainer* container = textContainer()) {
            try {
                rebuildTextSystem(*container);
            } catch (const DeserializationError& error) {
                coder.failWithError(error.nsError());
                return false;
            }
        } else {
            makeTextContainer(frame().size.width)->setTextView(this);
            configureSizing();
        }
    }
    if (!hasEagerTextSystem()) {
        coder.failWithError(DeserializationError::incorrectTextComponentTypes().nsError());
        return false;
    }
    return true;
}

std::shared_ptr<AutoLayoutTextView> AutoLayoutTextView::initWithCoder(
    platform::NSKeyedUnarchiver& coder) {
    std::shared_ptr<AutoLayoutTextView> view(new AutoLayoutTextView(DecodingTag{}, nullptr));
    return view->decodeFromCoder(coder) ? view : nullptr;
}

void AutoLayoutTextView::rebuildTextSystem(TextContainer& container) {
    LayoutManager* oldManager = container.layoutManager();
    TextStorage* oldStorage = oldManager != nullptr ? oldManager->textStorage() : nullptr;
    auto storage = oldStorage != nullptr
                       ? std::make_shared<CXWEagerTextStorage>(oldStorage->attributedString())
                       : std::make_shared<CXWEagerTextStorage>();
    if (oldManager != nullptr) {
        oldManager->replaceTextStorage(storage);
        recreateLayoutManager(*oldManager);
    } else {
        auto manager = std::make_shared<EagerLayoutManager>();
        storage->addLayoutManager(manager);
        manager->addTextContainer(container.shared_from_this());
    }
}

std::shared_ptr<EagerLayoutManager> AutoLayoutTextView::recreateLayoutManager(
    LayoutManager& manager) {
    // The old manager leaves the system; hold it (and the storage it leaves) for the duration.
    const auto keepManager = manager.weak_from_this().lock();
    const std::vector<std::shared_ptr<TextContainer>> containers = manager.textContainers();
    for (std::size_t index = containers.size(); index-- > 0;) {
        manager.removeTextContainerAtIndex(index);
    }
    TextStorage* storage = manager.textStorage();
    const auto keepStorage = storage != nullptr ? storage->weak_from_this().lock() : nullptr;
    if (storage != nullptr) {
        storage->removeLayoutManager(manager);
    }
    try {
        const std::vector<std::uint8_t> data = platform::NSKeyedArchiver::archivedData(
            ArchivedUnderClassName(manager, EagerLayoutManager::className), false);
        platform::NSKeyedUnarchiver unarchiver(data);
        struct FinishDecoding {
            platform::NSKeyedUnarchiver& unarchiver;
            ~FinishDecoding() { unarchiver.finishDecoding(); }
        } finish{unarchiver};
        unarchiver.setRequiresSecureCoding(false);
        auto decoded = unarchiver.decodeObjectOfClass<EagerLayoutManager>(
            platform::NSKeyedArchiveRootObjectKey);
        if (const auto error = unarchiver.error()) {
            throw platform::NSError(*error);
        }
        if (decoded == nullptr) {
            throw DeserializationError::failedToRecreateLayoutManager(nullptr);
        }
        if (storage != nullptr) {
            storage->addLayoutManager(decoded);
        }
        for (const auto& container : containers) {
            decoded->addTextContainer(container);
        }
        return decoded;
    } catch (...) {
        throw DeserializationError::failedToRecreateLayoutManager(platform::currentError());
    }
}

}  // namespace calyxware
