#pragma once

#include <any>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AudioBufferFactory.h"

namespace quillon::test {

// A 440 Hz tone at half of full scale, 48 kHz stereo, played through a renderer on a
// synchronizer from time 0 at rate 1, fed as a player's data source feeds it: after every
// automatic flush, the tone again from the flush on. While it waits, it watches that the time
// line never stops, whatever happens to the sound server.
class TonePlayback {
public:
    static constexpr int kRate = 48000;

    explicit TonePlayback(std::shared_ptr<platform::AVSampleBufferAudioRenderer> renderer)
        : renderer_(std::move(renderer)) {
        synchronizer_.addRenderer(renderer_);
        token_ = platform::NotificationCenter::defaultCenter().addObserver(
            platform::AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
            static_cast<const platform::AVSampleBufferAudioRenderer*>(renderer_.get()),
            [this](const platform::Notification& notification) {
                const auto found =
                    notification.userInfo.find(platform::AVSampleBufferAudioRendererFlushTimeKey);
                ASSERT_NE(found, notification.userInfo.end());
                enqueueFrom(std::any_cast<platform::CMTime>(found->second));
                // Counted once the sound that follows the flush is queued.
                std::lock_guard lock(mutex_);
                ++flushes_;
            });
        enqueueFrom(platform::kCMTimeZero);
        synchronizer_.setRate(1, platform::kCMTimeZero);
    }
    ~TonePlayback() { synchronizer_.setRate(0); }
    TonePlayback(const TonePlayback&) = delete;
    TonePlayback& operator=(const TonePlayback&) = delete;

    const platform::AVSampleBufferAudioRenderer& renderer() const { return *renderer_; }
    const platform::AVSampleBufferRenderSynchronizer& synchronizer() const { return synchronizer_; }

    // How many automatic flushes the renderer has announced.
    int flushes() const {
        std::lock_guard lock(mutex_);
        return flushes_;
    }

    // Whether the time line stood still at one of waitFor's looks.
    bool clockStalled() const { return clockStalled_; }

    // Waits, polling, until `condition` holds; false after `limit`.
    bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!condition()) {
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            const double now = platform::CMTimeGetSeconds(synchronizer_.currentTime());
            clockStalled_ = clockStalled_ || !(now > lastTime_);
            lastTime_ = now;
        }
        return true;
    }

    // Whether the last tenth of a second of a stereo recording holds the tone.
    static bool heardIn(const std::vector<float>& samples) {
        const std::size_t window = kRate / 10 * 2;
        if (samples.size() < window) {
            return false;
        }
        double energy = 0;
        for (std::size_t index = samples.size() - window; index < samples.size(); ++index) {
            energy += double(samples[index]) * samples[index];
        }
        return std::sqrt(energy / double(window)) > 0.2;
    }

private:
    static AudioBufferFactory::Signal tone() {
        return [](std::int64_t frame, int) {
            return 0.5 * std::sin(2 * M_PI * 440.0 * double(frame) / kRate);
        };
    }

    // Twenty seconds of the tone from `time` on.
    void enqueueFrom(platform::CMTime time) {
        const std::int64_t first =
            platform::CMTimeConvertScale(time, kRate,
                                         platform::kCMTimeRoundingMethod_RoundHalfAwayFromZero)
                .value;
        for (std::int64_t start = first; start < first + 20 * kRate; start += kRate / 2) {
            renderer_->enqueueSampleBuffer(AudioBufferFactory::make(start, kRate / 2, tone()));
        }
    }

    std::shared_ptr<platform::AVSampleBufferAudioRenderer> renderer_;
    platform::AVSampleBufferRenderSynchronizer synchronizer_;
    mutable std::mutex mutex_;
    int flushes_ = 0;
    double lastTime_ = -1;
    bool clockStalled_ = false;
    platform::ObserverToken token_;
};

}  // namespace quillon::test
