#include "platform/audio-output/PulseAudioSink.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include <fmt/format.h>

#include "platform/audio-output/PulseAudioConnection.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

extern "C" {
#include <libavutil/channel_layout.h>
}

namespace platform {

namespace {

// How long to wait for the server before playing to nothing instead.
constexpr pa_usec_t kConnectionTimeout = 3 * PA_USEC_PER_SEC;
// How often, and how far apart, to ask again for a default sink the server cannot describe.
constexpr int kDefaultSinkAttempts = 20;
constexpr pa_usec_t kDefaultSinkRetryInterval = 50 * PA_USEC_PER_MSEC;
// What PipeWire's server names as default sink before its session manager has chosen one.
constexpr const char* kUnnamedDefaultSink = "@DEFAULT_SINK@";
// What the stream keeps buffered in all, and how much it asks for at a time.
constexpr pa_usec_t kTargetLatency = 60 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kMinimumRequest = 10 * PA_USEC_PER_MSEC;
// The sink's own account of when its frames are heard, from the server's timing reports, asked
// for this often by a timer of the sink's own (a period that no server's period divides, so
// that the reports of a server that states its position in periods cover every phase of one);
// it takes over from libpulse's account once it has this many reports. A report older than this
// when it arrives is of no use.
constexpr std::size_t kTimingReportsNeeded = 5;
constexpr pa_usec_t kTimingRequestInterval = 37 * PA_USEC_PER_MSEC;
constexpr pa_usec_t kTimingReportMaximumAge = 50 * PA_USEC_PER_MSEC;
// A render that cannot write into the server's buffer directly (it is not aligned for floats)
// renders here, in blocks of at most this many frames.
constexpr std::size_t kScratchFrames = 4096;

struct ChannelPosition {
    pa_channel_position_t position;
    std::uint64_t ffmpegChannel;
};

constexpr ChannelPosition kChannelPositions[] = {
    {PA_CHANNEL_POSITION_FRONT_LEFT, AV_CH_FRONT_LEFT},
    {PA_CHANNEL_POSITION_FRONT_RIGHT, AV_CH_FRONT_RIGHT},
    {PA_CHANNEL_POSITION_FRONT_CENTER, AV_CH_FRONT_CENTER},
    {PA_CHANNEL_POSITION_LFE, AV_CH_LOW_FREQUENCY},
    {PA_CHANNEL_POSITION_REAR_LEFT, AV_CH_BACK_LEFT},
    {PA_CHANNEL_POSITION_REAR_RIGHT, AV_CH_BACK_RIGHT},
    {PA_CHANNEL_POSITION_FRONT_LEFT_OF_CENTER, AV_CH_FRONT_LEFT_OF_CENTER},
    {PA_CHANNEL_POSITION_FRONT_RIGHT_OF_CENTER, AV_CH_FRONT_RIGHT_OF_CENTER},
    {PA_CHANNEL_POSITION_REAR_CENTER, AV_CH_BACK_CENTER},
    {PA_CHANNEL_POSITION_SIDE_LEFT, AV_CH_SIDE_LEFT},
    {PA_CHANNEL_POSITION_SIDE_RIGHT, AV_CH_SIDE_RIGHT},
    {PA_CHANNEL_POSITION_TOP_CENTER, AV_CH_TOP_CENTER},
    {PA_CHANNEL_POSITION_TOP_FRONT_LEFT, AV_CH_TOP_FRONT_LEFT},
    {PA_CHANNEL_POSITION_TOP_FRONT_CENTER, AV_CH_TOP_FRONT_CENTER},
    {PA_CHANNEL_POSITION_TOP_FRONT_RIGHT, AV_CH_TOP_FRONT_RIGHT},
    {PA_CHANNEL_POSITION_TOP_REAR_LEFT, AV_CH_TOP_BACK_LEFT},
    {PA_CHANNEL_POSITION_TOP_REAR_CENTER, AV_CH_TOP_BACK_CENTER},
    {PA_CHANNEL_POSITION_TOP_REAR_RIGHT, AV_CH_TOP_BACK_RIGHT},
};

// The FFmpeg channels of a server's channel map; 0 when one of them has no FFmpeg channel or
// comes twice.
std::uint64_t channelMaskOf(const pa_channel_map& map) {
    if (map.channels == 1 && map.map[0] == PA_CHANNEL_POSITION_MONO) {
        return AV_CH_FRONT_CENTER;
    }
    std::uint64_t mask = 0;
    for (unsigned index = 0; index < map.channels; ++index) {
        const auto found = std::find_if(
            std::begin(kChannelPositions), std::end(kChannelPositions),
            [&](const ChannelPosition& entry) { return entry.position == map.map[index]; });
        if (found == std::end(kChannelPositions) || (mask & found->ffmpegChannel) != 0) {
            return 0;
        }
        mask |= found->ffmpegChannel;
    }
    return mask;
}

// A server channel map of FFmpeg channels, in FFmpeg's order.
pa_channel_map channelMapOf(std::uint64_t mask) {
    pa_channel_map map{};
    if (mask == AV_CH_FRONT_CENTER) {
        map.channels = 1;
        map.map[0] = PA_CHANNEL_POSITION_MONO;
        return map;
    }
    for (int bit = 0; bit < 64; ++bit) {
        const std::uint64_t channel = std::uint64_t{1} << bit;
        if ((mask & channel) == 0) {
            continue;
        }
        for (const ChannelPosition& entry : kChannelPositions) {
            if (entry.ffmpegChannel == channel) {
                map.map[map.channels++] = entry.position;
            }
        }
    }
    return map;
}

std::string applicationName() {
    return program_invocation_short_name != nullptr ? program_invocation_short_name : "player";
}

}  // namespace

// The C callbacks of libpulse, all on the main loop's thread with its lock held.
struct PulseAudioSink::Callbacks {
    static void contextState(pa_context* context, void* userdata) {
        auto* self = static_cast<PulseAudioSink*>(userdata);
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_FAILED || state == PA_CONTEXT_TERMINATED) {
            self->report(Event::deviceLost);
        }
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }

