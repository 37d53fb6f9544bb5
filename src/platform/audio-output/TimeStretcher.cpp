#include "platform/audio-output/TimeStretcher.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <optional>

#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// Windows overlap by three quarters: a window's faint edges then never carry a sound alone, so
// a click between two windows keeps its strength, and four Hann windows sum to a constant.
constexpr std::size_t kWindowsPerLength = 4;
// Windows made before the first output frame, so that the output starts at full level.
constexpr int kLeadingWindows = int(kWindowsPerLength) - 1;
// Among candidate positions that match about as well, the nearer to the nominal one wins: a
// perfect match at the edge of the search range must beat one at the centre by this much.
constexpr double kDistancePenalty = 0.02;
// Onsets (a click, a drum, a plosive) are told by the energy of short blocks against the blocks
// before them. A window that holds one is placed by it rather than by the waveform: matching
// the previous window's continuation would pull every copy of the onset the same way.
constexpr std::int64_t kOnsetBlockFrames = 64;
constexpr std::int64_t kOnsetHistoryBlocks = 16;
constexpr double kOnsetEnergyRatio = 8.0;
// Quieter than this (mean square per frame, about -60 dBFS) is no onset.
constexpr double kOnsetFloor = 1e-6;

std::int64_t floorToFrame(double position) {
    return std::int64_t(std::floor(position));
}

}  // namespace

TimeStretcher::TimeStretcher(int channelCount, int sampleRate, double rate, double startPosition)
    : TimeStretcher(channelCount, sampleRate, rate, startPosition, Parameters{}) {}

TimeStretcher::TimeStretcher(int channelCount, int sampleRate, double rate, double startPosition,
                             Parameters parameters)
    : channelCount_(channelCount),
      hop_(std::max<std::size_t>(
          4, std::size_t(std::lround(parameters.windowSeconds * sampleRate / kWindowsPerLength)))),
      search_(std::max(0, int(std::lround(parameters.searchSeconds * sampleRate)))),
      rate_(rate) {
    precondition(channelCount >= 1 && channelCount <= kMaximumChannelCount,
                 "A time stretcher takes 1 to 8 channels.");
    precondition(sampleRate > 0, "A time stretcher needs a sample rate.");
    precondition(std::isfinite(rate) && rate > 0, "A time stretcher's rate is above 0.");
    const std::size_t length = hop_ * kWindowsPerLength;
    // Periodic Hann, scaled so that the four windows over any frame sum to 1.
    window_.resize(length);
    for (std::size_t index = 0; index < length; ++index) {
        window_[index] =
            float(0.25 * (1.0 - std::cos(2 * std::numbers::pi * double(index) / double(length))));
    }
    const auto channels = std::size_t(channelCount);
    input_.resize(channels);
    accumulator_.assign(channels, std::vector<float>(length, 0.0f));
    block_.assign(channels, std::vector<float>(hop_, 0.0f));
    // Enough room that steady use never grows the input: the frames one block needs, the
    // frames kept behind it, and a push of a few thousand frames.
    const std::size_t reserve = length * 4 + std::size_t(search_) * 2 + 8192;
    for (auto& plane : input_) {
        plane.reserve(reserve);
    }
    mix_.reserve(reserve);
    reset(startPosition);
}

void TimeStretcher::setRate(double rate) {
    precondition(std::isfinite(rate) && rate > 0, "A time stretcher's rate is above 0.");
    rate_ = rate;
    if (rate == 1.0) {
        // Whole-frame windows at rate 1 play the input straight.
        nextNominal_ = std::floor(nextNominal_ + 0.5);
    }
}

void TimeStretcher::reset(double startPosition) {
    precondition(std::isfinite(startPosition), "A time stretcher starts at a finite position.");
    if (rate_ == 1.0) {
        startPosition = std::floor(startPosition + 0.5);
    }
    nextNominal_ = startPosition - double(kLeadingWindows) * double(hop_) * rate_;
    // Every window starts at least half a window before its block's nominal position.
    inputBase_ = lowestInputFor(nextNominal_);
    inputFrames_ = 0;
    for (auto& plane : input_) {
        plane.clear();
    }
    mix_.clear();
    finished_ = false;
    for (auto& plane : accumulator_) {
        std::fill(plane.begin(), plane.end(), 0.0f);
    }
    previousWindowStart_ = 0;
    hasPreviousWindow_ = false;
    straightWindows_ = 0;
    leadingWindows_ = kLeadingWindows;
    blockNominal_ = startPosition;
    blockRate_ = rate_;
    blockOffset_ = 0;
    blockFrames_ = 0;
}

