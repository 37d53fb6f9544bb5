#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"

#include <algorithm>
#include <deque>
#include <optional>

#include "platform/avfoundation/MediaDataRequestScheduler.h"
#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// A frame without a usable time is shown as soon as it is reached.
CMTime presentationTimeOf(const CMSampleBufferRef& frame) {
    const CMTime time = CMSampleBufferGetPresentationTimeStamp(frame);
    return CMTIME_IS_NUMERIC(time) ? time : kCMTimeNegativeInfinity;
}

}  // namespace

struct AVSampleBufferDisplayLayer::State {
    State(std::size_t highWaterMark, std::size_t lowWaterMark)
        : highWaterMark(highWaterMark), lowWaterMark(lowWaterMark) {}

    const std::size_t highWaterMark;
    const std::size_t lowWaterMark;
    MediaDataRequestScheduler requests;

    mutable std::mutex mutex;
    // In presentation order.
    std::deque<CMSampleBufferRef> queued;
    CMSampleBufferRef displayed;
    // The frame the sink was last told comes next.
    CMSampleBufferRef announcedNext;
    // Whether a frame whose time had come was shown since the last flush.
    bool showedDueFrameSinceFlush = false;
    std::size_t dropped = 0;
    AVQueuedSampleBufferRenderingStatus status = AVQueuedSampleBufferRenderingStatus::unknown;
    std::shared_ptr<const Error> error;
    AVVideoLayerGeometry geometry;
    AVVideoSinkRef sink;
    CMReadOnlyTimebaseRef timebase;
    std::unique_ptr<CMClockAlarm> alarm;
    std::optional<std::int64_t> armedDeadline;

    // Under `mutex`.
    void show(const CMSampleBufferRef& frame, CMTime time, CMTime host) {
        if (frame == displayed) {
            return;
        }
        displayed = frame;
        if (sink) {
            sink->displayFrame(frame, time, host);
        }
    }

    // Under `mutex`: shows what the time line has reached and arms the alarm for the next
    // frame. Answers whether frames were used up.
    bool update() {
        if (!timebase) {
            if (!showedDueFrameSinceFlush && !queued.empty()) {
                show(queued.front(), kCMTimeInvalid, kCMTimeInvalid);
            }
            return false;
        }
        CMTimebaseAnchor anchor;
        CMTime host;
        const CMTime now = timebase->timeAndAnchor(&anchor, &host);
        CMSampleBufferRef due;
        std::size_t passedOver = 0;
        while (!queued.empty() && CMTimeCompare(presentationTimeOf(queued.front()), now) <= 0) {
            if (due) {
                ++passedOver;
            }
            due = std::move(queued.front());
            queued.pop_front();
        }
        dropped += passedOver;
        if (passedOver > 0 && sink) {
            sink->framesWereDroppedLate(passedOver);
        }
        if (due) {
            show(due, now, host);
            showedDueFrameSinceFlush = true;
        } else if (!showedDueFrameSinceFlush && !queued.empty()) {
            show(queued.front(), now, host);
        }
        announceNext();
        if (anchor.rate > 0 && !queued.empty() && alarm) {
            const std::int64_t hostNow = CMClockConvertHostTimeToNanoseconds(host);
            const CMTime next = presentationTimeOf(queued.front());
            const std::int64_t deadline = std::max(
                CMClockConvertHostTimeToNanoseconds(anchor.hostTimeForTime(next)), hostNow + 1);
            if (armedDeadline != deadline) {
                armedDeadline = deadline;
                alarm->schedule(CMClockMakeHostTime(deadline));
            }
        }
        return static_cast<bool>(due);
    }

    // Under `mutex`: tells the sink which frame follows the one on screen.
    void announceNext() {
        CMSampleBufferRef next = queued.empty() ? nullptr : queued.front();
        if (next == displayed) {
            next = queued.size() > 1 ? queued[1] : nullptr;
        }
        if (next == announcedNext) {
            return;
        }
        announcedNext = next;
        if (sink) {
            sink->frameIsNext(next);
        }
    }

    // Under `mutex`: after frames were used up or dropped, the data source may fill up again.
    void askForMoreIfLow() {
        if (queued.size() <= lowWaterMark) {
            requests.rendererIsReady();
        }
    }

