#pragma once

#include <atomic>
#include <memory>
#include <optional>

#include "libraries/interposition/AnyHook.h"
#include "platform/foundation/Error.h"

namespace interposition {

// What an object hook does, apart from its types: the per-object subclass, installing and
// removing the replacement there, and the chain that hooks on one object form.
class ObjectHookSupport {
public:
    using AddSuperImplementation = bool (*)(platform::Class, platform::SEL,
                                            std::optional<platform::NSError>*);

    explicit ObjectHookSupport(std::shared_ptr<platform::NSObject> object);

    const std::shared_ptr<platform::NSObject>& object() const noexcept { return object_; }
    // Empty until the hook is first applied.
    platform::Class dynamicSubclass() const noexcept { return dynamicSubclass_.load(); }
    bool generatesSuperIMP() const noexcept { return generatesSuperIMP_; }

    // Associates a container of the hook with its replacement block (hookForIMP reads it).
    static void attachContainer(AnyHook& hook);
    // The hook whose replacement the implementation is, if any.
    static std::shared_ptr<AnyHook> hookForIMP(const platform::IMP& imp);

    void replaceImplementation(AnyHook& hook);
    void resetImplementation(AnyHook& hook);

    // The hook's origIMP, or else the implementation its reported class gives for the selector
    // now (logged when there is none, and then empty).
    platform::IMP originalIMP(const AnyHook& hook) const;

private:
    platform::Class makeSubclass(const AnyHook& hook);
    platform::IMP lookUpOriginal(const AnyHook& hook) const;
    AddSuperImplementation addSuperImpl();

    std::shared_ptr<platform::NSObject> object_;
    std::atomic<platform::Class> dynamicSubclass_{nullptr};
    bool generatesSuperIMP_;
    AddSuperImplementation addSuperImpl_ = nullptr;
};

}  // namespace interposition
