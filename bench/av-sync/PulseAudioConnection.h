#pragma once

#include <cstdint>
#include <string>

struct pa_threaded_mainloop;
struct pa_context;

namespace quillon::bench {

// A connection to the session's PulseAudio server on a threaded main loop of its own.
class PulseAudioConnection {
public:
    // `name` is what the server lists the client as.
    explicit PulseAudioConnection(const std::string& name);
    ~PulseAudioConnection();
    PulseAudioConnection(const PulseAudioConnection&) = delete;
    PulseAudioConnection& operator=(const PulseAudioConnection&) = delete;

    bool isConnected() const { return connected_; }
    pa_threaded_mainloop* mainloop() const { return mainloop_; }
    pa_context* context() const { return context_; }

    // Loads a module and answers its index; PA_INVALID_INDEX when the server refused it.
    std::uint32_t loadModule(const std::string& name, const std::string& arguments);
    void unloadModule(std::uint32_t index);

private:
    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    bool connected_ = false;
};

}  // namespace quillon::bench
