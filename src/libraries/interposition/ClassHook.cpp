#include "libraries/interposition/ClassHook.h"

#include <fmt/format.h>

#include "libraries/interposition/InterposerLog.h"
#include "libraries/interposition/RuntimeQueries.h"

using namespace platform;

namespace interposition::hook_detail {

void missingOriginal(Class cls, SEL selector) {
    std::string message =
        fmt::format("The original implementation of {} is missing, so the hook cannot call it",
                    logMethodName(cls, selector));
    interposerLog(message);
    fatalError(message);
}

void replaceClassImplementation(AnyHook& hook) {
    Class cls = hook.cls();
    SEL selector = hook.selector();
    Method method = class_getInstanceMethod(cls, selector);
    if (method == nullptr) {
        throw InterposeError::methodNotFound(cls, selector);
    }
    if (!(hook.state() == HookState::prepared())) {
        throw InterposeError::invalidState(HookState::prepared());
    }
    IMP replacement = hook.replacementIMP();
    precondition(static_cast<bool>(replacement), "A class hook has no replacement implementation");
    // Replacing a method the class only inherits would add the replacement to the class with
    // nothing displaced for it to call; refuse before anything is installed, so that the class
    // keeps the behaviour it inherits.
    if (!definesMethod(cls, selector)) {
        throw InterposeError::nonExistingImplementation(cls, selector);
    }
    // Another thread may call the replacement the moment it is installed, and it calls the
    // original: record the original first, then correct it should the method change meanwhile.
    hook.setOrigIMP(method_getImplementation(method));
    IMP original = class_replaceMethod(cls, selector, replacement, method_getTypeEncoding(method));
    // The runtime never removes a method, so the class still defines it.
    precondition(static_cast<bool>(original), "A method the class defined has disappeared");
    if (original != hook.origIMP()) {
        hook.setOrigIMP(original);
    }
    interposerLog(fmt::format("Swizzled {} IMP: {} -> {}", logMethodName(cls, selector),
                              describeIMP(original), describeIMP(replacement)));
}

void resetClassImplementation(AnyHook& hook) {
    Class cls = hook.cls();
    SEL selector = hook.selector();
    Method method = class_getInstanceMethod(cls, selector);
    if (method == nullptr) {
        throw InterposeError::methodNotFound(cls, selector);
    }
    if (!(hook.state() == HookState::interposed())) {
        throw InterposeError::invalidState(HookState::interposed());
    }
    IMP original = hook.origIMP();
    precondition(static_cast<bool>(original), "An applied class hook has no original");
    IMP previous = class_replaceMethod(cls, selector, original, method_getTypeEncoding(method));
    if (previous != hook.replacementIMP()) {
        // Someone replaced the method after this hook. The original is back all the same.
        throw InterposeError::unexpectedImplementation(cls, selector, std::move(previous));
    }
    interposerLog(
        fmt::format("Restored {} IMP: {}", logMethodName(cls, selector), describeIMP(original)));
}

}  // namespace interposition::hook_detail
