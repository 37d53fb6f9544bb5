#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

// What a sound server says of a playback stream at one moment: frame `position` of the stream
// (counted from its first frame) is heard `latencyNanoseconds` after host time
// `hostNanoseconds`, the moment the report stands for (not when it arrived).
struct AudioTimingReport {
    std::int64_t position = 0;
    std::int64_t latencyNanoseconds = 0;
    std::int64_t hostNanoseconds = 0;
};

// When each frame of a playback stream is heard, on the host clock, from the server's timing
// reports.
//
// Each report places one frame in time. A sound card's clock runs a little off the host's, so
// frames are heard a little faster or slower than their nominal rate: the estimator learns that
// rate from how the reports' accounts move, and places every frame on the line through them.
// Reports are not all alike:
// - exact accounts (a server that reads the play position and its time together) scatter both
//   ways around the truth with the time it took to read them: the middle of the recent accounts
//   holds;
// - coarse accounts (a server that states the position in whole periods of its graph, counting
//   a period as played once it has taken it) can only make a frame look heard early, by up to a
//   period: the latest of the recent accounts holds, but for those above the period the bulk of
//   them covers, which reports stamped late make (one, or a run of them while the server was
//   loaded).
// A change of latency (another device, another period) moves every later account the same way.
// Once a few exact accounts agree on it, the accounts before it are forgotten; coarse accounts
// are followed once most of the window tells of it, within half a window, and the sink resets
// the estimator where it knows the latency changed.
//
// Allocates nothing after construction: a render callback may use it. Not synchronized.
class AudioTimingEstimator {
public:
    enum class Accounts { exact, coarse };

    // The recent accounts kept: as many as fit in the window (longer for exact accounts, which
    // need more of them to average out how they scatter), at most the capacity.
    static constexpr double kExactWindowSeconds = 8.0;
    static constexpr double kCoarseWindowSeconds = 4.0;
    static constexpr std::size_t kCapacity = 512;

    AudioTimingEstimator(int sampleRate, Accounts accounts);

    Accounts accounts() const { return accounts_; }
    // Forgets every account but the learnt rate, which belongs to the sound card (after a
    // stream ran dry, or moved to another device).
    void reset();
    void addReport(const AudioTimingReport& report);

    // Reports kept now.
    std::size_t reportCount() const { return count_; }
    // When frame `position` is heard (host nanoseconds); none before the first report.
    std::optional<std::int64_t> hostNanosecondsOfFrame(std::int64_t position) const;
    // Frames heard per host second, over the nominal rate (1.003: the card runs 0.3 % fast).
    double clockRatio() const { return nominalNanosecondsPerFrame_ / nanosecondsPerFrame_; }

private:
    double windowSeconds() const {
        return accounts_ == Accounts::exact ? kExactWindowSeconds : kCoarseWindowSeconds;
    }

    struct Account {
        std::int64_t position = 0;
        std::int64_t heard = 0;  // host nanoseconds
    };
    struct Line {
        bool valid = false;
        double nanosecondsPerFrame = 0;
        // The standard error of its slope, and how many accounts it went through.
        double uncertainty = 0;
        double used = 0;
        double spanSeconds = 0;
    };

    const Account& account(std::size_t index) const {
        return ring_[(first_ + index) % kCapacity];
    }
    // How far an account lies from the line of that slope through `origin`.
    double residual(const Account& account, const Account& origin,
                    double nanosecondsPerFrame) const;
    // The kept accounts' agreed offset from the line of that slope through `origin`.
    double agreedResidual(const Account& origin, double nanosecondsPerFrame);
    Line fitLine() const;
    void learnRate(const Line& line);

    const Accounts accounts_;
    const double nominalNanosecondsPerFrame_;
    double nanosecondsPerFrame_;
    // How sure the learnt rate is: the variance of nanosecondsPerFrame_.
    double rateVariance_;
    std::array<Account, kCapacity> ring_{};
    std::size_t first_ = 0;
    std::size_t count_ = 0;
    // Accounts in a row that lie off the estimate the same way, and by how much at least.
    int accountsOff_ = 0;
    double accountsOffBy_ = 0;
    // The estimate: the frame at `anchor_.position` is heard at `anchor_.heard` + anchorOffset_.
    Account anchor_;
    double anchorOffset_ = 0;
    bool estimated_ = false;
    // How far exact accounts scatter about the estimate (their median distance from it).
    double scatter_ = 0;
    // Scratch for the order statistics; sized once.
    std::array<double, kCapacity> scratch_{};
};

}  // namespace platform
