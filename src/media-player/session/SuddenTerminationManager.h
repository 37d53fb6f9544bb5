#pragma once

namespace quillon {

// Turns the process's sudden termination off while some work must not be cut short, and on
// again when it ends. Only a change of its own state reaches the process, so disables and
// enables come in pairs; going away while disabled enables again.
//
// Not synchronized: each instance is used from one queue or thread at a time.
class SuddenTerminationManager {
public:
    SuddenTerminationManager() = default;
    ~SuddenTerminationManager();
    SuddenTerminationManager(const SuddenTerminationManager&) = delete;
    SuddenTerminationManager& operator=(const SuddenTerminationManager&) = delete;

    void disable();
    void enable();

    bool isSuddenTerminationEnabled() const { return isSuddenTerminationEnabled_; }

private:
    bool isSuddenTerminationEnabled_ = true;
};

}  // namespace quillon
