// What the sound server's callback may do: the render thread of a sound server must not wait on
// a lock another thread can hold, nor on the allocator, or the sound comes late. These tests
// render through the audio renderer from a thread of their own, as a server's callback would,
// and watch what the render does.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <future>
#include <memory>
#include <new>
#include <optional>
#include <thread>
#include <vector>

#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "support/AudioBufferFactory.h"

namespace {

// Counted only on a thread that renders, while it renders.
thread_local bool tRendering = false;
std::atomic<std::size_t> gAllocationsWhileRendering{0};
std::atomic<std::size_t> gLocksWhileRendering{0};

}  // namespace

// Every allocation of the program goes through these; the ones made while rendering are counted.
void* operator new(std::size_t size) {
    if (tRendering) {
        gAllocationsWhileRendering.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
    if (tRendering) {
        gAllocationsWhileRendering.fetch_add(1, std::memory_order_relaxed);
    }
    void* memory = nullptr;
    if (posix_memalign(&memory, std::max(sizeof(void*), std::size_t(alignment)),
                       size == 0 ? 1 : size) != 0) {
        throw std::bad_alloc();
    }
    return memory;
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return operator new(size, alignment);
}
// The nothrow forms too (std::stable_sort's buffer takes them): memory one allocator gave must
// go back to it, and the deletes below hand everything to free().
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return operator new(size, std::nothrow);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    try {
        return operator new(size, alignment);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return operator new(size, alignment, std::nothrow);
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept {
    std::free(memory);
}

// Sanitizers intercept the mutex functions themselves; elsewhere every mutex the program locks
// (std::mutex and the rest come down to this) is seen here first.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QUILLON_COUNTS_LOCKS 1
extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    using Lock = int (*)(pthread_mutex_t*);
    static const auto next = reinterpret_cast<Lock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
    if (tRendering) {
        gLocksWhileRendering.fetch_add(1, std::memory_order_relaxed);
    }
    return next(mutex);
}
#endif

namespace {

using namespace platform;
using quillon::test::AudioBufferFactory;

constexpr int kRate = 48000;

// A sink whose renders the test makes, on the thread it likes, each told the host time its
// first frame is heard at: the device's clock runs `deviceClockRatio` times as fast as the
// host's, so that the renderer steers.
class HandDrivenSink final : public AudioSink {
public:
    explicit HandDrivenSink(double deviceClockRatio = 1.0) : ratio_(deviceClockRatio) {}

    std::string name() const override { return "hand-driven"; }
    const AudioSinkFormat& format() const override { return format_; }
    const CMClockRef& clock() const override { return clock_; }
    void start(RenderCallback render, EventCallback) override { render_ = std::move(render); }
    void stop() override {}
    std::optional<std::string> deviceUniqueID() const override { return std::nullopt; }
    void setDeviceUniqueID(std::optional<std::string>) override {}

    // Renders the next `frameCount` frames into `out`, counting what the render does.
    void render(float* out, std::size_t frameCount) {
        const auto heard =
            firstHostNanoseconds_ + std::int64_t(double(frames_) * 1e9 / (kRate * ratio_));
        tRendering = true;
        render_(out, frameCount, CMClockMakeHostTime(heard));
        tRendering = false;
        frames_ += std::int64_t(frameCount);
    }
    // The host time at which output frame `frame` is heard.
    std::int64_t hostNanosecondsOfFrame(std::int64_t frame) const {
        return firstHostNanoseconds_ + std::int64_t(double(frame) * 1e9 / (kRate * ratio_));
    }
    std::int64_t framesRendered() const { return frames_; }
    std::int64_t firstHostNanoseconds() const { return firstHostNanoseconds_; }

private:
    const AudioSinkFormat format_{kRate, 2, 0x3};
    const CMClockRef clock_ = CMClockGetHostTimeClock();
    const double ratio_;
    RenderCallback render_;
    const std::int64_t firstHostNanoseconds_ =
        CMClockConvertHostTimeToNanoseconds(CMClockGetHostTimeClock()->time()) + 1'000'000'000;
    std::int64_t frames_ = 0;
};

AudioBufferFactory::Signal level(double value) {
    return [value](std::int64_t, int) { return value; };
}

// Seconds of audio in one-second buffers from `firstSecond` on: a 440 Hz tone.
void enqueueTone(AVSampleBufferAudioRenderer& renderer, std::int64_t firstSecond, int seconds) {
    for (int second = 0; second < seconds; ++second) {
        renderer.enqueueSampleBuffer(AudioBufferFactory::make(
            (firstSecond + second) * kRate, kRate, [](std::int64_t frame, int) {
                return 0.5 * std::sin(2 * M_PI * 440.0 * double(frame) / kRate);
            }));
    }
}

// Everything a render can be asked to do while the player plays: start, steer a card that runs
// fast, seek, stretch at rates 2 and 0.5, pause, flush and flush a part, with the data source
// enqueueing on its queue whenever the renderer asks. None of it may allocate or take a lock in
// the render.
TEST(AudioRenderThreadTest, RenderingAllocatesNothingAndTakesNoLock) {
    auto sink = std::make_unique<HandDrivenSink>(1.003);
    HandDrivenSink& device = *sink;
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(sink));
    AVSampleBufferRenderSynchronizer synchronizer;
    synchronizer.addRenderer(renderer);

    // The data source: tone from where the last seek went, while the renderer wants more.
    const auto queue = DispatchQueue::makeSerial("Audio Render Thread Test Queue");
    std::atomic<std::int64_t> nextSecond{0};
    std::atomic<int> requests{0};
    renderer->requestMediaDataWhenReadyOnQueue(queue, [&] {
        ++requests;
        while (renderer->isReadyForMoreMediaData()) {
            enqueueTone(*renderer, nextSecond.fetch_add(1), 1);
        }
    });
    queue->sync([] {});

    std::vector<float> out(2 * 1024);
    bool heardSound = false;
    const auto play = [&](int renders, std::size_t frames) {
        for (int index = 0; index < renders; ++index) {
            device.render(out.data(), frames);
            for (const float sample : out) {
                heardSound = heardSound || std::abs(sample) > 0.1f;
            }
        }
    };
    const auto hostTimeNow = [&] {
        return CMClockMakeHostTime(device.hostNanosecondsOfFrame(device.framesRendered()));
    };
    const auto seek = [&](std::int64_t second) {
        synchronizer.setRate(0, CMTimeMake(second, 1), hostTimeNow());
        renderer->flush();
        nextSecond = second;
        renderer->requestMediaDataWhenReadyOnQueue(queue, [&] {
            ++requests;
            while (renderer->isReadyForMoreMediaData()) {
                enqueueTone(*renderer, nextSecond.fetch_add(1), 1);
            }
        });
        queue->sync([] {});
    };

    synchronizer.setRate(1, kCMTimeZero, hostTimeNow());
    play(300, 480);  // three seconds: placed, steered against the fast card, fed on request
    seek(20);
    synchronizer.setRate(2, CMTimeMake(20, 1), hostTimeNow());
    play(200, 1024);
    synchronizer.setRate(0.5f, synchronizer.currentTime(), hostTimeNow());
    play(100, 256);
    synchronizer.setRate(0, synchronizer.currentTime(), hostTimeNow());
    play(20, 480);
    std::promise<bool> partial;
    renderer->flushFromSourceTime(CMTimeAdd(synchronizer.currentTime(), CMTimeMake(1, 1)),
                                  [&](bool flushed) { partial.set_value(flushed); });
    EXPECT_TRUE(partial.get_future().get());
    synchronizer.setRate(1, synchronizer.currentTime(), hostTimeNow());
    play(100, 480);
    renderer->stopRequestingMediaData();
    queue->sync([] {});

    EXPECT_TRUE(heardSound) << "the renders played the tone";
    EXPECT_GT(requests.load(), 2) << "the renders asked for more";
    EXPECT_GE(renderer->renderStatistics().placements, 3u);
    EXPECT_EQ(gAllocationsWhileRendering.load(), 0u) << "allocations in the render callback";
#ifdef QUILLON_COUNTS_LOCKS
    EXPECT_EQ(gLocksWhileRendering.load(), 0u) << "mutexes locked in the render callback";
#endif
}

// A render reads ahead of where the last one ended (at rate 2 the time stretcher takes input in
// blocks of 1,024 frames) and the renderer learns how far only when it ends. A partial flush
// that comes while a render runs must be decided by what the render has taken: one that says it
// dropped the audio from its time on must never let a frame of the old audio after that time be
// heard, and one that says it dropped nothing must leave the audio whole. Every other round
// flushes a little into a render that is running, at a moment that varies; the others between
// renders, where the flush always takes.
TEST(AudioRenderThreadTest, APartialFlushDuringARenderNeverDropsWhatTheRenderTook) {
    auto sink = std::make_unique<HandDrivenSink>();
    HandDrivenSink& device = *sink;
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(sink));
    AVSampleBufferRenderSynchronizer synchronizer;
    synchronizer.addRenderer(renderer);

    constexpr double kRate2 = 2.0;
    constexpr std::size_t kRenderFrames = 4096;
    constexpr int kRounds = 24;
    constexpr int kRendersPerRound = 6;
    // Time-line frames of a round, and how far around a boundary the stretch's windows mix the
    // two sides.
    constexpr std::int64_t kRoundFrames =
        kRendersPerRound * std::int64_t(kRenderFrames) * std::int64_t(kRate2);
    constexpr std::int64_t kBlurFrames = kRate / 40;

    // The audio is at level ±0.5, changing sign with every flush that took.
    const auto levelOf = [](int flushes) { return flushes % 2 == 0 ? 0.5 : -0.5; };
    const auto enqueueFrom = [&](std::int64_t frame, int flushes) {
        renderer->enqueueSampleBuffer(AudioBufferFactory::make(
            frame, kRoundFrames * (kRounds + 2) - frame, level(levelOf(flushes))));
    };
    enqueueFrom(0, 0);
    synchronizer.setRate(float(kRate2), kCMTimeZero,
                         CMClockMakeHostTime(device.firstHostNanoseconds()));

    struct Round {
        std::int64_t cut = 0;
        bool flushed = false;
        int flushes = 0;
    };
    std::vector<Round> rounds;
    std::vector<float> heard;
    std::vector<float> out(kRenderFrames * 2);
    const auto render = [&] {
        device.render(out.data(), kRenderFrames);
        for (std::size_t frame = 0; frame < kRenderFrames; ++frame) {
            heard.push_back(out[frame * 2]);
        }
    };
    int flushes = 0;
    const auto flushAt = [&](std::int64_t cut) {
        std::promise<bool> result;
        renderer->flushFromSourceTime(CMTimeMake(cut, kRate),
                                      [&](bool flushed) { result.set_value(flushed); });
        const bool flushed = result.get_future().get();
        if (flushed) {
            // The data source enqueues anew from the time, at once.
            enqueueFrom(cut, flushes + 1);
        }
        return flushed;
    };
    for (int round = 1; round <= kRounds; ++round) {
        render();
        // The next render plays the time line from here on (twice as fast as it plays), and
        // takes this frame half way.
        const std::int64_t cut =
            device.framesRendered() * std::int64_t(kRate2) + std::int64_t(kRenderFrames);
        bool flushed = false;
        if (round % 2 == 1) {
            flushed = flushAt(cut);
            render();
        } else {
            std::atomic<bool> rendering{false};
            auto flush = std::async(std::launch::async, [&] {
                while (!rendering) {
                    std::this_thread::yield();
                }
                std::this_thread::sleep_for(std::chrono::microseconds(100 * (round % 16)));
                return flushAt(cut);
            });
            rendering = true;
            render();
            flushed = flush.get();
        }
        flushes += flushed ? 1 : 0;
        rounds.push_back({cut, flushed, flushes});
        for (int more = 2; more < kRendersPerRound; ++more) {
            render();
        }
    }

    // Each output frame plays the time line where it is heard.
    const auto heardAt = [&](std::int64_t timelineFrame) {
        const auto frame = std::size_t(double(timelineFrame) / kRate2);
        return frame < heard.size() ? heard[frame] : 0.0f;
    };
    int refusedDuringARender = 0;
    for (std::size_t index = 0; index < rounds.size(); ++index) {
        const Round& round = rounds[index];
        const double now = levelOf(round.flushes);
        const double before = levelOf(round.flushes - (round.flushed ? 1 : 0));
        refusedDuringARender += index % 2 == 1 && !round.flushed ? 1 : 0;
        const std::int64_t next = index + 1 < rounds.size()
                                      ? rounds[index + 1].cut
                                      : std::int64_t(heard.size()) * std::int64_t(kRate2);
        for (std::int64_t frame = round.cut + kBlurFrames; frame < next - kBlurFrames;
             frame += kRate / 500) {
            const float sample = heardAt(frame);
            const auto where = ::testing::Message()
                               << "round " << index + 1 << " (flush "
                               << (round.flushed ? "took" : "refused") << " at frame " << round.cut
                               << "), time-line frame " << frame;
            if (round.flushed) {
                // The old audio is gone from the cut on; the new one may come a moment after
                // the cut (the render that took the cut's place read silence there).
                ASSERT_GT(std::abs(sample - before), 0.4) << where;
            } else {
                ASSERT_NEAR(sample, now, 0.05) << where;
            }
        }
        if (round.flushed) {
            // The new audio plays by the time the render after the flush has played.
            const std::int64_t settled =
                round.cut + 2 * std::int64_t(kRenderFrames) * std::int64_t(kRate2);
            EXPECT_NEAR(heardAt(settled), now, 0.05) << "round " << index + 1;
        }
    }
    EXPECT_GT(refusedDuringARender, 0) << "some flushes came after a render took their frames";
}

}  // namespace
