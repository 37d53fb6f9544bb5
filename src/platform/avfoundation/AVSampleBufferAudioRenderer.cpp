#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <mutex>
#include <thread>

#include <fmt/format.h>

#include "platform/audio-output/AudioInputConverter.h"
#include "platform/audio-output/AudioSampleQueue.h"
#include "platform/audio-output/NullAudioSink.h"
#include "platform/avfoundation/MediaDataRequestScheduler.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchThread.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

namespace {

// A lost output is tried again after this long, then after twice as long each time, up to the
// longest wait: a restarted sound server is heard again within about that.
constexpr std::chrono::milliseconds kFirstReconnectDelay{50};
constexpr std::chrono::milliseconds kLongestReconnectDelay{500};
// The thread that asks the data source for more when the render thread says the queue fell below
// its mark.
constexpr const char* kRequestThreadLabel = "Audio Renderer Requests";
// How often the data source is told again that the renderer is ready while it enqueues nothing.
constexpr double kRetellSeconds = 0.5;

}  // namespace

struct AVSampleBufferAudioRenderer::State final : AudioFrameSource,
                                                  std::enable_shared_from_this<State> {
    State(const AVSampleBufferAudioRenderer* renderer, std::unique_ptr<AudioSink> initialSink)
        : identity(renderer) {
        useFormat(initialSink->format());
        sink = std::move(initialSink);
        requestThread = std::thread([this] { runRequests(); });
    }

    ~State() override {
        // The sink's callbacks reach this state; they end before anything else goes.
        if (sink) {
            sink->stop();
        }
        closing.store(true, std::memory_order_release);
        wakeRequests();
        requestThread.join();
    }

    // The renderer as the automatic-flush notification's object; never dereferenced here.
    const void* const identity;
    // For log lines.
    mutable std::mutex descriptionMutex;
    std::string descriptionText;

    std::string description() const {
        std::lock_guard lock(descriptionMutex);
        return descriptionText;
    }
    void setDescription(std::string text) {
        std::lock_guard lock(descriptionMutex);
        descriptionText = std::move(text);
    }

    // What hands the audio over to the render thread is used by one thread at a time: enqueueing
    // converts under this lock, and flushes, the readiness check and a new format take it too,
    // so that no buffer converted before a flush lands after it. Never taken by the render
    // thread. Taken before queueMutex.
    mutable std::mutex converterMutex;
    std::unique_ptr<AudioInputConverter> converter;

    mutable std::mutex queueMutex;
    // The queue and the pipeline are used by the render thread without a lock: they are only
    // replaced while no sink runs, and other threads reach the pointers under queueMutex.
    std::unique_ptr<AudioSampleQueue> queue;
    std::unique_ptr<AudioRenderPipeline> pipeline;
    AudioSinkFormat format;
    AVQueuedSampleBufferRenderingStatus status = AVQueuedSampleBufferRenderingStatus::unknown;
    std::shared_ptr<const Error> error;

    mutable std::mutex timebaseMutex;
    CMReadOnlyTimebaseRef timebase;
    // The timebase as the render thread reads it, without a lock: a change waits until a render
    // that may still read the old one has let go of it.
    std::atomic<const CMTimebase*> renderTimebase{nullptr};
    std::atomic<bool> readingTimebase{false};
    // The render thread's own: the anchor it read last, and from which timebase.
    const CMTimebase* lastTimebase = nullptr;
    std::optional<CMTimebaseAnchor> lastAnchor;

    // Readiness, told by the render thread without posting anything: it raises the count and
    // wakes this thread, which asks the data source for more.
    std::atomic<std::uint32_t> readinessWakeups{0};
    std::atomic<bool> closing{false};
    std::thread requestThread;
    // The render thread's own: how many chunks the queue had taken when the data source was last
    // told, and how many frames were rendered since.
    std::uint64_t chunksWhenTold = 0;
    std::int64_t framesSinceTold = 0;

    std::atomic<float> volume{1.0f};
    std::atomic<bool> muted{false};
    MediaDataRequestScheduler requests;

    mutable std::mutex propertiesMutex;
    AVAudioTimePitchAlgorithm timePitchAlgorithm = AVAudioTimePitchAlgorithmTimeDomain;
    std::uint64_t allowedSpatializationFormats = 0;

    // Serializes what replaces, starts or asks the sink. Never taken by the sink's callbacks.
    mutable std::mutex sinkMutex;
    // The renderer has gone: nothing starts a sink any more.
    bool closed = false;
    std::unique_ptr<AudioSink> sink;
    // How often in a row a lost output could not be had back; under sinkMutex.
    int reconnectAttempt = 0;
    // Set by the sink's first render: the output worked.
    std::atomic<bool> renderedSinceStart{false};

    // Under converterMutex and queueMutex, while no sink runs, or before the state is shared.
    void useFormat(const AudioSinkFormat& newFormat) {
        format = newFormat;
        converter = std::make_unique<AudioInputConverter>(newFormat);
        queue = std::make_unique<AudioSampleQueue>(newFormat.channelCount);
        pipeline = std::make_unique<AudioRenderPipeline>(newFormat, *this);
        chunksWhenTold = 0;
        framesSinceTold = 0;
    }

    void wakeRequests() {
        readinessWakeups.fetch_add(1, std::memory_order_release);
        readinessWakeups.notify_one();
    }

    void runRequests() {
        detail::prepareCurrentThread(kRequestThreadLabel, DispatchQoS::userInitiated);
        std::uint32_t seen = 0;
        for (;;) {
            readinessWakeups.wait(seen, std::memory_order_acquire);
            if (closing.load(std::memory_order_acquire)) {
                return;
            }
            seen = readinessWakeups.load(std::memory_order_acquire);
            requests.rendererIsReady();
        }
    }

    // On any thread but the render thread, under timebaseMutex.
    void setRenderTimebase(const CMTimebase* newTimebase) {
        renderTimebase.store(newTimebase, std::memory_order_seq_cst);
        while (readingTimebase.load(std::memory_order_seq_cst)) {
            std::this_thread::yield();
        }
    }

    // On the render thread.
    std::optional<CMTimebaseAnchor> readAnchor() {
        readingTimebase.store(true, std::memory_order_seq_cst);
        const CMTimebase* current = renderTimebase.load(std::memory_order_seq_cst);
        if (current != lastTimebase) {
            lastTimebase = current;
            lastAnchor.reset();
        }
        if (current != nullptr) {
            CMTimebaseAnchor anchor;
            if (current->tryAnchor(anchor)) {
                lastAnchor = anchor;
            }
        }
        readingTimebase.store(false, std::memory_order_release);
        return lastAnchor;
    }

    void startSink() {
        std::lock_guard lock(sinkMutex);
        startSinkLocked();
    }

    void startSinkLocked() {
        AudioSink& current = *sink;
        current.start(
            [this, clock = current.clock()](float* out, std::size_t frameCount, CMTime hostTime) {
                render(out, frameCount, hostTime, clock);
            },
            [weak = weak_from_this()](AudioSink::Event event) {
                // The sink's thread must not wait for the sink: handle it elsewhere.
                DispatchQueue::global(DispatchQoS::userInitiated).async([weak, event] {
                    if (const auto state = weak.lock()) {
                        state->handleSinkEvent(event);
                    }
                });
            });
    }

    // AudioFrameSource, on the sink's thread, within a render.
    void readFrames(std::int64_t position, float* out, std::size_t frameCount) override {
        queue->read(position, out, frameCount);
    }

    void discardFramesBefore(std::int64_t position) override { queue->discardBefore(position); }

    static void queueWasCleared(void* self) { static_cast<State*>(self)->pipeline->reset(); }

    // On the sink's thread: takes no lock, allocates nothing and posts nothing.
    void render(float* out, std::size_t frameCount, CMTime hostTime, const CMClockRef& clock) {
        renderedSinceStart.store(true, std::memory_order_relaxed);
        if (clock && CMTIME_IS_NUMERIC(hostTime)) {
            pipeline->noteOutputLatency(double(CMClockConvertHostTimeToNanoseconds(hostTime) -
                                               CMClockConvertHostTimeToNanoseconds(clock->time())) /
                                        1e9);
        }
        const std::optional<CMTimebaseAnchor> anchor = readAnchor();
        const float gain =
            muted.load(std::memory_order_relaxed) ? 0.0f : volume.load(std::memory_order_relaxed);
        if (!queue->beginRender(pipeline->readPosition(), &State::queueWasCleared, this)) {
            std::fill_n(out, frameCount * std::size_t(format.channelCount), 0.0f);
            return;
        }
        pipeline->render(out, frameCount, hostTime, anchor, gain);
        const std::optional<std::int64_t> position = pipeline->readPosition();
        const bool ready = double(queue->renderFramesFrom(position.value_or(INT64_MIN))) <
                           kHighWaterMarkSeconds * double(format.sampleRate);
        queue->endRender(position);
        // The data source is told when the queue is below its mark and it has enqueued since it
        // was told last (it stops when the queue is full, and then waits to be told), not at
        // every render; and again now and then while nothing came, so that nothing waits for
        // good.
        framesSinceTold += std::int64_t(frameCount);
        if (ready && (queue->chunksTaken() != chunksWhenTold ||
                      double(framesSinceTold) >= kRetellSeconds * double(format.sampleRate))) {
            chunksWhenTold = queue->chunksTaken();
            framesSinceTold = 0;
            wakeRequests();
        }
    }

    // Under converterMutex.
    bool isReadyLocked() const {
        {
            std::lock_guard lock(queueMutex);
            if (status == AVQueuedSampleBufferRenderingStatus::failed) {
                return false;
            }
        }
        const std::int64_t position = queue->readPosition().value_or(INT64_MIN);
        return double(queue->framesFrom(position)) <
               kHighWaterMarkSeconds * double(format.sampleRate);
    }

    bool isReady() const {
        std::lock_guard converterLock(converterMutex);
        return isReadyLocked();
    }

    void enqueue(const CMSampleBufferRef& sampleBuffer) {
        std::lock_guard converterLock(converterMutex);
        {
            std::lock_guard lock(queueMutex);
            if (status == AVQueuedSampleBufferRenderingStatus::failed) {
                return;
            }
        }
        std::optional<AudioChunk> chunk;
        try {
            chunk = converter->convert(sampleBuffer, queue->makeStorage(0));
        } catch (const Error& failure) {
            logWarning("{}: Unable to play an audio sample buffer: {}.", description(),
                       failure.debugDescription());
            std::lock_guard lock(queueMutex);
            status = AVQueuedSampleBufferRenderingStatus::failed;
            error = failure.clone();
            return;
        }
        if (chunk && !queue->append(std::move(*chunk))) {
            // Thousands of chunks wait: the output has not played for a long while.
            logWarning("{}: The audio output takes no more buffers, so one was dropped.",
                       description());
        }
        std::lock_guard lock(queueMutex);
        status = AVQueuedSampleBufferRenderingStatus::rendering;
    }

    void flush() {
        {
            std::lock_guard converterLock(converterMutex);
            converter->reset();
            queue->clear();
            std::lock_guard lock(queueMutex);
            if (status == AVQueuedSampleBufferRenderingStatus::failed) {
                status = AVQueuedSampleBufferRenderingStatus::unknown;
                error.reset();
            }
        }
        requests.rendererIsReady();
    }

    bool flushFrom(CMTime time) {
        if (!CMTIME_IS_NUMERIC(time)) {
            return false;
        }
        std::lock_guard converterLock(converterMutex);
        const std::int64_t frame =
            CMTimeConvertScale(time, format.sampleRate, kCMTimeRoundingMethod_RoundHalfAwayFromZero)
                .value;
        // The queue decides with the render thread, by what it has taken.
        return queue->discardFrom(frame);
    }

    CMTime currentTime() const {
        std::lock_guard lock(timebaseMutex);
        return timebase ? timebase->time() : kCMTimeInvalid;
    }

    void handleSinkEvent(AudioSink::Event event) {
        const CMTime flushTime = currentTime();
        if (event == AudioSink::Event::deviceLost) {
            std::lock_guard lock(sinkMutex);
            if (closed) {
                return;
            }
            logWarning("{}: The audio output device went away, so audio plays to a null sink.",
                       description());
            sink->stop();
            AudioSink::Reconnector reconnector = sink->reconnector();
            std::optional<std::string> device = sink->deviceUniqueID();
            auto replacement = std::make_unique<NullAudioSink>(sink->clock());
            replacement->setDeviceUniqueID(device);
            {
                std::lock_guard converterLock(converterMutex);
                std::lock_guard queueLock(queueMutex);
                useFormat(replacement->format());
            }
            // The old sink goes only now: its callbacks ended with stop().
            sink = std::move(replacement);
            startSinkLocked();
            if (reconnector) {
                // A sink that never got to play (the server took the connection and refused
                // the stream) does not start the waiting afresh.
                const int attempt = renderedSinceStart.exchange(false) ? 0 : reconnectAttempt + 1;
                scheduleReconnect(std::move(reconnector), std::move(device), attempt);
            }
        }
        flushAutomatically(event == AudioSink::Event::deviceLost ? "went away" : "changed",
                           flushTime);
    }

    // What was queued is gone with the old output: the data source enqueues again from the
    // time line's time.
    void flushAutomatically(const char* what, CMTime flushTime) {
        logInfo("{}: The audio output device {}, so the renderer was flushed at {}.", description(),
                what, CMTimeCopyDescription(flushTime));
        flush();
        NotificationCenter::UserInfo userInfo;
        if (CMTIME_IS_VALID(flushTime)) {
            userInfo[AVSampleBufferAudioRendererFlushTimeKey] = flushTime;
        }
        NotificationCenter::defaultCenter().post(
            AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification, identity,
            std::move(userInfo));
    }

    // Under sinkMutex. Tries again after a wait that doubles up to a bound, for as long as the
    // renderer lives, on a global queue: connecting may wait for the server.
    void scheduleReconnect(AudioSink::Reconnector reconnector, std::optional<std::string> device,
                           int attempt) {
        reconnectAttempt = attempt;
        const auto delay =
            std::min(kFirstReconnectDelay * (1 << std::min(attempt, 10)), kLongestReconnectDelay);
        DispatchQueue::global(DispatchQoS::utility)
            .asyncAfter(delay, [weak = weak_from_this(), reconnector = std::move(reconnector),
                                device = std::move(device), attempt]() mutable {
                if (const auto state = weak.lock()) {
                    state->reconnect(std::move(reconnector), std::move(device), attempt);
                }
            });
    }

    void reconnect(AudioSink::Reconnector reconnector, std::optional<std::string> device,
                   int attempt) {
        {
            std::lock_guard lock(sinkMutex);
            if (closed) {
                return;
            }
        }
        // Without any lock: the server may take a while to answer.
        std::unique_ptr<AudioSink> replacement = reconnector();
        const CMTime flushTime = currentTime();
        {
            std::lock_guard lock(sinkMutex);
            if (closed) {
                return;
            }
            if (!replacement) {
                scheduleReconnect(std::move(reconnector), std::move(device), attempt + 1);
                return;
            }
            logInfo("{}: The sound server answers again, so audio plays to {} again.",
                    description(), replacement->name());
            sink->stop();
            replacement->setDeviceUniqueID(std::move(device));
            {
                std::lock_guard converterLock(converterMutex);
                std::lock_guard queueLock(queueMutex);
                useFormat(replacement->format());
            }
            sink = std::move(replacement);
            renderedSinceStart = false;
            startSinkLocked();
        }
        flushAutomatically("came back", flushTime);
    }
};

