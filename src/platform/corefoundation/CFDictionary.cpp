#include "platform/corefoundation/CFDictionary.h"

#include <fmt/format.h>

namespace platform {

bool CFValueEqual(const CFValue& a, const CFValue& b) {
    if (a.index() != b.index()) {
        // Numbers compare by value across integer and floating kinds.
        const auto* ai = std::get_if<std::int64_t>(&a);
        const auto* bd = std::get_if<double>(&b);
        if (ai && bd) {
            return static_cast<double>(*ai) == *bd;
        }
        const auto* ad = std::get_if<double>(&a);
        const auto* bi = std::get_if<std::int64_t>(&b);
        return ad && bi && *ad == static_cast<double>(*bi);
    }
    return std::visit(
        [&](const auto& left) -> bool {
            using T = std::decay_t<decltype(left)>;
            const auto& right = std::get<T>(b);
            if constexpr (std::is_same_v<T, CFDataRef> || std::is_same_v<T, CFDictionaryRef>) {
                if (!left || !right) {
                    return left == right;
                }
                return *left == *right;
            } else if constexpr (std::is_same_v<T, CFObjectRef>) {
                if (!left || !right) {
                    return left == right;
                }
                return left->isEqual(*right);
            } else {
                return left == right;
            }
        },
        a);
}

std::string CFValueDescription(const CFValue& value) {
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, bool>) {
                return v ? "true" : "false";
            } else if constexpr (std::is_same_v<T, std::int64_t> || std::is_same_v<T, double>) {
                return fmt::format("{}", v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return v;
            } else if constexpr (std::is_same_v<T, CFDataRef>) {
                return v ? fmt::format("<{} bytes>", v->size()) : "<null data>";
            } else if constexpr (std::is_same_v<T, CFDictionaryRef>) {
                return v ? v->description() : "<null dictionary>";
            } else {
                return v ? v->description() : "<null object>";
            }
        },
        value);
}

const CFValue* CFDictionary::find(const std::string& key) const {
    auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : &it->second;
}

std::optional<bool> CFDictionary::boolValue(const std::string& key) const {
    if (const CFValue* value = find(key)) {
        if (const auto* b = std::get_if<bool>(value)) {
            return *b;
        }
    }
    return std::nullopt;
}

std::optional<std::int64_t> CFDictionary::integerValue(const std::string& key) const {
    if (const CFValue* value = find(key)) {
        if (const auto* i = std::get_if<std::int64_t>(value)) {
            return *i;
        }
    }
    return std::nullopt;
}

std::optional<double> CFDictionary::doubleValue(const std::string& key) const {
    if (const CFValue* value = find(key)) {
        if (const auto* d = std::get_if<double>(value)) {
            return *d;
        }
        if (const auto* i = std::get_if<std::int64_t>(value)) {
            return static_cast<double>(*i);
        }
    }
    return std::nullopt;
}

std::optional<std::string> CFDictionary::stringValue(const std::string& key) const {
    if (const CFValue* value = find(key)) {
        if (const auto* s = std::get_if<std::string>(value)) {
            return *s;
        }
    }
    return std::nullopt;
}

CFDataRef CFDictionary::dataValue(const std::string& key) const {
    if (const CFValue* value = find(key)) {
        if (const auto* d = std::get_if<CFDataRef>(value)) {
            return *d;
        }
    }
    return nullptr;
}

CFDictionaryRef CFDictionary::dictionaryValue(const std::string& key) const {
    if (const CFValue* value = find(key)) {
        if (const auto* d = std::get_if<CFDictionaryRef>(value)) {
            return *d;
        }
    }
    return nullptr;
}

void CFDictionary::merge(const CFDictionary& other) {
    for (const auto& [key, value] : other.entries_) {
        entries_[key] = value;
    }
}

bool operator==(const CFDictionary& a, const CFDictionary& b) {
    if (a.entries_.size() != b.entries_.size()) {
        return false;
    }
    auto left = a.entries_.begin();
    auto right = b.entries_.begin();
    for (; left != a.entries_.end(); ++left, ++right) {
        if (left->first != right->first || !CFValueEqual(left->second, right->second)) {
            return false;
        }
    }
    return true;
}

std::string CFDictionary::description() const {
    std::string text = "{";
    bool first = true;
    for (const auto& [key, value] : entries_) {
        text += fmt::format("{}{} = {}", first ? "" : "; ", key, CFValueDescription(value));
        first = false;
    }
    return text + "}";
}

}  // namespace platform
