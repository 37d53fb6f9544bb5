#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/Coding.h"
#include "platform/foundation/KeyedArchiver.h"
#include "platform/foundation/KeyedUnarchiver.h"
#include "platform/graphics/NSAttributedString.h"
#include "platform/graphics/NSMutableAttributedString.h"

namespace calyxware {

class LayoutManager;

// What an edit changed; or-ed into the mask handed to `edited`.
using TextStorageEditActions = std::uint32_t;
inline constexpr TextStorageEditActions NSTextStorageEditedAttributes = 1;
inline constexpr TextStorageEditActions NSTextStorageEditedCharacters = 2;

// The attributed text that layout managers lay out. Changes go through two primitives
// (`replaceCharactersInRange`, `setAttributes`), each of which reports itself with `edited`;
// `beginEditing` / `endEditing` brackets (which nest) gather changes so that the layout managers
// hear of them once, when the outermost bracket closes (or at once for a change outside any
// bracket). Subclasses may keep their characters elsewhere by overriding the four primitives.
//
// Storages are owned through shared_ptr (text views hold theirs strongly); a storage owns its
// layout managers. Main thread only.
class TextStorage : public platform::SecureCoded<TextStorage>,
                    public std::enable_shared_from_this<TextStorage> {
public:
    static constexpr std::string_view className = "NSTextStorage";

    TextStorage();
    explicit TextStorage(std::string_view utf8);
    TextStorage(std::string_view utf8, platform::NSAttributeDictionary attributes);
    explicit TextStorage(const platform::NSAttributedString& string);
    ~TextStorage() override;
    TextStorage(const TextStorage&) = delete;
    TextStorage& operator=(const TextStorage&) = delete;

    // The primitives.
    virtual const std::u16string& string() const;
    virtual const platform::NSAttributeDictionary& attributesAtIndex(
        platform::NSUInteger index, platform::NSRange* effectiveRange = nullptr) const;
    virtual void replaceCharactersInRange(platform::NSRange range, std::u16string_view string);
    virtual void setAttributes(const platform::NSAttributeDictionary& attributes,
                               platform::NSRange range);

    platform::NSUInteger length() const { return string().size(); }

    // Editing brackets and change reports.
    virtual void beginEditing();
    virtual void endEditing();
    virtual void edited(TextStorageEditActions editedMask, platform::NSRange range,
                        std::ptrdiff_t changeInLength);
    // What the changes gathered since the last processing amount to.
    TextStorageEditActions editedMask() const { return editedMask_; }
    platform::NSRange editedRange() const { return editedRange_; }
    std::ptrdiff_t changeInLength() const { return changeInLength_; }

    // Layout managers, in the order added; the storage owns them.
    const std::vector<std::shared_ptr<LayoutManager>>& layoutManagers() const {
        return layoutManagers_;
    }
    void addLayoutManager(std::shared_ptr<LayoutManager> manager);
    void removeLayoutManager(LayoutManager& manager);

    // Conveniences over the primitives, each one edit (one bracket).
    platform::NSAttributedString attributedString() const;
    void setAttributedString(const platform::NSAttributedString& string);
    void replaceCharactersInRangeWithAttributedString(platform::NSRange range,
                                                      const platform::NSAttributedString& string);
    void replaceCharactersInRangeWithUTF8(platform::NSRange range, std::string_view utf8);
    void appendAttributedString(const platform::NSAttributedString& string);
    void insertAttributedString(const platform::NSAttributedString& string,
                                platform::NSUInteger index);
    void deleteCharactersInRange(platform::NSRange range);
    void addAttribute(const platform::NSAttributedStringKey& name,
                      const platform::NSAttributeValue& value, platform::NSRange range);
    void addAttributes(const platform::NSAttributeDictionary& attributes, platform::NSRange range);
    void removeAttribute(const platform::NSAttributedStringKey& name, platform::NSRange range);

    // Writes the text and its attributes, then the layout managers with their containers.
    void encode(platform::NSKeyedArchiver& coder) const override;
    static std::shared_ptr<TextStorage> initWithCoder(platform::NSKeyedUnarchiver& coder);

protected:
    // Reads the layout managers written by `encode` and adds them; false after a failure.
    bool decodeLayoutManagers(platform::NSKeyedUnarchiver& coder);

private:
    // Tells the layout managers what changed, then forgets it.
    void processEditing();
    template <typename Edit>
    void editAttributes(platform::NSRange range, Edit&& edit);

    platform::NSMutableAttributedString contents_;
    int editingNesting_ = 0;
    TextStorageEditActions editedMask_ = 0;
    platform::NSRange editedRange_{platform::NSNotFound, 0};
    std::ptrdiff_t changeInLength_ = 0;
    std::vector<std::shared_ptr<LayoutManager>> layoutManagers_;
};

// The keys of text storage archives, shared with the subclasses.
namespace text_storage_keys {
inline constexpr std::string_view attributedString = "attributedString";
inline constexpr std::string_view layoutManagers = "layoutManagers";
}  // namespace text_storage_keys

}  // namespace calyxware