AVSampleBufferAudioRenderer::AVSampleBufferAudioRenderer()
    : AVSampleBufferAudioRenderer(makeDefaultAudioSink()) {}

AVSampleBufferAudioRenderer::AVSampleBufferAudioRenderer(std::unique_ptr<AudioSink> sink) {
    precondition(sink != nullptr, "An audio renderer needs a sink.");
    state_ = std::make_shared<State>(this, std::move(sink));
    state_->setDescription(AVSampleBufferAudioRenderer::description());
    state_->startSink();
}

AVSampleBufferAudioRenderer::~AVSampleBufferAudioRenderer() {
    state_->requests.stop();
    std::lock_guard lock(state_->sinkMutex);
    state_->closed = true;
    state_->sink->stop();
}

void AVSampleBufferAudioRenderer::enqueueSampleBuffer(const CMSampleBufferRef& sampleBuffer) {
    state_->enqueue(sampleBuffer);
}

void AVSampleBufferAudioRenderer::flush() {
    state_->flush();
}

void AVSampleBufferAudioRenderer::flushFromSourceTime(CMTime time,
                                                      FlushCompletionHandler completionHandler) {
    const bool flushed = state_->flushFrom(time);
    if (flushed) {
        state_->requests.rendererIsReady();
    }
    if (completionHandler) {
        DispatchQueue::global().async(
            [handler = std::move(completionHandler), flushed] { handler(flushed); });
    }
}

