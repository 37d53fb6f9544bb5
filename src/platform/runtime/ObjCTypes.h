#pragma once

#include <cstdint>
#include <memory>

namespace platform {

// The handles of the object runtime. They keep the platform's names so that code written against
// the platform's runtime reads the same here.
struct objc_object;
struct objc_class;
struct objc_selector;
struct objc_method;
class Implementation;

using id = objc_object*;
using Class = objc_class*;
using SEL = const objc_selector*;
using Method = objc_method*;

// An implementation is a type-erased callable rather than a code address. It is shared: a class
// that installs it, a hook that displaced it and every call that is running it each hold it, so
// that replacing or removing it never pulls it from under a running call.
using IMP = std::shared_ptr<const Implementation>;

enum objc_AssociationPolicy : std::uintptr_t {
    OBJC_ASSOCIATION_ASSIGN = 0,
    OBJC_ASSOCIATION_RETAIN_NONATOMIC = 1,
    OBJC_ASSOCIATION_COPY_NONATOMIC = 3,
    OBJC_ASSOCIATION_RETAIN = 01401,
    OBJC_ASSOCIATION_COPY = 01403,
};

}  // namespace platform
