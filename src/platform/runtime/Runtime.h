#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime/Block.h"
#include "platform/runtime/Implementation.h"
#include "platform/runtime/ObjCClass.h"
#include "platform/runtime/Object.h"
#include "platform/runtime/Selector.h"

namespace platform {

// The object runtime. Every function is safe to call from any thread: the class tables sit behind
// one reader-writer lock, taken shared for lookups.

// Registered classes by name; null when no registered class has the name.
Class objc_getClass(std::string_view name);
Class objc_lookUpClass(std::string_view name);
Class objc_getMetaClass(std::string_view name);
Class NSClassFromString(std::string_view name);
// The runtime name; "nil" for a null class.
std::string NSStringFromClass(Class cls);

const char* class_getName(Class cls);
Class class_getSuperclass(Class cls);
bool class_isMetaClass(Class cls);

// The method that instances of the class run for the selector: the class's own, else the nearest
// superclass's. Null when none has one.
Method class_getInstanceMethod(Class cls, SEL name);
Method class_getClassMethod(Class cls, SEL name);
// The implementation of class_getInstanceMethod, or empty (where the platform answers its
// forwarding entry).
IMP class_getMethodImplementation(Class cls, SEL name);
bool class_respondsToSelector(Class cls, SEL name);
// The class's own methods, in the order they were added (inherited ones are not listed).
std::vector<Method> class_copyMethodList(Class cls);

// Adds a method of the class's own; false when the class already defines the selector itself.
bool class_addMethod(Class cls, SEL name, IMP imp, const char* types);
// Replaces the class's own method and answers its former implementation. When the class only
// inherits the selector (or lacks it), the method is added to the class instead and the answer
// is empty.
IMP class_replaceMethod(Class cls, SEL name, IMP imp, const char* types);

SEL method_getName(Method method);
IMP method_getImplementation(Method method);
IMP method_setImplementation(Method method, IMP imp);
// Null for a null method.
const char* method_getTypeEncoding(Method method);

// A new class and its metaclass, not yet visible to objc_getClass; null when the name is taken.
// extraBytes is accepted for the platform's signature; instances carry their state in C++.
Class objc_allocateClassPair(Class superclass, std::string_view name, std::size_t extraBytes);
// Makes the class visible, then announces it to the registration observers on this thread.
void objc_registerClassPair(Class cls);
// Removes and frees a class made by objc_allocateClassPair that has no subclasses. Its instances
// and Method handles must be gone.
void objc_disposeClassPair(Class cls);

// Classes that appear after start-up are announced here in place of image loading: every
// observer is called, in the order they were added, with each class registered after it was
// added, on the registering thread, once the class can be looked up and with no runtime lock
// held. Observers cannot be removed.
using ClassRegistrationObserver = std::function<void(Class)>;
void objc_addClassRegistrationObserver(ClassRegistrationObserver observer);

// The super forwarder, and whether an implementation is it.
const IMP& imp_superForwarder();
bool imp_isSuperForwarder(const IMP& imp);

}  // namespace platform
