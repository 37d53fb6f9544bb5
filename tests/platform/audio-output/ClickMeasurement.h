#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <unistd.h>

#include <fmt/format.h>

#include "PulseAudioRecorder.h"
#include "platform/audio-output/AudioSink.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/avfoundation/AVSampleBufferDisplayLayer.h"
#include "platform/avfoundation/AVSampleBufferRenderSynchronizer.h"
#include "platform/foundation/NotificationCenter.h"
#include "support/AVVideoRecordingSink.h"
#include "support/AudioBufferFactory.h"
#include "support/VideoFrameFactory.h"

// How well a sink knows when its frames are heard, measured from outside: clicks played through
// the audio renderer and synchronizer that drive the sink in the player, recorded from the
// monitor of a null sink of the test's own.
namespace quillon::test::clicks {

using namespace platform;

// Short loud clicks on silence, at whole seconds of the time line.
inline AudioBufferFactory::Signal clicksEverySecond(int sampleRate) {
    return [sampleRate](std::int64_t frame, int) {
        return frame % sampleRate < sampleRate / 1000 ? 0.8 : 0.0;
    };
}

// The first frame of each click in a recording, from the left channel.
inline std::vector<std::int64_t> clickOnsets(const std::vector<float>& samples, int channelCount,
                                      int sampleRate) {
    std::vector<std::int64_t> onsets;
    const auto frames = std::int64_t(samples.size()) / channelCount;
    for (std::int64_t frame = 0; frame < frames; ++frame) {
        if (samples[std::size_t(frame * channelCount)] > 0.4f) {
            onsets.push_back(frame);
            frame += sampleRate / 10;
        }
    }
    return onsets;
}

inline std::int64_t nowNanoseconds() {
    return CMClockConvertHostTimeToNanoseconds(CMClockGetHostTimeClock()->time());
}

// PipeWire's server reports the play position in whole periods of its graph, and answers at one
// phase of the period all through a run, so that every report of a run is off by the same part
// of a period, a different part in each run: a server started for the test says how far its
// accounts may be off (QUILLON_TEST_SOUND_TOLERANCE_MS). Steadiness is asked of every server.
inline double toleranceMilliseconds() {
    const char* tolerance = std::getenv("QUILLON_TEST_SOUND_TOLERANCE_MS");
    return tolerance != nullptr ? std::atof(tolerance) : 5.0;
}

// Passes everything on to the sink it wraps, and notes when that sink said each click it rendered
// would be heard: the host time it gave for the block, plus the click's place in the block.
class ClickReportingSink final : public AudioSink {
public:
    explicit ClickReportingSink(std::unique_ptr<AudioSink> sink) : sink_(std::move(sink)) {}

    std::string name() const override { return sink_->name(); }
    const AudioSinkFormat& format() const override { return sink_->format(); }
    const CMClockRef& clock() const override { return sink_->clock(); }
    void stop() override { sink_->stop(); }
    std::optional<std::string> deviceUniqueID() const override { return sink_->deviceUniqueID(); }
    void setDeviceUniqueID(std::optional<std::string> deviceUniqueID) override {
        sink_->setDeviceUniqueID(std::move(deviceUniqueID));
    }

