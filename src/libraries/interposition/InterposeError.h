#pragma once

#include <memory>
#include <optional>
#include <string>

#include "libraries/interposition/HookState.h"
#include "platform/foundation/Error.h"
#include "platform/runtime/Object.h"

namespace interposition {

// The failures of the interposition library. Two errors are equal when their descriptions are.
class InterposeError final : public platform::LocalizedError {
public:
    enum class Case {
        methodNotFound,
        nonExistingImplementation,
        unexpectedImplementation,
        failedToAllocateClassPair,
        unableToAddMethod,
        keyValueObservationDetected,
        objectPosingAsDifferentClass,
        invalidState,
        resetUnsupported,
        unknownError,
    };

    static InterposeError methodNotFound(platform::Class cls, platform::SEL selector);
    static InterposeError nonExistingImplementation(platform::Class cls, platform::SEL selector);
    static InterposeError unexpectedImplementation(platform::Class cls, platform::SEL selector,
                                                   platform::IMP found);
    static InterposeError failedToAllocateClassPair(platform::Class cls, std::string subclassName);
    static InterposeError unableToAddMethod(platform::Class cls, platform::SEL selector);
    static InterposeError keyValueObservationDetected(std::shared_ptr<platform::NSObject> object);
    static InterposeError objectPosingAsDifferentClass(std::shared_ptr<platform::NSObject> object,
                                                       platform::Class actualClass);
    static InterposeError invalidState(HookState expected);
    static InterposeError resetUnsupported(std::string reason);
    static InterposeError unknownError(std::string reason);

    Case errorCase() const noexcept { return case_; }
    platform::Class cls() const noexcept { return class_; }
    platform::SEL selector() const noexcept { return selector_; }
    const platform::IMP& implementation() const noexcept { return implementation_; }
    // The subclass name or the reason.
    const std::string& text() const noexcept { return text_; }
    const std::shared_ptr<platform::NSObject>& object() const noexcept { return object_; }
    const std::optional<HookState>& expectedState() const noexcept { return expected_; }

    // The user-facing text, e.g. "Method not found: -[Player play]".
    std::string description() const;
    // The case and its payload, e.g. "methodNotFound(Player, play)".
    std::string caseDescription() const;

    std::optional<std::string> errorDescription() const override { return description(); }
    std::optional<std::string> helpAnchor() const { return std::nullopt; }
    std::string domain() const override { return "Interposition.InterposeError"; }
    std::int64_t code() const override { return static_cast<std::int64_t>(case_); }
    std::shared_ptr<const platform::Error> clone() const override;
    std::string debugDescription() const override { return caseDescription(); }

    friend bool operator==(const InterposeError& lhs, const InterposeError& rhs) {
        return lhs.description() == rhs.description();
    }

private:
    explicit InterposeError(Case errorCase) : case_(errorCase) {}

    Case case_;
    platform::Class class_ = nullptr;
    platform::SEL selector_ = nullptr;
    platform::IMP implementation_;
    std::string text_;
    std::shared_ptr<platform::NSObject> object_;
    std::optional<HookState> expected_;
};

}  // namespace interposition