bool AVSampleBufferAudioRenderer::isReadyForMoreMediaData() const {
    return state_->isReady();
}

void AVSampleBufferAudioRenderer::requestMediaDataWhenReadyOnQueue(
    std::shared_ptr<DispatchQueue> queue, MediaDataRequestBlock block) {
    state_->requests.request(std::move(queue), std::move(block), state_->isReady());
}

void AVSampleBufferAudioRenderer::stopRequestingMediaData() {
    state_->requests.stop();
}

AVQueuedSampleBufferRenderingStatus AVSampleBufferAudioRenderer::status() const {
    std::lock_guard lock(state_->queueMutex);
    return state_->status;
}

std::shared_ptr<const Error> AVSampleBufferAudioRenderer::error() const {
    std::lock_guard lock(state_->queueMutex);
    return state_->error;
}

float AVSampleBufferAudioRenderer::volume() const {
    return state_->volume.load();
}

void AVSampleBufferAudioRenderer::setVolume(float volume) {
    state_->volume.store(std::isfinite(volume) ? std::clamp(volume, 0.0f, 1.0f) : 1.0f);
}

bool AVSampleBufferAudioRenderer::isMuted() const {
    return state_->muted.load();
}

void AVSampleBufferAudioRenderer::setMuted(bool muted) {
    state_->muted.store(muted);
}

