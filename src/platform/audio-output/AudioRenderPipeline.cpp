#include "platform/audio-output/AudioRenderPipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>
#include <optional>

#include "platform/audio-output/TimeStretcher.h"
#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// A cross-fade this long hides a change of position or rate.
constexpr double kFadeSeconds = 0.005;
// Beyond this the output is placed afresh instead of steered: a sound server that restarted,
// or a host that stalled. A sound server's timing can be off for a moment on a busy machine, so
// only an offset that lasts a few renders counts. Offsets are weighed as heard, in host time:
// the steering takes out the same milliseconds of it each second at every rate.
constexpr double kPlacementThresholdSeconds = 0.05;
constexpr int kRendersBeforePlacement = 3;
// A sink says when each render is heard, and one render follows on from the last. When its
// account moves by more than this between two renders (its thread was held up and the server
// played on without it, its latency changed), what it plays is off the time line by a step that
// the steering would take seconds to take out, and that was heard as one already: it is placed
// afresh at once. (A sink's clock running off the host's moves it by far less over a render.)
constexpr double kAccountStepSeconds = 0.002;
// A new anchor of the time line (a jump, or a change of rate at the same rate) moves the output
// only when it is this far off; less is rounding.
constexpr double kJumpThresholdSeconds = 0.001;
// Steering starts once the output is this far off the time line...
constexpr double kSteeringThresholdSeconds = 0.0005;
// ...and takes out an offset at about this time constant,
constexpr double kSteeringTimeConstantSeconds = 1.0;
// ...while it learns how far the sink's clock runs from the host clock at this one, so that a
// sink that runs fast or slow ends on the time line, not a steady few milliseconds off it (four
// times the time constant: the offset then settles without overshooting),
constexpr double kDriftTimeConstantSeconds = 4.0 * kSteeringTimeConstantSeconds;
// ...measured over renders of about this long,
constexpr double kOffsetAveragingSeconds = 0.2;
// Steering at its limit takes out at least this share of what the limit should take out in
// this long, or the output is placed afresh: an offset that the limit does not reduce (a sink
// whose clock runs further off than the limit, a position that is wrong) would otherwise stay
// for good.
constexpr double kPinnedCheckSeconds = 2.0;
constexpr double kPinnedLeastReduction = 0.5;
// What the pipeline keeps behind its reads, so that a small step back needs no new data.
constexpr double kKeptHistorySeconds = 0.1;

// The stretcher is fed in blocks of this many frames, the compensating resampler in smaller
// ones.
constexpr std::size_t kStretchBlockFrames = 1024;
constexpr std::size_t kCompensationBlockFrames = 256;

// The compensating resampler's kernel: a windowed sinc over this many input frames on either
// side, in this many steps between two frames (interpolated between them), cut off a little
// below half the rate so that the slightly shorter output never folds anything back.
constexpr int kKernelHalfWidth = 16;
constexpr int kKernelPhases = 256;
constexpr double kKernelCutoff = 0.95;

// The resampler's kernel, one row of 2 × kKernelHalfWidth taps per phase (and one past the last
// phase, to interpolate towards), each row summing to 1.
const std::vector<float>& compensationKernel() {
    static const std::vector<float> kernel = [] {
        constexpr int taps = 2 * kKernelHalfWidth;
        std::vector<float> rows(std::size_t((kKernelPhases + 1) * taps));
        for (int phase = 0; phase <= kKernelPhases; ++phase) {
            const double fraction = double(phase) / kKernelPhases;
            double sum = 0;
            float* row = rows.data() + std::size_t(phase * taps);
            for (int tap = 0; tap < taps; ++tap) {
                // Tap k weighs input frame n + k - (kKernelHalfWidth - 1) for output n + fraction.
                const double t = double(tap - (kKernelHalfWidth - 1)) - fraction;
                const double x = kKernelCutoff * t;
                const double sinc = x == 0 ? 1.0 : std::sin(std::numbers::pi * x) / (std::numbers::pi * x);
                // Blackman window over the kernel's reach.
                const double w = 0.5 + 0.5 * t / kKernelHalfWidth;
                const double window = w <= 0 || w >= 1 ? 0.0
                                                       : 0.42 - 0.5 * std::cos(2 * std::numbers::pi * w) +
                                                             0.08 * std::cos(4 * std::numbers::pi * w);
                row[tap] = float(sinc * window);
                sum += row[tap];
            }
            for (int tap = 0; tap < taps; ++tap) {
                row[tap] = float(row[tap] / sum);
            }
        }
        return rows;
    }();
    return kernel;
}

}  // namespace

