#pragma once

#include <string>

namespace quillon {

// Turns the process's automatic termination off while some work runs and on again when it
// ends. Only a change of its own state reaches the process, so every disable it makes is paired
// with exactly one enable, however often it is asked; going away while disabled enables again.
//
// Not synchronized: each instance is used from one queue or thread at a time.
class AutomaticTerminationManager {
public:
    AutomaticTerminationManager() = default;
    ~AutomaticTerminationManager();
    AutomaticTerminationManager(const AutomaticTerminationManager&) = delete;
    AutomaticTerminationManager& operator=(const AutomaticTerminationManager&) = delete;

    void disable(const std::string& reason);
    void enable(const std::string& reason);

    bool isAutomaticTerminationEnabled() const { return isAutomaticTerminationEnabled_; }

private:
    bool isAutomaticTerminationEnabled_ = true;
};

}  // namespace quillon
