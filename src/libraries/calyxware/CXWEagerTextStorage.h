#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "libraries/calyxware/TextStorage.h"

namespace calyxware {

// A text storage that tells its eager layout managers when an edit is over. Its characters live
// in a second, plain storage; this one only counts the depth of editing brackets. An edit that
// starts at depth 0 (an outermost beginEditing, or a change outside any bracket) posts
// "org.Calyxware.EagerTextStorage.willChange"; when the depth is back at 0 every eager manager
// lays out the whole text and "org.Calyxware.EagerTextStorage.didChange" follows, once per
// outermost edit however deeply the brackets nest. Main thread only.
class CXWEagerTextStorage : public TextStorage {
public:
    static constexpr std::string_view className = "CXWEagerTextStorage";
    static constexpr std::string_view superclassName = TextStorage::className;

    CXWEagerTextStorage();
    explicit CXWEagerTextStorage(std::string_view utf8);
    CXWEagerTextStorage(std::string_view utf8, platform::NSAttributeDictionary attributes);
    explicit CXWEagerTextStorage(const platform::NSAttributedString& string);
    ~CXWEagerTextStorage() override;

    bool isEditing() const { return editingCount_ > 0; }

    const std::u16string& string() const override;
    const platform::NSAttributeDictionary& attributesAtIndex(
        platform::NSUInteger index, platform::NSRange* effectiveRange = nullptr) const override;
    void replaceCharactersInRange(platform::NSRange range, std::u16string_view string) override;
    void setAttributes(const platform::NSAttributeDictionary& attributes,
                       platform::NSRange range) override;

    void beginEditing() override;
    void endEditing() override;
    void edited(TextStorageEditActions editedMask, platform::NSRange range,
                std::ptrdiff_t changeInLength) override;

    virtual void willBeginEditing();
    virtual void didEndEditing();
    // Lays out the text in every layout manager that is eager, in order.
    virtual void performFullLayout();

    std::string_view codingClassName() const override { return className; }
    static std::shared_ptr<CXWEagerTextStorage> initWithCoder(platform::NSKeyedUnarchiver& coder);

private:
    std::unique_ptr<TextStorage> backingStore_;
    std::ptrdiff_t editingCount_ = 0;
};

}  // namespace calyxware