    void removeAllFrames() {
        queued.clear();
        announcedNext = nullptr;
        if (sink) {
            sink->layerWasFlushed();
        }
        showedDueFrameSinceFlush = false;
        armedDeadline.reset();
        if (status == AVQueuedSampleBufferRenderingStatus::failed) {
            status = AVQueuedSampleBufferRenderingStatus::unknown;
            error.reset();
        }
        requests.rendererIsReady();
    }
};

AVSampleBufferDisplayLayer::AVSampleBufferDisplayLayer()
    : AVSampleBufferDisplayLayer(kDefaultHighWaterMark, kDefaultLowWaterMark) {}

AVSampleBufferDisplayLayer::AVSampleBufferDisplayLayer(std::size_t highWaterMark,
                                                       std::size_t lowWaterMark)
    : state_(std::make_shared<State>(highWaterMark, lowWaterMark)) {
    precondition(lowWaterMark < highWaterMark,
                 "A display layer's low-water mark must lie below its high-water mark.");
}

AVSampleBufferDisplayLayer::~AVSampleBufferDisplayLayer() {
    std::unique_ptr<CMClockAlarm> alarm;
    {
        std::lock_guard lock(state_->mutex);
        alarm = std::move(state_->alarm);
    }
    alarm.reset();
    state_->requests.stop();
}

void AVSampleBufferDisplayLayer::enqueueSampleBuffer(const CMSampleBufferRef& sampleBuffer) {
    precondition(sampleBuffer != nullptr, "A display layer cannot enqueue a null sample buffer.");
    std::lock_guard lock(state_->mutex);
    if (state_->status == AVQueuedSampleBufferRenderingStatus::failed) {
        return;
    }
    if (!CMSampleBufferGetImageBuffer(sampleBuffer)) {
        state_->status = AVQueuedSampleBufferRenderingStatus::failed;
        state_->error = std::make_shared<NSError>(
            AVFoundationErrorDomain, AVErrorDecodeFailed,
            NSError::UserInfo{{NSLocalizedDescriptionKey, std::string("Cannot Decode")},
                              {NSLocalizedFailureReasonErrorKey,
                               std::string("The sample buffer holds no decoded picture.")}});
        return;
    }
    state_->status = AVQueuedSampleBufferRenderingStatus::rendering;
    const CMTime time = presentationTimeOf(sampleBuffer);
    auto position = state_->queued.end();
    while (position != state_->queued.begin() &&
           CMTimeCompare(presentationTimeOf(*std::prev(position)), time) > 0) {
        --position;
    }
    if (position == state_->queued.begin()) {
        // A new earliest frame: the alarm must come earlier.
        state_->armedDeadline.reset();
    }
    state_->queued.insert(position, sampleBuffer);
    // Frames used up right here belong to the fill that is running: no new request for them.
    state_->update();
}

void AVSampleBufferDisplayLayer::flush() {
    std::lock_guard lock(state_->mutex);
    state_->removeAllFrames();
}

void AVSampleBufferDisplayLayer::flushAndRemoveImage() {
    std::lock_guard lock(state_->mutex);
    state_->removeAllFrames();
    state_->show(nullptr, kCMTimeInvalid, kCMTimeInvalid);
}

bool AVSampleBufferDisplayLayer::isReadyForMoreMediaData() const {
    std::lock_guard lock(state_->mutex);
    return state_->queued.size() < state_->highWaterMark;
}

void AVSampleBufferDisplayLayer::requestMediaDataWhenReadyOnQueue(
    std::shared_ptr<DispatchQueue> queue, MediaDataRequestBlock block) {
    precondition(queue != nullptr && static_cast<bool>(block),
                 "A media data request needs a queue and a block.");
    std::lock_guard lock(state_->mutex);
    state_->requests.request(std::move(queue), std::move(block),
                             state_->queued.size() < state_->highWaterMark);
}

void AVSampleBufferDisplayLayer::stopRequestingMediaData() {
    state_->requests.stop();
}

AVQueuedSampleBufferRenderingStatus AVSampleBufferDisplayLayer::status() const {
    std::lock_guard lock(state_->mutex);
    return state_->status;
}

