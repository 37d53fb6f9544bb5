#include "player-interface/common/SingleTopLevelObject.h"

#include <cxxabi.h>

#include <cstdlib>

#include "platform/foundation/FatalError.h"

namespace quillon::detail {

namespace {

std::string quoted(const std::string& text) {
    return "`" + text + "`";
}

[[noreturn]] void stopOnFailedInstantiation(const std::string& nibName) {
    platform::fatalError("Failed to instantiate nib named " + quoted(nibName) + ".");
}

}  // namespace

std::string unqualifiedClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    // Template arguments may hold "::" of their own; only the outer name's qualifiers go.
    const auto templateStart = name.find('<');
    const auto qualifierEnd = name.rfind("::", templateStart);
    if (qualifierEnd != std::string::npos) {
        name.erase(0, qualifierEnd + 2);
    }
    return name;
}

platform::NSNib::TopLevelObjects instantiateTopLevelObjects(const std::string& nibName) {
    const auto nib = platform::NSNib::nibNamed(nibName, platform::NSNib::Bundle::main);
    if (!nib) {
        stopOnFailedInstantiation(nibName);
    }
    std::optional<platform::NSNib::TopLevelObjects> objects;
    if (!nib->instantiateWithOwner(nullptr, objects)) {
        stopOnFailedInstantiation(nibName);
    }
    if (!objects || objects->empty()) {
        platform::fatalError("Nib named " + quoted(nibName) +
                             " does not have any top-level objects.");
    }
    return std::move(*objects);
}

void stopOnTopLevelObjectCount(const std::string& nibName, const std::string& className) {
    platform::fatalError("Nib named " + quoted(nibName) +
                         " does not have exactly one top-level object of type " +
                         quoted(className) + ".");
}

}  // namespace quillon::detail