TimeStretcher::WindowPlan TimeStretcher::planWindow() const {
    WindowPlan plan;
    const auto length = std::int64_t(window_.size());
    // The window's centre plays the input that the time line reaches there.
    plan.base = floorToFrame(nextNominal_ + double(length / 2) * rate_ - double(length / 2) + 0.5);
    plan.straight = rate_ == 1.0 && nextNominal_ == std::floor(nextNominal_);
    plan.reference = previousWindowStart_ + std::int64_t(hop_);
    plan.end = plan.base + length;
    plan.movable = !plan.straight && leadingWindows_ == 0 && search_ > 0;
    if (plan.movable) {
        const std::int64_t searchEnd =
            std::max(plan.base + search_ + length, plan.reference + length - std::int64_t(hop_));
        // At the end of the input there is nothing to match against.
        if (finished_ && searchEnd > inputPosition()) {
            plan.movable = false;
        } else {
            plan.end = searchEnd;
        }
    }
    return plan;
}

std::size_t TimeStretcher::inputFramesWanted() const {
    if (finished_ || blockOffset_ < blockFrames_) {
        return 0;
    }
    return std::size_t(std::max<std::int64_t>(0, planWindow().end - inputPosition()));
}

void TimeStretcher::push(const float* interleaved, std::size_t frameCount) {
    precondition(!finished_, "A finished time stretcher takes no more input.");
    const std::size_t first = inputFrames_;
    appendInput(frameCount);
    const auto channels = std::size_t(channelCount_);
    for (std::size_t frame = 0; frame < frameCount; ++frame) {
        float sum = 0;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            const float sample = interleaved[frame * channels + channel];
            input_[channel][first + frame] = sample;
            sum += sample;
        }
        mix_[first + frame] = sum;
    }
}

void TimeStretcher::pushPlanar(const float* const* planes, std::size_t frameCount) {
    precondition(!finished_, "A finished time stretcher takes no more input.");
    const std::size_t first = inputFrames_;
    appendInput(frameCount);
    std::fill_n(mix_.begin() + std::ptrdiff_t(first), frameCount, 0.0f);
    for (std::size_t channel = 0; channel < input_.size(); ++channel) {
        std::memcpy(input_[channel].data() + first, planes[channel], frameCount * sizeof(float));
        for (std::size_t frame = 0; frame < frameCount; ++frame) {
            mix_[first + frame] += planes[channel][frame];
        }
    }
}

void TimeStretcher::appendInput(std::size_t frameCount) {
    inputFrames_ += frameCount;
    for (auto& plane : input_) {
        plane.resize(inputFrames_);
    }
    mix_.resize(inputFrames_);
}

void TimeStretcher::discardInputBefore(std::int64_t position) {
    const std::int64_t count =
        std::min<std::int64_t>(position - inputBase_, std::int64_t(inputFrames_));
    // Moving the kept frames down costs as much as they are long: do it in large steps.
    if (count < std::int64_t(window_.size() * 2)) {
        return;
    }
    for (auto& plane : input_) {
        plane.erase(plane.begin(), plane.begin() + count);
    }
    mix_.erase(mix_.begin(), mix_.begin() + count);
    inputBase_ += count;
    inputFrames_ -= std::size_t(count);
}

float TimeStretcher::inputAt(int channel, std::int64_t position) const {
    const std::int64_t index = position - inputBase_;
    if (index >= std::int64_t(inputFrames_)) {
        return 0.0f;  // past the end of a finished input
    }
    return input_[std::size_t(channel)][std::size_t(index)];
}

std::int64_t TimeStretcher::lowestInputFor(double nominal) const {
    // A window starts at least half a window before its block's nominal position, less its
    // search range and the blocks that onsets are measured against (on their own grid).
    return floorToFrame(nominal) - std::int64_t(window_.size() / 2) - search_ -
           (kOnsetHistoryBlocks + 1) * kOnsetBlockFrames - 1;
}

