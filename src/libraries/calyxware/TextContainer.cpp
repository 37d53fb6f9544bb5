#include "libraries/calyxware/TextContainer.h"

#include <cstdint>

#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/LayoutManager.h"
#include "libraries/calyxware/TextStorage.h"
#include "libraries/calyxware/TextView.h"

namespace calyxware {

namespace {

constexpr std::string_view kWidthKey = "width";
constexpr std::string_view kHeightKey = "height";
constexpr std::string_view kWidthTracksKey = "widthTracksTextView";
constexpr std::string_view kHeightTracksKey = "heightTracksTextView";
constexpr std::string_view kPaddingKey = "lineFragmentPadding";
constexpr std::string_view kLineBreakModeKey = "lineBreakMode";

}  // namespace

TextContainer::TextContainer(platform::CGSize size) : size_(size) {}

TextContainer::~TextContainer() = default;

void TextContainer::setSize(platform::CGSize size) {
    if (size == size_) {
        return;
    }
    size_ = size;
    geometryChanged();
}

void TextContainer::setWidthTracksTextView(bool tracks) {
    widthTracksTextView_ = tracks;
    if (tracks && textView_ != nullptr) {
        textView_->updateTextContainerSize();
    }
}

void TextContainer::setHeightTracksTextView(bool tracks) {
    heightTracksTextView_ = tracks;
    if (tracks && textView_ != nullptr) {
        textView_->updateTextContainerSize();
    }
}

void TextContainer::setLineFragmentPadding(platform::CGFloat padding) {
    if (padding == lineFragmentPadding_) {
        return;
    }
    lineFragmentPadding_ = padding;
    geometryChanged();
}

void TextContainer::setLineBreakMode(platform::NSLineBreakMode mode) {
    if (mode == lineBreakMode_) {
        return;
    }
    lineBreakMode_ = mode;
    geometryChanged();
}

void TextContainer::setTextView(TextView* view) {
    if (view != nullptr) {
        view->setTextContainer(shared_from_this());
    } else if (textView_ != nullptr) {
        textView_->setTextContainer(nullptr);
    }
}

void TextContainer::geometryChanged() {
    if (layoutManager_ != nullptr) {
        layoutManager_->textContainerChangedGeometry(*this);
    }
}

void TextContainer::encode(platform::NSKeyedArchiver& coder) const {
    coder.encodeDouble(size_.width, kWidthKey);
    coder.encodeDouble(size_.height, kHeightKey);
    coder.encodeBool(widthTracksTextView_, kWidthTracksKey);
    coder.encodeBool(heightTracksTextView_, kHeightTracksKey);
    coder.encodeDouble(lineFragmentPadding_, kPaddingKey);
    coder.encodeInt64(static_cast<std::int64_t>(lineBreakMode_), kLineBreakModeKey);
}

std::shared_ptr<TextContainer> TextContainer::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    const std::int64_t mode = coder.decodeInt64(kLineBreakModeKey);
    if (mode < 0 || mode > static_cast<std::int64_t>(platform::NSLineBreakByTruncatingMiddle)) {
        failCorruptArchive(coder, "a text container with an unknown line break mode");
        return nullptr;
    }
    auto container = std::make_shared<TextContainer>(
        platform::CGSizeMake(coder.decodeDouble(kWidthKey), coder.decodeDouble(kHeightKey)));
    container->widthTracksTextView_ = coder.decodeBool(kWidthTracksKey);
    container->heightTracksTextView_ = coder.decodeBool(kHeightTracksKey);
    container->lineFragmentPadding_ = coder.containsValue(kPaddingKey)
                                          ? coder.decodeDouble(kPaddingKey)
                                          : defaultLineFragmentPadding;
    container->lineBreakMode_ = static_cast<platform::NSLineBreakMode>(mode);
    return container;
}

std::shared_ptr<TextContainer> containerRetainingStorage(std::shared_ptr<TextStorage> storage,
                                                         std::shared_ptr<TextContainer> container) {
    struct System {
        std::shared_ptr<TextStorage> storage;
        std::shared_ptr<TextContainer> container;
    };
    TextContainer* raw = container.get();
    auto system = std::make_shared<System>(System{std::move(storage), std::move(container)});
    return std::shared_ptr<TextContainer>(std::move(system), raw);
}

}  // namespace calyxware
