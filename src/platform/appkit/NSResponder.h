#pragma once

#include <QObject>
#include <optional>
#include <string_view>

namespace platform {

// Something that can take part in the responder chain: menu commands and menu updates travel
// along it by the action's selector name ("togglePlayPauseState:") until one responder takes
// them. Main thread only.
class NSResponder {
public:
    virtual ~NSResponder() = default;

    // Runs `action` with `sender` when this responder implements it; false lets the chain go on.
    virtual bool tryToPerform(std::string_view /*action*/, QObject* /*sender*/) { return false; }

    // Whether a menu item that sends `action` is enabled while this responder would get it:
    // none when this responder does not implement the action (the chain goes on), otherwise
    // whether it can perform it now.
    virtual std::optional<bool> validateAction(std::string_view /*action*/) {
        return std::nullopt;
    }
};

}  // namespace platform
