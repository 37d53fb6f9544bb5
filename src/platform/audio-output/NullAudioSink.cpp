#include "platform/audio-output/NullAudioSink.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

__extension__ typedef __int128 Int128;

// Rates are in millihertz, so that a device clock a little off its nominal rate stays exact.
std::int64_t framesToNanoseconds(std::int64_t frames, std::int64_t millihertz) {
    // Rounded to the nearest nanosecond; the 128-bit product never overflows.
    const Int128 scaled = Int128(frames) * 1'000'000'000'000 + millihertz / 2;
    return static_cast<std::int64_t>(scaled / millihertz);
}

// The number of frames whose play time lies before `nanoseconds` after the start.
std::int64_t framesBefore(std::int64_t nanoseconds, std::int64_t millihertz) {
    if (nanoseconds <= 0) {
        return 0;
    }
    const Int128 product = Int128(nanoseconds) * millihertz;
    return static_cast<std::int64_t>((product + 999'999'999'999) / 1'000'000'000'000);
}

}  // namespace

NullAudioSink::NullAudioSink(CMClockRef clock, AudioSinkFormat format, CMTime period)
    : NullAudioSink(std::move(clock), format, period, 1.0) {}

NullAudioSink::NullAudioSink(CMClockRef clock, AudioSinkFormat format, CMTime period,
                             double deviceClockRatio)
    : clock_(std::move(clock)),
      format_(format),
      periodNanoseconds_(CMClockConvertHostTimeToNanoseconds(period)),
      millihertz_(std::llround(format.sampleRate * 1000.0 * deviceClockRatio)),
      periodFrames_(static_cast<std::size_t>(
          std::max<std::int64_t>(1, framesBefore(periodNanoseconds_, millihertz_)))) {
    precondition(clock_ != nullptr, "A null audio sink needs a clock.");
    precondition(periodNanoseconds_ > 0, "A null audio sink needs a positive period.");
    precondition(format_.sampleRate > 0 && format_.channelCount > 0 && millihertz_ > 0,
                 "A null audio sink needs a sample rate and channels.");
}

NullAudioSink::~NullAudioSink() {
    stop();
}

void NullAudioSink::setTap(Tap tap) {
    precondition(!render_, "The tap of a null audio sink is set before it starts.");
    tap_ = std::move(tap);
}

void NullAudioSink::start(RenderCallback render, EventCallback events) {
    precondition(!render_, "An audio sink is started once.");
    render_ = std::move(render);
    events_ = std::move(events);
    buffer_.resize(periodFrames_ * std::size_t(format_.channelCount));
    const std::int64_t now = CMClockConvertHostTimeToNanoseconds(clock_->time());
    startNanoseconds_.store(now, std::memory_order_release);
    alarm_ = clock_->makeAlarm([this] { renderDue(); });
    alarm_->schedule(CMClockMakeHostTime(now));
}

void NullAudioSink::stop() {
    stopped_.store(true, std::memory_order_release);
    if (alarm_) {
        // A run that was going when the first cancel began may have armed the alarm again; any
        // later run sees stopped_ and arms nothing, so the second cancel leaves it disarmed.
        alarm_->cancel();
        alarm_->cancel();
    }
}

std::optional<std::string> NullAudioSink::deviceUniqueID() const {
    std::lock_guard lock(deviceMutex_);
    return deviceUniqueID_;
}

void NullAudioSink::setDeviceUniqueID(std::optional<std::string> deviceUniqueID) {
    {
        std::lock_guard lock(deviceMutex_);
        deviceUniqueID_ = std::move(deviceUniqueID);
    }
    // There is only one place to play to, so nothing moves and nothing is lost.
}

CMTime NullAudioSink::hostTimeOfFrame(std::int64_t frameIndex) const {
    const std::int64_t start = startNanoseconds_.load(std::memory_order_acquire);
    if (start < 0) {
        return kCMTimeInvalid;
    }
    return CMClockMakeHostTime(start + framesToNanoseconds(frameIndex, millihertz_));
}

void NullAudioSink::renderDue() {
    if (stopped_.load(std::memory_order_acquire)) {
        return;
    }
    const std::int64_t start = startNanoseconds_.load(std::memory_order_acquire);
    const std::int64_t now = CMClockConvertHostTimeToNanoseconds(clock_->time());
    // One period ahead, as a device buffer would be.
    const std::int64_t due = framesBefore(now + periodNanoseconds_ - start, millihertz_);
    while (renderedFrames_ < due && !stopped_.load(std::memory_order_acquire)) {
        const auto count =
            static_cast<std::size_t>(std::min<std::int64_t>(due - renderedFrames_, periodFrames_));
        const CMTime hostTime = hostTimeOfFrame(renderedFrames_);
        render_(buffer_.data(), count, hostTime);
        if (tap_) {
            tap_(buffer_.data(), count, hostTime);
        }
        renderedFrames_ += std::int64_t(count);
    }
    alarm_->schedule(CMClockMakeHostTime(now + periodNanoseconds_));
}

}  // namespace platform