std::shared_ptr<const Error> AVSampleBufferDisplayLayer::error() const {
    std::lock_guard lock(state_->mutex);
    return state_->error;
}

CGRect AVSampleBufferDisplayLayer::bounds() const {
    std::lock_guard lock(state_->mutex);
    return state_->geometry.bounds;
}

void AVSampleBufferDisplayLayer::setBounds(CGRect bounds) {
    std::lock_guard lock(state_->mutex);
    state_->geometry.bounds = bounds;
    if (state_->sink) {
        state_->sink->geometryDidChange(state_->geometry);
    }
}

CGAffineTransform AVSampleBufferDisplayLayer::affineTransform() const {
    std::lock_guard lock(state_->mutex);
    return state_->geometry.transform;
}

void AVSampleBufferDisplayLayer::setAffineTransform(CGAffineTransform transform) {
    std::lock_guard lock(state_->mutex);
    state_->geometry.transform = transform;
    if (state_->sink) {
        state_->sink->geometryDidChange(state_->geometry);
    }
}

AVLayerVideoGravity AVSampleBufferDisplayLayer::videoGravity() const {
    std::lock_guard lock(state_->mutex);
    return state_->geometry.videoGravity;
}

void AVSampleBufferDisplayLayer::setVideoGravity(AVLayerVideoGravity videoGravity) {
    std::lock_guard lock(state_->mutex);
    state_->geometry.videoGravity = std::move(videoGravity);
    if (state_->sink) {
        state_->sink->geometryDidChange(state_->geometry);
    }
}

AVVideoLayerGeometry AVSampleBufferDisplayLayer::geometry() const {
    std::lock_guard lock(state_->mutex);
    return state_->geometry;
}

void AVSampleBufferDisplayLayer::setVideoSink(AVVideoSinkRef sink) {
    AVVideoSinkRef previous;
    std::lock_guard lock(state_->mutex);
    previous = std::exchange(state_->sink, std::move(sink));
    if (state_->sink) {
        state_->sink->geometryDidChange(state_->geometry);
        if (state_->displayed) {
            CMTime host = kCMTimeInvalid;
            const CMTime time =
                state_->timebase ? state_->timebase->timeAndAnchor(nullptr, &host) : kCMTimeInvalid;
            state_->sink->displayFrame(state_->displayed, time, host);
        }
        state_->announcedNext = nullptr;
        state_->announceNext();
    }
}

CMSampleBufferRef AVSampleBufferDisplayLayer::displayedFrame() const {
    std::lock_guard lock(state_->mutex);
    return state_->displayed;
}

std::size_t AVSampleBufferDisplayLayer::queuedFrameCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->queued.size();
}

std::size_t AVSampleBufferDisplayLayer::droppedFrameCount() const {
    std::lock_guard lock(state_->mutex);
    return state_->dropped;
}

void AVSampleBufferDisplayLayer::timebaseWasAttached(const CMReadOnlyTimebaseRef& timebase) {
    auto alarm = timebase->sourceClock()->makeAlarm([weakState = std::weak_ptr<State>(state_)] {
        const auto state = weakState.lock();
        if (!state) {
            return;
        }
        std::lock_guard lock(state->mutex);
        state->armedDeadline.reset();
        if (state->update()) {
            state->askForMoreIfLow();
        }
    });
    std::unique_ptr<CMClockAlarm> previous;
    {
        std::lock_guard lock(state_->mutex);
        previous = std::exchange(state_->alarm, std::move(alarm));
        state_->timebase = timebase;
        state_->armedDeadline.reset();
        if (state_->update()) {
            state_->askForMoreIfLow();
        }
    }
}

void AVSampleBufferDisplayLayer::timebaseWasDetached() {
    std::unique_ptr<CMClockAlarm> alarm;
    {
        std::lock_guard lock(state_->mutex);
        alarm = std::move(state_->alarm);
        state_->timebase.reset();
        state_->armedDeadline.reset();
    }
}

void AVSampleBufferDisplayLayer::timebaseDidChange(const CMTimebaseAnchor&) {
    std::lock_guard lock(state_->mutex);
    state_->armedDeadline.reset();
    if (state_->update()) {
        state_->askForMoreIfLow();
    }
}

}  // namespace platform
