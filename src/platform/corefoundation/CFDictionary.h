#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include "platform/corefoundation/CFData.h"
#include "platform/corefoundation/CFObject.h"

namespace platform {

class CFDictionary;

using CFDictionaryRef = std::shared_ptr<const CFDictionary>;

// One value of a property-list-like dictionary: the kinds attachment and extension
// dictionaries hold. Strings double as the platform's string constants
// (kCVImageBufferColorPrimaries_ITU_R_709_2 is the string "ITU_R_709_2").
using CFValue =
    std::variant<bool, std::int64_t, double, std::string, CFDataRef, CFDictionaryRef, CFObjectRef>;

bool CFValueEqual(const CFValue& a, const CFValue& b);
std::string CFValueDescription(const CFValue& value);

// A string-keyed dictionary value with deterministic (sorted) iteration.
class CFDictionary {
public:
    using Storage = std::map<std::string, CFValue>;

    CFDictionary() = default;
    CFDictionary(std::initializer_list<Storage::value_type> entries) : entries_(entries) {}

    bool contains(const std::string& key) const { return entries_.count(key) != 0; }
    const CFValue* find(const std::string& key) const;
    void set(const std::string& key, CFValue value) { entries_[key] = std::move(value); }
    void remove(const std::string& key) { entries_.erase(key); }
    std::size_t size() const { return entries_.size(); }
    bool empty() const { return entries_.empty(); }

    // Typed reads: nullopt when the key is missing or holds another kind of value.
    std::optional<bool> boolValue(const std::string& key) const;
    std::optional<std::int64_t> integerValue(const std::string& key) const;
    // Integers read as doubles too, as the platform's numbers do.
    std::optional<double> doubleValue(const std::string& key) const;
    std::optional<std::string> stringValue(const std::string& key) const;
    CFDataRef dataValue(const std::string& key) const;
    CFDictionaryRef dictionaryValue(const std::string& key) const;
    template <typename T>
    std::shared_ptr<const T> objectValue(const std::string& key) const {
        const CFValue* value = find(key);
        if (value == nullptr) {
            return nullptr;
        }
        if (const auto* object = std::get_if<CFObjectRef>(value)) {
            return std::dynamic_pointer_cast<const T>(*object);
        }
        return nullptr;
    }

    // Adds or replaces every entry of other.
    void merge(const CFDictionary& other);

    Storage::const_iterator begin() const { return entries_.begin(); }
    Storage::const_iterator end() const { return entries_.end(); }

    friend bool operator==(const CFDictionary& a, const CFDictionary& b);
    std::string description() const;

private:
    Storage entries_;
};

}  // namespace platform
