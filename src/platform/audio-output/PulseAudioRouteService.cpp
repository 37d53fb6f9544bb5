#include "platform/audio-output/PulseAudioRouteService.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cerrno>

#include "platform/audio-output/PulseAudioConnection.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

namespace platform {

namespace {

// How long to wait for the server before offering no routes instead.
constexpr pa_usec_t kConnectionTimeout = 3 * PA_USEC_PER_SEC;

constexpr const char* kQueueLabel = "Audio Route Detection";

std::string applicationName() {
    return program_invocation_short_name != nullptr ? program_invocation_short_name : "player";
}

}  // namespace

// One answer being put together: the server's default sink, then its sinks. Requests on one
// connection are answered in order, so the last refresh to finish read the newest state.
struct PulseAudioRouteService::Refresh {
    PulseAudioRouteService* service = nullptr;
    std::optional<std::string> defaultRouteID;
    std::vector<AVAudioRoute> routes;
};

// The C callbacks of libpulse, all on the main loop's thread with its lock held.
struct PulseAudioRouteService::Callbacks {
    static void contextState(pa_context* context, void* userdata) {
        auto* self = static_cast<PulseAudioRouteService*>(userdata);
        const pa_context_state_t state = pa_context_get_state(context);
        if (self->ready_ && !PA_CONTEXT_IS_GOOD(state) && !self->closing_) {
            logWarning("The sound server went away, so no output devices can be offered: {}.",
                       pa_strerror(pa_context_errno(context)));
            self->ready_ = false;
            self->commit({}, std::nullopt);
        }
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }

    static void event(pa_context*, pa_subscription_event_type_t type, std::uint32_t,
                      void* userdata) {
        const auto facility = type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK;
        if (facility == PA_SUBSCRIPTION_EVENT_SINK || facility == PA_SUBSCRIPTION_EVENT_SERVER) {
            static_cast<PulseAudioRouteService*>(userdata)->refresh();
        }
    }

    static void serverInfo(pa_context*, const pa_server_info* info, void* userdata) {
        auto* refresh = static_cast<Refresh*>(userdata);
        if (info != nullptr && info->default_sink_name != nullptr) {
            refresh->defaultRouteID = std::string(info->default_sink_name);
        }
    }

    static void sinkInfo(pa_context*, const pa_sink_info* info, int endOfList, void* userdata) {
        auto* refresh = static_cast<Refresh*>(userdata);
        if (endOfList == 0 && info != nullptr) {
            AVAudioRoute route;
            route.deviceUniqueID = info->name != nullptr ? info->name : "";
            route.localizedName = info->description != nullptr && info->description[0] != '\0'
                                      ? info->description
                                      : route.deviceUniqueID;
            refresh->routes.push_back(std::move(route));
            return;
        }
        // The end of the list, or the request failed (the connection is going away).
        PulseAudioRouteService* self = refresh->service;
        const auto found = std::find_if(
            self->refreshes_.begin(), self->refreshes_.end(),
            [refresh](const std::unique_ptr<Refresh>& entry) { return entry.get() == refresh; });
        precondition(found != self->refreshes_.end(), "A route refresh ended twice.");
        const std::unique_ptr<Refresh> finished = std::move(*found);
        self->refreshes_.erase(found);
        if (endOfList > 0 && !self->closing_) {
            // A default that names no sink (the server's fallback before any sink exists) is
            // no default at all.
            bool defaultExists = false;
            for (const AVAudioRoute& route : finished->routes) {
                defaultExists = defaultExists || route.deviceUniqueID == finished->defaultRouteID;
            }
            self->commit(std::move(finished->routes),
                         defaultExists ? finished->defaultRouteID : std::nullopt);
        }
        pa_threaded_mainloop_signal(self->mainloop_, 0);
    }
};

PulseAudioRouteService::PulseAudioRouteService(Passkey)
    : notificationQueue_(DispatchQueue::makeSerial(kQueueLabel)) {}

std::shared_ptr<PulseAudioRouteService> PulseAudioRouteService::connect(std::string* failure) {
    auto service = std::make_shared<PulseAudioRouteService>(Passkey{});
    std::string reason;
    if (!service->open(&reason)) {
        if (failure != nullptr) {
            *failure = reason;
        }
        return nullptr;
    }
    return service;
}

bool PulseAudioRouteService::open(std::string* failure) {
    mainloop_ = pa_threaded_mainloop_new();
    precondition(mainloop_ != nullptr, "Unable to create the PulseAudio main loop.");
    pa_threaded_mainloop_set_name(mainloop_, kQueueLabel);
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), applicationName().c_str());
    precondition(context_ != nullptr, "Unable to create a PulseAudio context.");
    pa_context_set_state_callback(context_, &Callbacks::contextState, this);

    pa_threaded_mainloop_lock(mainloop_);
    const bool connected =
        connectPulseAudioContext(mainloop_, context_, kConnectionTimeout, failure);
    if (connected) {
        ready_ = true;
        pa_context_set_subscribe_callback(context_, &Callbacks::event, this);
        if (pa_operation* operation = pa_context_subscribe(
                context_,
                pa_subscription_mask_t(PA_SUBSCRIPTION_MASK_SINK | PA_SUBSCRIPTION_MASK_SERVER),
                nullptr, nullptr)) {
            pa_operation_unref(operation);
        }
        // The first answer is there before connect() returns, so that a new service never
        // shows an empty list that is only not read yet.
        refresh();
        while (!refreshes_.empty() && PA_CONTEXT_IS_GOOD(pa_context_get_state(context_))) {
            pa_threaded_mainloop_wait(mainloop_);
        }
    }
    pa_threaded_mainloop_unlock(mainloop_);
    return connected;
}

