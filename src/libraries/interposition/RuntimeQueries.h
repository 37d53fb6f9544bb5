#pragma once

#include <memory>
#include <string>

#include "platform/runtime/Runtime.h"

namespace interposition {

// The unqualified type name of a class: its runtime name after the last ".", so that
// "Interposition.WeakObjectContainer" reads "WeakObjectContainer".
std::string unqualifiedName(platform::Class cls);

// "-[<unqualified class name>.<selector>]", the form the log lines name a method in.
std::string logMethodName(platform::Class cls, platform::SEL selector);

// Whether the class defines the selector itself rather than inheriting it.
bool definesMethod(platform::Class cls, platform::SEL selector);

// The class the object reports for itself (its answer to "class"), which differs from its
// runtime class once it has been moved into a class of its own.
platform::Class reportedClass(const platform::objc_object* object);

}  // namespace interposition
