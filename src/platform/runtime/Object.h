#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "platform/runtime/ObjCTypes.h"

namespace platform {

// What every object of the runtime is: a class pointer that can be swapped while the object lives
// (dynamic subclasses move an object into a class of its own), and a table of associated objects.
// Classes are objects too; their class is their metaclass.
struct objc_object {
    explicit objc_object(Class isa) noexcept;
    virtual ~objc_object();
    objc_object(const objc_object&) = delete;
    objc_object& operator=(const objc_object&) = delete;

private:
    friend Class object_getClass(const objc_object* object) noexcept;
    friend Class object_setClass(id object, Class cls) noexcept;
    friend struct AssociationAccess;

    std::atomic<Class> isa_;
    struct Associations;
    // Made on first use and guarded by the runtime's association lock.
    std::unique_ptr<Associations> associations_;
};

// The root class of ordinary objects, which are shared-owned. A C++ subclass adds state and
// passes the runtime class its instances start in.
class NSObject : public objc_object, public std::enable_shared_from_this<NSObject> {
public:
    NSObject();
    explicit NSObject(Class cls);

    // The runtime class "NSObject": instance method "class" answers the object's runtime class,
    // class method "class" answers the class itself.
    static Class objcClass();

    // "<ClassName: 0x…>", naming the class that the object reports for itself.
    virtual std::string description() const;
};

// A new plain NSObject instance of the given class (not a metaclass).
std::shared_ptr<NSObject> class_createInstance(Class cls);

Class object_getClass(const objc_object* object) noexcept;
// Moves the object into another class and answers the class it had; both are read and written
// atomically, so messages sent concurrently see either the old or the new class.
Class object_setClass(id object, Class cls) noexcept;
bool object_isClass(const objc_object* object) noexcept;
const char* object_getClassName(const objc_object* object) noexcept;

// Associated objects. OBJC_ASSOCIATION_ASSIGN keeps a weak reference (an object that is gone
// reads as empty rather than dangling); every other policy keeps a strong one. An empty value
// removes the association.
void objc_setAssociatedObject(id object, const void* key, std::shared_ptr<NSObject> value,
                              objc_AssociationPolicy policy);
std::shared_ptr<NSObject> objc_getAssociatedObject(const objc_object* object, const void* key);
void objc_removeAssociatedObjects(id object);

}  // namespace platform
