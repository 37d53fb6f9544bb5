#pragma once

#include <memory>
#include <utility>

#include "libraries/interposition/TypedHook.h"

namespace interposition {

namespace hook_detail {

void replaceClassImplementation(AnyHook& hook);
void resetClassImplementation(AnyHook& hook);

}  // namespace hook_detail

// Changes the method of the class itself: every instance of the class, and of its subclasses
// that do not override the method, runs the replacement.
template <typename MethodSignature, typename HookSignature>
class ClassHook final : public TypedHook<MethodSignature, HookSignature> {
    struct Passkey {};

public:
    using Original = typename TypedHook<MethodSignature, HookSignature>::Original;

    // Fails with methodNotFound; the factory is called once with the new hook and returns the
    // replacement block.
    template <typename Factory>
    static std::shared_ptr<ClassHook> make(platform::Class cls, platform::SEL selector,
                                           Factory&& implementation) {
        auto hook = std::make_shared<ClassHook>(Passkey{}, cls, selector);
        hook->setReplacementIMP(hook->makeReplacement(std::forward<Factory>(implementation)));
        return hook;
    }

    ClassHook(Passkey, platform::Class cls, platform::SEL selector)
        : TypedHook<MethodSignature, HookSignature>(cls, selector) {}

    void replaceImplementation() override { hook_detail::replaceClassImplementation(*this); }
    void resetImplementation() override { hook_detail::resetClassImplementation(*this); }

    // Empty before the hook has been applied.
    Original original() const override {
        return Original(this->origIMP(), this->cls(), this->selector());
    }
};

}  // namespace interposition