    static void streamState(pa_stream* stream, void* userdata) {
        auto* self = static_cast<PulseAudioSink*>(userdata);
        const pa_stream_state_t state = pa_stream_get_state(stream);
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) {
            self->report(Event::deviceLost);
        }
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }

    static void streamWrite(pa_stream*, std::size_t byteCount, void* userdata) {
        static_cast<PulseAudioSink*>(userdata)->write(byteCount);
    }

    static void timingUpdated(pa_stream*, int, void* userdata) {
        pa_threaded_mainloop_signal(static_cast<PulseAudioSink*>(userdata)->mainloop_, 0);
    }

    static void streamMoved(pa_stream*, void* userdata) {
        auto* self = static_cast<PulseAudioSink*>(userdata);
        // Another sink, another latency.
        self->estimator_->reset();
        self->report(Event::deviceChanged);
    }

    static void latencyUpdated(pa_stream*, void* userdata) {
        static_cast<PulseAudioSink*>(userdata)->noteTiming();
    }

    static void underflowed(pa_stream*, void* userdata) {
        // What is written after the stream ran dry plays later than the timing so far says.
        static_cast<PulseAudioSink*>(userdata)->estimator_->reset();
    }

    static void timingRequested(pa_stream*, int, void* userdata) {
        static_cast<PulseAudioSink*>(userdata)->timingRequestPending_ = false;
    }

    static void timingTimer(pa_mainloop_api*, pa_time_event* event, const struct timeval*,
                            void* userdata) {
        auto* self = static_cast<PulseAudioSink*>(userdata);
        if (self->stream_ != nullptr && !self->stopping_ && !self->timingRequestPending_ &&
            pa_stream_get_state(self->stream_) == PA_STREAM_READY) {
            if (pa_operation* operation = pa_stream_update_timing_info(
                    self->stream_, &Callbacks::timingRequested, self)) {
                self->timingRequestPending_ = true;
                pa_operation_unref(operation);
            }
        }
        pa_context_rttime_restart(self->context_, event, pa_rtclock_now() + kTimingRequestInterval);
    }

    struct Query {
        PulseAudioSink* sink = nullptr;
        bool done = false;
        std::string serverName;
        std::string defaultSinkName;
        bool found = false;
        pa_sample_spec sampleSpec{};
        pa_channel_map channelMap{};
        // The first sink of the server's list, when asked for it.
        std::string firstSinkName;
    };

    static void serverInfo(pa_context*, const pa_server_info* info, void* userdata) {
        auto* query = static_cast<Query*>(userdata);
        if (info != nullptr && info->default_sink_name != nullptr) {
            query->defaultSinkName = info->default_sink_name;
        }
        if (info != nullptr && info->server_name != nullptr) {
            query->serverName = info->server_name;
        }
        query->done = true;
        pa_threaded_mainloop_signal(query->sink->mainloop_, 0);
    }

    static void sinkInfo(pa_context*, const pa_sink_info* info, int endOfList, void* userdata) {
        auto* query = static_cast<Query*>(userdata);
        if (endOfList == 0 && info != nullptr) {
            query->found = true;
            query->sampleSpec = info->sample_spec;
            query->channelMap = info->channel_map;
            return;
        }
        query->done = true;
        pa_threaded_mainloop_signal(query->sink->mainloop_, 0);
    }

    static void firstSink(pa_context*, const pa_sink_info* info, int endOfList, void* userdata) {
        auto* query = static_cast<Query*>(userdata);
        if (endOfList == 0 && info != nullptr) {
            if (!query->found && info->name != nullptr) {
                query->found = true;
                query->firstSinkName = info->name;
                query->sampleSpec = info->sample_spec;
                query->channelMap = info->channel_map;
            }
            return;
        }
        query->done = true;
        pa_threaded_mainloop_signal(query->sink->mainloop_, 0);
    }

    static void waited(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
        auto* query = static_cast<Query*>(userdata);
        query->done = true;
        pa_threaded_mainloop_signal(query->sink->mainloop_, 0);
    }

    static Query findDefaultSink(PulseAudioSink& self);

    // Moves the stream to the server's default sink once the server has named it.
    static void moveToDefault(pa_context* context, const pa_server_info* info, void* userdata) {
        auto* self = static_cast<PulseAudioSink*>(userdata);
        if (info == nullptr || info->default_sink_name == nullptr || self->stream_ == nullptr ||
            self->stopping_) {
            return;
        }
        if (pa_operation* operation =
                pa_context_move_sink_input_by_name(context, pa_stream_get_index(self->stream_),
                                                   info->default_sink_name, nullptr, nullptr)) {
            pa_operation_unref(operation);
        }
    }
};

