#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/audio-output/AudioRouteService.h"
#include "platform/dispatch/DispatchQueue.h"

struct pa_threaded_mainloop;
struct pa_context;

namespace platform {

// The sinks of the session's PulseAudio server, kept up to date through the server's change
// events on a main loop thread of its own ("Audio Route Detection"). Changes are posted from
// the serial queue of the same name, never with a lock of the service held. When the server
// goes away the service has no routes from then on.
class PulseAudioRouteService final : public AudioRouteService,
                                     public std::enable_shared_from_this<PulseAudioRouteService> {
    struct Passkey {};

public:
    // Connects and reads the sinks once; null, with the reason in `failure`, when no server
    // answers. Never starts a server.
    static std::shared_ptr<PulseAudioRouteService> connect(std::string* failure = nullptr);

    explicit PulseAudioRouteService(Passkey);
    ~PulseAudioRouteService() override;
    PulseAudioRouteService(const PulseAudioRouteService&) = delete;
    PulseAudioRouteService& operator=(const PulseAudioRouteService&) = delete;

    std::vector<AVAudioRoute> routes() const override;
    std::optional<std::string> defaultRouteID() const override;

private:
    struct Callbacks;
    struct Refresh;

    bool open(std::string* failure);
    // Asks the server for its default sink and its sinks; the answer replaces the snapshot.
    // With the main loop's lock held.
    void refresh();
    void commit(std::vector<AVAudioRoute> routes, std::optional<std::string> defaultRouteID);

    pa_threaded_mainloop* mainloop_ = nullptr;
    pa_context* context_ = nullptr;
    // Under the main loop's lock.
    bool ready_ = false;
    bool closing_ = false;
    // Requests out at the server; cancelled requests never answer, so they are freed with the
    // service.
    std::vector<std::unique_ptr<Refresh>> refreshes_;

    const std::shared_ptr<DispatchQueue> notificationQueue_;

    mutable std::mutex snapshotMutex_;
    std::vector<AVAudioRoute> routes_;
    std::optional<std::string> defaultRouteID_;
};

}  // namespace platform
