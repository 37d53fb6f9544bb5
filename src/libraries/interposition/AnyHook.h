#pragma once

#include <memory>
#include <mutex>

#include "libraries/interposition/HookState.h"
#include "libraries/interposition/InterposeError.h"
#include "platform/runtime/Runtime.h"

namespace interposition {

// The base of every hook: one selector of one class, the implementation made from the caller's
// block (replacementIMP) and the one it displaced (origIMP).
//
// A hook's fields may be read by its replacement while it runs on other threads, so they are
// guarded by a lock of the hook's own; apply and revert themselves are used from one thread at
// a time.
class AnyHook : public std::enable_shared_from_this<AnyHook> {
public:
    using State = HookState;

    virtual ~AnyHook();
    AnyHook(const AnyHook&) = delete;
    AnyHook& operator=(const AnyHook&) = delete;

    platform::Class cls() const noexcept { return class_; }
    platform::SEL selector() const noexcept { return selector_; }

    virtual State state() const;
    virtual void setState(State state);
    // The runtime owns a block implementation until it is released (cleanup of a prepared hook),
    // so the hook only observes it: after the release this reads empty.
    virtual platform::IMP replacementIMP() const;
    virtual void setReplacementIMP(const platform::IMP& imp);
    virtual platform::IMP origIMP() const;
    virtual void setOrigIMP(platform::IMP imp);

    virtual void replaceImplementation() = 0;
    virtual void resetImplementation() = 0;

    // Each runs its task and moves to interposed (apply) or prepared (revert). A task that fails
    // with an InterposeError leaves the hook in state error with it, and the error is raised
    // again; any other failure leaves the state as it was.
    virtual AnyHook& apply();
    virtual AnyHook& revert();
    // Run by the owning Interpose when it goes: releases the block of a prepared hook, keeps an
    // applied one (the class still calls it) and leaks one in error (it may still be installed).
    virtual void cleanup();

protected:
    // Fails with methodNotFound when neither the class nor its superclasses have the method.
    AnyHook(platform::Class cls, platform::SEL selector);

private:
    template <typename Task>
    void transition(State target, Task task);

    const platform::Class class_;
    const platform::SEL selector_;
    mutable std::mutex mutex_;
    State state_ = State::prepared();
    std::weak_ptr<const platform::Implementation> replacementIMP_;
    platform::IMP origIMP_;
};

}  // namespace interposition