PulseAudioSink::PulseAudioSink(Passkey, CMClockRef hostClock) : clock_(std::move(hostClock)) {}

std::unique_ptr<PulseAudioSink> PulseAudioSink::connect(CMClockRef hostClock,
                                                        std::string* failure) {
    auto sink = std::make_unique<PulseAudioSink>(Passkey{}, std::move(hostClock));
    std::string reason;
    if (!sink->open(&reason)) {
        if (failure != nullptr) {
            *failure = reason;
        }
        return nullptr;
    }
    return sink;
}

bool PulseAudioSink::open(std::string* failure) {
    mainloop_ = pa_threaded_mainloop_new();
    precondition(mainloop_ != nullptr, "Unable to create the PulseAudio main loop.");
    pa_threaded_mainloop_set_name(mainloop_, "Audio Output");
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), applicationName().c_str());
    precondition(context_ != nullptr, "Unable to create a PulseAudio context.");
    pa_context_set_state_callback(context_, &Callbacks::contextState, this);

    pa_threaded_mainloop_lock(mainloop_);
    // Not started yet: what connecting reports now is not a lost device.
    stopping_ = true;
    bool connected = connectPulseAudioContext(mainloop_, context_, kConnectionTimeout, failure);
    if (connected) {
        Callbacks::Query query = Callbacks::findDefaultSink(*this);
        if (!query.found) {
            *failure = "the server has no sink to play to";
            connected = false;
        } else {
            defaultSinkName_ = query.defaultSinkName;
            // PipeWire's server ("PulseAudio (on PipeWire 0.3.65)") states the play position
            // in whole periods of its graph.
            estimator_.emplace(int(query.sampleSpec.rate),
                               query.serverName.find("PipeWire") != std::string::npos
                                   ? AudioTimingEstimator::Accounts::coarse
                                   : AudioTimingEstimator::Accounts::exact);
            format_.sampleRate = int(query.sampleSpec.rate);
            format_.channelMask = channelMaskOf(query.channelMap);
            if (format_.channelMask == 0) {
                // Channels FFmpeg cannot name: play stereo and let the server map it.
                format_.channelMask = AV_CH_LAYOUT_STEREO;
            }
            format_.channelCount = __builtin_popcountll(format_.channelMask);
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
    return connected;
}

// The sink a stream without a device plays to, as the server names it. Right after a sink
// appears or goes (headphones plugged in, a sound server that starts with the session), a
// server can name a default sink that it cannot describe yet, or one that is already gone, and
// PipeWire's server names none ("@DEFAULT_SINK@") until its session manager has chosen one:
// ask again while the server settles, and in the end take the first sink it lists, which is
// where the server routes such a stream in the meantime.
PulseAudioSink::Callbacks::Query PulseAudioSink::Callbacks::findDefaultSink(PulseAudioSink& self) {
    const auto wait = [&](auto operation, Callbacks::Query& query) {
        if (operation == nullptr) {
            return;
        }
        while (!query.done && PA_CONTEXT_IS_GOOD(pa_context_get_state(self.context_))) {
            pa_threaded_mainloop_wait(self.mainloop_);
        }
        if (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) {
            pa_operation_cancel(operation);
        }
        pa_operation_unref(operation);
    };
    Callbacks::Query query;
    for (int attempt = 0; attempt < kDefaultSinkAttempts; ++attempt) {
        if (attempt > 0) {
            Callbacks::Query pause;
            pause.sink = &self;
            pa_time_event* timer =
                pa_context_rttime_new(self.context_, pa_rtclock_now() + kDefaultSinkRetryInterval,
                                      &Callbacks::waited, &pause);
            while (!pause.done && PA_CONTEXT_IS_GOOD(pa_context_get_state(self.context_))) {
                pa_threaded_mainloop_wait(self.mainloop_);
            }
            if (timer != nullptr) {
                pa_threaded_mainloop_get_api(self.mainloop_)->time_free(timer);
            }
        }
        query = Callbacks::Query{};
        query.sink = &self;
        wait(pa_context_get_server_info(self.context_, &Callbacks::serverInfo, &query), query);
        const std::string serverName = query.serverName;
        const bool named =
            !query.defaultSinkName.empty() && query.defaultSinkName != kUnnamedDefaultSink;
        if (named) {
            query.done = false;
            wait(pa_context_get_sink_info_by_name(self.context_, query.defaultSinkName.c_str(),
                                                  &Callbacks::sinkInfo, &query),
                 query);
            if (query.found) {
                return query;
            }
        }
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(self.context_))) {
            break;
        }
        // Nothing to wait for when the server chose none: it plays to its first sink.
        if (!named || attempt + 1 == kDefaultSinkAttempts) {
            Callbacks::Query listed;
            listed.sink = &self;
            wait(pa_context_get_sink_info_list(self.context_, &Callbacks::firstSink, &listed),
                 listed);
            if (listed.found) {
                listed.defaultSinkName = listed.firstSinkName;
                listed.serverName = serverName;
                return listed;
            }
            if (!named && attempt + 1 < kDefaultSinkAttempts) {
                continue;
            }
            break;
        }
    }
    query.found = false;
    return query;
}

