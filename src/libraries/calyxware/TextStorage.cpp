#include "libraries/calyxware/TextStorage.h"

#include <algorithm>
#include <utility>

#include "libraries/calyxware/ArchivedAttributedString.h"
#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/LayoutManager.h"
#include "platform/foundation/FatalError.h"

namespace calyxware {

using platform::NSAttributeDictionary;
using platform::NSRange;
using platform::NSUInteger;

TextStorage::TextStorage() = default;

TextStorage::TextStorage(std::string_view utf8) : contents_(utf8) {}

TextStorage::TextStorage(std::string_view utf8, NSAttributeDictionary attributes)
    : contents_(utf8, std::move(attributes)) {}

TextStorage::TextStorage(const platform::NSAttributedString& string) : contents_(string) {}

TextStorage::~TextStorage() {
    for (const auto& manager : layoutManagers_) {
        manager->textStorage_ = nullptr;
    }
}

const std::u16string& TextStorage::string() const {
    return contents_.utf16String();
}

const NSAttributeDictionary& TextStorage::attributesAtIndex(NSUInteger index,
                                                            NSRange* effectiveRange) const {
    return contents_.attributesAtIndex(index, effectiveRange);
}

void TextStorage::replaceCharactersInRange(NSRange range, std::u16string_view string) {
    contents_.replaceCharacters(range, string);
    edited(NSTextStorageEditedCharacters, range,
           static_cast<std::ptrdiff_t>(string.size()) - static_cast<std::ptrdiff_t>(range.length));
}

void TextStorage::setAttributes(const NSAttributeDictionary& attributes, NSRange range) {
    contents_.setAttributes(attributes, range);
    edited(NSTextStorageEditedAttributes, range, 0);
}

void TextStorage::beginEditing() {
    ++editingNesting_;
}

void TextStorage::endEditing() {
    platform::precondition(editingNesting_ > 0, "TextStorage: endEditing without beginEditing");
    if (--editingNesting_ == 0 && editedMask_ != 0) {
        processEditing();
    }
}

void TextStorage::edited(TextStorageEditActions editedMask, NSRange range,
                         std::ptrdiff_t changeInLength) {
    const auto newLength = static_cast<std::ptrdiff_t>(range.length) +
                           ((editedMask & NSTextStorageEditedCharacters) != 0 ? changeInLength : 0);
    const NSRange changed = platform::NSMakeRange(
        range.location, static_cast<NSUInteger>(std::max<std::ptrdiff_t>(0, newLength)));
    if (editedMask_ == 0) {
        editedRange_ = changed;
    } else {
        // Move what was edited before into the text as it is now, then take in this change.
        NSRange previous = editedRange_;
        if (previous.location >= platform::NSMaxRange(range)) {
            previous.location = static_cast<NSUInteger>(std::max<std::ptrdiff_t>(
                0, static_cast<std::ptrdiff_t>(previous.location) + changeInLength));
        } else if (platform::NSMaxRange(previous) > range.location) {
            previous.length = static_cast<NSUInteger>(std::max<std::ptrdiff_t>(
                0, static_cast<std::ptrdiff_t>(previous.length) + changeInLength));
        }
        editedRange_ = platform::NSUnionRange(previous, changed);
    }
    editedMask_ |= editedMask;
    changeInLength_ += changeInLength;
    if (editingNesting_ == 0) {
        processEditing();
    }
}

void TextStorage::processEditing() {
    const TextStorageEditActions mask = editedMask_;
    const NSRange range = editedRange_;
    const std::ptrdiff_t delta = changeInLength_;
    editedMask_ = 0;
    editedRange_ = platform::NSMakeRange(platform::NSNotFound, 0);
    changeInLength_ = 0;
    // A manager may be removed while it is told.
    const auto managers = layoutManagers_;
    for (const auto& manager : managers) {
        manager->processEditingForTextStorage(*this, mask, range, delta);
    }
}

void TextStorage::addLayoutManager(std::shared_ptr<LayoutManager> manager) {
    platform::precondition(manager != nullptr && manager->textStorage() == nullptr,
                           "TextStorage: a layout manager belongs to one text storage");
    layoutManagers_.push_back(manager);
    manager->setTextStorage(this);
}

void TextStorage::removeLayoutManager(LayoutManager& manager) {
    const auto found =
        std::find_if(layoutManagers_.begin(), layoutManagers_.end(),
                     [&manager](const auto& candidate) { return candidate.get() == &manager; });
    if (found == layoutManagers_.end()) {
        return;
    }
    const auto keepAlive = *found;
    layoutManagers_.erase(found);
    manager.setTextStorage(nullptr);
}

platform::NSAttributedString TextStorage::attributedString() const {
    platform::NSMutableAttributedString result(string());
    NSUInteger index = 0;
    while (index < result.length()) {
        NSRange run;
        const NSAttributeDictionary& attributes = attributesAtIndex(index, &run);
        const NSUInteger end = std::min<NSUInteger>(platform::NSMaxRange(run), result.length());
        result.setAttributes(attributes, platform::NSMakeRange(index, end - index));
        index = end;
    }
    return result;
}

void TextStorage::setAttributedString(const platform::NSAttributedString& string) {
    replaceCharactersInRangeWithAttributedString(platform::NSMakeRange(0, length()), string);
}

void TextStorage::replaceCharactersInRangeWithAttributedString(
    NSRange range, const platform::NSAttributedString& string) {
    beginEditing();
    replaceCharactersInRange(range, string.utf16String());
    string.enumerateAttributes(
        platform::NSMakeRange(0, string.length()),
        [this, &range](const NSAttributeDictionary& attributes, NSRange run, bool&) {
            setAttributes(attributes,
                          platform::NSMakeRange(range.location + run.location, run.length));
        });
    endEditing();
}

void TextStorage::replaceCharactersInRangeWithUTF8(NSRange range, std::string_view utf8) {
    replaceCharactersInRange(range, platform::NSAttributedString(utf8).utf16String());
}

void TextStorage::appendAttributedString(const platform::NSAttributedString& string) {
    replaceCharactersInRangeWithAttributedString(platform::NSMakeRange(length(), 0), string);
}

void TextStorage::insertAttributedString(const platform::NSAttributedString& string,
                                         NSUInteger index) {
    replaceCharactersInRangeWithAttributedString(platform::NSMakeRange(index, 0), string);
}

void TextStorage::deleteCharactersInRange(NSRange range) {
    replaceCharactersInRange(range, std::u16string_view());
}

template <typename Edit>
void TextStorage::editAttributes(NSRange range, Edit&& edit) {
    platform::precondition(platform::NSMaxRange(range) <= length(),
                           "TextStorage: attribute range beyond the end of the text");
    beginEditing();
    NSUInteger index = range.location;
    while (index < platform::NSMaxRange(range)) {
        NSRange run;
        NSAttributeDictionary attributes = attributesAtIndex(index, &run);
        const NSUInteger end = std::min(platform::NSMaxRange(run), platform::NSMaxRange(range));
        edit(attributes);
        setAttributes(attributes, platform::NSMakeRange(index, end - index));
        index = end;
    }
    endEditing();
}

void TextStorage::addAttribute(const platform::NSAttributedStringKey& name,
                               const platform::NSAttributeValue& value, NSRange range) {
    editAttributes(range, [&](NSAttributeDictionary& attributes) {
        attributes.insert_or_assign(name, value);
    });
}

void TextStorage::addAttributes(const NSAttributeDictionary& added, NSRange range) {
    editAttributes(range, [&](NSAttributeDictionary& attributes) {
        for (const auto& [name, value] : added) {
            attributes.insert_or_assign(name, value);
        }
    });
}

void TextStorage::removeAttribute(const platform::NSAttributedStringKey& name, NSRange range) {
    editAttributes(range, [&](NSAttributeDictionary& attributes) { attributes.erase(name); });
}

void TextStorage::encode(platform::NSKeyedArchiver& coder) const {
    encodeAttributedString(coder, attributedString(), text_storage_keys::attributedString);
    coder.encodeArrayOfObjects(layoutManagers_, text_storage_keys::layoutManagers);
}

bool TextStorage::decodeLayoutManagers(platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    if (!coder.containsValue(text_storage_keys::layoutManagers)) {
        return coder.error() == nullptr;
    }
    auto managers = coder.decodeArrayOfObjects<LayoutManager>(text_storage_keys::layoutManagers);
    if (!managers) {
        failCorruptArchive(coder, "a text storage with malformed layout managers");
        return false;
    }
    for (auto& manager : *managers) {
        addLayoutManager(std::move(manager));
    }
    return coder.error() == nullptr;
}

std::shared_ptr<TextStorage> TextStorage::initWithCoder(platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    auto string = decodeAttributedString(coder, text_storage_keys::attributedString);
    if (!string) {
        failCorruptArchive(coder, "a text storage without its text");
        return nullptr;
    }
    auto storage = std::make_shared<TextStorage>(*string);
    return storage->decodeLayoutManagers(coder) ? storage : nullptr;
}

}  // namespace calyxware
