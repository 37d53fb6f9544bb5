#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/avfoundation/AVOutputContext.h"
#include "platform/corefoundation/CFObject.h"
#include "platform/private-interfaces/CMBaseObject.h"

namespace platform {

class AVSampleBufferAudioRenderer;

// A base object as a property value.
class CMBaseObjectValue final : public CFObject {
public:
    explicit CMBaseObjectValue(CMBaseObjectRef object) : object_(std::move(object)) {}

    const CMBaseObjectRef& object() const { return object_; }
    bool isEqual(const CFObject& other) const override {
        const auto* value = dynamic_cast<const CMBaseObjectValue*>(&other);
        return value != nullptr && value->object_ == object_;
    }
    std::string description() const override { return "<CMBaseObject>"; }

private:
    CMBaseObjectRef object_;
};

// The unpublished members of the media classes that the player's audio renderer reaches for.
// On the platform they are methods sent by selector and a constant looked up by name; here each
// is a symbol of DynamicSymbols under the name below, with the type beside it. This system has
// none of them, so every lookup answers null; tests put stand-ins in place with
// DynamicSymbols::ScopedSymbol.

// +[AVOutputContext iTunesAudioContext]: the application's AirPlay audio context, or null.
inline constexpr const char* AVOutputContextITunesAudioContextSymbol =
    "+[AVOutputContext iTunesAudioContext]";
using AVOutputContextITunesAudioContextMethod = std::function<AVOutputContextRef()>;

// -[AVOutputContext setApplicationProcessID:]
inline constexpr const char* AVOutputContextSetApplicationProcessIDSymbol =
    "-[AVOutputContext setApplicationProcessID:]";
using AVOutputContextSetApplicationProcessIDMethod =
    std::function<void(AVOutputContext& context, std::int32_t processIdentifier)>;

// -[AVOutputContext figRoutingContext]: the context's routing context, an opaque object, or
// null.
inline constexpr const char* AVOutputContextFigRoutingContextSymbol =
    "-[AVOutputContext figRoutingContext]";
using AVOutputContextFigRoutingContextMethod =
    std::function<CMBaseObjectRef(AVOutputContext& context)>;

// -[AVSampleBufferAudioRenderer copyFigSampleBufferAudioRenderer:]: the renderer's underlying
// render object, through the out-parameter (left null when there is none).
inline constexpr const char* AVSampleBufferAudioRendererCopyFigSampleBufferAudioRendererSymbol =
    "-[AVSampleBufferAudioRenderer copyFigSampleBufferAudioRenderer:]";
using AVSampleBufferAudioRendererCopyFigSampleBufferAudioRendererMethod =
    std::function<void(AVSampleBufferAudioRenderer& renderer, CMBaseObjectRef* rendererOut)>;

// -[AVSampleBufferAudioRenderer _uninstallNotificationHandlers] and
// -[AVSampleBufferAudioRenderer _installNotificationHandlers]
inline constexpr const char* AVSampleBufferAudioRendererUninstallNotificationHandlersSymbol =
    "-[AVSampleBufferAudioRenderer _uninstallNotificationHandlers]";
inline constexpr const char* AVSampleBufferAudioRendererInstallNotificationHandlersSymbol =
    "-[AVSampleBufferAudioRenderer _installNotificationHandlers]";
using AVSampleBufferAudioRendererNotificationHandlersMethod =
    std::function<void(AVSampleBufferAudioRenderer& renderer)>;

// The property key of an underlying render object's routing context, a string constant. The
// property's value is the routing context wrapped as a CMBaseObjectValue.
inline constexpr const char* kFigSampleBufferAudioRendererProperty_RoutingContextSymbol =
    "kFigSampleBufferAudioRendererProperty_RoutingContext";

}  // namespace platform
