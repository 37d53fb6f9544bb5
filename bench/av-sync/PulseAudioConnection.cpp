#include "PulseAudioConnection.h"

#include <pulse/pulseaudio.h>

namespace quillon::bench {

namespace {

struct Operation {
    pa_threaded_mainloop* mainloop = nullptr;
    bool done = false;
    std::uint32_t index = PA_INVALID_INDEX;
};

void signalContext(pa_context*, void* mainloop) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(mainloop), 0);
}

void moduleLoaded(pa_context*, std::uint32_t index, void* userdata) {
    auto* operation = static_cast<Operation*>(userdata);
    operation->index = index;
    operation->done = true;
    pa_threaded_mainloop_signal(operation->mainloop, 0);
}

void operationFinished(pa_context*, int, void* userdata) {
    auto* operation = static_cast<Operation*>(userdata);
    operation->done = true;
    pa_threaded_mainloop_signal(operation->mainloop, 0);
}

// Under the main loop's lock: waits for the callback of an operation that was started.
void wait(pa_threaded_mainloop* mainloop, pa_context* context, pa_operation* operation,
          const Operation& state) {
    if (operation == nullptr) {
        return;
    }
    while (!state.done && PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        pa_threaded_mainloop_wait(mainloop);
    }
    pa_operation_unref(operation);
}

}  // namespace

PulseAudioConnection::PulseAudioConnection(const std::string& name) {
    mainloop_ = pa_threaded_mainloop_new();
    context_ = pa_context_new(pa_threaded_mainloop_get_api(mainloop_), name.c_str());
    pa_context_set_state_callback(context_, &signalContext, mainloop_);
    pa_threaded_mainloop_lock(mainloop_);
    if (pa_context_connect(context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) == 0 &&
        pa_threaded_mainloop_start(mainloop_) == 0) {
        while (PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)) &&
               pa_context_get_state(context_) != PA_CONTEXT_READY) {
            pa_threaded_mainloop_wait(mainloop_);
        }
        connected_ = pa_context_get_state(context_) == PA_CONTEXT_READY;
    }
    pa_threaded_mainloop_unlock(mainloop_);
}

PulseAudioConnection::~PulseAudioConnection() {
    pa_threaded_mainloop_lock(mainloop_);
    pa_context_set_state_callback(context_, nullptr, nullptr);
    pa_context_disconnect(context_);
    pa_context_unref(context_);
    pa_threaded_mainloop_unlock(mainloop_);
    pa_threaded_mainloop_stop(mainloop_);
    pa_threaded_mainloop_free(mainloop_);
}

std::uint32_t PulseAudioConnection::loadModule(const std::string& name,
                                               const std::string& arguments) {
    if (!connected_) {
        return PA_INVALID_INDEX;
    }
    pa_threaded_mainloop_lock(mainloop_);
    Operation state{mainloop_};
    wait(mainloop_, context_,
         pa_context_load_module(context_, name.c_str(), arguments.c_str(), &moduleLoaded, &state),
         state);
    pa_threaded_mainloop_unlock(mainloop_);
    return state.index;
}

void PulseAudioConnection::unloadModule(std::uint32_t index) {
    if (!connected_ || index == PA_INVALID_INDEX) {
        return;
    }
    pa_threaded_mainloop_lock(mainloop_);
    Operation state{mainloop_};
    wait(mainloop_, context_, pa_context_unload_module(context_, index, &operationFinished, &state),
         state);
    pa_threaded_mainloop_unlock(mainloop_);
}

}  // namespace quillon::bench
