#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace platform {

class MPRemoteCommand;

enum class MPRemoteCommandHandlerStatus : int {
    success = 0,
    noSuchContent = 100,
    noActionableNowPlayingItem = 110,
    deviceNotFound = 120,
    commandFailed = 200,
};

// What the system asks for; the command kinds that carry more use the subclasses below.
class MPRemoteCommandEvent {
public:
    explicit MPRemoteCommandEvent(const MPRemoteCommand& command) : command_(&command) {}
    virtual ~MPRemoteCommandEvent() = default;
    const MPRemoteCommand& command() const { return *command_; }

private:
    const MPRemoteCommand* command_;
};

class MPSkipIntervalCommandEvent : public MPRemoteCommandEvent {
public:
    MPSkipIntervalCommandEvent(const MPRemoteCommand& command, double interval)
        : MPRemoteCommandEvent(command), interval_(interval) {}
    // Seconds, never negative: the command tells the direction.
    double interval() const { return interval_; }

private:
    double interval_;
};

class MPChangePlaybackPositionCommandEvent : public MPRemoteCommandEvent {
public:
    MPChangePlaybackPositionCommandEvent(const MPRemoteCommand& command, double positionTime)
        : MPRemoteCommandEvent(command), positionTime_(positionTime) {}
    // Seconds from the start of the item.
    double positionTime() const { return positionTime_; }

private:
    double positionTime_;
};

class MPChangePlaybackRateCommandEvent : public MPRemoteCommandEvent {
public:
    MPChangePlaybackRateCommandEvent(const MPRemoteCommand& command, float playbackRate)
        : MPRemoteCommandEvent(command), playbackRate_(playbackRate) {}
    float playbackRate() const { return playbackRate_; }

private:
    float playbackRate_;
};

// One remote command: whether it is offered, and the handlers that answer it.
//
// Thread safety: every member may be called from any thread. Handlers run on the thread that
// dispatches the event, with no lock held, so a handler may wait for other threads that
// themselves change commands.
class MPRemoteCommand {
public:
    using Handler = std::function<MPRemoteCommandHandlerStatus(const MPRemoteCommandEvent&)>;
    // Identifies one added handler; never 0.
    using Target = std::uint64_t;

    explicit MPRemoteCommand(std::string name);
    virtual ~MPRemoteCommand() = default;
    MPRemoteCommand(const MPRemoteCommand&) = delete;
    MPRemoteCommand& operator=(const MPRemoteCommand&) = delete;

    const std::string& name() const { return name_; }

    bool isEnabled() const;
    void setEnabled(bool enabled);

    Target addTargetWithHandler(Handler handler);
    // Removing a target that is not there does nothing.
    void removeTarget(Target target);
    bool hasTargets() const;

    // Called by the system side: runs every handler in the order they were added and answers
    // the last one's status; a disabled command, or one without handlers, fails.
    MPRemoteCommandHandlerStatus dispatch(const MPRemoteCommandEvent& event) const;

    // Called after every change of the enabled state or of the targets; set once by the
    // command centre that owns the command.
    void setChangeHandler(std::function<void()> changeHandler);

protected:
    void didChange() const;

    mutable std::mutex mutex_;

private:
    std::string name_;
    bool enabled_ = true;
    Target nextTarget_ = 1;
    std::vector<std::pair<Target, Handler>> targets_;
    std::function<void()> changeHandler_;
};

class MPSkipIntervalCommand : public MPRemoteCommand {
public:
    using MPRemoteCommand::MPRemoteCommand;
    std::vector<double> preferredIntervals() const;
    void setPreferredIntervals(std::vector<double> intervals);

private:
    std::vector<double> preferredIntervals_;
};

// The rates the player offers, ascending.
class MPChangePlaybackRateCommand : public MPRemoteCommand {
public:
    using MPRemoteCommand::MPRemoteCommand;
    std::vector<float> supportedPlaybackRates() const;
    void setSupportedPlaybackRates(std::vector<float> rates);

private:
    std::vector<float> supportedPlaybackRates_;
};

using MPChangePlaybackPositionCommand = MPRemoteCommand;

}  // namespace platform
