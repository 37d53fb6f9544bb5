#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "libraries/interposition/ClassHook.h"
#include "libraries/interposition/ObjectHook.h"
#include "platform/runtime/Runtime.h"

namespace interposition {

// Hooks methods of one class, or of one object, and puts them back.
//
//   auto interpose = std::make_shared<Interpose>(playerClass, [](Interpose& i) {
//       i.hook<int(Player*, SEL, int), int(Player*, int)>("volume:", [](auto& hook) {
//           return [&hook](Player* self, int level) {
//               return hook.original()(self, hook.selector(), level) + 1;
//           };
//       });
//   });
//   ...
//   interpose->revert();
//
// MethodSignature is the method as a plain function, receiver and selector first; HookSignature
// the replacement block's, without the selector. The factory is called once with the new hook
// and returns the block; the block may keep a reference to the hook, which lives as long as the
// runtime may call the block.
//
// An Interpose and its hooks are used from one thread at a time; the methods they change may be
// called from any thread meanwhile.
class Interpose {
public:
    using Builder = std::function<void(Interpose&)>;

    template <typename MethodSignature, typename HookSignature>
    using ClassHook = interposition::ClassHook<MethodSignature, HookSignature>;
    template <typename MethodSignature, typename HookSignature>
    using ObjectHook = interposition::ObjectHook<MethodSignature, HookSignature>;

    struct Waiter;

    // For a class. With a builder, runs apply(builder); its failure fails the construction.
    explicit Interpose(platform::Class cls, const Builder& builder = {});
    // For one object, whose hooks change it alone. Fails with keyValueObservationDetected or
    // objectPosingAsDifferentClass when the object's runtime class is not the class it reports.
    explicit Interpose(std::shared_ptr<platform::NSObject> object, const Builder& builder = {});
    // Runs each hook's cleanup; applied hooks stay in force.
    ~Interpose();
    Interpose(const Interpose&) = delete;
    Interpose& operator=(const Interpose&) = delete;

    platform::Class cls() const noexcept { return class_; }
    const std::vector<std::shared_ptr<AnyHook>>& hooks() const noexcept { return hooks_; }
    const std::shared_ptr<platform::NSObject>& object() const noexcept { return object_; }

    // Makes a hook (an object hook when this Interpose is for an object) in state prepared and
    // appends it to hooks. Fails with methodNotFound, leaving hooks as they were.
    template <typename MethodSignature, typename HookSignature, typename Factory>
    std::shared_ptr<TypedHook<MethodSignature, HookSignature>> hook(platform::SEL selector,
                                                                    Factory&& implementation) {
        std::shared_ptr<TypedHook<MethodSignature, HookSignature>> made;
        if (object_) {
            made = ObjectHook<MethodSignature, HookSignature>::make(
                object_, selector, std::forward<Factory>(implementation));
        } else {
            made = ClassHook<MethodSignature, HookSignature>::make(
                class_, selector, std::forward<Factory>(implementation));
        }
        hooks_.push_back(made);
        return made;
    }

    template <typename MethodSignature, typename HookSignature, typename Factory>
    std::shared_ptr<TypedHook<MethodSignature, HookSignature>> hook(std::string_view selectorName,
                                                                    Factory&& implementation) {
        return hook<MethodSignature, HookSignature>(platform::NSSelectorFromString(selectorName),
                                                    std::forward<Factory>(implementation));
    }

    // Runs the builder, checks that every hook's method exists and that every hook is prepared
    // (else invalidState(prepared), with nothing touched), then applies the hooks in order; the
    // first failure stops and is raised, hooks applied before it stay applied.
    Interpose& apply(const Builder& builder = {});
    // The same towards prepared, with invalidState(interposed).
    Interpose& revert(const Builder& builder = {});

    static bool isLoggingEnabled() noexcept;
    static void setLoggingEnabled(bool enabled) noexcept;

    // Deferred hooks (Waiter.h).
    static Waiter whenAvailable(std::string className, Builder builder,
                                std::function<void()> completion = {});
    static Waiter whenAvailable(const std::vector<std::string>& namePieces, Builder builder,
                                std::function<void()> completion = {});

private:
    void execute(const Builder& builder, const HookState& expected, bool applying);
    void cleanupHooks() noexcept;

    platform::Class class_;
    std::vector<std::shared_ptr<AnyHook>> hooks_;
    std::shared_ptr<platform::NSObject> object_;
};

// Hooks without an Interpose and applies the hook at once; the caller alone keeps it.
template <typename MethodSignature, typename HookSignature, typename Factory>
std::shared_ptr<TypedHook<MethodSignature, HookSignature>> hookAndApply(platform::Class cls,
                                                                        platform::SEL selector,
                                                                        Factory&& implementation) {
    auto made = ClassHook<MethodSignature, HookSignature>::make(
        cls, selector, std::forward<Factory>(implementation));
    made->apply();
    return made;
}

template <typename MethodSignature, typename HookSignature, typename Factory>
std::shared_ptr<TypedHook<MethodSignature, HookSignature>> hookAndApply(
    std::shared_ptr<platform::NSObject> object, platform::SEL selector, Factory&& implementation) {
    auto made = ObjectHook<MethodSignature, HookSignature>::make(
        std::move(object), selector, std::forward<Factory>(implementation));
    made->apply();
    return made;
}

}  // namespace interposition

#include "libraries/interposition/Waiter.h"
