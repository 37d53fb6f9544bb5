#include "platform/private-interfaces/DynamicSymbols.h"

#include <functional>
#include <map>
#include <mutex>
#include <utility>

#include "platform/private-interfaces/IOSurface.h"

namespace platform {

namespace {

struct SymbolTable {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const std::any>, std::less<>> symbols;
};

SymbolTable& table() {
    static auto* instance = [] {
        auto* made = new SymbolTable();
        // Public interfaces this system answers itself.
        made->symbols.emplace(
            "CVPixelBufferGetIOSurface",
            std::make_shared<const std::any>(CVPixelBufferGetIOSurfaceFunction(
                [](const CVPixelBufferRef&) -> IOSurfaceRef { return nullptr; })));
        return made;
    }();
    return *instance;
}

}  // namespace

std::shared_ptr<const std::any> DynamicSymbols::find(std::string_view name) {
    auto& symbols = table();
    std::lock_guard lock(symbols.mutex);
    const auto it = symbols.symbols.find(name);
    return it != symbols.symbols.end() ? it->second : nullptr;
}

DynamicSymbols::ScopedSymbol::ScopedSymbol(std::string name, std::any value)
    : name_(std::move(name)) {
    auto& symbols = table();
    std::lock_guard lock(symbols.mutex);
    auto& slot = symbols.symbols[name_];
    previous_ = std::exchange(slot, std::make_shared<const std::any>(std::move(value)));
}

DynamicSymbols::ScopedSymbol::~ScopedSymbol() {
    auto& symbols = table();
    std::lock_guard lock(symbols.mutex);
    if (previous_) {
        symbols.symbols[name_] = std::move(previous_);
    } else {
        symbols.symbols.erase(name_);
    }
}

}  // namespace platform
