#include "platform/audio-output/AudioRenderPipeline.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "platform/audio-output/TimeStretcher.h"
#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// A cross-fade this long hides a change of position or rate.
constexpr double kFadeSeconds = 0.005;
// Beyond this the output is placed afresh instead of steered: a sound server that restarted,
// or a host that stalled. A sound server's timing can be off for a moment on a busy machine, so
// only an offset that lasts a few renders counts.
constexpr double kPlacementThresholdSeconds = 0.05;
constexpr int kRendersBeforePlacement = 3;
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
// ones (it holds only a few frames of its own).
constexpr std::size_t kStretchBlockFrames = 1024;
constexpr std::size_t kCompensationBlockFrames = 256;
// The span over which the resampler spreads a correction; the longer, the finer the steps of
// correction it can make (a frame in ten seconds: 2 ppm).
constexpr int kCompensationDistanceSeconds = 10;

struct SwrContextDeleter {
    void operator()(SwrContext* context) const { swr_free(&context); }
};

}  // namespace

// One stretch of play at one rate from one place on the time line.
class AudioRenderPipeline::Segment {
public:
    // Output frame 0 plays time-line frame `startPosition` (rounded to a whole frame at rate 1).
    Segment(const AudioSinkFormat& format, double rate, double startPosition,
            std::uint64_t generation, AudioFrameSource& source)
        : format_(format),
          channels_(std::size_t(format.channelCount)),
          rate_(rate),
          generation_(generation),
          source_(source),
          readPosition_(std::llround(startPosition)) {
        if (rate != 1.0) {
            stretcher_ = std::make_unique<TimeStretcher>(format.channelCount, format.sampleRate,
                                                         rate, startPosition);
            // The first windows begin a little before the start.
            readPosition_ = stretcher_->inputPosition();
            stretchInput_.resize(kStretchBlockFrames * channels_);
        }
    }

    double rate() const { return rate_; }
    std::uint64_t generation() const { return generation_; }
    void setGeneration(std::uint64_t generation) { generation_ = generation; }
    std::int64_t readPosition() const { return readPosition_; }
    bool isCompensating() const { return compensator_ != nullptr; }

    // The time-line frame of the next output frame.
    double outputPosition() const {
        double position = stretcher_ ? stretcher_->outputPosition() : double(readPosition_);
        if (compensator_) {
            const std::int64_t base = std::int64_t(format_.sampleRate) * 1000;
            const double delay = double(swr_get_delay(compensator_.get(), base)) / 1000.0;
            position -= (delay + double(fifoEnd_ - fifoBegin_)) * rate_;
        }
        return position;
    }

    // Extra output frames per output frame (negative: fewer). Holds for the next ten seconds
    // of output: the resampler lets a correction lapse after the distance it was given, so
    // the steering gives it again at every render.
    void setCompensation(double compensation) {
        if (compensation == 0 && !compensator_) {
            return;
        }
        if (!compensator_) {
            makeCompensator();
        }
        const int distance = format_.sampleRate * kCompensationDistanceSeconds;
        const int delta = int(std::lround(compensation * distance));
        precondition(
            swr_set_compensation(compensator_.get(), delta, delta != 0 ? distance : 0) >= 0,
            "Unable to steer the audio output.");
    }

