#pragma once

#include <string>

#include <pulse/pulseaudio.h>

namespace platform {

// Connects `context` (without spawning a server) and starts `mainloop`, then waits until the
// context is ready, fails, or the server has not answered within `timeout`. Called with the
// main loop locked; the context's state callback must signal the main loop. On failure says why
// in `failure` and returns false.
bool connectPulseAudioContext(pa_threaded_mainloop* mainloop, pa_context* context,
                              pa_usec_t timeout, std::string* failure);

}  // namespace platform
