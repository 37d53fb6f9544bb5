#include "platform/runtime/Object.h"

#include <map>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include "platform/foundation/FatalError.h"
#include "platform/runtime/MessageSend.h"

namespace platform {

struct objc_object::Associations {
    struct Entry {
        std::shared_ptr<NSObject> strong;
        std::weak_ptr<NSObject> weak;
    };
    std::map<const void*, Entry> entries;
};

// The platform guards associations with one process-wide lock; so do we. Values that are let go
// of are released after the lock, since their destruction may reach other objects.
struct AssociationAccess {
    static std::mutex& mutex() {
        static auto* instance = new std::mutex();
        return *instance;
    }

    static void set(objc_object* object, const void* key, std::shared_ptr<NSObject> value,
                    objc_AssociationPolicy policy) {
        objc_object::Associations::Entry released;
        std::lock_guard lock(mutex());
        auto& table = object->associations_;
        if (!value) {
            if (table) {
                if (auto it = table->entries.find(key); it != table->entries.end()) {
                    released = std::move(it->second);
                    table->entries.erase(it);
                }
            }
            return;
        }
        if (!table) {
            table = std::make_unique<objc_object::Associations>();
        }
        auto& entry = table->entries[key];
        released = std::exchange(entry, {});
        if (policy == OBJC_ASSOCIATION_ASSIGN) {
            entry.weak = value;
        } else {
            entry.strong = std::move(value);
        }
    }

    static std::shared_ptr<NSObject> get(const objc_object* object, const void* key) {
        std::lock_guard lock(mutex());
        const auto& table = object->associations_;
        if (!table) {
            return nullptr;
        }
        auto it = table->entries.find(key);
        if (it == table->entries.end()) {
            return nullptr;
        }
        return it->second.strong ? it->second.strong : it->second.weak.lock();
    }

    static void removeAll(objc_object* object) {
        std::unique_ptr<objc_object::Associations> released;
        std::lock_guard lock(mutex());
        released = std::move(object->associations_);
    }
};

objc_object::objc_object(Class isa) noexcept : isa_(isa) {}

objc_object::~objc_object() = default;

NSObject::NSObject() : NSObject(objcClass()) {}

NSObject::NSObject(Class cls) : objc_object(cls) {
    precondition(cls != nullptr && !class_isMetaClass(cls),
                 "An object needs a class that is not a metaclass");
}

std::string NSObject::description() const {
    static SEL const classSelector = sel_registerName("class");
    auto* self = const_cast<NSObject*>(this);
    Class reported = class_respondsToSelector(object_getClass(this), classSelector)
                         ? objc_msgSend<Class()>(self, classSelector)
                         : object_getClass(this);
    return fmt::format("<{}: {}>", class_getName(reported), static_cast<const void*>(this));
}

std::shared_ptr<NSObject> class_createInstance(Class cls) {
    return std::make_shared<NSObject>(cls);
}

Class object_getClass(const objc_object* object) noexcept {
    return object != nullptr ? object->isa_.load(std::memory_order_acquire) : nullptr;
}

Class object_setClass(id object, Class cls) noexcept {
    return object != nullptr ? object->isa_.exchange(cls, std::memory_order_acq_rel) : nullptr;
}

bool object_isClass(const objc_object* object) noexcept {
    return object != nullptr && class_isMetaClass(object_getClass(object));
}

const char* object_getClassName(const objc_object* object) noexcept {
    return class_getName(object_getClass(object));
}

void objc_setAssociatedObject(id object, const void* key, std::shared_ptr<NSObject> value,
                              objc_AssociationPolicy policy) {
    precondition(object != nullptr, "objc_setAssociatedObject called with a null object");
    AssociationAccess::set(object, key, std::move(value), policy);
}

std::shared_ptr<NSObject> objc_getAssociatedObject(const objc_object* object, const void* key) {
    return object != nullptr ? AssociationAccess::get(object, key) : nullptr;
}

void objc_removeAssociatedObjects(id object) {
    if (object != nullptr) {
        AssociationAccess::removeAll(object);
    }
}

}  // namespace platform
