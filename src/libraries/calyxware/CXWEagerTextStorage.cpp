#include "libraries/calyxware/CXWEagerTextStorage.h"

#include "libraries/calyxware/ArchivedAttributedString.h"
#include "libraries/calyxware/CXWEagerLayoutManaging.h"
#include "libraries/calyxware/CalyxwareNotifications.h"
#include "libraries/calyxware/CodingSupport.h"
#include "libraries/calyxware/LayoutManager.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/NotificationCenter.h"

namespace calyxware {

using platform::NSAttributeDictionary;
using platform::NSRange;

CXWEagerTextStorage::CXWEagerTextStorage() : backingStore_(std::make_unique<TextStorage>()) {}

CXWEagerTextStorage::CXWEagerTextStorage(std::string_view utf8)
    : backingStore_(std::make_unique<TextStorage>(utf8)) {}

CXWEagerTextStorage::CXWEagerTextStorage(std::string_view utf8, NSAttributeDictionary attributes)
    : backingStore_(std::make_unique<TextStorage>(utf8, std::move(attributes))) {}

CXWEagerTextStorage::CXWEagerTextStorage(const platform::NSAttributedString& string)
    : backingStore_(std::make_unique<TextStorage>(string)) {}

CXWEagerTextStorage::~CXWEagerTextStorage() = default;

const std::u16string& CXWEagerTextStorage::string() const {
    return backingStore_->string();
}

const NSAttributeDictionary& CXWEagerTextStorage::attributesAtIndex(platform::NSUInteger index,
                                                                    NSRange* effectiveRange) const {
    return backingStore_->attributesAtIndex(index, effectiveRange);
}

void CXWEagerTextStorage::replaceCharactersInRange(NSRange range, std::u16string_view string) {
    if (!isEditing()) {
        willBeginEditing();
    }
    backingStore_->replaceCharactersInRange(range, string);
    edited(NSTextStorageEditedCharacters, range,
           static_cast<std::ptrdiff_t>(string.size()) - static_cast<std::ptrdiff_t>(range.length));
}

void CXWEagerTextStorage::setAttributes(const NSAttributeDictionary& attributes, NSRange range) {
    if (!isEditing()) {
        willBeginEditing();
    }
    backingStore_->setAttributes(attributes, range);
    edited(NSTextStorageEditedAttributes, range, 0);
}

void CXWEagerTextStorage::edited(TextStorageEditActions editedMask, NSRange range,
                                 std::ptrdiff_t changeInLength) {
    TextStorage::edited(editedMask, range, changeInLength);
    if (!isEditing()) {
        didEndEditing();
    }
}

void CXWEagerTextStorage::beginEditing() {
    if (!isEditing()) {
        willBeginEditing();
    }
    ++editingCount_;
    TextStorage::beginEditing();
    backingStore_->beginEditing();
}

void CXWEagerTextStorage::endEditing() {
    platform::precondition(isEditing(), "CXWEagerTextStorage: endEditing without beginEditing");
    backingStore_->endEditing();
    // The managers hear of the changes inside this call; a layout they ask for there is ignored
    // because the depth only drops afterwards.
    TextStorage::endEditing();
    --editingCount_;
    if (!isEditing()) {
        didEndEditing();
    }
}

void CXWEagerTextStorage::willBeginEditing() {
    platform::NotificationCenter::defaultCenter().post(EagerTextStorageWillChangeNotification,
                                                       this);
}

void CXWEagerTextStorage::didEndEditing() {
    performFullLayout();
    platform::NotificationCenter::defaultCenter().post(EagerTextStorageDidChangeNotification, this);
}

void CXWEagerTextStorage::performFullLayout() {
    // A manager's layout may lead a client to add or remove managers.
    const auto managers = layoutManagers();
    for (const auto& manager : managers) {
        if (auto* eager = dynamic_cast<CXWEagerLayoutManaging*>(manager.get())) {
            eager->performFullLayout();
        }
    }
}

std::shared_ptr<CXWEagerTextStorage> CXWEagerTextStorage::initWithCoder(
    platform::NSKeyedUnarchiver& coder) {
    registerCalyxwareCodingClasses();
    auto string = decodeAttributedString(coder, text_storage_keys::attributedString);
    if (!string) {
        failCorruptArchive(coder, "a text storage without its text");
        return nullptr;
    }
    auto storage = std::make_shared<CXWEagerTextStorage>(*string);
    return storage->decodeLayoutManagers(coder) ? storage : nullptr;
}

}  // namespace calyxware
