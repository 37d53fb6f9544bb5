#include "platform/appkit/NSNib.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <utility>

#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

struct Registration {
    std::uint64_t serial;
    NSNib::Instantiator instantiator;
};

// Per name, the registrations in the order they were made; the newest one answers.
struct Registry {
    std::mutex mutex;
    std::uint64_t nextSerial = 0;
    std::map<std::string, std::vector<Registration>> nibs;
};

Registry& registry() {
    static NeverDestroyed<Registry> instance;
    return instance.get();
}

}  // namespace

NSNib::NSNib(std::string name, Instantiator instantiator)
    : name_(std::move(name)), instantiator_(std::move(instantiator)) {}

std::shared_ptr<void> NSNib::registerNib(std::string name, Instantiator instantiator, Bundle) {
    Registry& nibs = registry();
    std::uint64_t serial = 0;
    {
        std::lock_guard lock(nibs.mutex);
        serial = nibs.nextSerial++;
        nibs.nibs[name].push_back({serial, std::move(instantiator)});
    }
    return std::shared_ptr<void>(nullptr, [name = std::move(name), serial](void*) {
        Registry& nibs = registry();
        std::lock_guard lock(nibs.mutex);
        auto found = nibs.nibs.find(name);
        if (found == nibs.nibs.end()) {
            return;
        }
        std::erase_if(found->second,
                      [serial](const Registration& entry) { return entry.serial == serial; });
        if (found->second.empty()) {
            nibs.nibs.erase(found);
        }
    });
}

std::optional<NSNib> NSNib::nibNamed(const std::string& name, Bundle) {
    Registry& nibs = registry();
    std::lock_guard lock(nibs.mutex);
    const auto found = nibs.nibs.find(name);
    if (found == nibs.nibs.end() || found->second.empty()) {
        return std::nullopt;
    }
    return NSNib(name, found->second.back().instantiator);
}

bool NSNib::instantiateWithOwner(QObject* owner,
                                 std::optional<TopLevelObjects>& topLevelObjects) const {
    std::optional<TopLevelObjects> objects = instantiator_ ? instantiator_(owner) : std::nullopt;
    if (!objects) {
        return false;
    }
    topLevelObjects = std::move(objects);
    return true;
}

}  // namespace platform