    void render(float* out, std::size_t frameCount) {
        if (!compensator_) {
            pullStretched(out, frameCount);
            return;
        }
        while (fifoEnd_ - fifoBegin_ < frameCount) {
            if (fifoBegin_ > 0) {
                std::memmove(fifo_.data(), fifo_.data() + fifoBegin_ * channels_,
                             (fifoEnd_ - fifoBegin_) * channels_ * sizeof(float));
                fifoEnd_ -= fifoBegin_;
                fifoBegin_ = 0;
            }
            pullStretched(compensationInput_.data(), kCompensationBlockFrames);
            const int capacity =
                swr_get_out_samples(compensator_.get(), int(kCompensationBlockFrames));
            if (fifo_.size() < (fifoEnd_ + std::size_t(capacity)) * channels_) {
                fifo_.resize((fifoEnd_ + std::size_t(capacity)) * channels_);
            }
            auto* destination =
                reinterpret_cast<std::uint8_t*>(fifo_.data() + fifoEnd_ * channels_);
            const auto* input = reinterpret_cast<const std::uint8_t*>(compensationInput_.data());
            const int converted = swr_convert(compensator_.get(), &destination, capacity, &input,
                                              int(kCompensationBlockFrames));
            precondition(converted >= 0, "Unable to steer the audio output.");
            fifoEnd_ += std::size_t(converted);
        }
        std::copy_n(fifo_.data() + fifoBegin_ * channels_, frameCount * channels_, out);
        fifoBegin_ += frameCount;
    }

private:
    void pullStretched(float* out, std::size_t frameCount) {
        if (!stretcher_) {
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

    void makeCompensator() {
        AVChannelLayout layout{};
        av_channel_layout_from_mask(&layout, format_.channelMask);
        SwrContext* context = nullptr;
        int status =
            swr_alloc_set_opts2(&context, &layout, AV_SAMPLE_FMT_FLT, format_.sampleRate, &layout,
                                AV_SAMPLE_FMT_FLT, format_.sampleRate, 0, nullptr);
        av_channel_layout_uninit(&layout);
        compensator_.reset(context);
        if (status >= 0) {
            // Resample from the start, so that steering never re-initialises it midway.
            status = av_opt_set_int(context, "flags", SWR_FLAG_RESAMPLE, 0);
        }
        if (status >= 0) {
            status = swr_init(context);
        }
        precondition(status >= 0, "Unable to set up the audio output's drift compensation.");
        compensationInput_.resize(kCompensationBlockFrames * channels_);
    }

    const AudioSinkFormat format_;
    const std::size_t channels_;
    const double rate_;
    std::uint64_t generation_;
    AudioFrameSource& source_;
    std::int64_t readPosition_;

    std::unique_ptr<TimeStretcher> stretcher_;
    std::vector<float> stretchInput_;

    std::unique_ptr<SwrContext, SwrContextDeleter> compensator_;
    std::vector<float> compensationInput_;
    std::vector<float> fifo_;
    std::size_t fifoBegin_ = 0;
    std::size_t fifoEnd_ = 0;
};

AudioRenderPipeline::AudioRenderPipeline(AudioSinkFormat format, AudioFrameSource& source)
    : format_(format), source_(source) {}

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

void AudioRenderPipeline::render(float* out, std::size_t frameCount, CMTime hostTime,
                                 const std::optional<CMTimebaseAnchor>& anchor, float gain) {
    if (resetRequested_.exchange(false, std::memory_order_acq_rel)) {
        // What was in flight belongs to flushed data: it stops short.
        segment_.reset();
        fadingSegment_.reset();
        lastOutputAudible_ = false;
    }
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
        if (segment_ && segment_->rate() == rate) {
            const double offset = segment_->outputPosition() - timelineFrame;
            const bool jumped = anchor->generation != segment_->generation() &&
                                std::abs(offset) > kJumpThresholdSeconds * sampleRate;
            const bool farOff = std::abs(offset) > kPlacementThresholdSeconds * sampleRate;
            rendersFarOff_ = farOff ? rendersFarOff_ + 1 : 0;
            if (jumped || rendersFarOff_ >= kRendersBeforePlacement) {
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
        if (fadingSegment_) {
            fadeFrames = std::min(frameCount, std::size_t(kFadeSeconds * sampleRate));
            fadeBuffer_.resize(fadeFrames * std::size_t(format_.channelCount));
            fadingSegment_->render(fadeBuffer_.data(), fadeFrames);
            fadingSegment_.reset();
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
    readPosition_.store(segment_ ? segment_->readPosition() : kNoPosition,
                        std::memory_order_release);
    applyGain(out, frameCount, gain);
    noteAudibility(out, frameCount);
}

void AudioRenderPipeline::stop(float* out, std::size_t frameCount) {
    const auto channels = std::size_t(format_.channelCount);
    std::size_t fadeFrames = 0;
    if (segment_ && lastOutputAudible_) {
        fadeFrames = std::min(frameCount, std::size_t(kFadeSeconds * format_.sampleRate));
        segment_->render(out, fadeFrames);
        for (std::size_t frame = 0; frame < fadeFrames; ++frame) {
            const float gain = 1.0f - (float(frame) + 0.5f) / float(fadeFrames);
            for (std::size_t channel = 0; channel < channels; ++channel) {
                out[frame * channels + channel] *= gain;
            }
        }
    }
    std::fill(out + fadeFrames * channels, out + frameCount * channels, 0.0f);
    segment_.reset();
    fadingSegment_.reset();
}

void AudioRenderPipeline::place(double timelineFrame, double rate, std::uint64_t generation) {
    if (segment_ && lastOutputAudible_) {
        fadingSegment_ = std::move(segment_);
    }
    segment_ = std::make_unique<Segment>(format_, rate, timelineFrame, generation, source_);
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
