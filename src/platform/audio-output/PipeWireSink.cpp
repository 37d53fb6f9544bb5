#include "platform/audio-output/PipeWireSink.h"

#include <pipewire/pipewire.h>
#include <spa/param/audio/raw-utils.h>
#include <spa/pod/builder.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

#include <fmt/format.h>

#include "platform/audio-output/PipeWireConnection.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace platform {

namespace {

// How long a session manager that is still starting may take to make a sink to play to, and
// a new stream to be set up.
constexpr std::chrono::milliseconds kSinkTimeout{1000};
constexpr std::chrono::milliseconds kStreamTimeout{3000};
constexpr std::chrono::milliseconds kFormatTimeout{1000};
constexpr std::chrono::milliseconds kLinkTimeout{1000};
// The period the stream asks the graph for (the graph's default at 48 kHz).
constexpr int kPeriodFrames = 1024;
// No graph runs longer periods than this (PipeWire's quantum limit).
constexpr std::size_t kLongestPeriodFrames = 8192;
// A graph that moved on further than this between two calls did not just run without the
// stream for a while: its count is another's (a driver the stream was moved to).
constexpr double kLongestHoldUpSeconds = 1.0;

struct ChannelPosition {
    std::uint32_t position;
    std::uint64_t ffmpegChannel;
};

constexpr ChannelPosition kChannelPositions[] = {
    {SPA_AUDIO_CHANNEL_FL, AV_CH_FRONT_LEFT},
    {SPA_AUDIO_CHANNEL_FR, AV_CH_FRONT_RIGHT},
    {SPA_AUDIO_CHANNEL_FC, AV_CH_FRONT_CENTER},
    {SPA_AUDIO_CHANNEL_LFE, AV_CH_LOW_FREQUENCY},
    {SPA_AUDIO_CHANNEL_RL, AV_CH_BACK_LEFT},
    {SPA_AUDIO_CHANNEL_RR, AV_CH_BACK_RIGHT},
    {SPA_AUDIO_CHANNEL_FLC, AV_CH_FRONT_LEFT_OF_CENTER},
    {SPA_AUDIO_CHANNEL_FRC, AV_CH_FRONT_RIGHT_OF_CENTER},
    {SPA_AUDIO_CHANNEL_RC, AV_CH_BACK_CENTER},
    {SPA_AUDIO_CHANNEL_SL, AV_CH_SIDE_LEFT},
    {SPA_AUDIO_CHANNEL_SR, AV_CH_SIDE_RIGHT},
    {SPA_AUDIO_CHANNEL_TC, AV_CH_TOP_CENTER},
    {SPA_AUDIO_CHANNEL_TFL, AV_CH_TOP_FRONT_LEFT},
    {SPA_AUDIO_CHANNEL_TFC, AV_CH_TOP_FRONT_CENTER},
    {SPA_AUDIO_CHANNEL_TFR, AV_CH_TOP_FRONT_RIGHT},
    {SPA_AUDIO_CHANNEL_TRL, AV_CH_TOP_BACK_LEFT},
    {SPA_AUDIO_CHANNEL_TRC, AV_CH_TOP_BACK_CENTER},
    {SPA_AUDIO_CHANNEL_TRR, AV_CH_TOP_BACK_RIGHT},
    {SPA_AUDIO_CHANNEL_FLW, AV_CH_WIDE_LEFT},
    {SPA_AUDIO_CHANNEL_FRW, AV_CH_WIDE_RIGHT},
    {SPA_AUDIO_CHANNEL_LFE2, AV_CH_LOW_FREQUENCY_2},
};

// The FFmpeg channels of a node's positions; 0 when one of them has no FFmpeg channel or comes
// twice.
std::uint64_t channelMaskOf(const std::vector<std::uint32_t>& positions) {
    if (positions.size() == 1 && positions[0] == SPA_AUDIO_CHANNEL_MONO) {
        return AV_CH_FRONT_CENTER;
    }
    std::uint64_t mask = 0;
    for (const std::uint32_t position : positions) {
        const auto found = std::find_if(
            std::begin(kChannelPositions), std::end(kChannelPositions),
            [&](const ChannelPosition& entry) { return entry.position == position; });
        if (found == std::end(kChannelPositions) || (mask & found->ffmpegChannel) != 0) {
            return 0;
        }
        mask |= found->ffmpegChannel;
    }
    return mask;
}

// The SPA positions of FFmpeg channels, in FFmpeg's order.
std::vector<std::uint32_t> positionsOf(std::uint64_t mask) {
    if (mask == AV_CH_FRONT_CENTER) {
        return {SPA_AUDIO_CHANNEL_MONO};
    }
    std::vector<std::uint32_t> positions;
    for (int bit = 0; bit < 64; ++bit) {
        const std::uint64_t channel = std::uint64_t{1} << bit;
        for (const ChannelPosition& entry : kChannelPositions) {
            if ((mask & channel) != 0 && entry.ffmpegChannel == channel) {
                positions.push_back(entry.position);
            }
        }
    }
    return positions;
}

std::string applicationName() {
    return program_invocation_short_name != nullptr ? program_invocation_short_name : "player";
}

}  // namespace

