#pragma once

#include <any>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

// The dynamic loader's symbol lookup (dlsym with RTLD_DEFAULT) for the interfaces that the
// player uses only when the system has them. A symbol is a typed value under its name: a
// function as a std::function of its signature, a constant as its value.
//
// This system's table holds what Linux has: none of the private media, AirPlay, surface or
// loader interfaces, so lookups of them answer null and the callers' fallbacks run. Tests put
// stand-ins that have them in place with ScopedSymbol.
class DynamicSymbols {
public:
    // The symbol under `name` when it exists and has type T; null otherwise.
    template <typename T>
    static std::shared_ptr<const T> lookup(std::string_view name) {
        const auto value = find(name);
        if (!value) {
            return nullptr;
        }
        const T* typed = std::any_cast<T>(value.get());
        return typed != nullptr ? std::shared_ptr<const T>(value, typed) : nullptr;
    }

    static bool isAvailable(std::string_view name) { return find(name) != nullptr; }

    // Puts a symbol in the table while it lives (replacing one of the same name, which comes
    // back afterwards). Scopes nest and must end in reverse order of their start.
    class ScopedSymbol {
    public:
        ScopedSymbol(std::string name, std::any value);
        ~ScopedSymbol();
        ScopedSymbol(const ScopedSymbol&) = delete;
        ScopedSymbol& operator=(const ScopedSymbol&) = delete;

    private:
        std::string name_;
        std::shared_ptr<const std::any> previous_;
    };

private:
    static std::shared_ptr<const std::any> find(std::string_view name);
};

}  // namespace platform
