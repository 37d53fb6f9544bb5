#include "libraries/interposition/ObjectHookSupport.h"

#include <algorithm>
#include <mutex>

#include <fmt/format.h>

#include "libraries/interposition/InterposerLog.h"
#include "libraries/interposition/RuntimeQueries.h"
#include "libraries/interposition/SuperBuilder.h"
#include "libraries/interposition/WeakObjectContainer.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/UUID.h"
#include "platform/runtime/MessageSend.h"

using namespace platform;

namespace interposition {

namespace {

constexpr std::string_view subclassPrefix = "Interposition_";

// The key under which a replacement block carries its hook's container.
const char containerKey = 0;

// The super builder is part of the library as loaded, so its class exists from the first object
// hook on (unless someone disposes of it).
void loadSuperBuilder() {
    static std::once_flag once;
    std::call_once(once, [] { SuperBuilder::registerRuntimeClass(); });
}

bool superBuilderAvailable() {
    Class builder = NSClassFromString("SuperBuilder");
    if (builder == nullptr) {
        return false;
    }
    SEL supported = sel_registerName("isSupportedArchitecure");
    return class_respondsToSelector(object_getClass(builder), supported) &&
           objc_msgSend<bool()>(builder, supported);
}

}  // namespace

ObjectHookSupport::ObjectHookSupport(std::shared_ptr<NSObject> object)
    : object_(std::move(object)),
      generatesSuperIMP_((loadSuperBuilder(), superBuilderAvailable())) {}

void ObjectHookSupport::attachContainer(AnyHook& hook) {
    auto block = imp_getBlock(hook.replacementIMP());
    precondition(block != nullptr, "An object hook's replacement was not made from a block");
    objc_setAssociatedObject(block.get(), &containerKey,
                             std::make_shared<WeakObjectContainer>(hook.shared_from_this()),
                             OBJC_ASSOCIATION_RETAIN);
}

std::shared_ptr<AnyHook> ObjectHookSupport::hookForIMP(const IMP& imp) {
    auto block = imp_getBlock(imp);
    if (!block) {
        return nullptr;
    }
    auto container = std::dynamic_pointer_cast<WeakObjectContainer>(
        objc_getAssociatedObject(block.get(), &containerKey));
    return container ? container->object() : nullptr;
}

ObjectHookSupport::AddSuperImplementation ObjectHookSupport::addSuperImpl() {
    // Linked into the library, so the entry point is always there to find.
    if (addSuperImpl_ == nullptr) {
        addSuperImpl_ = &IPNAddSuperImplementationToClass;
    }
    return addSuperImpl_;
}

Class ObjectHookSupport::makeSubclass(const AnyHook& hook) {
    std::string uuid = UUID().uuidString();
    uuid.erase(std::remove(uuid.begin(), uuid.end(), '-'), uuid.end());
    std::string name = fmt::format("{}{}{}", subclassPrefix, NSStringFromClass(hook.cls()), uuid);
    Class superclass = object_getClass(object_.get());

    Class subclass = objc_getClass(name);
    if (subclass == nullptr) {
        subclass = objc_allocateClassPair(superclass, name, 0);
        if (subclass == nullptr) {
            throw InterposeError::failedToAllocateClassPair(hook.cls(), name);
        }
        // The object goes on answering its former class, and so does its new class.
        Class reported = hook.cls();
        IMP classIMP = imp_implementationWithBlock<Class(id)>([reported](id) { return reported; });
        SEL classSelector = sel_registerName("class");
        class_replaceMethod(subclass, classSelector, classIMP, "#@:");
        class_replaceMethod(object_getClass(subclass), classSelector, classIMP, "#@:");
        objc_registerClassPair(subclass);
    }
    object_setClass(object_.get(), subclass);
    interposerLog(fmt::format("Generated {} for object (was: {})", NSStringFromClass(subclass),
                              NSStringFromClass(class_getSuperclass(subclass))));
    return subclass;
}

IMP ObjectHookSupport::lookUpOriginal(const AnyHook& hook) const {
    for (Class cls = hook.cls(); cls != nullptr; cls = class_getSuperclass(cls)) {
        if (Method method = class_getInstanceMethod(cls, hook.selector())) {
            return method_getImplementation(method);
        }
    }
    return IMP();
}

void ObjectHookSupport::replaceImplementation(AnyHook& hook) {
    Class cls = hook.cls();
    SEL selector = hook.selector();
    std::string method = logMethodName(cls, selector);
    Method found = class_getInstanceMethod(cls, selector);
    if (found == nullptr) {
        throw InterposeError::methodNotFound(cls, selector);
    }
    if (!(hook.state() == HookState::prepared())) {
        throw InterposeError::invalidState(HookState::prepared());
    }

    Class current = object_getClass(object_.get());
    Class subclass = std::string_view(class_getName(current)).starts_with(subclassPrefix)
                         ? current
                         : makeSubclass(hook);
    dynamicSubclass_.store(subclass);

    if (!lookUpOriginal(hook)) {
        auto error = InterposeError::nonExistingImplementation(cls, selector);
        interposerLog(error.description());
        throw error;
    }
    bool own = definesMethod(subclass, selector);
    const char* encoding = method_getTypeEncoding(found);
    IMP replacement = hook.replacementIMP();

    if (!generatesSuperIMP_) {
        if (own) {
            // Record the original before the replacement can be called (see below).
            hook.setOrigIMP(class_getMethodImplementation(subclass, selector));
            IMP original = class_replaceMethod(subclass, selector, replacement, encoding);
            if (!original) {
                hook.setOrigIMP(nullptr);
                interposerLog(
                    fmt::format("Unable to replace: {} IMP: {}", method, describeIMP(replacement)));
                throw InterposeError::unableToAddMethod(cls, selector);
            }
            hook.setOrigIMP(std::move(original));
            interposerLog(
                fmt::format("Added {} IMP: {} via replacement", method, describeIMP(replacement)));
        } else {
            if (!class_addMethod(subclass, selector, replacement, encoding)) {
                interposerLog(
                    fmt::format("Unable to add: {} IMP: {}", method, describeIMP(replacement)));
                throw InterposeError::unableToAddMethod(cls, selector);
            }
            interposerLog(fmt::format("Added {} IMP: {}", method, describeIMP(replacement)));
        }
        return;
    }

    if (!own) {
        std::optional<NSError> error;
        if (addSuperImpl()(subclass, selector, &error)) {
            interposerLog(
                fmt::format("Added super for {}: {}", method,
                            describeIMP(class_getMethodImplementation(subclass, selector))));
        } else {
            interposerLog(fmt::format("Failed to add super implementation to {}: {}", method,
                                      error ? error->localizedDescription() : std::string()));
        }
        // Without a method of the subclass's own to displace, the replacement would be added
        // with nothing to call or restore; refuse before installing it.
        if (!definesMethod(subclass, selector)) {
            throw InterposeError::nonExistingImplementation(subclass, selector);
        }
    }
    // Another thread may call the replacement the moment it is installed, and it calls the
    // original: record the original first; the displaced one below confirms or corrects it.
    hook.setOrigIMP(class_getMethodImplementation(subclass, selector));
    IMP original = class_replaceMethod(subclass, selector, replacement, encoding);
    precondition(static_cast<bool>(original), "A method the subclass defined has disappeared");
    interposerLog(fmt::format("Added {} IMP: {} -> {}", method, describeIMP(original),
                              describeIMP(replacement)));
    hook.setOrigIMP(std::move(original));
}

void ObjectHookSupport::resetImplementation(AnyHook& hook) {
    Class cls = hook.cls();
    SEL selector = hook.selector();
    std::string method = logMethodName(cls, selector);
    Method found = class_getInstanceMethod(cls, selector);
    if (found == nullptr) {
        throw InterposeError::methodNotFound(cls, selector);
    }
    if (!(hook.state() == HookState::interposed())) {
        throw InterposeError::invalidState(HookState::interposed());
    }
    IMP original = hook.origIMP();
    if (!original) {
        interposerLog(fmt::format("Reset of {} not supported. No Original IMP", method));
        throw InterposeError::resetUnsupported("No Original IMP found. SuperBuilder missing?");
    }
    Class subclass = dynamicSubclass_.load();
    IMP current = class_getMethodImplementation(subclass, selector);
    if (!current) {
        throw InterposeError::unknownError("No Implementation found");
    }
    IMP replacement = hook.replacementIMP();
    if (current != replacement) {
        // A later hook sits on top of this one: find the one directly above and let it call
        // what this one called, which takes this hook out of the chain.
        std::shared_ptr<AnyHook> above;
        for (auto candidate = hookForIMP(current); candidate;
             candidate = hookForIMP(candidate->origIMP())) {
            if (candidate.get() == &hook) {
                if (above) {
                    above->setOrigIMP(original);
                    return;
                }
                break;
            }
            above = candidate;
        }
        // Something other than a hook of this library replaced the method; what the subclass
        // runs may still chain to this hook's replacement, so nothing is changed.
        throw InterposeError::unexpectedImplementation(subclass, selector, std::move(current));
    }
    IMP previous = class_replaceMethod(subclass, selector, original, method_getTypeEncoding(found));
    if (previous != replacement) {
        throw InterposeError::unexpectedImplementation(subclass, selector, std::move(previous));
    }
    interposerLog(fmt::format("Restored {} IMP: {}", method, describeIMP(original)));
}

IMP ObjectHookSupport::originalIMP(const AnyHook& hook) const {
    if (IMP original = hook.origIMP()) {
        return original;
    }
    IMP found = lookUpOriginal(hook);
    if (!found) {
        interposerLog(
            InterposeError::nonExistingImplementation(hook.cls(), hook.selector()).description());
    }
    return found;
}

}  // namespace interposition
