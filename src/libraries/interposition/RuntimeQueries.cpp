#include "libraries/interposition/RuntimeQueries.h"

#include <algorithm>

#include <fmt/format.h>

#include "platform/runtime/MessageSend.h"

using namespace platform;

namespace interposition {

std::string unqualifiedName(Class cls) {
    std::string name = NSStringFromClass(cls);
    auto dot = name.rfind('.');
    return dot == std::string::npos ? name : name.substr(dot + 1);
}

std::string logMethodName(Class cls, SEL selector) {
    return fmt::format("-[{}.{}]", unqualifiedName(cls), NSStringFromSelector(selector));
}

bool definesMethod(Class cls, SEL selector) {
    auto methods = class_copyMethodList(cls);
    return std::any_of(methods.begin(), methods.end(),
                       [&](Method method) { return method_getName(method) == selector; });
}

Class reportedClass(const objc_object* object) {
    static SEL const classSelector = sel_registerName("class");
    auto* receiver = const_cast<objc_object*>(object);
    if (!class_respondsToSelector(object_getClass(object), classSelector)) {
        return object_getClass(object);
    }
    return objc_msgSend<Class()>(receiver, classSelector);
}

}  // namespace interposition