// Resamples its input by a ratio near 1 (at most half a percent off), so that the output can be
// steered a little faster or slower than the input without a seam. Everything it needs is
// allocated when it is made.
class AudioRenderPipeline::Compensator {
public:
    explicit Compensator(std::size_t channels)
        : channels_(channels),
          kernel_(compensationKernel()),
          input_((kCompensationBlockFrames + 4 * kKernelHalfWidth) * channels),
          taps_(2 * kKernelHalfWidth) {}

    // Starts from the frames that were played last (the kernel's reach of them, oldest first),
    // so that the output goes on from them without a seam: the next output frame is the next
    // input frame.
    void start(const float* history) {
        std::copy_n(history, std::size_t(kKernelHalfWidth) * channels_, input_.data());
        frames_ = std::size_t(kKernelHalfWidth);
        position_ = double(kKernelHalfWidth);
        step_ = 1.0;
    }

    // Extra output frames per output frame (negative: fewer).
    void setCompensation(double compensation) { step_ = 1.0 / (1.0 + compensation); }

    // How many input frames it holds past the next output frame's place.
    double framesAhead() const { return double(frames_) - position_; }

    // `pull(out, count)` gives the next `count` input frames.
    template <typename Pull>
    void render(float* out, std::size_t frameCount, Pull pull) {
        const float* const kernel = kernel_.data();
        constexpr int taps = 2 * kKernelHalfWidth;
        for (std::size_t frame = 0; frame < frameCount; ++frame) {
            auto first = std::size_t(position_) - std::size_t(kKernelHalfWidth - 1);
            if (first + std::size_t(taps) > frames_) {
                // Keep the kernel's reach behind the next output frame, and take a block more.
                const std::size_t keep = frames_ - first;
                std::copy_n(input_.data() + first * channels_, keep * channels_, input_.data());
                position_ -= double(first);
                frames_ = keep;
                pull(input_.data() + frames_ * channels_, kCompensationBlockFrames);
                frames_ += kCompensationBlockFrames;
                first = 0;
            }
            const double phase = (position_ - std::floor(position_)) * kKernelPhases;
            const auto row = std::min(int(phase), kKernelPhases - 1);
            const auto between = float(phase - row);
            const float* lower = kernel + std::size_t(row * taps);
            const float* upper = lower + taps;
            for (int tap = 0; tap < taps; ++tap) {
                taps_[std::size_t(tap)] = lower[tap] + (upper[tap] - lower[tap]) * between;
            }
            const float* in = input_.data() + first * channels_;
            for (std::size_t channel = 0; channel < channels_; ++channel) {
                float sum = 0;
                for (int tap = 0; tap < taps; ++tap) {
                    sum += taps_[std::size_t(tap)] * in[std::size_t(tap) * channels_ + channel];
                }
                out[frame * channels_ + channel] = sum;
            }
            position_ += step_;
        }
    }

private:
    const std::size_t channels_;
    const std::vector<float>& kernel_;
    std::vector<float> input_;
    std::vector<float> taps_;
    std::size_t frames_ = 0;
    // The next output frame's place among the input frames held.
    double position_ = 0;
    double step_ = 1.0;
};

// One stretch of play at one rate from one place on the time line. Made once with everything it
// needs; each placement starts it afresh.
class AudioRenderPipeline::Segment {
public:
    Segment(const AudioSinkFormat& format, AudioFrameSource& source)
        : format_(format),
          channels_(std::size_t(format.channelCount)),
          source_(source),
          stretchInput_(kStretchBlockFrames * channels_),
          compensator_(channels_),
          history_(std::size_t(kKernelHalfWidth) * channels_) {
        if (format.channelCount <= TimeStretcher::kMaximumChannelCount) {
            stretcher_.emplace(format.channelCount, format.sampleRate, 1.0, 0.0);
        }
    }

    // Output frame 0 plays time-line frame `startPosition` (rounded to a whole frame at rate 1).
    void start(double rate, double startPosition, std::uint64_t generation) {
        rate_ = rate;
        generation_ = generation;
        compensating_ = false;
        std::fill(history_.begin(), history_.end(), 0.0f);
        stretching_ = rate != 1.0;
        readPosition_ = std::llround(startPosition);
        if (stretching_) {
            precondition(stretcher_.has_value(), "A time stretcher takes 1 to 8 channels.");
            stretcher_->setRate(rate);
            stretcher_->reset(startPosition);
            // The first windows begin a little before the start.
            readPosition_ = stretcher_->inputPosition();
        }
    }

