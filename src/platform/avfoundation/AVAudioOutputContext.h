#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/avfoundation/AVOutputContext.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"

namespace platform {

// Posted on the default notification centre, with the context (as a pointer to AVOutputContext)
// as object, after its output device changed. Posted on the thread that changed it.
inline const std::string AVOutputContextOutputDeviceDidChangeNotification =
    "AVOutputContextOutputDeviceDidChangeNotification";

// An output context of this system: the sound of the audio renderers it routes plays on one
// device of the sound server, which a route picker bound to the context's identifier chooses.
// Choosing a device sets each renderer's output device identifier, which moves its stream.
//
// Every member is safe from any thread. The context holds its renderers weakly.
class AVAudioOutputContext final : public AVOutputContext,
                                   public std::enable_shared_from_this<AVAudioOutputContext> {
    struct Passkey {};

public:
    // A new context that follows the server's default device; it can be found by its
    // identifier while it lives.
    static std::shared_ptr<AVAudioOutputContext> make();
    // The living context of that identifier, or null.
    static std::shared_ptr<AVAudioOutputContext> contextWithID(const std::string& contextID);

    AVAudioOutputContext(Passkey, std::string contextID);
    ~AVAudioOutputContext() override;

    std::string contextID() const override { return contextID_; }

    // From now on the renderer plays where the context does; it is moved there at once.
    void addRenderer(const AVSampleBufferAudioRendererRef& renderer);

    // The chosen device; none while the context follows the server's default device.
    std::optional<std::string> outputDeviceUniqueID() const;
    // Moves every renderer of the context there (none: back to the default device). Choosing
    // the device already chosen changes nothing and posts nothing.
    void setOutputDeviceUniqueID(std::optional<std::string> deviceUniqueID);

private:
    const std::string contextID_;
    std::mutex applyMutex_;
    mutable std::mutex mutex_;
    std::optional<std::string> outputDeviceUniqueID_;
    std::vector<std::weak_ptr<AVSampleBufferAudioRenderer>> renderers_;
};

using AVAudioOutputContextRef = std::shared_ptr<AVAudioOutputContext>;

}  // namespace platform
