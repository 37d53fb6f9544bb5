#include "platform/foundation/Coding.h"

#include <map>
#include <mutex>
#include <set>

namespace platform {

namespace {

struct RegisteredClass {
    NSSecureCodingRegistry::Factory factory;
    std::optional<std::string> superclassName;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, RegisteredClass, std::less<>> classes;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

}  // namespace

void NSSecureCodingRegistry::registerClass(std::string_view className, Factory factory,
                                           std::optional<std::string_view> superclassName) {
    auto& table = registry();
    std::lock_guard lock(table.mutex);
    RegisteredClass entry{std::move(factory), std::nullopt};
    if (superclassName) {
        entry.superclassName = std::string(*superclassName);
    }
    table.classes.insert_or_assign(std::string(className), std::move(entry));
}

bool NSSecureCodingRegistry::isRegistered(std::string_view className) {
    auto& table = registry();
    std::lock_guard lock(table.mutex);
    return table.classes.find(className) != table.classes.end();
}

NSSecureCodingRegistry::Factory NSSecureCodingRegistry::factory(std::string_view className) {
    auto& table = registry();
    std::lock_guard lock(table.mutex);
    auto it = table.classes.find(className);
    return it == table.classes.end() ? Factory{} : it->second.factory;
}

bool NSSecureCodingRegistry::isKindOfClass(std::string_view className,
                                           std::string_view allowedClassName) {
    auto& table = registry();
    std::lock_guard lock(table.mutex);
    // The chain comes from registrations, which may be wrong; never loop on a cycle.
    std::set<std::string, std::less<>> visited;
    std::string_view current = className;
    while (true) {
        if (current == allowedClassName) {
            return true;
        }
        auto it = table.classes.find(current);
        if (it == table.classes.end() || !it->second.superclassName ||
            !visited.insert(std::string(current)).second) {
            return false;
        }
        current = *it->second.superclassName;
    }
}

}  // namespace platform
