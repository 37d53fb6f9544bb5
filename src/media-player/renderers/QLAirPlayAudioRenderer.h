#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/avfoundation/AVOutputContext.h"
#include "platform/avfoundation/AVSampleBufferAudioRenderer.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/private-interfaces/CMBaseObject.h"

namespace quillon {

// The player's audio renderer. When it is made it binds itself to the application's AirPlay
// audio output context, so that the route picker can send the sound to AirPlay devices; that
// takes interfaces the platform does not publish, each step guarded, and any failure leaves a
// renderer that plays to the local output without an output context.
//
// Before macOS 11 every read and change of the output device, and every block given to
// executeSerializingWithAudioOutputDeviceUniqueID (the synchronizer's rate changes), run one at
// a time on "QLAirPlayAudioRenderer.audioOutputDeviceUniqueID Queue".
class QLAirPlayAudioRenderer : public platform::AVSampleBufferAudioRenderer {
public:
    // Plays to the user's sound server, or a null sink when none answers.
    QLAirPlayAudioRenderer();
    explicit QLAirPlayAudioRenderer(std::unique_ptr<platform::AudioSink> sink);
    ~QLAirPlayAudioRenderer() override;

    // Points the underlying render object at a routing context; false when a step failed.
    bool ql_setFigRoutingContext(const platform::CMBaseObjectRef& routingContext);

    std::optional<std::string> audioOutputDeviceUniqueID() const override;
    void setAudioOutputDeviceUniqueID(std::optional<std::string> deviceUniqueID) override;

    // Runs the block synchronously on the device-ID queue, or at once when this thread already
    // runs a block there, or when there is no such queue. The block must not read or change
    // this renderer's output device.
    void executeSerializingWithAudioOutputDeviceUniqueID(const std::function<void()>& block);

    // The AirPlay audio output context, when binding to it succeeded.
    platform::AVOutputContextRef ql_outputContext() const { return outputContext_; }
    std::shared_ptr<platform::DispatchQueue> ql_audioOutputDeviceUniqueIDQueue() const {
        return audioOutputDeviceUniqueIDQueue_;
    }

    std::string description() const override;

private:
    void bindToAirPlayOutputContext();

    // Fixed once the constructor has run.
    platform::AVOutputContextRef outputContext_;
    std::shared_ptr<platform::DispatchQueue> audioOutputDeviceUniqueIDQueue_;
};

using QLAirPlayAudioRendererRef = std::shared_ptr<QLAirPlayAudioRenderer>;

}  // namespace quillon
