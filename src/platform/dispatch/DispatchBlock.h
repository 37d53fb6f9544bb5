#pragma once

#include <concepts>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

namespace platform {

// A unit of work handed to a queue: any callable taking no arguments. Unlike std::function it
// only needs to be movable, so blocks may own move-only state (promises, unique_ptrs).
class DispatchBlock {
public:
    DispatchBlock() = default;

    template <typename F>
    requires(!std::same_as<std::decay_t<F>, DispatchBlock> && std::invocable<std::decay_t<F>&>)
        DispatchBlock(F&& callable)  // NOLINT(google-explicit-constructor): blocks are lambdas
        : callable_(std::make_unique<Model<std::decay_t<F>>>(std::forward<F>(callable))) {}

    DispatchBlock(DispatchBlock&&) noexcept = default;
    DispatchBlock& operator=(DispatchBlock&&) noexcept = default;

    void operator()() { callable_->invoke(); }
    explicit operator bool() const { return callable_ != nullptr; }

private:
    struct Concept {
        virtual ~Concept() = default;
        virtual void invoke() = 0;
    };
    template <typename F>
    struct Model final : Concept {
        template <typename G>
        explicit Model(G&& g) : callable(std::forward<G>(g)) {}
        void invoke() override { std::invoke(callable); }
        F callable;
    };

    std::unique_ptr<Concept> callable_;
};

}  // namespace platform
