#include "platform/foundation/ProcessInfoTermination.h"

#include <algorithm>

#include "platform/foundation/Log.h"

namespace platform {

ProcessInfoTermination& ProcessInfoTermination::shared() {
    static ProcessInfoTermination termination;
    return termination;
}

void ProcessInfoTermination::record(Call::Kind kind, std::string_view reason) {
    for (ScopedCallRecording* recording : recordings_) {
        std::lock_guard lock(recording->mutex_);
        recording->calls_.push_back({kind, std::string(reason)});
    }
}

void ProcessInfoTermination::disableAutomaticTermination(std::string_view reason) {
    std::lock_guard lock(mutex_);
    record(Call::Kind::disableAutomaticTermination, reason);
    automaticReasons_.emplace_back(reason);
}

void ProcessInfoTermination::enableAutomaticTermination(std::string_view reason) {
    std::lock_guard lock(mutex_);
    record(Call::Kind::enableAutomaticTermination, reason);
    if (automaticReasons_.empty()) {
        logWarning("Automatic termination was enabled (“{}”) more often than it was disabled.",
                   reason);
        return;
    }
    auto paired = std::find(automaticReasons_.begin(), automaticReasons_.end(), reason);
    if (paired == automaticReasons_.end()) {
        paired = automaticReasons_.begin();
    }
    automaticReasons_.erase(paired);
}

void ProcessInfoTermination::disableSuddenTermination() {
    std::lock_guard lock(mutex_);
    record(Call::Kind::disableSuddenTermination, {});
    ++suddenDisableCount_;
}

void ProcessInfoTermination::enableSuddenTermination() {
    std::lock_guard lock(mutex_);
    record(Call::Kind::enableSuddenTermination, {});
    if (suddenDisableCount_ == 0) {
        logWarning("Sudden termination was enabled more often than it was disabled.");
        return;
    }
    --suddenDisableCount_;
}

bool ProcessInfoTermination::isAutomaticTerminationAllowed() const {
    std::lock_guard lock(mutex_);
    return automaticReasons_.empty();
}

bool ProcessInfoTermination::isSuddenTerminationAllowed() const {
    std::lock_guard lock(mutex_);
    return suddenDisableCount_ == 0;
}

int ProcessInfoTermination::automaticTerminationDisableCount() const {
    std::lock_guard lock(mutex_);
    return int(automaticReasons_.size());
}

int ProcessInfoTermination::suddenTerminationDisableCount() const {
    std::lock_guard lock(mutex_);
    return suddenDisableCount_;
}

std::vector<std::string> ProcessInfoTermination::automaticTerminationDisablingReasons() const {
    std::lock_guard lock(mutex_);
    return automaticReasons_;
}

}  // namespace platform

namespace platform {

ProcessInfoTermination::ScopedCallRecording::ScopedCallRecording() {
    ProcessInfoTermination& termination = shared();
    std::lock_guard lock(termination.mutex_);
    termination.recordings_.push_back(this);
}

ProcessInfoTermination::ScopedCallRecording::~ScopedCallRecording() {
    ProcessInfoTermination& termination = shared();
    std::lock_guard lock(termination.mutex_);
    std::erase(termination.recordings_, this);
}

std::vector<ProcessInfoTermination::Call> ProcessInfoTermination::ScopedCallRecording::calls()
    const {
    std::lock_guard lock(mutex_);
    return calls_;
}

}  // namespace platform
