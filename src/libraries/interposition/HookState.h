#pragma once

#include <memory>
#include <string>

namespace interposition {

class InterposeError;

// The state of a hook (AnyHook::State): prepared (made, runtime untouched), interposed (applied),
// or error, which no operation leaves.
class HookState {
public:
    enum class Kind { prepared, interposed, error };

    static HookState prepared() { return HookState(Kind::prepared, nullptr); }
    static HookState interposed() { return HookState(Kind::interposed, nullptr); }
    static HookState error(const InterposeError& error);

    Kind kind() const noexcept { return kind_; }
    // The error of an error state, else null.
    const InterposeError* error() const noexcept { return error_.get(); }

    // "prepared", "interposed", or "error(" with the error's case and payload and ")".
    std::string description() const;

    // Errors compare by their descriptions.
    friend bool operator==(const HookState& lhs, const HookState& rhs);

private:
    HookState(Kind kind, std::shared_ptr<const InterposeError> error)
        : kind_(kind), error_(std::move(error)) {}

    Kind kind_;
    std::shared_ptr<const InterposeError> error_;
};

}  // namespace interposition