struct PipeWireSink::StreamListener {
    spa_hook hook{};
};

// The stream's callbacks: process on the real-time thread, the others on the loop's thread
// with the loop locked.
struct PipeWireSink::Callbacks {
    static void stateChanged(void* data, pw_stream_state, pw_stream_state state, const char*) {
        auto* self = static_cast<PipeWireSink*>(data);
        pw_thread_loop_signal(self->connection_->loop(), false);
        if (state == PW_STREAM_STATE_ERROR || state == PW_STREAM_STATE_UNCONNECTED) {
            self->report(Event::deviceLost);
        } else {
            self->watchLinks();
        }
    }

    static void process(void* data) { static_cast<PipeWireSink*>(data)->process(); }
};

PipeWireSink::PipeWireSink(Passkey, CMClockRef hostClock)
    : clock_(std::move(hostClock)), streamListener_(std::make_unique<StreamListener>()) {}

std::unique_ptr<PipeWireSink> PipeWireSink::connect(CMClockRef hostClock, std::string* failure,
                                                    bool* playsSound) {
    auto sink = std::make_unique<PipeWireSink>(Passkey{}, std::move(hostClock));
    std::string reason;
    bool answered = false;
    const bool opened = sink->open(&reason, &answered);
    if (playsSound != nullptr) {
        *playsSound = answered;
    }
    if (!opened) {
        if (failure != nullptr) {
            *failure = reason;
        }
        return nullptr;
    }
    return sink;
}

bool PipeWireSink::open(std::string* failure, bool* playsSound) {
    connection_ = PipeWireConnection::connect("Audio Output", failure);
    if (!connection_) {
        return false;
    }
    PipeWireConnection& connection = *connection_;
    connection.lock();
    if (!connection.handlesAudio()) {
        *failure = "PipeWire plays no sound in this session";
        connection.unlock();
        return false;
    }
    *playsSound = true;
    // A session manager that is just starting names its sinks a moment after the server runs.
    connection.waitUntil(
        [&] {
            return !connection.audioSinks().empty() &&
                   (!connection.defaultSinkName() ||
                    connection.audioSinkNamed(*connection.defaultSinkName()));
        },
        kSinkTimeout);
    const std::vector<PipeWireConnection::Node> sinks = connection.audioSinks();
    if (sinks.empty()) {
        *failure = "the server has no sink to play to";
        connection.unlock();
        return false;
    }
    std::optional<PipeWireConnection::Node> sink;
    if (connection.defaultSinkName()) {
        sink = connection.audioSinkNamed(*connection.defaultSinkName());
    }
    if (!sink) {
        sink = sinks.front();
    }
    defaultSinkName_ = sink->name;
    const std::optional<PipeWireNodeFormat> nodeFormat = connection.nodeFormat(sink->id, kFormatTimeout);
    format_.sampleRate = connection.graphRate() > 0                     ? connection.graphRate()
                         : nodeFormat && nodeFormat->sampleRate > 0 ? nodeFormat->sampleRate
                                                                    : 48000;
    format_.channelMask = nodeFormat ? channelMaskOf(nodeFormat->positions) : 0;
    if (format_.channelMask == 0) {
        // Channels FFmpeg cannot name: play stereo and let the server map it.
        format_.channelMask = AV_CH_LAYOUT_STEREO;
    }
    AVChannelLayout layout{};
    av_channel_layout_from_mask(&layout, format_.channelMask);
    format_.channelCount = layout.nb_channels;
    av_channel_layout_uninit(&layout);
    estimator_.emplace(format_.sampleRate, AudioTimingEstimator::Accounts::exact);

    connection.setGraphChangedHandler([this] { watchLinks(); });
    connection.setDisconnectedHandler([this](const std::string&) { report(Event::deviceLost); });
    connection.unlock();
    return true;
}

