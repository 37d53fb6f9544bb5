#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "libraries/interposition/AnyHook.h"
#include "platform/foundation/FatalError.h"

namespace interposition {

namespace hook_detail {

template <typename T>
inline constexpr bool isReceiverType =
    std::is_pointer_v<T> && !std::is_const_v<std::remove_pointer_t<T>> &&
    std::is_base_of_v<platform::objc_object, std::remove_pointer_t<T>>;

// The receiver as the replacement block declares it (id or a pointer to an objc_object subclass).
template <typename T>
T castReceiver(platform::id self) {
    if constexpr (std::is_same_v<T, platform::id>) {
        return self;
    } else {
        auto* receiver = dynamic_cast<T>(self);
        platform::precondition(receiver != nullptr || self == nullptr,
                               "A hooked method was sent to a receiver of an unexpected type");
        return receiver;
    }
}

// Calling a displaced implementation that is not there would jump nowhere: say so and stop.
[[noreturn]] void missingOriginal(platform::Class cls, platform::SEL selector);

template <typename MethodSignature, typename HookSignature>
struct HookTraits;

// MethodSignature: R(Receiver*, SEL, Args...), the method as a plain function.
// HookSignature: R(Receiver*, Args...), the replacement block.
template <typename R, typename Self, typename HookSelf, typename... Args>
struct HookTraits<R(Self, platform::SEL, Args...), R(HookSelf, Args...)> {
    static_assert(isReceiverType<Self>,
                  "A method signature starts with the receiver, a pointer to an object type");
    static_assert(isReceiverType<HookSelf>,
                  "A hook signature starts with the receiver, a pointer to an object type");

    using BlockSignature = R(platform::id, Args...);

    // The block that goes into the runtime holds the hook, so that a hook whose block the class
    // still calls outlives the Interpose that made it (the caller's block may capture the hook
    // by reference). The hook only observes the block in turn, so nothing forms a cycle.
    template <typename Block>
    static std::function<BlockSignature> wrap(std::shared_ptr<AnyHook> owner, Block&& block) {
        return [owner = std::move(owner),
                body = std::function<R(HookSelf, Args...)>(std::forward<Block>(block))](
                   platform::id self, Args... args) -> R {
            return body(castReceiver<HookSelf>(self), std::forward<Args>(args)...);
        };
    }
};

}  // namespace hook_detail

// The displaced implementation typed as the method. It holds the implementation for as long as
// it lives, so a call through it is safe against a concurrent revert.
template <typename MethodSignature>
class OriginalImplementation;

template <typename R, typename Self, typename... Args>
class OriginalImplementation<R(Self, platform::SEL, Args...)> {
public:
    OriginalImplementation(platform::IMP imp, platform::Class cls, platform::SEL selector)
        : imp_(std::move(imp)), class_(cls), selector_(selector) {}

    explicit operator bool() const noexcept { return static_cast<bool>(imp_); }
    const platform::IMP& imp() const noexcept { return imp_; }

    R operator()(Self self, platform::SEL op, Args... args) const {
        if (!imp_) [[unlikely]] {
            hook_detail::missingOriginal(class_, selector_);
        }
        return platform::ImplementationCall<R(Args...)>::call(imp_, self, op,
                                                              std::forward<Args>(args)...);
    }

private:
    platform::IMP imp_;
    platform::Class class_;
    platform::SEL selector_;
};

template <typename MethodSignature, typename HookSignature>
class TypedHook : public AnyHook {
public:
    using Traits = hook_detail::HookTraits<MethodSignature, HookSignature>;
    using Original = OriginalImplementation<MethodSignature>;

    // The implementation the replacement calls to reach the method's own behaviour.
    virtual Original original() const = 0;

protected:
    using AnyHook::AnyHook;

    // Calls the caller's factory once with this hook and turns the block it returns into an
    // implementation.
    template <typename Factory>
    platform::IMP makeReplacement(Factory&& factory) {
        auto block = std::forward<Factory>(factory)(*this);
        return platform::imp_implementationWithBlock<typename Traits::BlockSignature>(
            Traits::wrap(shared_from_this(), std::move(block)));
    }
};

}  // namespace interposition