PulseAudioSink::~PulseAudioSink() {
    stop();
    if (mainloop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
        context_ = nullptr;
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

void PulseAudioSink::start(RenderCallback render, EventCallback events) {
    pa_threaded_mainloop_lock(mainloop_);
    precondition(!render_, "An audio sink is started once.");
    render_ = std::move(render);
    events_ = std::move(events);
    stopping_ = false;
    scratch_.resize(kScratchFrames * std::size_t(format_.channelCount));

    const pa_sample_spec sampleSpec{PA_SAMPLE_FLOAT32NE, std::uint32_t(format_.sampleRate),
                                    std::uint8_t(format_.channelCount)};
    const pa_channel_map map = channelMapOf(format_.channelMask);
    pa_buffer_attr attributes{};
    attributes.maxlength = std::uint32_t(-1);
    attributes.tlength = std::uint32_t(pa_usec_to_bytes(kTargetLatency, &sampleSpec));
    attributes.prebuf = std::uint32_t(-1);
    attributes.minreq = std::uint32_t(pa_usec_to_bytes(kMinimumRequest, &sampleSpec));
    attributes.fragsize = std::uint32_t(-1);
    const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING |
                                         PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_ADJUST_LATENCY);
    const std::optional<std::string> device = deviceUniqueID();

    for (const bool onDevice : {true, false}) {
        if (!onDevice && !device) {
            break;
        }
        stream_ = pa_stream_new(context_, "Playback", &sampleSpec, &map);
        if (stream_ == nullptr) {
            break;
        }
        pa_stream_set_state_callback(stream_, &Callbacks::streamState, this);
        pa_stream_set_write_callback(stream_, &Callbacks::streamWrite, this);
        pa_stream_set_moved_callback(stream_, &Callbacks::streamMoved, this);
        pa_stream_set_latency_update_callback(stream_, &Callbacks::latencyUpdated, this);
        pa_stream_set_underflow_callback(stream_, &Callbacks::underflowed, this);
        // Until the stream is up, a failure is a device that could not be opened, not one lost.
        stopping_ = true;
        bool ready = false;
        if (pa_stream_connect_playback(stream_, onDevice && device ? device->c_str() : nullptr,
                                       &attributes, flags, nullptr, nullptr) == 0) {
            for (;;) {
                const pa_stream_state_t state = pa_stream_get_state(stream_);
                if (state == PA_STREAM_READY) {
                    ready = true;
                    break;
                }
                if (!PA_STREAM_IS_GOOD(state)) {
                    break;
                }
                pa_threaded_mainloop_wait(mainloop_);
            }
        }
        stopping_ = false;
        if (ready) {
            // The first render must know when it will be heard: ask the server where the sink
            // stands before writing anything.
            if (pa_operation* operation =
                    pa_stream_update_timing_info(stream_, &Callbacks::timingUpdated, this)) {
                while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING &&
                       PA_STREAM_IS_GOOD(pa_stream_get_state(stream_))) {
                    pa_threaded_mainloop_wait(mainloop_);
                }
                pa_operation_unref(operation);
            }
            timingKnown_ = true;
            timingTimer_ = pa_context_rttime_new(
                context_, pa_rtclock_now() + kTimingRequestInterval, &Callbacks::timingTimer, this);
            // Fill what the server asked for while we waited.
            if (const std::size_t writable = pa_stream_writable_size(stream_);
                writable != std::size_t(-1) && writable > 0) {
                write(writable);
            }
            break;
        }
        logWarning("PulseAudio refused the playback stream{}: {}.",
                   onDevice && device ? fmt::format(" on “{}”", *device) : std::string(),
                   pa_strerror(pa_context_errno(context_)));
        releaseStream();
    }
    if (stream_ == nullptr) {
        report(Event::deviceLost);
    }
    pa_threaded_mainloop_unlock(mainloop_);
}