PipeWireSink::~PipeWireSink() {
    stop();
    if (connection_) {
        connection_->lock();
        connection_->setGraphChangedHandler({});
        connection_->setDisconnectedHandler({});
        connection_->unlock();
    }
    connection_.reset();
}

void PipeWireSink::start(RenderCallback render, EventCallback events) {
    connection_->lock();
    precondition(!render_, "An audio sink is started once.");
    render_ = std::move(render);
    events_ = std::move(events);
    scratch_.resize(kLongestPeriodFrames * std::size_t(format_.channelCount));
    const std::optional<std::string> device = deviceUniqueID();
    bool connected = connection_->isConnected() && connectStream(device);
    if (!connected && device && connection_->isConnected()) {
        connected = connectStream(std::nullopt);
    }
    started_ = true;
    if (!connected) {
        report(Event::deviceLost);
    }
    connection_->unlock();
}

bool PipeWireSink::connectStream(const std::optional<std::string>& device) {
    pw_properties* properties = pw_properties_new(
        PW_KEY_MEDIA_TYPE, "Audio", PW_KEY_MEDIA_CATEGORY, "Playback", PW_KEY_MEDIA_ROLE, "Movie",
        PW_KEY_APP_NAME, applicationName().c_str(), PW_KEY_NODE_NAME, applicationName().c_str(),
        nullptr);
    pw_properties_setf(properties, PW_KEY_NODE_LATENCY, "%d/%d", kPeriodFrames,
                       format_.sampleRate);
    if (device) {
        pw_properties_set(properties, PW_KEY_TARGET_OBJECT, device->c_str());
    }
    stream_ = pw_stream_new(connection_->core(), "Playback", properties);
    if (stream_ == nullptr) {
        return false;
    }
    static const pw_stream_events events = [] {
        pw_stream_events value{};
        value.version = PW_VERSION_STREAM_EVENTS;
        value.state_changed = &Callbacks::stateChanged;
        value.process = &Callbacks::process;
        return value;
    }();
    pw_stream_add_listener(stream_, &streamListener_->hook, &events, this);

    spa_audio_info_raw info{};
    info.format = SPA_AUDIO_FORMAT_F32;
    info.rate = std::uint32_t(format_.sampleRate);
    const std::vector<std::uint32_t> positions = positionsOf(format_.channelMask);
    info.channels = std::uint32_t(positions.size());
    std::copy(positions.begin(), positions.end(), info.position);
    std::uint8_t buffer[1024];
    spa_pod_builder builder{};
    spa_pod_builder_init(&builder, buffer, sizeof buffer);
    const spa_pod* parameters[] = {spa_format_audio_raw_build(&builder, SPA_PARAM_EnumFormat, &info)};

    streamGeneration_.fetch_add(1, std::memory_order_release);
    rendering_.store(true, std::memory_order_seq_cst);
    linkedNode_.reset();
    movedWhileConnecting_ = false;
    // Not started yet: a failure now is a device that could not be opened, reported by start().
    const bool wasStarted = started_;
    started_ = false;
    const auto flags = pw_stream_flags(PW_STREAM_FLAG_AUTOCONNECT | PW_STREAM_FLAG_MAP_BUFFERS |
                                       PW_STREAM_FLAG_RT_PROCESS);
    bool ready = pw_stream_connect(stream_, PW_DIRECTION_OUTPUT, PW_ID_ANY, flags, parameters,
                                   1) == 0;
    if (ready) {
        ready = connection_->waitUntil(
            [&] {
                const pw_stream_state state = pw_stream_get_state(stream_, nullptr);
                return state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING ||
                       state == PW_STREAM_STATE_ERROR || !connection_->isConnected();
            },
            kStreamTimeout);
        const char* error = nullptr;
        const pw_stream_state state = pw_stream_get_state(stream_, &error);
        ready = ready && (state == PW_STREAM_STATE_PAUSED || state == PW_STREAM_STATE_STREAMING);
        if (!ready) {
            logWarning("PipeWire refused the playback stream{}: {}.",
                       device ? fmt::format(" on “{}”", *device) : std::string(),
                       error != nullptr ? error : "it was not set up in time");
        }
    }
    started_ = wasStarted;
    if (std::exchange(movedWhileConnecting_, false)) {
        report(Event::deviceChanged);
    }
    if (!ready) {
        releaseStream();
        return false;
    }
    // The session manager links the stream a moment later; until then it plays nowhere.
    watchLinks();
    connection_->waitUntil([&] { return linkedNode_.has_value(); }, kLinkTimeout);
    return true;
}