    void start(RenderCallback render, EventCallback events) override {
        const auto channelCount = std::size_t(sink_->format().channelCount);
        const std::int64_t rate = sink_->format().sampleRate;
        sink_->start(
            [this, render = std::move(render), channelCount, rate](
                float* samples, std::size_t frameCount, CMTime hostTime) {
                const std::int64_t first = CMClockConvertHostTimeToNanoseconds(hostTime);
                holdUpIfDue(first);
                render(samples, frameCount, hostTime);
                std::lock_guard lock(mutex_);
                ++blocks_;
                for (std::size_t frame = 0; frame < frameCount; ++frame) {
                    const bool loud = samples[frame * channelCount] > 0.4f;
                    if (loud && !loud_) {
                        reported_.push_back(first + std::int64_t(frame) * 1'000'000'000 / rate);
                        rendered_.notify_all();
                    }
                    loud_ = loud;
                }
            },
            std::move(events));
    }

    // The host times (nanoseconds) at which the sink said the clicks would be heard, once it has
    // rendered `count` of them; none when `timeout` passes first.
    std::optional<std::vector<std::int64_t>> waitForClicks(
        std::size_t count, std::chrono::milliseconds timeout) const {
        std::unique_lock lock(mutex_);
        if (!rendered_.wait_for(lock, timeout, [&] { return reported_.size() >= count; })) {
            return std::nullopt;
        }
        return reported_;
    }

    // Holds the sink's thread up once for `duration`, half a second after the first click was
    // rendered, as a busy machine does: the server plays on without the sink meanwhile.
    void holdUpOnce(std::chrono::milliseconds duration) { holdUp_ = duration; }

    // How many blocks the sink has asked to be rendered so far.
    std::size_t blocks() const {
        std::lock_guard lock(mutex_);
        return blocks_;
    }

private:
    void holdUpIfDue(std::int64_t blockHostNanoseconds) {
        {
            std::lock_guard lock(mutex_);
            if (heldUp_ || holdUp_.count() == 0 || reported_.empty() ||
                blockHostNanoseconds < reported_.front() + 500'000'000) {
                return;
            }
            heldUp_ = true;
        }
        std::this_thread::sleep_for(holdUp_);
    }

    const std::unique_ptr<AudioSink> sink_;
    std::chrono::milliseconds holdUp_{0};
    bool heldUp_ = false;
    mutable std::mutex mutex_;
    mutable std::condition_variable rendered_;
    bool loud_ = false;
    std::size_t blocks_ = 0;
    std::vector<std::int64_t> reported_;
};

// Plays clicks at 1, 2 and 3 s of a time line through the sink, records what it played and
// answers how far from where the sink said each click would be heard it was heard, in
// milliseconds. The sink plays to a null sink of its own, so that nothing else playing on the
// server is recorded with it. None when the machine kept the measurement from being made: the
// sink played, but started so late that the renderer rightly left out the clicks already past,
// or the recording fell so far behind that the server dropped some of it.
//
// With `picture`, a display layer plays a frame at each whole second too, and the errors are
// how far from when its frame was shown each click was heard. With `holdUp`, the sink's thread
// is held up that long once between the first click and the second.
// `Recorder` records what a sink of the server played: it is made of the sink's name, rate and
// channel count, and answers isRecording(), overflowed(), samples(),
// firstFrameHostNanoseconds() and waitUntilRecorded(); the PulseAudio and PipeWire ones do.
template <typename Recorder, typename ServerSink>
std::optional<std::vector<double>> measureClickErrors(
    std::unique_ptr<ServerSink> serverSink,
    const std::shared_ptr<AVVideoRecordingSink>& picture = nullptr,
    std::chrono::milliseconds holdUp = std::chrono::milliseconds(0)) {
    const AudioSinkFormat format = serverSink->format();
    const int rate = format.sampleRate;
    quillon::test::PulseAudioModules modules;
    const std::string sinkName = "quillon_test_clicks_" + std::to_string(::getpid());
    if (modules.load("module-null-sink", fmt::format("sink_name={} rate={} channels={}", sinkName,
                                                     rate, format.channelCount)) ==
        PA_INVALID_INDEX) {
        ADD_FAILURE() << "cannot add a sink to the server";
        return std::vector<double>{};
    }
    // Recording first: its short fragments make the sink render in short blocks, and once the
    // recording has caught up with the present, an idle sink's long block has passed.
    Recorder recorder(sinkName, format.sampleRate, format.channelCount);
    if (!recorder.isRecording()) {
        ADD_FAILURE() << "cannot record what " << sinkName << " plays";
        return std::vector<double>{};
    }
    if (!recorder.waitUntilRecorded(nowNanoseconds(), std::chrono::seconds(30))) {
        ADD_FAILURE() << "the recording of " << sinkName << ".monitor never caught up";
        return std::vector<double>{};
    }
    const ServerSink* sink = serverSink.get();
    const std::string serverName = serverSink->name();
    serverSink->setDeviceUniqueID(sinkName);
    auto reporting = std::make_unique<ClickReportingSink>(std::move(serverSink));
    ClickReportingSink* clicks = reporting.get();
    clicks->holdUpOnce(holdUp);
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(reporting));
    EXPECT_EQ(renderer->sinkName(), serverName);
    EXPECT_EQ(sink->currentSinkName(), sinkName);