    double rate() const { return rate_; }
    std::uint64_t generation() const { return generation_; }
    void setGeneration(std::uint64_t generation) { generation_ = generation; }
    std::int64_t readPosition() const { return readPosition_; }
    bool isCompensating() const { return compensating_; }

    // The time-line frame of the next output frame.
    double outputPosition() const {
        double position = stretching_ ? stretcher_->outputPosition() : double(readPosition_);
        if (compensating_) {
            position -= compensator_.framesAhead() * rate_;
        }
        return position;
    }

    // Extra output frames per output frame (negative: fewer).
    void setCompensation(double compensation) {
        if (compensation == 0 && !compensating_) {
            return;
        }
        if (!compensating_) {
            compensator_.start(history_.data());
            compensating_ = true;
        }
        compensator_.setCompensation(compensation);
    }

    void render(float* out, std::size_t frameCount) {
        if (compensating_) {
            compensator_.render(out, frameCount, [this](float* into, std::size_t count) {
                pullStretched(into, count);
            });
            return;
        }
        pullStretched(out, frameCount);
        // What the compensator would go on from, were it to start.
        const std::size_t kept = std::min(frameCount, std::size_t(kKernelHalfWidth));
        const std::size_t shifted = std::size_t(kKernelHalfWidth) - kept;
        std::copy(history_.begin() + std::ptrdiff_t(kept * channels_), history_.end(),
                  history_.begin());
        std::copy_n(out + (frameCount - kept) * channels_, kept * channels_,
                    history_.data() + shifted * channels_);
    }

private:
    void pullStretched(float* out, std::size_t frameCount) {
        if (!stretching_) {
            source_.readFrames(readPosition_, out, frameCount);
            readPosition_ += std::int64_t(frameCount);
            return;
        }
        std::size_t pulled = 0;
        for (;;) {
            pulled += stretcher_->pull(out + pulled * channels_, frameCount - pulled);
            if (pulled == frameCount) {
                break;
            }
            // Exactly what it asks for, so that it never reads ahead into what is not queued yet.
            const std::size_t count =
                std::min(stretcher_->inputFramesWanted(), kStretchBlockFrames);
            precondition(count > 0 && stretcher_->inputPosition() == readPosition_,
                         "The time stretcher wants input it cannot have.");
            source_.readFrames(readPosition_, stretchInput_.data(), count);
            stretcher_->push(stretchInput_.data(), count);
            readPosition_ += std::int64_t(count);
        }
    }

    const AudioSinkFormat format_;
    const std::size_t channels_;
    AudioFrameSource& source_;
    double rate_ = 1.0;
    std::uint64_t generation_ = 0;
    std::int64_t readPosition_ = 0;

    bool stretching_ = false;
    std::optional<TimeStretcher> stretcher_;
    std::vector<float> stretchInput_;

    bool compensating_ = false;
    Compensator compensator_;
    // The last frames played, oldest first, while not compensating.
    std::vector<float> history_;
};

AudioRenderPipeline::AudioRenderPipeline(AudioSinkFormat format, AudioFrameSource& source)
    : format_(format),
      source_(source),
      segments_{std::make_unique<Segment>(format, source), std::make_unique<Segment>(format, source)},
      fadeBuffer_(std::size_t(std::ceil(kFadeSeconds * format.sampleRate)) *
                  std::size_t(format.channelCount)) {}

AudioRenderPipeline::~AudioRenderPipeline() = default;

std::optional<std::int64_t> AudioRenderPipeline::readPosition() const {
    const std::int64_t position = readPosition_.load(std::memory_order_acquire);
    if (position == kNoPosition) {
        return std::nullopt;
    }
    return position;
}

AudioRenderPipeline::Statistics AudioRenderPipeline::statistics() const {
    return {placements_.load(), lastOffsetFrames_.load(), compensation_.load(),
            outputLatencySeconds_.load()};
}

void AudioRenderPipeline::reset() {
    // What was in flight belongs to flushed data: it stops short.
    segment_ = nullptr;
    fadingSegment_ = nullptr;
    lastOutputAudible_ = false;
    nextHostNanoseconds_.reset();
    readPosition_.store(kNoPosition, std::memory_order_release);
}

