#pragma once

#include <memory>
#include <string>

namespace platform {

// Base of the reference-counted platform objects that can travel inside attachment and
// extension dictionaries (colour spaces, for example). Equality is by content where a type
// defines it, by identity otherwise.
class CFObject {
public:
    virtual ~CFObject() = default;
    virtual bool isEqual(const CFObject& other) const { return this == &other; }
    virtual std::string description() const = 0;
};

using CFObjectRef = std::shared_ptr<const CFObject>;

}  // namespace platform
