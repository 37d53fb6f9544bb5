#pragma once

#include <memory>
#include <string>

namespace platform {

// Where a set of players sends its media: the system's audio output, or a group of AirPlay
// devices. This system has no AirPlay, so nothing makes one; the type exists for the players
// and route pickers that hand one around, and for test stand-ins.
class AVOutputContext {
public:
    virtual ~AVOutputContext() = default;

    // An identifier that route pickers use to show the context's devices.
    virtual std::string contextID() const = 0;
};

using AVOutputContextRef = std::shared_ptr<AVOutputContext>;

}  // namespace platform
