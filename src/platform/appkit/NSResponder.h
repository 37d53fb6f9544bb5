#pragma once

#include <QObject>
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
};

}  // namespace platform
