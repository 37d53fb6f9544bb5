#include "platform/coremedia/CMSampleAttachmentsArray.h"

#include "platform/foundation/FatalError.h"

namespace platform {

CMSampleAttachments CMSampleAttachmentsArray::at(std::size_t index) {
    precondition(index < count_, "Sample attachment index is out of range.");
    return CMSampleAttachments(*this, index);
}

void CMSampleAttachments::set(const std::string& key, CFValue value) {
    std::lock_guard lock(array_->mutex_);
    array_->dictionaries_[index_].set(key, std::move(value));
}

void CMSampleAttachments::remove(const std::string& key) {
    std::lock_guard lock(array_->mutex_);
    const auto dictionary = array_->dictionaries_.find(index_);
    if (dictionary == array_->dictionaries_.end()) {
        return;
    }
    dictionary->second.remove(key);
    if (dictionary->second.empty()) {
        array_->dictionaries_.erase(dictionary);
    }
}

std::optional<CFValue> CMSampleAttachments::get(const std::string& key) const {
    std::lock_guard lock(array_->mutex_);
    const auto dictionary = array_->dictionaries_.find(index_);
    if (dictionary == array_->dictionaries_.end()) {
        return std::nullopt;
    }
    const CFValue* value = dictionary->second.find(key);
    return value ? std::optional<CFValue>(*value) : std::nullopt;
}

bool CMSampleAttachments::contains(const std::string& key) const {
    return get(key).has_value();
}

bool CMSampleAttachments::isTrue(const std::string& key) const {
    const auto value = get(key);
    const bool* flag = value ? std::get_if<bool>(&*value) : nullptr;
    return flag != nullptr && *flag;
}

CFDictionary CMSampleAttachments::copy() const {
    std::lock_guard lock(array_->mutex_);
    const auto dictionary = array_->dictionaries_.find(index_);
    return dictionary == array_->dictionaries_.end() ? CFDictionary{} : dictionary->second;
}

}  // namespace platform