std::optional<std::int64_t> TimeStretcher::onsetIn(std::int64_t begin, std::int64_t end) const {
    // Blocks on a grid of their own, so that the answer does not depend on how input came in.
    const auto blockIndex = [](std::int64_t position) {
        return position >= 0 ? position / kOnsetBlockFrames
                             : -((-position + kOnsetBlockFrames - 1) / kOnsetBlockFrames);
    };
    const std::int64_t available = inputPosition();
    const auto energyOf = [&](std::int64_t block) {
        const std::int64_t first = block * kOnsetBlockFrames;
        double energy = 0;
        for (std::int64_t position = first; position < first + kOnsetBlockFrames; ++position) {
            if (position >= inputBase_ && position < available) {
                const double sample = mix_[std::size_t(position - inputBase_)];
                energy += sample * sample;
            }
        }
        return energy / double(kOnsetBlockFrames);
    };
    double history[kOnsetHistoryBlocks] = {};
    const std::int64_t firstBlock = blockIndex(begin);
    for (std::int64_t index = 0; index < kOnsetHistoryBlocks; ++index) {
        history[index] = energyOf(firstBlock - kOnsetHistoryBlocks + index);
    }
    for (std::int64_t block = firstBlock; block * kOnsetBlockFrames < end; ++block) {
        const double energy = energyOf(block);
        double before = 0;
        for (const double value : history) {
            before += value;
        }
        before /= double(kOnsetHistoryBlocks);
        if (energy > kOnsetFloor && energy > kOnsetEnergyRatio * before) {
            // Its loudest frame marks it.
            std::int64_t loudest = block * kOnsetBlockFrames;
            float loudestLevel = -1;
            for (std::int64_t position = loudest; position < (block + 1) * kOnsetBlockFrames;
                 ++position) {
                if (position >= inputBase_ && position < available &&
                    std::abs(mix_[std::size_t(position - inputBase_)]) > loudestLevel) {
                    loudestLevel = std::abs(mix_[std::size_t(position - inputBase_)]);
                    loudest = position;
                }
            }
            return loudest;
        }
        std::copy(history + 1, history + kOnsetHistoryBlocks, history);
        history[kOnsetHistoryBlocks - 1] = energy;
    }
    return std::nullopt;
}

int TimeStretcher::search(std::int64_t base, std::int64_t reference) const {
    const std::size_t length = window_.size() - hop_;
    const float* wanted = mix_.data() + (reference - inputBase_);
    double wantedEnergy = 0;
    for (std::size_t index = 0; index < length; ++index) {
        wantedEnergy += double(wanted[index]) * double(wanted[index]);
    }
    // Silence continues anywhere: stay where the time line is.
    if (wantedEnergy < 1e-10 * double(length)) {
        return 0;
    }
    const float* candidates = mix_.data() + (base - search_ - inputBase_);
    double energy = 0;
    for (std::size_t index = 0; index < length; ++index) {
        energy += double(candidates[index]) * double(candidates[index]);
    }
    int best = 0;
    double bestScore = -std::numeric_limits<double>::infinity();
    for (int offset = -search_; offset <= search_; ++offset) {
        const float* candidate = candidates + (offset + search_);
        // Four partial sums let the compiler keep several multiplications in flight.
        float partial[4] = {0, 0, 0, 0};
        std::size_t index = 0;
        for (; index + 4 <= length; index += 4) {
            for (std::size_t lane = 0; lane < 4; ++lane) {
                partial[lane] += wanted[index + lane] * candidate[index + lane];
            }
        }
        double dot = double(partial[0]) + partial[1] + partial[2] + partial[3];
        for (; index < length; ++index) {
            dot += double(wanted[index]) * double(candidate[index]);
        }
        const double similarity = dot / std::sqrt(wantedEnergy * std::max(energy, 1e-20));
        const double score =
            similarity - kDistancePenalty * std::abs(double(offset)) / double(search_);
        if (score > bestScore) {
            bestScore = score;
            best = offset;
        }
        if (offset < search_) {
            const double leaving = candidate[0];
            const double entering = candidate[length];
            energy += entering * entering - leaving * leaving;
        }
    }
    return best;
}