PulseAudioRouteService::~PulseAudioRouteService() {
    if (mainloop_ == nullptr) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    closing_ = true;
    if (context_ != nullptr) {
        pa_context_set_subscribe_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
    }
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    // Requests still out are answered (as failed) by unref'ing the context, which frees them.
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_unref(context_);
    }
    pa_threaded_mainloop_free(mainloop_);
}

void PulseAudioRouteService::refresh() {
    if (!ready_ || closing_) {
        return;
    }
    auto refresh = std::make_unique<Refresh>();
    refresh->service = this;
    pa_operation* serverInfo =
        pa_context_get_server_info(context_, &Callbacks::serverInfo, refresh.get());
    if (serverInfo == nullptr) {
        return;
    }
    pa_operation* sinks =
        pa_context_get_sink_info_list(context_, &Callbacks::sinkInfo, refresh.get());
    if (sinks == nullptr) {
        // Nothing may answer into the refresh once it is gone.
        pa_operation_cancel(serverInfo);
        pa_operation_unref(serverInfo);
        return;
    }
    pa_operation_unref(serverInfo);
    pa_operation_unref(sinks);
    // The end of the sink list takes it out again.
    refreshes_.push_back(std::move(refresh));
}

void PulseAudioRouteService::commit(std::vector<AVAudioRoute> routes,
                                    std::optional<std::string> defaultRouteID) {
    {
        std::lock_guard lock(snapshotMutex_);
        if (routes == routes_ && defaultRouteID == defaultRouteID_) {
            return;
        }
        routes_ = std::move(routes);
        defaultRouteID_ = std::move(defaultRouteID);
    }
    // Observers run on the queue, never under the main loop's lock.
    std::weak_ptr<PulseAudioRouteService> weakSelf = weak_from_this();
    notificationQueue_->async([weakSelf] {
        if (const auto self = weakSelf.lock()) {
            self->postRoutesDidChange();
        }
    });
}

std::vector<AVAudioRoute> PulseAudioRouteService::routes() const {
    std::lock_guard lock(snapshotMutex_);
    return routes_;
}

std::optional<std::string> PulseAudioRouteService::defaultRouteID() const {
    std::lock_guard lock(snapshotMutex_);
    return defaultRouteID_;
}

}  // namespace platform
