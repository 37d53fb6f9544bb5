#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/mediaplayer/MPNowPlayingInfoCenter.h"
#include "platform/mediaplayer/MPRemoteCommandCenter.h"

namespace platform {

// The Now Playing centre of a desktop session: an MPRIS player on a D-Bus bus. The values set
// become the org.mpris.MediaPlayer2.Player properties (announced with PropertiesChanged), the
// enabled commands of `commandCenter` decide its Can* properties and the rate range, and its
// methods (Play, Pause, PlayPause, Stop, Next, Previous, Seek, SetPosition) and writes of Rate
// dispatch those commands; one the player cannot carry out is answered with an error. Rate is
// the rate playback runs at, also while paused. Position changes are never announced: the
// Seeked signal says when it jumped.
//
// Calls from the bus are answered on a thread of the centre's own ("MPRIS Remote Command
// Thread"), so the command handlers run there and may wait for other threads. The artwork is
// written to a PNG file in a private temporary directory and published by its file URL.
class MPRISNowPlayingInfoCenter final : public MPNowPlayingInfoCenter {
    struct Passkey {};

public:
    static constexpr const char* busNamePrefix = "org.mpris.MediaPlayer2.quillon";
    static constexpr const char* objectPath = "/org/mpris/MediaPlayer2";
    // The launcher entry the desktop shows the player under (without ".desktop").
    static constexpr const char* desktopEntry = "org.quillon.player";

    // What Raise does, on the main thread (a Qt application's); CanRaise tells whether one is
    // set. Set it before the centre is made.
    static void setRaiseHandler(std::function<void()> handler);

    // The error a method call is answered with when the player cannot carry it out.
    static constexpr const char* commandFailedError = "org.mpris.MediaPlayer2.Player.Error.Failed";

    // Connects to the bus at `busAddress` (the session bus when none) and takes the name
    // busNamePrefix, or busNamePrefix + ".instance<pid>" when another process has it. Null
    // (logged) when the bus cannot be reached or the object not be published. Needs a Qt
    // application object. `commandCenter` must outlive the centre.
    static std::unique_ptr<MPRISNowPlayingInfoCenter> make(
        MPRemoteCommandCenter& commandCenter, std::optional<std::string> busAddress = {});

    struct Service;
    MPRISNowPlayingInfoCenter(Passkey, std::shared_ptr<Service> service);
    // Leaves the bus after the last call from it was answered.
    ~MPRISNowPlayingInfoCenter() override;

    // The well-known name taken on the bus.
    std::string busName() const;

protected:
    void nowPlayingInfoDidChange(const std::optional<MPNowPlayingInfo>& info) override;
    void playbackStateDidChange(MPNowPlayingPlaybackState state) override;

private:
    std::shared_ptr<Service> service_;
};

}  // namespace platform
