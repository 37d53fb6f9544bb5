#pragma once

#include <any>
#include <map>
#include <string>

namespace platform {

// One message a notification centre delivers. The sender is compared by identity only: two
// objects with equal contents are different senders.
struct Notification {
    std::string name;
    const void* object = nullptr;
    std::map<std::string, std::any> userInfo;
};

}  // namespace platform
