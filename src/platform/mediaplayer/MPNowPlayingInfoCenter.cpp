#include "platform/mediaplayer/MPNowPlayingInfoCenter.h"

#include <memory>
#include <utility>

#include <QCoreApplication>

#include "platform/foundation/Log.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/mediaplayer/MPRISNowPlayingInfoCenter.h"
#include "platform/mediaplayer/MPRemoteCommandCenter.h"

namespace platform {

namespace {

std::unique_ptr<MPNowPlayingInfoCenter> makeDefaultCenter() {
    // Only a session the process was told about: asking for the session bus otherwise would
    // try to launch one. The bus needs the application's event machinery.
    if (QCoreApplication::instance() == nullptr) {
        logLine(LogLevel::debug, "Now Playing is not published: there is no application object.");
    } else if (!qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS")) {
        logLine(LogLevel::warning, "Now Playing is not published: there is no session bus.");
    } else if (auto center =
                   MPRISNowPlayingInfoCenter::make(MPRemoteCommandCenter::sharedCommandCenter())) {
        return center;
    }
    return std::make_unique<MPNowPlayingInfoCenter>();
}

}  // namespace

MPNowPlayingInfoCenter& MPNowPlayingInfoCenter::defaultCenter() {
    static NeverDestroyed<std::unique_ptr<MPNowPlayingInfoCenter>> center(makeDefaultCenter());
    return *center.get();
}

std::optional<MPNowPlayingInfo> MPNowPlayingInfoCenter::nowPlayingInfo() const {
    std::lock_guard lock(mutex_);
    return nowPlayingInfo_;
}

void MPNowPlayingInfoCenter::setNowPlayingInfo(std::optional<MPNowPlayingInfo> info) {
    {
        std::lock_guard lock(mutex_);
        nowPlayingInfo_ = info;
    }
    nowPlayingInfoDidChange(info);
}

MPNowPlayingPlaybackState MPNowPlayingInfoCenter::playbackState() const {
    std::lock_guard lock(mutex_);
    return playbackState_;
}

void MPNowPlayingInfoCenter::setPlaybackState(MPNowPlayingPlaybackState state) {
    {
        std::lock_guard lock(mutex_);
        playbackState_ = state;
    }
    playbackStateDidChange(state);
}

}  // namespace platform
