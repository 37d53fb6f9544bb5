#include "libraries/interposition/WeakObjectContainer.h"

#include "platform/foundation/FatalError.h"
#include "platform/runtime/Runtime.h"

using namespace platform;

namespace interposition {

WeakObjectContainer::WeakObjectContainer(const std::shared_ptr<AnyHook>& object)
    : NSObject(objcClass()), object_(object) {}

Class WeakObjectContainer::objcClass() {
    static Class const cls = [] {
        constexpr const char* name = "Interposition.WeakObjectContainer";
        if (Class existing = objc_getClass(name)) {
            return existing;
        }
        Class made = objc_allocateClassPair(NSObject::objcClass(), name, 0);
        precondition(made != nullptr, "The weak object container's class cannot be made");
        objc_registerClassPair(made);
        return made;
    }();
    return cls;
}

}  // namespace interposition