bool TimeStretcher::makeBlock() {
    const WindowPlan plan = planWindow();
    if (!finished_ && plan.end > inputPosition()) {
        return false;
    }
    const auto windowLength = std::int64_t(window_.size());
    std::optional<int> offset;
    if (plan.movable) {
        if (const auto onset = onsetIn(plan.base - search_, plan.base + windowLength + search_)) {
            // Put the onset where the time line has it in this window's output, so that every
            // window's copy of it lands on the same frame: the copies add up to the onset as it
            // was instead of smearing it.
            const double wanted = double(*onset) - (double(*onset) - nextNominal_) / rate_;
            const std::int64_t moved = std::llround(wanted) - plan.base;
            // Out of reach, the window stays put: its copy then lies as far before the onset's
            // place as another's lies after it.
            offset = std::abs(moved) <= search_ ? int(moved) : 0;
        }
        if (!offset && hasPreviousWindow_) {
            offset = search(plan.base, plan.reference);
        }
    }
    const std::int64_t start = plan.base + offset.value_or(0);
    precondition(start >= inputBase_, "A time stretcher lost input it still needed.");

    const std::size_t length = window_.size();
    const auto available = std::int64_t(inputFrames_) - (start - inputBase_);
    for (int channel = 0; channel < channelCount_; ++channel) {
        float* accumulator = accumulator_[std::size_t(channel)].data();
        if (available >= std::int64_t(length)) {
            const float* in = input_[std::size_t(channel)].data() + (start - inputBase_);
            for (std::size_t index = 0; index < length; ++index) {
                accumulator[index] += window_[index] * in[index];
            }
        } else {
            for (std::size_t index = 0; index < length; ++index) {
                accumulator[index] +=
                    window_[index] * inputAt(channel, start + std::int64_t(index));
            }
        }
    }
    straightWindows_ = plan.straight ? straightWindows_ + 1 : 0;

    const double nominal = nextNominal_;
    for (int channel = 0; channel < channelCount_; ++channel) {
        auto& accumulator = accumulator_[std::size_t(channel)];
        float* block = block_[std::size_t(channel)].data();
        if (straightWindows_ >= kWindowsPerLength) {
            // Every window over this block played the input straight: give the input itself.
            const auto first = std::int64_t(nominal);
            for (std::size_t index = 0; index < hop_; ++index) {
                block[index] = inputAt(channel, first + std::int64_t(index));
            }
        } else {
            std::copy_n(accumulator.begin(), hop_, block);
        }
        std::copy(accumulator.begin() + std::ptrdiff_t(hop_), accumulator.end(),
                  accumulator.begin());
        std::fill(accumulator.end() - std::ptrdiff_t(hop_), accumulator.end(), 0.0f);
    }
    blockNominal_ = nominal;
    blockRate_ = rate_;
    blockOffset_ = 0;
    blockFrames_ = hop_;
    nextNominal_ = nominal + double(hop_) * rate_;
    previousWindowStart_ = start;
    hasPreviousWindow_ = true;
    if (leadingWindows_ > 0) {
        // Made only for what it leaves in the accumulator.
        --leadingWindows_;
        blockFrames_ = 0;
    }
    // The next window reads from no earlier than where this one's continuation starts.
    discardInputBefore(std::min(lowestInputFor(nextNominal_), start + std::int64_t(hop_)));
    return true;
}

template <typename Write>
std::size_t TimeStretcher::pullInto(std::size_t frameCount, Write write) {
    std::size_t written = 0;
    const double end = double(inputPosition());
    while (written < frameCount) {
        if (blockOffset_ == blockFrames_) {
            if (!makeBlock()) {
                break;
            }
            continue;
        }
        std::size_t count = std::min(blockFrames_ - blockOffset_, frameCount - written);
        if (finished_) {
            // Output ends where the input's time line does.
            const double position = blockNominal_ + double(blockOffset_) * blockRate_;
            const double left = std::ceil((end - position) / blockRate_);
            count = std::min(count, std::size_t(std::max(0.0, left)));
            if (count == 0) {
                break;
            }
        }
        write(blockOffset_, count, written);
        blockOffset_ += count;
        written += count;
    }
    return written;
}

std::size_t TimeStretcher::pull(float* interleaved, std::size_t frameCount) {
    const auto channels = std::size_t(channelCount_);
    return pullInto(frameCount, [&](std::size_t offset, std::size_t count, std::size_t written) {
        float* out = interleaved + written * channels;
        for (std::size_t frame = 0; frame < count; ++frame) {
            for (std::size_t channel = 0; channel < channels; ++channel) {
                *out++ = block_[channel][offset + frame];
            }
        }
    });
}

std::size_t TimeStretcher::pullPlanar(float* const* planes, std::size_t frameCount) {
    return pullInto(frameCount, [&](std::size_t offset, std::size_t count, std::size_t written) {
        for (std::size_t channel = 0; channel < block_.size(); ++channel) {
            std::memcpy(planes[channel] + written, block_[channel].data() + offset,
                        count * sizeof(float));
        }
    });
}

double TimeStretcher::outputPosition() const {
    if (blockOffset_ < blockFrames_) {
        return blockNominal_ + double(blockOffset_) * blockRate_;
    }
    return leadingWindows_ > 0 ? blockNominal_ : nextNominal_;
}

void TimeStretcher::finish() {
    finished_ = true;
}

}  // namespace platform
