#include "libraries/interposition/Interpose.h"

#include "libraries/interposition/InterposerLog.h"

using namespace platform;

namespace interposition {

Interpose::Interpose(Class cls, const Builder& builder) : class_(cls) {
    if (builder) {
        try {
            apply(builder);
        } catch (...) {
            // The half-built Interpose goes away; its hooks are cleaned up as if it had lived.
            cleanupHooks();
            throw;
        }
    }
}

Interpose::Interpose(std::shared_ptr<NSObject> object, const Builder& builder)
    : class_(reportedClass(object.get())), object_(std::move(object)) {
    Class actual = object_getClass(object_.get());
    if (actual != class_) {
        if (NSStringFromClass(actual).starts_with("NSKVO")) {
            throw InterposeError::keyValueObservationDetected(object_);
        }
        throw InterposeError::objectPosingAsDifferentClass(object_, actual);
    }
    if (builder) {
        try {
            apply(builder);
        } catch (...) {
            cleanupHooks();
            throw;
        }
    }
}

Interpose::~Interpose() {
    cleanupHooks();
}

void Interpose::cleanupHooks() noexcept {
    for (const auto& hook : hooks_) {
        hook->cleanup();
    }
}

Interpose& Interpose::apply(const Builder& builder) {
    execute(builder, HookState::prepared(), true);
    return *this;
}

Interpose& Interpose::revert(const Builder& builder) {
    execute(builder, HookState::interposed(), false);
    return *this;
}

void Interpose::execute(const Builder& builder, const HookState& expected, bool applying) {
    if (builder) {
        builder(*this);
    }
    for (const auto& hook : hooks_) {
        if (class_getInstanceMethod(hook->cls(), hook->selector()) == nullptr ||
            !(hook->state() == expected)) {
            throw InterposeError::invalidState(expected);
        }
    }
    for (const auto& hook : hooks_) {
        if (applying) {
            hook->apply();
        } else {
            hook->revert();
        }
    }
}

bool Interpose::isLoggingEnabled() noexcept {
    return interposerLoggingEnabled();
}

void Interpose::setLoggingEnabled(bool enabled) noexcept {
    setInterposerLoggingEnabled(enabled);
}

}  // namespace interposition
