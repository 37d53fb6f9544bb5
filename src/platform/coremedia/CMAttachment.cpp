#include "platform/coremedia/CMAttachment.h"

namespace platform {

namespace {
constexpr const char* kTimeValueKey = "value";
constexpr const char* kTimeScaleKey = "timescale";
constexpr const char* kTimeFlagsKey = "flags";
constexpr const char* kTimeEpochKey = "epoch";
}  // namespace

void CMAttachmentStore::set(const std::string& key, CFValue value, CMAttachmentMode mode) {
    std::lock_guard lock(mutex_);
    entries_.insert_or_assign(key, std::make_pair(std::move(value), mode));
}

std::optional<CFValue> CMAttachmentStore::get(const std::string& key,
                                              CMAttachmentMode* modeOut) const {
    std::lock_guard lock(mutex_);
    const auto entry = entries_.find(key);
    if (entry == entries_.end()) {
        return std::nullopt;
    }
    if (modeOut != nullptr) {
        *modeOut = entry->second.second;
    }
    return entry->second.first;
}

void CMAttachmentStore::remove(const std::string& key) {
    std::lock_guard lock(mutex_);
    entries_.erase(key);
}

void CMAttachmentStore::removeAll() {
    std::lock_guard lock(mutex_);
    entries_.clear();
}

void CMAttachmentStore::setDictionary(const CFDictionary& attachments, CMAttachmentMode mode) {
    std::lock_guard lock(mutex_);
    for (const auto& [key, value] : attachments) {
        entries_.insert_or_assign(key, std::make_pair(value, mode));
    }
}

CFDictionaryRef CMAttachmentStore::copyDictionary(CMAttachmentMode mode) const {
    std::lock_guard lock(mutex_);
    auto dictionary = std::make_shared<CFDictionary>();
    for (const auto& [key, entry] : entries_) {
        if (entry.second == mode) {
            dictionary->set(key, entry.first);
        }
    }
    if (dictionary->empty()) {
        return nullptr;
    }
    return dictionary;
}

CFDictionaryRef CMAttachmentValueWithTime(CMTime time) {
    return std::make_shared<const CFDictionary>(CFDictionary{
        {kTimeValueKey, std::int64_t{time.value}},
        {kTimeScaleKey, std::int64_t{time.timescale}},
        {kTimeFlagsKey, std::int64_t{time.flags}},
        {kTimeEpochKey, std::int64_t{time.epoch}},
    });
}

std::optional<CMTime> CMAttachmentTimeValue(const CFValue& value) {
    const auto* dictionary = std::get_if<CFDictionaryRef>(&value);
    if (dictionary == nullptr || !*dictionary) {
        return std::nullopt;
    }
    const auto timeValue = (*dictionary)->integerValue(kTimeValueKey);
    const auto timescale = (*dictionary)->integerValue(kTimeScaleKey);
    const auto flags = (*dictionary)->integerValue(kTimeFlagsKey);
    const auto epoch = (*dictionary)->integerValue(kTimeEpochKey);
    if (!timeValue || !timescale || !flags || !epoch) {
        return std::nullopt;
    }
    return CMTime{*timeValue, static_cast<CMTimeScale>(*timescale),
                  static_cast<CMTimeFlags>(*flags), *epoch};
}

}  // namespace platform
