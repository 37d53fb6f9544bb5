#include "libraries/interposition/SuperBuilder.h"

#include <fmt/format.h>

#include "platform/runtime/Runtime.h"

using namespace platform;

namespace interposition {

namespace {

bool fail(std::optional<NSError>* error, SuperBuilder::ErrorCode code, std::string description) {
    if (error != nullptr) {
        error->emplace(std::string(SuperBuilder::errorDomain), code,
                       NSError::UserInfo{{NSLocalizedDescriptionKey, std::move(description)}});
    }
    return false;
}

}  // namespace

bool SuperBuilder::isSuperTrampolineForClass(Class cls, SEL selector) {
    return imp_isSuperForwarder(method_getImplementation(class_getInstanceMethod(cls, selector)));
}

bool SuperBuilder::addSuperInstanceMethodToClass(Class cls, SEL selector,
                                                 std::optional<NSError>* error) {
    if (!isSupportedArchitecure()) {
        return fail(error, unsupportedArchitecture,
                    "Unsupported Architecture. (Support includes ARM64 and x86-64 )");
    }
    Class superclass = class_getSuperclass(cls);
    if (superclass == nullptr) {
        return fail(error, noSuperclass,
                    fmt::format("Unable to find superclass for {}", NSStringFromClass(cls)));
    }
    Method method = class_getInstanceMethod(superclass, selector);
    if (method == nullptr) {
        return fail(error, noDynamicallyDispatchedMethodAvailable,
                    fmt::format("No dynamically dispatched method with selector {} is available "
                                "on any of the superclasses of {}",
                                NSStringFromSelector(selector), NSStringFromClass(cls)));
    }
    if (!class_addMethod(cls, selector, imp_superForwarder(), method_getTypeEncoding(method))) {
        return fail(error, failedToAddMethod,
                    fmt::format("Failed to add method for selector {} to class {}",
                                NSStringFromSelector(selector), NSStringFromClass(cls)));
    }
    return true;
}

Class SuperBuilder::registerRuntimeClass() {
    if (Class existing = objc_getClass("SuperBuilder")) {
        return existing;
    }
    Class cls = objc_allocateClassPair(NSObject::objcClass(), "SuperBuilder", 0);
    if (cls == nullptr) {
        // Another thread made it in the meantime.
        return objc_getClass("SuperBuilder");
    }
    class_addMethod(object_getClass(cls), sel_registerName("isSupportedArchitecure"),
                    imp_implementationWithFunction<bool(id, SEL)>(
                        [](id, SEL) { return SuperBuilder::isSupportedArchitecure(); }),
                    "B@:");
    objc_registerClassPair(cls);
    return cls;
}

bool IPNAddSuperImplementationToClass(Class cls, SEL selector, std::optional<NSError>* error) {
    return SuperBuilder::addSuperInstanceMethodToClass(cls, selector, error);
}

}  // namespace interposition
