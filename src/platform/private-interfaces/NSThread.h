#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/corefoundation/CFDictionary.h"

namespace platform {

// The per-thread dictionary of the platform's threads (NSThread.threadDictionary): values that
// belong to one thread. Another thread may hold on to a thread's dictionary and change it, so
// every access takes the dictionary's lock.
class NSThreadDictionary {
public:
    std::optional<CFValue> objectForKey(const std::string& key) const;
    void setObject(const std::string& key, CFValue value);
    void removeObjectForKey(const std::string& key);

    // The key's value read as a Boolean number: false when absent or of another kind.
    bool boolValueForKey(const std::string& key) const;

private:
    mutable std::mutex mutex_;
    std::map<std::string, CFValue> values_;
};

class NSThread {
public:
    // The calling thread's dictionary, made on first use; it lives as long as the thread or the
    // last holder.
    static std::shared_ptr<NSThreadDictionary> currentThreadDictionary();

    // The calling thread's call stack, innermost frame first, one text per frame.
    static std::vector<std::string> callStackSymbols();
};

}  // namespace platform