// With the mainloop locked. No callback of the stream runs after this.
void PulseAudioSink::releaseStream() {
    pa_stream_set_state_callback(stream_, nullptr, nullptr);
    pa_stream_set_write_callback(stream_, nullptr, nullptr);
    pa_stream_set_moved_callback(stream_, nullptr, nullptr);
    pa_stream_set_latency_update_callback(stream_, nullptr, nullptr);
    pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
    pa_stream_disconnect(stream_);
    pa_stream_unref(stream_);
    stream_ = nullptr;
}

void PulseAudioSink::stop() {
    if (mainloop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    stopping_ = true;
    if (timingTimer_ != nullptr) {
        pa_threaded_mainloop_get_api(mainloop_)->time_free(timingTimer_);
        timingTimer_ = nullptr;
    }
    if (stream_ != nullptr) {
        releaseStream();
    }
    pa_threaded_mainloop_unlock(mainloop_);
}

AudioSink::Reconnector PulseAudioSink::reconnector() const {
    return [clock = clock_]() -> std::unique_ptr<AudioSink> { return connect(clock); };
}

std::optional<std::string> PulseAudioSink::deviceUniqueID() const {
    std::lock_guard lock(deviceMutex_);
    return deviceUniqueID_;
}

void PulseAudioSink::setDeviceUniqueID(std::optional<std::string> deviceUniqueID) {
    {
        std::lock_guard lock(deviceMutex_);
        deviceUniqueID_ = deviceUniqueID;
    }
    pa_threaded_mainloop_lock(mainloop_);
    if (stream_ != nullptr && !stopping_ && !lost_) {
        pa_operation* operation = nullptr;
        if (deviceUniqueID) {
            operation = pa_context_move_sink_input_by_name(
                context_, pa_stream_get_index(stream_), deviceUniqueID->c_str(), nullptr, nullptr);
        } else {
            operation = pa_context_get_server_info(context_, &Callbacks::moveToDefault, this);
        }
        if (operation != nullptr) {
            pa_operation_unref(operation);
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
}

std::optional<std::string> PulseAudioSink::currentSinkName() const {
    pa_threaded_mainloop_lock(mainloop_);
    std::optional<std::string> name;
    if (stream_ != nullptr) {
        if (const char* device = pa_stream_get_device_name(stream_)) {
            name = device;
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
    return name;
}

void PulseAudioSink::report(Event event) {
    if (stopping_ || (event == Event::deviceLost && lost_)) {
        return;
    }
    if (event == Event::deviceLost) {
        lost_ = true;
    }
    if (events_) {
        events_(event);
    }
}

// libpulse's own account of the latency interpolates between the server's timing reports
// with a clock it fits to them. PipeWire's server reports the play position only in whole
// periods of its graph (21 ms at 1024 frames), and not often: the fitted clock then runs off by
// a percent for seconds and comes back in jumps of a period, tens of milliseconds that are never
// heard. So the sink keeps its own account: each report says when the frame at the server's
// read index is heard, and the estimator places every frame by them.
void PulseAudioSink::noteTiming() {
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    if (info == nullptr || info->read_index_corrupt || info->write_index_corrupt ||
        !info->playing || info->read_index < 0) {
        return;
    }
    // The report's time stamp is on the system's calendar clock. Where the server's clock is the
    // client's (a local server), it is the server's own: the moment it read the position, so
    // the report's way to the client is already behind it.
    const pa_usec_t age = pa_timeval_age(&info->timestamp);
    if (age > kTimingReportMaximumAge) {
        return;
    }
    AudioTimingReport report;
    report.hostNanoseconds =
        CMClockConvertHostTimeToNanoseconds(clock_->time()) - std::int64_t(age) * 1000;
    // What was heard at the report: the frame at the read position, once the sink has played
    // what it holds.
    report.position = info->read_index / std::int64_t(format_.bytesPerFrame());
    report.latencyNanoseconds = std::int64_t(info->sink_usec) * 1000;
    estimator_->addReport(report);
}

CMTime PulseAudioSink::hostTimeOfNextFrame() {
    const CMTime now = clock_->time();
    const std::int64_t nowNanoseconds = CMClockConvertHostTimeToNanoseconds(now);
    const pa_timing_info* info = pa_stream_get_timing_info(stream_);
    if (estimator_->reportCount() >= kTimingReportsNeeded && info != nullptr &&
        !info->write_index_corrupt) {
        // The first frame written now is the one at the write index.
        const std::optional<std::int64_t> heard = estimator_->hostNanosecondsOfFrame(
            info->write_index / std::int64_t(format_.bytesPerFrame()));
        // Never earlier than now: what is written cannot be heard in the past.
        return CMClockMakeHostTime(std::max(nowNanoseconds, heard.value_or(nowNanoseconds)));
    }
    // Until the stream has played a while: libpulse's account.
    pa_usec_t latency = 0;
    int negative = 0;
    if (pa_stream_get_latency(stream_, &latency, &negative) == 0) {
        const auto nanoseconds = std::int64_t(latency) * 1000;
        return CMClockMakeHostTime(nowNanoseconds + (negative ? -nanoseconds : nanoseconds));
    }
    return now;
}

void PulseAudioSink::write(std::size_t byteCount) {
    // Requests that come while the stream is being set up wait until the stream knows its
    // timing; start() then fills the room the server asked for.
    if (lost_ || !render_ || stream_ == nullptr || !timingKnown_) {
        return;
    }
    const std::size_t frameBytes = format_.bytesPerFrame();
    while (byteCount >= frameBytes) {
        void* data = nullptr;
        std::size_t size = byteCount;
        if (pa_stream_begin_write(stream_, &data, &size) < 0 || data == nullptr) {
            return;
        }
        const bool aligned = reinterpret_cast<std::uintptr_t>(data) % alignof(float) == 0;
        std::size_t frames = std::min(size, byteCount) / frameBytes;
        if (!aligned) {
            frames = std::min(frames, kScratchFrames);
        }
        if (frames == 0) {
            pa_stream_cancel_write(stream_);
            return;
        }
        // The first frame written now is heard once everything before it has played.
        const CMTime hostTime = hostTimeOfNextFrame();
        if (aligned) {
            render_(static_cast<float*>(data), frames, hostTime);
        } else {
            render_(scratch_.data(), frames, hostTime);
            std::memcpy(data, scratch_.data(), frames * frameBytes);
        }
        if (pa_stream_write(stream_, data, frames * frameBytes, nullptr, 0, PA_SEEK_RELATIVE) < 0) {
            return;
        }
        byteCount -= frames * frameBytes;
    }
}

}  // namespace platform
