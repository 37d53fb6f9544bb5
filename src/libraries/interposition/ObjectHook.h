#pragma once

#include <memory>
#include <utility>

#include "libraries/interposition/ObjectHookSupport.h"
#include "libraries/interposition/RuntimeQueries.h"
#include "libraries/interposition/TypedHook.h"

namespace interposition {

// Changes one method of one object: the object is moved into a subclass of its own, made at run
// time, and the replacement goes there, so other instances keep the class's behaviour. The
// object goes on answering its former class to "class".
template <typename MethodSignature, typename HookSignature>
class ObjectHook final : public TypedHook<MethodSignature, HookSignature> {
    struct Passkey {};

public:
    using Original = typename TypedHook<MethodSignature, HookSignature>::Original;

    // Fails with methodNotFound (the object's reported class lacks the method) or unknownError.
    template <typename Factory>
    static std::shared_ptr<ObjectHook> make(std::shared_ptr<platform::NSObject> object,
                                            platform::SEL selector, Factory&& implementation) {
        auto hook = std::make_shared<ObjectHook>(Passkey{}, std::move(object), selector);
        platform::IMP replacement = hook->makeReplacement(std::forward<Factory>(implementation));
        if (!replacement) {
            throw InterposeError::unknownError(
                "imp_implementationWithBlock failed for block - slots exceeded?");
        }
        hook->setReplacementIMP(replacement);
        ObjectHookSupport::attachContainer(*hook);
        return hook;
    }

    ObjectHook(Passkey, std::shared_ptr<platform::NSObject> object, platform::SEL selector)
        : TypedHook<MethodSignature, HookSignature>(reportedClass(object.get()), selector),
          support_(std::move(object)) {}

    const std::shared_ptr<platform::NSObject>& object() const noexcept { return support_.object(); }
    platform::Class dynamicSubclass() const noexcept { return support_.dynamicSubclass(); }
    bool generatesSuperIMP() const noexcept { return support_.generatesSuperIMP(); }

    void replaceImplementation() override { support_.replaceImplementation(*this); }
    void resetImplementation() override { support_.resetImplementation(*this); }

    // origIMP when the hook has one, else the reported class's implementation at this moment.
    Original original() const override {
        return Original(support_.originalIMP(*this), this->cls(), this->selector());
    }

private:
    ObjectHookSupport support_;
};

}  // namespace interposition
