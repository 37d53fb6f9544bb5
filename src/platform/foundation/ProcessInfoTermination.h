#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The process's automatic and sudden termination (the termination side of NSProcessInfo): two
// counters of the work that must not be cut short. Automatic termination is allowed while
// nothing has disabled it, sudden termination likewise; the application asks before it lets the
// session end or quits without being asked. Each disable must be paired with one enable; an
// enable without a disable is logged and ignored.
//
// Thread-safe.
class ProcessInfoTermination {
public:
    // The process's counters.
    static ProcessInfoTermination& shared();

    void disableAutomaticTermination(std::string_view reason);
    void enableAutomaticTermination(std::string_view reason);
    void disableSuddenTermination();
    void enableSuddenTermination();

    bool isAutomaticTerminationAllowed() const;
    bool isSuddenTerminationAllowed() const;
    int automaticTerminationDisableCount() const;
    int suddenTerminationDisableCount() const;
    // Why automatic termination is off: the reasons of the disables not yet paired, oldest
    // first (an enable pairs with the oldest disable of the same reason, else the oldest one).
    std::vector<std::string> automaticTerminationDisablingReasons() const;

    // One call that reached the counters.
    struct Call {
        enum class Kind {
            disableAutomaticTermination,
            enableAutomaticTermination,
            disableSuddenTermination,
            enableSuddenTermination,
        };
        Kind kind;
        // Empty for sudden termination.
        std::string reason;

        friend bool operator==(const Call&, const Call&) = default;
    };

    // Collects the calls made to the shared counters while it lives (tests). Recordings nest;
    // each sees every call made during its life.
    class ScopedCallRecording {
    public:
        ScopedCallRecording();
        ~ScopedCallRecording();
        ScopedCallRecording(const ScopedCallRecording&) = delete;
        ScopedCallRecording& operator=(const ScopedCallRecording&) = delete;

        std::vector<Call> calls() const;

    private:
        friend class ProcessInfoTermination;
        mutable std::mutex mutex_;
        std::vector<Call> calls_;
    };

private:
    void record(Call::Kind kind, std::string_view reason);

    mutable std::mutex mutex_;
    std::vector<ScopedCallRecording*> recordings_;
    std::vector<std::string> automaticReasons_;
    int suddenDisableCount_ = 0;
};

}  // namespace platform
