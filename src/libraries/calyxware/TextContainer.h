#pragma once

#include <memory>
#include <string_view>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/CGGeometry.h"
#include "platform/graphics/NSParagraphStyle.h"

namespace calyxware {

class LayoutManager;
class TextView;

// The region text is laid out in: a rectangle of `size` whose lines are inset by
// `lineFragmentPadding` at both ends. A container belongs to at most one layout manager (which
// owns it) and shows in at most one text view; both links are kept by those objects. A height
// of +infinity means unlimited. Changing the geometry tells the layout manager.
class TextContainer : public platform::SecureCoded<TextContainer>,
                      public std::enable_shared_from_this<TextContainer> {
public:
    static constexpr std::string_view className = "NSTextContainer";
    static constexpr platform::CGFloat defaultLineFragmentPadding = 5;

    explicit TextContainer(platform::CGSize size = {1e7, 1e7});
    ~TextContainer() override;
    TextContainer(const TextContainer&) = delete;
    TextContainer& operator=(const TextContainer&) = delete;

    platform::CGSize size() const { return size_; }
    void setSize(platform::CGSize size);

    // Whether the size follows the text view's bounds (less the view's container inset).
    bool widthTracksTextView() const { return widthTracksTextView_; }
    void setWidthTracksTextView(bool tracks);
    bool heightTracksTextView() const { return heightTracksTextView_; }
    void setHeightTracksTextView(bool tracks);

    platform::CGFloat lineFragmentPadding() const { return lineFragmentPadding_; }
    void setLineFragmentPadding(platform::CGFloat padding);

    // How the last line that fits ends when text is left over: a truncating mode cuts it and
    // ends it in an ellipsis; the other modes leave it as laid out. Other lines wrap as their
    // paragraph style says.
    platform::NSLineBreakMode lineBreakMode() const { return lineBreakMode_; }
    void setLineBreakMode(platform::NSLineBreakMode mode);

    LayoutManager* layoutManager() const { return layoutManager_; }
    TextView* textView() const { return textView_; }
    // Makes the view show this container (or, with null, takes the container from its view).
    void setTextView(TextView* view);

    void encode(platform::NSKeyedArchiver& coder) const override;
    static std::shared_ptr<TextContainer> initWithCoder(platform::NSKeyedUnarchiver& coder);

private:
    friend class LayoutManager;
    friend class TextView;

    void geometryChanged();

    platform::CGSize size_;
    bool widthTracksTextView_ = false;
    bool heightTracksTextView_ = false;
    platform::CGFloat lineFragmentPadding_ = defaultLineFragmentPadding;
    platform::NSLineBreakMode lineBreakMode_ = platform::NSLineBreakByWordWrapping;
    LayoutManager* layoutManager_ = nullptr;
    TextView* textView_ = nullptr;
};

class TextStorage;

// A reference to the container that also keeps `storage` alive. A freshly built text system has
// no owner until a view takes its container (a view holds its storage strongly); this hands
// the system over in one piece.
std::shared_ptr<TextContainer> containerRetainingStorage(std::shared_ptr<TextStorage> storage,
                                                         std::shared_ptr<TextContainer> container);

}  // namespace calyxware
