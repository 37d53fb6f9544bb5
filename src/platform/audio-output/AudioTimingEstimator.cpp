#include "platform/audio-output/AudioTimingEstimator.h"

#include <algorithm>
#include <cmath>

namespace platform {

namespace {

// An account this far off the estimate (or, for exact accounts, off by several times as much as
// they scatter) is news: a new latency once a few in a row agree on it, a report held up on its
// way when it stands alone.
constexpr double kOffNanoseconds = 2e6;
constexpr double kOffScatters = 4.0;
constexpr int kAccountsThatAgree = 3;
// The latest coarse accounts that lie this close together agree; one above them by more is a
// report stamped late.
constexpr double kAgreeingNanoseconds = 2e6;
constexpr std::size_t kLatestConsidered = 4;
// Coarse accounts spread evenly over a period below the truth: their median lies half a
// period below it and their lower tenth nine tenths, so the truth lies 1.25 times the distance
// between the two above the median.
constexpr double kBulkReach = 1.25;
// Exact accounts are placed by the line through them once they span this long...
constexpr double kLineSpanSeconds = 1.0;
constexpr std::size_t kLineLeastAccounts = 8;
// ...leaving out those further than this from the estimate: a report held up, or the accounts
// from before a change of latency.
constexpr double kLineOutlierNanoseconds = 5e6;
// The card's rate is learnt from lines that span at least this long.
constexpr double kRateSpanSeconds = 2.5;
// How far a card's rate may wander in a second (relative); it hardly does, but what was learnt
// must never become so sure that it cannot follow.
constexpr double kRateWander = 1e-5;
// No sound card's clock runs further off than this.
constexpr double kMaximumClockError = 0.01;

}  // namespace

AudioTimingEstimator::AudioTimingEstimator(int sampleRate, Accounts accounts)
    : accounts_(accounts),
      nominalNanosecondsPerFrame_(1e9 / double(sampleRate > 0 ? sampleRate : 48000)),
      nanosecondsPerFrame_(nominalNanosecondsPerFrame_),
      rateVariance_(kMaximumClockError * kMaximumClockError * nominalNanosecondsPerFrame_ *
                    nominalNanosecondsPerFrame_) {}

void AudioTimingEstimator::reset() {
    first_ = 0;
    count_ = 0;
    accountsOff_ = 0;
    accountsOffBy_ = 0;
    scatter_ = 0;
    estimated_ = false;
}

double AudioTimingEstimator::residual(const Account& account, const Account& origin,
                                      double nanosecondsPerFrame) const {
    return double(account.heard - origin.heard) -
           double(account.position - origin.position) * nanosecondsPerFrame;
}

double AudioTimingEstimator::agreedResidual(const Account& origin, double nanosecondsPerFrame) {
    const std::size_t count = count_;
    for (std::size_t index = 0; index < count; ++index) {
        scratch_[index] = residual(account(index), origin, nanosecondsPerFrame);
    }
    double* const values = scratch_.data();
    if (accounts_ == Accounts::exact || count < 3) {
        const std::size_t middle = count / 2;
        std::nth_element(values, values + middle, values + count);
        const double median = values[middle];
        if (accounts_ == Accounts::exact) {
            // How far they scatter: the median distance from the median.
            for (std::size_t index = 0; index < count; ++index) {
                values[index] = std::abs(values[index] - median);
            }
            std::nth_element(values, values + middle, values + count);
            scatter_ = values[middle];
        }
        return median;
    }
    // Accounts that lie above the period the others cover are reports a loaded server stamped
    // late, one or a run of them: leave out all above where the bulk of the accounts ends, as
    // their median and lower tenth tell it (about half a period and nine tenths of a period
    // below it).
    std::sort(values, values + count);
    const double median = values[count / 2];
    const double bound = median + kBulkReach * (median - values[count / 10]) + kAgreeingNanoseconds;
    const std::size_t kept = std::size_t(std::upper_bound(values, values + count, bound) - values);
    // The latest account left that the next latest ones agree with.
    const std::size_t considered = std::min(kLatestConsidered + 1, kept);
    for (std::size_t index = kept - 1; index + considered > kept; --index) {
        if (values[index] - values[index - 1] <= kAgreeingNanoseconds) {
            return values[index];
        }
    }
    return values[kept - considered];
}

void AudioTimingEstimator::addReport(const AudioTimingReport& report) {
    const Account incoming{report.position, report.hostNanoseconds + report.latencyNanoseconds};
    const auto window = std::int64_t(windowSeconds() * 1e9);
    if (count_ > 0 && incoming.heard < account(count_ - 1).heard - window) {
        return;  // older than anything kept
    }
    if (estimated_) {
        const double off = residual(incoming, anchor_, nanosecondsPerFrame_) - anchorOffset_;
        // Only exact accounts tell of a new latency at once. Coarse ones lie up to a period
        // early by nature, and a loaded server answers late for a while, its run of late stamps
        // looking like a longer latency: the bulk of them follows a real change within half a
        // window.
        const double threshold = std::max(kOffNanoseconds, kOffScatters * scatter_);
        const bool isOff = accounts_ == Accounts::exact && std::abs(off) > threshold;
        if (isOff && accountsOff_ > 0 && (off > 0) == (accountsOffBy_ > 0)) {
            ++accountsOff_;
        } else {
            accountsOff_ = isOff ? 1 : 0;
        }
        accountsOffBy_ = off;
        if (accountsOff_ >= kAccountsThatAgree) {
            // A new latency: keep only the accounts that tell of it.
            const std::size_t keep = std::min(std::size_t(kAccountsThatAgree - 1), count_);
            first_ = (first_ + count_ - keep) % kCapacity;
            count_ = keep;
            accountsOff_ = 0;
            estimated_ = false;
        }
    }
    if (count_ == kCapacity) {
        first_ = (first_ + 1) % kCapacity;
        --count_;
    }
    ring_[(first_ + count_) % kCapacity] = incoming;
    ++count_;
    while (count_ > 1 && account(0).heard < incoming.heard - window) {
        first_ = (first_ + 1) % kCapacity;
        --count_;
    }
    const Line line = fitLine();
    learnRate(line);
    // Exact accounts are placed by the line through the window itself, so that what is left of
    // the learnt rate's error does not tilt one end of the window against the other; coarse
    // ones by the learnt rate, as their own line is only as good as the phases they were taken
    // at.
    anchor_ = account(count_ - 1);
    anchorOffset_ = agreedResidual(anchor_, line.valid && accounts_ == Accounts::exact
                                                ? line.nanosecondsPerFrame
                                                : nanosecondsPerFrame_);
    estimated_ = true;
}

// The line through the accounts by least squares, leaving out those far off the estimate.
AudioTimingEstimator::Line AudioTimingEstimator::fitLine() const {
    Line line;
    if (count_ < kLineLeastAccounts) {
        return line;
    }
    const Account& newest = account(count_ - 1);
    line.spanSeconds =
        double(newest.position - account(0).position) * nominalNanosecondsPerFrame_ / 1e9;
    if (line.spanSeconds < kLineSpanSeconds) {
        return line;
    }
    const double reach = std::max(kLineOutlierNanoseconds, kOffScatters * scatter_);
    double sumX = 0, sumY = 0, sumXX = 0, sumXY = 0, sumYY = 0;
    std::size_t used = 0;
    for (std::size_t index = 0; index < count_; ++index) {
        const Account& entry = account(index);
        if (estimated_ && accounts_ == Accounts::exact &&
            std::abs(residual(entry, anchor_, nanosecondsPerFrame_) - anchorOffset_) > reach) {
            continue;
        }
        const double x = double(entry.position - newest.position);
        const double y = double(entry.heard - newest.heard);
        sumX += x;
        sumY += y;
        sumXX += x * x;
        sumXY += x * y;
        sumYY += y * y;
        ++used;
    }
    if (used < kLineLeastAccounts) {
        return line;
    }
    const double n = double(used);
    const double sxx = sumXX - sumX * sumX / n;
    const double sxy = sumXY - sumX * sumY / n;
    const double syy = sumYY - sumY * sumY / n;
    if (!(sxx > 0)) {
        return line;
    }
    line.nanosecondsPerFrame = sxy / sxx;
    // How surely the accounts tell the slope: the spread of the slopes of lines through them.
    line.uncertainty =
        std::sqrt(std::max(0.0, syy - line.nanosecondsPerFrame * sxy) / (n - 2) / sxx);
    line.used = n;
    line.valid =
        std::isfinite(line.nanosecondsPerFrame) && std::isfinite(line.uncertainty) &&
        std::abs(line.nanosecondsPerFrame / nominalNanosecondsPerFrame_ - 1) < kMaximumClockError;
    return line;
}

// The card's own rate, kept across resets: each window's line weighed against what was learnt
// so far by how surely it tells the slope (a Kalman filter). A window shares all but its newest
// account with the one before, so it tells only as much more as one account does. Coarse
// accounts do not teach it: their errors follow the phase of the period each was taken at, not
// chance, and tilt their line further than the rate of any card is off.
void AudioTimingEstimator::learnRate(const Line& line) {
    if (!line.valid || accounts_ == Accounts::coarse || line.spanSeconds < kRateSpanSeconds) {
        return;
    }
    const double seconds = double(account(count_ - 1).position - account(count_ - 2).position) *
                           nominalNanosecondsPerFrame_ / 1e9;
    rateVariance_ += kRateWander * kRateWander * nominalNanosecondsPerFrame_ *
                     nominalNanosecondsPerFrame_ * std::max(seconds, 0.0);
    const double measurementVariance = line.uncertainty * line.uncertainty * line.used;
    const double gain = rateVariance_ / (rateVariance_ + measurementVariance);
    nanosecondsPerFrame_ += (line.nanosecondsPerFrame - nanosecondsPerFrame_) * gain;
    rateVariance_ *= 1 - gain;
}

std::optional<std::int64_t> AudioTimingEstimator::hostNanosecondsOfFrame(
    std::int64_t position) const {
    if (!estimated_) {
        return std::nullopt;
    }
    return anchor_.heard +
           std::llround(anchorOffset_ + double(position - anchor_.position) * nanosecondsPerFrame_);
}

}  // namespace platform
