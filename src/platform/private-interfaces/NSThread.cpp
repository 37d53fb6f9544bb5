#include "platform/private-interfaces/NSThread.h"

#include <execinfo.h>

#include <cstdlib>

namespace platform {

std::optional<CFValue> NSThreadDictionary::objectForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return std::nullopt;
    }
    return it->second;
}

void NSThreadDictionary::setObject(const std::string& key, CFValue value) {
    std::lock_guard lock(mutex_);
    values_[key] = std::move(value);
}

void NSThreadDictionary::removeObjectForKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    values_.erase(key);
}

bool NSThreadDictionary::boolValueForKey(const std::string& key) const {
    std::lock_guard lock(mutex_);
    const auto it = values_.find(key);
    if (it == values_.end()) {
        return false;
    }
    if (const auto* value = std::get_if<bool>(&it->second)) {
        return *value;
    }
    if (const auto* value = std::get_if<std::int64_t>(&it->second)) {
        return *value != 0;
    }
    return false;
}

std::shared_ptr<NSThreadDictionary> NSThread::currentThreadDictionary() {
    thread_local const std::shared_ptr<NSThreadDictionary> dictionary =
        std::make_shared<NSThreadDictionary>();
    return dictionary;
}

std::vector<std::string> NSThread::callStackSymbols() {
    void* frames[128];
    const int count = backtrace(frames, 128);
    std::vector<std::string> symbols;
    if (count <= 0) {
        return symbols;
    }
    char** texts = backtrace_symbols(frames, count);
    if (texts == nullptr) {
        return symbols;
    }
    symbols.reserve(static_cast<std::size_t>(count));
    for (int index = 0; index < count; ++index) {
        symbols.emplace_back(texts[index]);
    }
    std::free(texts);
    return symbols;
}

}  // namespace platform
