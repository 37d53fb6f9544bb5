#pragma once

#include <mutex>
#include <optional>

#include "platform/mediaplayer/MPNowPlayingInfo.h"

namespace platform {

// What the application tells the desktop it is playing. This class keeps the values only: it is
// the centre of a session without a bus. Subclasses publish each change (over MPRIS, or into a
// test's record) from their hooks.
//
// Any thread; the hooks run on the setting thread after the value was stored, with no lock
// held, so callers that need the hooks in order set from one thread (or one serial queue).
class MPNowPlayingInfoCenter {
public:
    MPNowPlayingInfoCenter() = default;
    virtual ~MPNowPlayingInfoCenter() = default;
    MPNowPlayingInfoCenter(const MPNowPlayingInfoCenter&) = delete;
    MPNowPlayingInfoCenter& operator=(const MPNowPlayingInfoCenter&) = delete;

    // The process-wide centre: published over MPRIS on the session bus when the process has a
    // Qt application and was given a session bus, else one that keeps the values to itself.
    // Made on first use, never destroyed.
    static MPNowPlayingInfoCenter& defaultCenter();

    std::optional<MPNowPlayingInfo> nowPlayingInfo() const;
    void setNowPlayingInfo(std::optional<MPNowPlayingInfo> info);
    MPNowPlayingPlaybackState playbackState() const;
    void setPlaybackState(MPNowPlayingPlaybackState state);

protected:
    virtual void nowPlayingInfoDidChange(const std::optional<MPNowPlayingInfo>& /*info*/) {}
    virtual void playbackStateDidChange(MPNowPlayingPlaybackState /*state*/) {}

private:
    mutable std::mutex mutex_;
    std::optional<MPNowPlayingInfo> nowPlayingInfo_;
    MPNowPlayingPlaybackState playbackState_ = MPNowPlayingPlaybackState::unknown;
};

}  // namespace platform
