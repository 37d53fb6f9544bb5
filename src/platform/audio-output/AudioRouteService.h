#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// One place the sound can play: a device of the sound server.
struct AVAudioRoute {
    // The server's own name of the device; what an audio renderer's output device identifier
    // takes to play there.
    std::string deviceUniqueID;
    // What the user sees.
    std::string localizedName;

    friend bool operator==(const AVAudioRoute&, const AVAudioRoute&) = default;
};

// Posted on the default notification centre, with the service (as a pointer to
// AudioRouteService) as object, after the routes or the default route changed. Posted from any
// thread.
inline const std::string AudioRouteServiceRoutesDidChangeNotification =
    "AudioRouteServiceRoutesDidChangeNotification";

// The output devices of the sound server as they come and go. Every member is safe from any
// thread; the answers are a snapshot that the service keeps up to date.
class AudioRouteService {
public:
    virtual ~AudioRouteService() = default;

    // In the server's order.
    virtual std::vector<AVAudioRoute> routes() const = 0;
    // The device the server plays to unless told otherwise; none when it has no devices or no
    // server answers.
    virtual std::optional<std::string> defaultRouteID() const = 0;

    // The service of the user's sound server, connected on first use: the PulseAudio server of
    // the session, or, when none answered then, a service without routes. Never starts a
    // server.
    static std::shared_ptr<AudioRouteService> shared();

protected:
    // Subclasses call it after every change.
    void postRoutesDidChange();
};

using AudioRouteServiceRef = std::shared_ptr<AudioRouteService>;

}  // namespace platform