void AudioRenderPipeline::render(float* out, std::size_t frameCount, CMTime hostTime,
                                 const std::optional<CMTimebaseAnchor>& anchor, float gain) {
    const double rate = anchor ? anchor->rate : 0.0;
    if (!anchor || !(rate > 0) || !std::isfinite(rate) || !CMTIME_IS_NUMERIC(anchor->time) ||
        !CMTIME_IS_NUMERIC(anchor->hostTime) || !CMTIME_IS_NUMERIC(hostTime)) {
        stop(out, frameCount);
    } else {
        const double sampleRate = format_.sampleRate;
        const double hostSeconds = double(CMClockConvertHostTimeToNanoseconds(hostTime) -
                                          CMClockConvertHostTimeToNanoseconds(anchor->hostTime)) /
                                   1e9;
        const double timelineFrame =
            (CMTimeGetSeconds(anchor->time) + rate * hostSeconds) * sampleRate;
        const std::int64_t hostNanoseconds = CMClockConvertHostTimeToNanoseconds(hostTime);
        const bool accountStepped =
            nextHostNanoseconds_ &&
            std::abs(double(hostNanoseconds - *nextHostNanoseconds_)) > kAccountStepSeconds * 1e9;
        nextHostNanoseconds_ =
            hostNanoseconds + std::int64_t(std::llround(double(frameCount) * 1e9 / sampleRate));
        if (segment_ != nullptr && segment_->rate() == rate) {
            const double offset = segment_->outputPosition() - timelineFrame;
            const double heardOffsetSeconds = std::abs(offset) / (rate * sampleRate);
            const bool jumped = anchor->generation != segment_->generation() &&
                                std::abs(offset) > kJumpThresholdSeconds * sampleRate;
            const bool stepped = accountStepped && heardOffsetSeconds > kJumpThresholdSeconds;
            const bool farOff = heardOffsetSeconds > kPlacementThresholdSeconds;
            rendersFarOff_ = farOff ? rendersFarOff_ + 1 : 0;
            if (jumped || stepped || rendersFarOff_ >= kRendersBeforePlacement) {
                place(timelineFrame, rate, anchor->generation);
            } else if (farOff) {
                // Play on as it stands until the offset proves real.
                segment_->setGeneration(anchor->generation);
                lastOffsetFrames_.store(offset);
            } else {
                segment_->setGeneration(anchor->generation);
                lastOffsetFrames_.store(offset);
                if (!steer(offset, frameCount)) {
                    place(timelineFrame, rate, anchor->generation);
                }
            }
        } else {
            place(timelineFrame, rate, anchor->generation);
        }

        std::size_t fadeFrames = 0;
        if (fadingSegment_ != nullptr) {
            fadeFrames = std::min(frameCount, fadeBuffer_.size() / std::size_t(format_.channelCount));
            fadingSegment_->render(fadeBuffer_.data(), fadeFrames);
            fadingSegment_ = nullptr;
        }
        segment_->render(out, frameCount);
        const auto channels = std::size_t(format_.channelCount);
        for (std::size_t frame = 0; frame < fadeFrames; ++frame) {
            const float in = (float(frame) + 0.5f) / float(fadeFrames);
            for (std::size_t channel = 0; channel < channels; ++channel) {
                const std::size_t index = frame * channels + channel;
                out[index] = out[index] * in + fadeBuffer_[index] * (1.0f - in);
            }
        }
        source_.discardFramesBefore(segment_->readPosition() -
                                    std::int64_t(kKeptHistorySeconds * sampleRate));
    }
    if (segment_ == nullptr) {
        nextHostNanoseconds_.reset();
    }
    readPosition_.store(segment_ != nullptr ? segment_->readPosition() : kNoPosition,
                        std::memory_order_release);
    applyGain(out, frameCount, gain);
    noteAudibility(out, frameCount);
}

void AudioRenderPipeline::stop(float* out, std::size_t frameCount) {
    const auto channels = std::size_t(format_.channelCount);
    std::size_t fadeFrames = 0;
    if (segment_ != nullptr && lastOutputAudible_) {
        fadeFrames = std::min(frameCount, fadeBuffer_.size() / channels);
        segment_->render(out, fadeFrames);
        for (std::size_t frame = 0; frame < fadeFrames; ++frame) {
            const float gain = 1.0f - (float(frame) + 0.5f) / float(fadeFrames);
            for (std::size_t channel = 0; channel < channels; ++channel) {
                out[frame * channels + channel] *= gain;
            }
        }
    }
    std::fill(out + fadeFrames * channels, out + frameCount * channels, 0.0f);
    segment_ = nullptr;
    fadingSegment_ = nullptr;
}