// With the loop locked. No callback of the stream runs after this.
void PipeWireSink::releaseStream() {
    rendering_.store(false, std::memory_order_seq_cst);
    // A render that began before it saw the flag lowered ends soon: it waits for nothing.
    while (inProcess_.load(std::memory_order_seq_cst) != 0) {
        std::this_thread::yield();
    }
    if (stream_ != nullptr) {
        spa_hook_remove(&streamListener_->hook);
        pw_stream_destroy(stream_);
        stream_ = nullptr;
    }
    linkedNode_.reset();
}

void PipeWireSink::stop() {
    if (!connection_) {
        return;
    }
    connection_->lock();
    started_ = false;
    events_ = nullptr;
    releaseStream();
    connection_->unlock();
}

AudioSink::Reconnector PipeWireSink::reconnector() const {
    return [clock = clock_]() -> std::unique_ptr<AudioSink> { return connect(clock); };
}

std::optional<std::string> PipeWireSink::deviceUniqueID() const {
    std::lock_guard lock(deviceMutex_);
    return deviceUniqueID_;
}

void PipeWireSink::setDeviceUniqueID(std::optional<std::string> deviceUniqueID) {
    {
        std::lock_guard lock(deviceMutex_);
        deviceUniqueID_ = deviceUniqueID;
    }
    connection_->lock();
    if (started_ && !lost_ && stream_ != nullptr) {
        // A stream is linked where it was asked to be when it connected: a new one for the new
        // device, whose links tell the move.
        releaseStream();
        bool connected = connectStream(deviceUniqueID);
        if (!connected && deviceUniqueID) {
            connected = connectStream(std::nullopt);
        }
        if (!connected) {
            report(Event::deviceLost);
        }
    }
    connection_->unlock();
}

std::optional<std::string> PipeWireSink::currentSinkName() const {
    connection_->lock();
    std::optional<std::string> name = linkedNode_ ? linkedNodeName_ : std::nullopt;
    connection_->unlock();
    return name;
}

// On the loop's thread: the stream's node is linked to the sink it plays to; a link to another
// sink than before is a move.
void PipeWireSink::watchLinks() {
    if (stream_ == nullptr) {
        return;
    }
    const std::uint32_t node = pw_stream_get_node_id(stream_);
    if (node == SPA_ID_INVALID) {
        return;
    }
    for (const std::uint32_t linked : connection_->nodesLinkedFrom(node)) {
        const std::optional<PipeWireConnection::Node> sink = connection_->node(linked);
        if (!sink || sink->mediaClass != "Audio/Sink") {
            continue;
        }
        if (linkedNode_ && *linkedNode_ == linked) {
            return;
        }
        const bool moved = linkedNodeName_.has_value() && *linkedNodeName_ != sink->name;
        if (linkedNode_) {
            // Another sink, another latency, and maybe another driver whose graph counts from
            // elsewhere: the real-time thread starts its estimate over.
            relinks_.fetch_add(1, std::memory_order_release);
        }
        linkedNode_ = linked;
        linkedNodeName_ = sink->name;
        if (moved && started_) {
            report(Event::deviceChanged);
        } else if (moved) {
            // The session manager may link the new stream while connectStream still waits for
            // it to be set up, when events are held back.
            movedWhileConnecting_ = true;
        }
        return;
    }
}

void PipeWireSink::report(Event event) {
    if (!started_ || (event == Event::deviceLost && lost_)) {
        return;
    }
    if (event == Event::deviceLost) {
        lost_ = true;
    }
    if (events_) {
        events_(event);
    }
}

