#include "libraries/interposition/AnyHook.h"

#include <fmt/format.h>

#include "libraries/interposition/InterposerLog.h"
#include "libraries/interposition/RuntimeQueries.h"

using namespace platform;

namespace interposition {

AnyHook::AnyHook(Class cls, SEL selector) : class_(cls), selector_(selector) {
    if (class_getInstanceMethod(cls, selector) == nullptr) {
        throw InterposeError::methodNotFound(cls, selector);
    }
}

AnyHook::~AnyHook() = default;

AnyHook::State AnyHook::state() const {
    std::lock_guard lock(mutex_);
    return state_;
}

void AnyHook::setState(State state) {
    std::lock_guard lock(mutex_);
    state_ = std::move(state);
}

IMP AnyHook::replacementIMP() const {
    std::lock_guard lock(mutex_);
    return replacementIMP_.lock();
}

void AnyHook::setReplacementIMP(const IMP& imp) {
    std::lock_guard lock(mutex_);
    replacementIMP_ = imp;
}

IMP AnyHook::origIMP() const {
    std::lock_guard lock(mutex_);
    return origIMP_;
}

void AnyHook::setOrigIMP(IMP imp) {
    std::lock_guard lock(mutex_);
    // The displaced implementation may be the last reference; let it go outside the lock.
    std::swap(origIMP_, imp);
}

template <typename Task>
void AnyHook::transition(State target, Task task) {
    try {
        task();
    } catch (const InterposeError& error) {
        setState(State::error(error));
        throw;
    }
    setState(std::move(target));
}

AnyHook& AnyHook::apply() {
    transition(State::interposed(), [this] { replaceImplementation(); });
    return *this;
}

AnyHook& AnyHook::revert() {
    transition(State::prepared(), [this] { resetImplementation(); });
    return *this;
}

void AnyHook::cleanup() {
    State current = state();
    IMP replacement = replacementIMP();
    std::string method = logMethodName(class_, selector_);
    switch (current.kind()) {
        case State::Kind::prepared:
            interposerLog(fmt::format("Releasing {} IMP: {}", method, describeIMP(replacement)));
            // Calls still running it keep it until they return.
            imp_removeBlock(replacement);
            break;
        case State::Kind::interposed:
            interposerLog(fmt::format("Keeping {} IMP: {}", method, describeIMP(replacement)));
            break;
        case State::Kind::error:
            interposerLog(fmt::format("Leaking {} IMP: {} due to error: {}", method,
                                      describeIMP(replacement),
                                      current.error()->caseDescription()));
            break;
    }
}

}  // namespace interposition