    AVSampleBufferRenderSynchronizer synchronizer;
    std::shared_ptr<AVSampleBufferDisplayLayer> layer;
    if (picture) {
        layer = std::make_shared<AVSampleBufferDisplayLayer>();
        layer->setVideoSink(picture);
        synchronizer.addRenderer(layer);
        for (int second = 0; second < 4; ++second) {
            layer->enqueueSampleBuffer(
                VideoFrameFactory::make(CMTimeMake(second, 1), CMTimeMake(1, 1)));
        }
    }
    synchronizer.addRenderer(renderer);
    // The audio starts after the click at 0 s.
    renderer->enqueueSampleBuffer(
        AudioBufferFactory::make(rate / 2, rate / 2, clicksEverySecond(rate), rate));
    for (int second = 1; second < 4; ++second) {
        renderer->enqueueSampleBuffer(AudioBufferFactory::make(std::int64_t(second) * rate, rate,
                                                               clicksEverySecond(rate), rate));
    }
    // The time line plays from -1 s now, so that the sound server has settled by the time the
    // first click comes, two seconds from now.
    synchronizer.setRate(1, CMTimeMake(-1, 1), CMClockMakeHostTime(nowNanoseconds()));

    const auto reported = clicks->waitForClicks(3, std::chrono::seconds(30));
    if (!reported) {
        if (clicks->blocks() == 0) {
            ADD_FAILURE() << "the sink never asked for a block to play";
            return std::vector<double>{};
        }
        return std::nullopt;
    }
    if (!recorder.waitUntilRecorded(reported->back() + 100'000'000, std::chrono::seconds(30))) {
        ADD_FAILURE() << "the recording never reached the last click";
        return std::vector<double>{};
    }
    if (recorder.overflowed()) {
        return std::nullopt;
    }
    const std::vector<std::int64_t> onsets =
        clickOnsets(recorder.samples(), format.channelCount, rate);
    EXPECT_EQ(onsets.size(), reported->size()) << "each click rendered is heard, once";
    const std::int64_t firstFrameHost = recorder.firstFrameHostNanoseconds();
    std::vector<std::int64_t> expected = *reported;
    if (picture) {
        // The frames of 1, 2 and 3 s, when they were shown.
        expected.clear();
        for (const AVVideoRecordingSink::Entry& entry : picture->entries()) {
            if (CMTIME_IS_NUMERIC(entry.presentationTime) &&
                CMTimeGetSeconds(entry.presentationTime) >= 1) {
                expected.push_back(CMClockConvertHostTimeToNanoseconds(entry.hostTime));
            }
        }
        EXPECT_EQ(expected.size(), reported->size()) << "a frame shown for each click";
    }
    std::vector<double> errors;
    for (std::size_t click = 0; click < std::min(onsets.size(), expected.size()); ++click) {
        const std::int64_t heard = firstFrameHost + onsets[click] * 1'000'000'000 / rate;
        errors.push_back(double(heard - expected[click]) / 1e6);
    }
    return errors;
}

// Where the sink is wrong about when its frames are heard, every click is off by the same.
// A busy machine upsets the timing for a moment now and then (the stream runs dry and waits
// to fill again, timing reports come late), and clicks a second apart are then off by
// different amounts: such a measurement proves nothing either way and is taken again.
// `tolerance`: how far off a click may be heard, in milliseconds; by default what the server
// started for the test allows (toleranceMilliseconds()).
template <typename Recorder, typename ServerSink>
void expectClicksOnTime(std::unique_ptr<ServerSink> serverSink, bool withPicture,
                        std::optional<double> tolerance = std::nullopt) {
    constexpr int kAttempts = 5;
    constexpr double kSteadySpreadMilliseconds = 1.0;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (!serverSink) {
            serverSink = ServerSink::connect(CMClockGetHostTimeClock());
            ASSERT_NE(serverSink, nullptr);
        }
        const std::optional<std::vector<double>> measured = measureClickErrors<Recorder>(
            std::move(serverSink), withPicture ? std::make_shared<AVVideoRecordingSink>() : nullptr);
        if (!measured) {
            std::cout << "Attempt " << attempt
                      << ": the machine kept the clicks from being measured.\n";
            continue;
        }
        const std::vector<double>& errors = *measured;
        std::cout << "Attempt " << attempt << ": clicks heard";
        for (const double error : errors) {
            std::cout << " " << error << " ms";
        }
        std::cout << (withPicture ? " off when their frames were shown.\n"
                                  : " off when the sink said.\n");
        ASSERT_EQ(errors.size(), 3u) << "three clicks, one second apart";
        const auto [least, most] = std::minmax_element(errors.begin(), errors.end());
        if (*most - *least <= kSteadySpreadMilliseconds) {
            for (const double error : errors) {
                EXPECT_NEAR(error, 0.0, tolerance.value_or(toleranceMilliseconds()));
            }
            return;
        }
    }
    GTEST_SKIP() << "The machine was too busy for a steady measurement in " << kAttempts
                 << " attempts.";
}