std::optional<std::string> AVSampleBufferAudioRenderer::audioOutputDeviceUniqueID() const {
    std::lock_guard lock(state_->sinkMutex);
    return state_->sink->deviceUniqueID();
}

void AVSampleBufferAudioRenderer::setAudioOutputDeviceUniqueID(
    std::optional<std::string> deviceUniqueID) {
    std::lock_guard lock(state_->sinkMutex);
    state_->sink->setDeviceUniqueID(std::move(deviceUniqueID));
}

AVAudioTimePitchAlgorithm AVSampleBufferAudioRenderer::audioTimePitchAlgorithm() const {
    std::lock_guard lock(state_->propertiesMutex);
    return state_->timePitchAlgorithm;
}

void AVSampleBufferAudioRenderer::setAudioTimePitchAlgorithm(AVAudioTimePitchAlgorithm algorithm) {
    std::lock_guard lock(state_->propertiesMutex);
    state_->timePitchAlgorithm = std::move(algorithm);
}

std::uint64_t AVSampleBufferAudioRenderer::allowedAudioSpatializationFormats() const {
    std::lock_guard lock(state_->propertiesMutex);
    return state_->allowedSpatializationFormats;
}

void AVSampleBufferAudioRenderer::setAllowedAudioSpatializationFormats(std::uint64_t formats) {
    std::lock_guard lock(state_->propertiesMutex);
    state_->allowedSpatializationFormats = formats;
}

