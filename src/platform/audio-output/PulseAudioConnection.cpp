#include "platform/audio-output/PulseAudioConnection.h"

namespace platform {

namespace {

struct ConnectionWait {
    pa_threaded_mainloop* mainloop;
    bool timedOut = false;
};

void connectionTimedOut(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* wait = static_cast<ConnectionWait*>(userdata);
    wait->timedOut = true;
    pa_threaded_mainloop_signal(wait->mainloop, 0);
}

}  // namespace

bool connectPulseAudioContext(pa_threaded_mainloop* mainloop, pa_context* context,
                              pa_usec_t timeout, std::string* failure) {
    if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        *failure = pa_strerror(pa_context_errno(context));
        return false;
    }
    if (pa_threaded_mainloop_start(mainloop) < 0) {
        *failure = "the PulseAudio main loop did not start";
        return false;
    }
    ConnectionWait wait{mainloop};
    pa_time_event* timer =
        pa_context_rttime_new(context, pa_rtclock_now() + timeout, &connectionTimedOut, &wait);
    bool connected = false;
    for (;;) {
        const pa_context_state_t state = pa_context_get_state(context);
        if (state == PA_CONTEXT_READY) {
            connected = true;
            break;
        }
        if (!PA_CONTEXT_IS_GOOD(state)) {
            *failure = pa_strerror(pa_context_errno(context));
            break;
        }
        if (wait.timedOut) {
            *failure = "the server did not answer in time";
            break;
        }
        pa_threaded_mainloop_wait(mainloop);
    }
    // Freed under the lock, so the timer can't fire into the finished wait.
    if (timer != nullptr) {
        pa_threaded_mainloop_get_api(mainloop)->time_free(timer);
    }
    return connected;
}

}  // namespace platform
