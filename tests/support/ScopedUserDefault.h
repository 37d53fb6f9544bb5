#pragma once

#include <optional>
#include <string>

#include "platform/foundation/UserDefaults.h"

namespace quillon::test {

// Puts a user default back as it was when the test ends.
class ScopedUserDefault {
public:
    explicit ScopedUserDefault(std::string key)
        : key_(std::move(key)), saved_(platform::UserDefaults::standard().objectForKey(key_)) {}
    ~ScopedUserDefault() {
        if (saved_) {
            platform::UserDefaults::standard().setObject(*saved_, key_);
        } else {
            platform::UserDefaults::standard().removeObject(key_);
        }
    }
    ScopedUserDefault(const ScopedUserDefault&) = delete;
    ScopedUserDefault& operator=(const ScopedUserDefault&) = delete;

private:
    std::string key_;
    std::optional<platform::UserDefaults::Value> saved_;
};

}  // namespace quillon::test
