#pragma once

#include <QObject>
#include <memory>
#include <string>
#include <string_view>
#include <typeinfo>
#include <vector>

#include "platform/appkit/NSNib.h"

namespace quillon {

namespace detail {

// The class's own name without its namespaces, as messages about nibs name it.
std::string unqualifiedClassName(const std::type_info& type);

// Instantiates the main bundle's nib `nibName` without an owner and returns its top-level
// objects; stops the process when the nib is missing, fails or has none.
platform::NSNib::TopLevelObjects instantiateTopLevelObjects(const std::string& nibName);

// Stops the process: the nib does not hold exactly one object of the class.
[[noreturn]] void stopOnTopLevelObjectCount(const std::string& nibName,
                                            const std::string& className);

}  // namespace detail

// The one top-level object of class T in the main bundle's nib `nibName`; the other top-level
// objects are dropped. A nib that does not hold exactly one such object is a fault of the build
// and stops the process.
template <typename T>
std::unique_ptr<T> instantiateSingleTopLevelObject(const std::string& nibName) {
    platform::NSNib::TopLevelObjects objects = detail::instantiateTopLevelObjects(nibName);
    std::unique_ptr<QObject>* match = nullptr;
    std::size_t count = 0;
    for (auto& object : objects) {
        if (dynamic_cast<T*>(object.get()) != nullptr) {
            match = &object;
            ++count;
        }
    }
    if (count != 1) {
        detail::stopOnTopLevelObjectCount(nibName, detail::unqualifiedClassName(typeid(T)));
    }
    return std::unique_ptr<T>(dynamic_cast<T*>(match->release()));
}

}  // namespace quillon
