#pragma once

#include <functional>
#include <memory>
#include <string>
#include <typeinfo>
#include <utility>

#include "platform/runtime/ObjCTypes.h"

namespace platform {

class Block;

// The body of a method. An ordinary implementation is a callable of the C++ signature
// R(id, SEL, Args...); a call must name that signature exactly, and a mismatch stops the process
// (the platform would jump into the code with the wrong registers). The super forwarder is the
// one implementation with no body of its own: called for a receiver, it resolves the superclass's
// implementation and runs that (see objc_resolveSuperImplementation).
class Implementation {
public:
    enum class Kind { function, block, superForwarder };

    struct Callable {
        virtual ~Callable() = default;
    };
    template <typename Signature>
    struct CallableOf final : Callable {
        explicit CallableOf(std::function<Signature> body) : function(std::move(body)) {}
        std::function<Signature> function;
    };

    // Only the factories below make implementations.
    struct Passkey {
    private:
        friend class Implementation;
        Passkey() = default;
    };
    Implementation(Passkey, Kind kind, const std::type_info* signature,
                   std::unique_ptr<const Callable> callable, std::shared_ptr<Block> block);
    Implementation(const Implementation&) = delete;
    Implementation& operator=(const Implementation&) = delete;

    template <typename R, typename... Args>
    static IMP make(std::function<R(id, SEL, Args...)> body, std::shared_ptr<Block> block = {}) {
        using Signature = R(id, SEL, Args...);
        return std::make_shared<const Implementation>(
            Passkey(), block ? Kind::block : Kind::function, &typeid(Signature),
            std::make_unique<const CallableOf<Signature>>(std::move(body)), std::move(block));
    }

    // The one super forwarder of the process.
    static const IMP& superForwarder();

    Kind kind() const noexcept { return kind_; }
    // The block this implementation was made from, else empty.
    const std::shared_ptr<Block>& block() const noexcept { return block_; }
    // The signature it is called with, readable; "super forwarder" for the forwarder.
    std::string signatureName() const;

    // Runs the body. Only for implementations with a body; imp_call resolves the forwarder first.
    template <typename R, typename... Args>
    R invoke(id self, SEL op, Args... args) const {
        using Signature = R(id, SEL, Args...);
        if (signature_ == nullptr || *signature_ != typeid(Signature)) [[unlikely]] {
            signatureMismatch(typeid(Signature), op);
        }
        return static_cast<const CallableOf<Signature>&>(*callable_)
            .function(self, op, std::forward<Args>(args)...);
    }

private:
    [[noreturn]] void signatureMismatch(const std::type_info& called, SEL op) const;

    Kind kind_;
    const std::type_info* signature_;
    std::unique_ptr<const Callable> callable_;
    std::shared_ptr<Block> block_;
};

// "0x…" and the implementation's address, or "nil".
std::string describeIMP(const IMP& imp);

// Where a super forwarder called for this receiver leads: starting at the receiver's runtime
// class c, move up while c's method for the selector is the one it inherits from its superclass
// or the superclass's method is itself a forwarder; the answer is the implementation that the
// superclass of the class where that stops gives for the selector, or empty when it has none.
IMP objc_resolveSuperImplementation(id self, SEL op);

[[noreturn]] void objc_missingImplementation(id self, SEL op);

template <typename Signature>
struct ImplementationCall;

template <typename R, typename... Args>
struct ImplementationCall<R(Args...)> {
    // The implementation is held for the whole call, so a revert that drops every other
    // reference to it while it runs does not free it under the running call.
    static R call(IMP imp, id self, SEL op, Args... args) {
        if (imp && imp->kind() == Implementation::Kind::superForwarder) {
            imp = objc_resolveSuperImplementation(self, op);
        }
        if (!imp || imp->kind() == Implementation::Kind::superForwarder) [[unlikely]] {
            objc_missingImplementation(self, op);
        }
        return imp->template invoke<R, Args...>(self, op, std::forward<Args>(args)...);
    }
};

// Calls an implementation with the method's own arguments; Signature is R(Args...), the method's
// signature without receiver and selector.
template <typename Signature, typename... Passed>
decltype(auto) imp_call(IMP imp, id self, SEL op, Passed&&... args) {
    return ImplementationCall<Signature>::call(std::move(imp), self, op,
                                               std::forward<Passed>(args)...);
}

namespace runtime_detail {

template <typename Signature>
struct ImplementationTraits;

template <typename R, typename... Args>
struct ImplementationTraits<R(id, SEL, Args...)> {
    template <typename F>
    static std::function<R(id, SEL, Args...)> body(F&& function) {
        return std::function<R(id, SEL, Args...)>(std::forward<F>(function));
    }
};

template <typename Signature>
struct BlockTraits;

// A block takes the receiver and the method's arguments, not the selector.
template <typename R, typename... Args>
struct BlockTraits<R(id, Args...)> {
    template <typename F>
    static std::function<R(id, SEL, Args...)> body(F&& block) {
        return [function = std::function<R(id, Args...)>(std::forward<F>(block))](
                   id self, SEL, Args... args) -> R {
            return function(self, std::forward<Args>(args)...);
        };
    }
};

std::shared_ptr<Block> makeBlock();
void registerBlockImplementation(const IMP& imp);

}  // namespace runtime_detail

// An implementation from a plain callable; Signature is R(id, SEL, Args...).
template <typename Signature, typename F>
IMP imp_implementationWithFunction(F&& function) {
    return Implementation::make(
        runtime_detail::ImplementationTraits<Signature>::body(std::forward<F>(function)));
}

// An implementation from a block; BlockSignature is R(id, Args...). The runtime keeps the
// implementation until imp_removeBlock (as the platform keeps a block's trampoline), and calls
// that are running it keep it beyond that.
template <typename BlockSignature, typename F>
IMP imp_implementationWithBlock(F&& block) {
    IMP imp = Implementation::make(
        runtime_detail::BlockTraits<BlockSignature>::body(std::forward<F>(block)),
        runtime_detail::makeBlock());
    runtime_detail::registerBlockImplementation(imp);
    return imp;
}

// The block an implementation was made from, else empty.
std::shared_ptr<Block> imp_getBlock(const IMP& imp);

// Lets go of the runtime's reference to a block implementation; answers whether it held one.
// Classes that still install it and calls that are running it keep it alive.
bool imp_removeBlock(const IMP& imp);

}  // namespace platform