void AudioRenderPipeline::place(double timelineFrame, double rate, std::uint64_t generation) {
    // Two segments are enough: the one placed now, and the one it replaces while it fades out
    // (within this render).
    fadingSegment_ = segment_ != nullptr && lastOutputAudible_ ? segment_ : nullptr;
    segment_ = segments_[0].get() == fadingSegment_ ? segments_[1].get() : segments_[0].get();
    segment_->start(rate, timelineFrame, generation);
    averageOffsetFrames_ = 0;
    rendersFarOff_ = 0;
    pinnedSeconds_ = 0;
    compensation_.store(0);
    lastOffsetFrames_.store(segment_->outputPosition() - timelineFrame);
    placements_.fetch_add(1);
}

bool AudioRenderPipeline::steer(double offsetFrames, std::size_t frameCount) {
    const double sampleRate = format_.sampleRate;
    const double seconds = double(frameCount) / sampleRate;
    const double weight = std::min(1.0, seconds / kOffsetAveragingSeconds);
    averageOffsetFrames_ += (offsetFrames - averageOffsetFrames_) * weight;
    if (!segment_->isCompensating() && drift_ == 0 &&
        std::abs(averageOffsetFrames_) < kSteeringThresholdSeconds * sampleRate) {
        return true;
    }
    // Ahead of the time line: make more output of the same input, so it falls back. An offset
    // of time-line frames takes 1/rate as long to make up at the same correction.
    const double framesPerSecond = sampleRate * segment_->rate();
    const double wanted =
        averageOffsetFrames_ / (kSteeringTimeConstantSeconds * framesPerSecond) + drift_;
    const double compensation = std::clamp(wanted, -kMaximumCompensation, kMaximumCompensation);
    segment_->setCompensation(compensation);
    compensation_.store(compensation);
    if (compensation == wanted) {
        // What is left over after the correction is the sink's own drift. Not learnt at the
        // limit, where it would only wind up.
        drift_ = std::clamp(drift_ + averageOffsetFrames_ * seconds /
                                         (kSteeringTimeConstantSeconds * kDriftTimeConstantSeconds *
                                          framesPerSecond),
                            -kMaximumCompensation, kMaximumCompensation);
        pinnedSeconds_ = 0;
        return true;
    }
    if (pinnedSeconds_ == 0) {
        pinnedFromOffsetFrames_ = std::abs(averageOffsetFrames_);
    }
    pinnedSeconds_ += seconds;
    if (pinnedSeconds_ < kPinnedCheckSeconds) {
        return true;
    }
    const double expected = kMaximumCompensation * framesPerSecond * pinnedSeconds_;
    if (std::abs(averageOffsetFrames_) >
        pinnedFromOffsetFrames_ - kPinnedLeastReduction * expected) {
        return false;
    }
    pinnedSeconds_ = 0;
    return true;
}

void AudioRenderPipeline::applyGain(float* out, std::size_t frameCount, float gain) {
    const float from = lastGain_;
    lastGain_ = gain;
    if (from == 1.0f && gain == 1.0f) {
        return;
    }
    const auto channels = std::size_t(format_.channelCount);
    for (std::size_t frame = 0; frame < frameCount; ++frame) {
        const float step = float(frame + 1) / float(frameCount);
        const float frameGain = from + (gain - from) * step;
        for (std::size_t channel = 0; channel < channels; ++channel) {
            out[frame * channels + channel] *= frameGain;
        }
    }
}

void AudioRenderPipeline::noteAudibility(const float* out, std::size_t frameCount) {
    // The last few frames tell whether stopping here would cut off a sound.
    const auto channels = std::size_t(format_.channelCount);
    const std::size_t tail = std::min<std::size_t>(frameCount, 32) * channels;
    lastOutputAudible_ = false;
    for (std::size_t index = frameCount * channels - tail; index < frameCount * channels; ++index) {
        if (std::abs(out[index]) > 1e-5f) {
            lastOutputAudible_ = true;
            break;
        }
    }
}

}  // namespace platform