void PipeWireSink::process() {
    inProcess_.fetch_add(1, std::memory_order_seq_cst);
    pw_stream* const stream = rendering_.load(std::memory_order_seq_cst) ? stream_ : nullptr;
    pw_buffer* const buffer = stream != nullptr ? pw_stream_dequeue_buffer(stream) : nullptr;
    if (buffer == nullptr) {
        inProcess_.fetch_sub(1, std::memory_order_release);
        return;
    }
    const std::uint32_t generation = streamGeneration_.load(std::memory_order_acquire);
    if (generation != seenGeneration_) {
        seenGeneration_ = generation;
        framesWritten_ = 0;
        framesMissed_ = 0;
        lastTicks_.reset();
        estimator_->reset();
    }
    const std::uint32_t relinks = relinks_.load(std::memory_order_acquire);
    if (relinks != seenRelinks_) {
        seenRelinks_ = relinks;
        lastTicks_.reset();
        estimator_->reset();
    }
    spa_data& data = buffer->buffer->datas[0];
    const std::size_t frameBytes = format_.bytesPerFrame();
    std::size_t frames = data.data != nullptr ? data.maxsize / frameBytes : 0;
    if (buffer->requested > 0) {
        frames = std::min<std::size_t>(frames, buffer->requested);
    }
    frames = std::min(frames, kLongestPeriodFrames);
    if (frames > 0) {
        // When the first frame of this buffer is heard. The graph takes it at the start of its
        // next cycle, one cycle (the frames it asks for) after the one that began at `now`,
        // behind what is still queued in the stream and its converter; the device plays it the
        // graph's delay later.
        pw_time time{};
        if (pw_stream_get_time_n(stream, &time, sizeof time) == 0 && time.rate.denom > 0 &&
            time.now > 0) {
            AudioTimingReport report;
            report.hostNanoseconds = time.now;
            report.latencyNanoseconds =
                time.delay * 1'000'000'000 * std::int64_t(time.rate.num) /
                    std::int64_t(time.rate.denom) +
                std::int64_t(frames + time.queued + time.buffered) * 1'000'000'000 /
                    format_.sampleRate;
            // Once per cycle, the graph having moved on by what the stream gave it last, the
            // account holds. A call off that beat (a thread that came late, and is called twice
            // in the next cycle to catch up, its first buffer played at once) says nothing sure
            // of when its buffer is heard: the accounts so far place it. A graph that moved on
            // by whole cycles more ran them without the stream, whose thread was held up: its
            // buffer plays in the next cycle all the same, later by those cycles.
            // (The graph counts at its rate, the stream's frames at the stream's; a resampler
            // between them rounds by a frame or two.)
            const double ticksPerFrame =
                double(time.rate.denom) / (double(time.rate.num) * format_.sampleRate);
            const double lateTicks =
                lastTicks_ ? double(time.ticks - *lastTicks_) - double(lastFrames_) * ticksPerFrame
                           : 0.0;
            const bool onTheBeat = std::abs(lateTicks) <= 2.0;
            const double lateSeconds = lateTicks * double(time.rate.num) / double(time.rate.denom);
            const bool missedCycles = lateTicks > 0.5 * double(lastFrames_) * ticksPerFrame &&
                                      lateSeconds <= kLongestHoldUpSeconds;
            if (missedCycles) {
                framesMissed_ += std::llround(lateTicks / ticksPerFrame);
            }
            lastTicks_ = time.ticks;
            report.position = framesWritten_ + framesMissed_;
            if (onTheBeat || missedCycles) {
                estimator_->addReport(report);
            }
        }
        const std::int64_t heard =
            estimator_->hostNanosecondsOfFrame(framesWritten_ + framesMissed_)
                .value_or(CMClockConvertHostTimeToNanoseconds(clock_->time()));
        const bool aligned = reinterpret_cast<std::uintptr_t>(data.data) % alignof(float) == 0;
        auto* out = aligned ? static_cast<float*>(data.data) : scratch_.data();
        render_(out, frames, CMClockMakeHostTime(heard));
        if (!aligned) {
            std::memcpy(data.data, scratch_.data(), frames * frameBytes);
        }
    }
    data.chunk->offset = 0;
    data.chunk->stride = std::int32_t(frameBytes);
    data.chunk->size = std::uint32_t(frames * frameBytes);
    buffer->size = frames;
    pw_stream_queue_buffer(stream, buffer);
    framesWritten_ += std::int64_t(frames);
    lastFrames_ = frames;
    inProcess_.fetch_sub(1, std::memory_order_release);
}

}  // namespace platform
