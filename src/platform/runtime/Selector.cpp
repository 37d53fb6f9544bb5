#include "platform/runtime/Selector.h"

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <unordered_map>

#include "platform/foundation/FatalError.h"

namespace platform {

struct objc_selector {
    std::string name;
};

namespace {

struct SelectorTable {
    std::shared_mutex mutex;
    std::unordered_map<std::string_view, std::unique_ptr<objc_selector>> selectors;
};

// Never destroyed: selectors are handed out as plain pointers that outlive static destruction.
SelectorTable& table() {
    static auto* instance = new SelectorTable();
    return *instance;
}

}  // namespace

SEL sel_registerName(std::string_view name) {
    SelectorTable& selectors = table();
    {
        std::shared_lock lock(selectors.mutex);
        if (auto it = selectors.selectors.find(name); it != selectors.selectors.end()) {
            return it->second.get();
        }
    }
    std::unique_lock lock(selectors.mutex);
    if (auto it = selectors.selectors.find(name); it != selectors.selectors.end()) {
        return it->second.get();
    }
    auto selector = std::make_unique<objc_selector>(objc_selector{std::string(name)});
    SEL handle = selector.get();
    // The key views the selector's own copy of the name, which lives as long as the entry.
    selectors.selectors.emplace(selector->name, std::move(selector));
    return handle;
}

const char* sel_getName(SEL selector) {
    precondition(selector != nullptr, "sel_getName called with a null selector");
    return selector->name.c_str();
}

SEL NSSelectorFromString(std::string_view name) {
    return sel_registerName(name);
}

std::string NSStringFromSelector(SEL selector) {
    return selector == nullptr ? std::string("(null)") : std::string(sel_getName(selector));
}

}  // namespace platform