std::string AVSampleBufferAudioRenderer::description() const {
    return fmt::format("<AVSampleBufferAudioRenderer: {}>", static_cast<const void*>(this));
}

void AVSampleBufferAudioRenderer::adoptDescription() {
    state_->setDescription(description());
}

std::string AVSampleBufferAudioRenderer::sinkName() const {
    std::lock_guard lock(state_->sinkMutex);
    return state_->sink->name();
}

AudioSinkFormat AVSampleBufferAudioRenderer::sinkFormat() const {
    std::lock_guard lock(state_->queueMutex);
    return state_->format;
}

AudioRenderPipeline::Statistics AVSampleBufferAudioRenderer::renderStatistics() const {
    std::lock_guard lock(state_->queueMutex);
    return state_->pipeline->statistics();
}

void AVSampleBufferAudioRenderer::timebaseWasAttached(const CMReadOnlyTimebaseRef& timebase) {
    std::lock_guard lock(state_->timebaseMutex);
    state_->setRenderTimebase(timebase.get());
    state_->timebase = timebase;
}

void AVSampleBufferAudioRenderer::timebaseWasDetached() {
    std::lock_guard lock(state_->timebaseMutex);
    state_->setRenderTimebase(nullptr);
    state_->timebase.reset();
}

}  // namespace platform