// A busy machine holds the sink's thread up now and then, and the server plays on without it:
// what the sink plays after is heard later by what the server played meanwhile. The sound is put
// back beside the picture at once, not steered back over seconds. The hold-up, 45 ms, is two
// periods of a PipeWire graph's usual 1,024 frames and a little more: less than the offset at
// which the sound would be placed afresh anyway.
template <typename Recorder, typename ServerSink>
void expectClicksWithTheirFramesAfterAHoldUp(std::unique_ptr<ServerSink> serverSink,
                                              double tolerance) {
    constexpr int kAttempts = 3;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        if (!serverSink) {
            serverSink = ServerSink::connect(CMClockGetHostTimeClock());
            ASSERT_NE(serverSink, nullptr);
        }
        const std::optional<std::vector<double>> errors = measureClickErrors<Recorder>(
            std::move(serverSink), std::make_shared<AVVideoRecordingSink>(),
            std::chrono::milliseconds(45));
        if (!errors) {
            continue;
        }
        ASSERT_EQ(errors->size(), 3u);
        const bool onTime = std::all_of(errors->begin(), errors->end(),
                                        [&](double error) { return std::abs(error) <= tolerance; });
        std::cout << "Attempt " << attempt << ": clicks heard " << (*errors)[0] << ", "
                  << (*errors)[1] << " and " << (*errors)[2] << " ms off their frames.\n";
        if (onTime || attempt == kAttempts) {
            EXPECT_TRUE(onTime) << "the clicks after the hold-up are heard with their frames";
            return;
        }
    }
    GTEST_SKIP() << "The machine kept the clicks from being measured.";
}

// A sink that plays to the server's default device follows it: when the server's default changes,
// the stream moves there, and the renderer flushes and says so.
template <typename ServerSink>
void expectTheDefaultDeviceFollowed(std::unique_ptr<ServerSink> serverSink) {
    quillon::test::PulseAudioModules modules;
    const std::string prefix = "quillon_test_default_" + std::to_string(::getpid());
    ASSERT_NE(modules.load("module-null-sink", "sink_name=" + prefix + "_a"), PA_INVALID_INDEX);
    ASSERT_NE(modules.load("module-null-sink", "sink_name=" + prefix + "_b"), PA_INVALID_INDEX);
    const ServerSink* sink = serverSink.get();
    auto renderer = std::make_shared<AVSampleBufferAudioRenderer>(std::move(serverSink));
    std::mutex mutex;
    int flushes = 0;
    const auto token = NotificationCenter::defaultCenter().addObserver(
        AVSampleBufferAudioRendererWasFlushedAutomaticallyNotification,
        static_cast<const AVSampleBufferAudioRenderer*>(renderer.get()), [&](const Notification&) {
            std::lock_guard lock(mutex);
            ++flushes;
        });
    const auto waitFor = [](const std::function<bool()>& condition) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!condition() && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return condition();
    };
    const auto flushCount = [&] {
        std::lock_guard lock(mutex);
        return flushes;
    };
    // The stream was made with both sinks there, on the default of that moment.
    ASSERT_TRUE(waitFor([&] { return sink->currentSinkName().has_value(); }));
    const bool onFirst = sink->currentSinkName() == prefix + "_a";
    ASSERT_TRUE(modules.setDefaultSink(prefix + "_a"));
    ASSERT_TRUE(waitFor([&] { return sink->currentSinkName() == prefix + "_a"; }))
        << "the stream follows the default there";
    // Its flush is posted a moment after the move.
    ASSERT_TRUE(waitFor([&] { return flushCount() == (onFirst ? 0 : 1); }));
    const int before = flushCount();
    ASSERT_TRUE(modules.setDefaultSink(prefix + "_b"));
    EXPECT_TRUE(waitFor([&] { return sink->currentSinkName() == prefix + "_b"; }));
    EXPECT_TRUE(waitFor([&] { return flushCount() == before + 1; }))
        << "the renderer flushed once for the move";
    EXPECT_EQ(renderer->audioOutputDeviceUniqueID(), std::nullopt) << "still the default";
}

}  // namespace quillon::test::clicks
