#include "media-player/renderers/QLAirPlayAudioRenderer.h"

#include <unistd.h>

#include <fmt/format.h>

#include "platform/avfoundation/AVPrivateInterfaces.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/private-interfaces/DynamicSymbols.h"
#include "platform/private-interfaces/NSException.h"
#include "platform/private-interfaces/NSThread.h"
#include "platform/private-interfaces/QLSafelyUsePrivateAPI.h"

namespace quillon {

namespace {

using platform::CMBaseObjectRef;
using platform::DynamicSymbols;

constexpr const char* insideDispatchSyncKey = "QLAirPlayAudioRendererIsInsideDispatchSync";

// A private method by its name, as the object runtime sends it: what the system has under that
// name, or, for a selector nobody answers, the runtime's unrecognized-selector exception.
template <typename Method>
Method privateMethod(const char* name) {
    if (const auto method = DynamicSymbols::lookup<Method>(name)) {
        return *method;
    }
    throw platform::NSException(platform::NSInvalidArgumentException,
                                fmt::format("{}: unrecognized selector sent", name));
}

bool isBeforeMacOS11() {
    return platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0);
}

void reportMissingResult(QLPrivateAPIErrorSlot* error) {
    *error = QLMakePrivateAPIUsageError(QLPrivateAPIUsageErrorCodeMissingResult);
}

}  // namespace

QLAirPlayAudioRenderer::QLAirPlayAudioRenderer() {
    adoptDescription();
    bindToAirPlayOutputContext();
}

QLAirPlayAudioRenderer::QLAirPlayAudioRenderer(std::unique_ptr<platform::AudioSink> sink)
    : platform::AVSampleBufferAudioRenderer(std::move(sink)) {
    adoptDescription();
    bindToAirPlayOutputContext();
}

QLAirPlayAudioRenderer::~QLAirPlayAudioRenderer() = default;

void QLAirPlayAudioRenderer::bindToAirPlayOutputContext() {
    platform::AVOutputContextRef context;
    bool haveContext = QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
        context = privateMethod<platform::AVOutputContextITunesAudioContextMethod>(
            platform::AVOutputContextITunesAudioContextSymbol)();
        if (!context) {
            reportMissingResult(error);
        }
    });
    if (haveContext) {
        const auto processIdentifier = std::int32_t(::getpid());
        haveContext = QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
            privateMethod<platform::AVOutputContextSetApplicationProcessIDMethod>(
                platform::AVOutputContextSetApplicationProcessIDSymbol)(*context,
                                                                        processIdentifier);
        });
    }

    CMBaseObjectRef routingContext;
    if (haveContext) {
        CMBaseObjectRef answered;
        const bool answeredRoutingContext =
            QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
                answered = privateMethod<platform::AVOutputContextFigRoutingContextMethod>(
                    platform::AVOutputContextFigRoutingContextSymbol)(*context);
                if (!answered) {
                    reportMissingResult(error);
                }
            });
        if (answeredRoutingContext) {
            // Held on our side until the binding is done.
            QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) { routingContext = answered; });
        }
    }

    if (routingContext && ql_setFigRoutingContext(routingContext)) {
        outputContext_ = context;
        if (isBeforeMacOS11()) {
            audioOutputDeviceUniqueIDQueue_ = platform::DispatchQueue::makeSerial(
                "QLAirPlayAudioRenderer.audioOutputDeviceUniqueID Queue");
        }
    }
    if (routingContext) {
        QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) { routingContext.reset(); });
    }
}

bool QLAirPlayAudioRenderer::ql_setFigRoutingContext(const CMBaseObjectRef& routingContext) {
    CMBaseObjectRef underlyingRenderer;
    if (!QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
            privateMethod<
                platform::AVSampleBufferAudioRendererCopyFigSampleBufferAudioRendererMethod>(
                platform::AVSampleBufferAudioRendererCopyFigSampleBufferAudioRendererSymbol)(
                *this, &underlyingRenderer);
            if (!underlyingRenderer) {
                reportMissingResult(error);
            }
        })) {
        return false;
    }
    const auto finish = [&](bool succeeded) {
        QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) { underlyingRenderer.reset(); });
        return succeeded;
    };

    if (!QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
            privateMethod<platform::AVSampleBufferAudioRendererNotificationHandlersMethod>(
                platform::AVSampleBufferAudioRendererUninstallNotificationHandlersSymbol)(*this);
        })) {
        return finish(false);
    }

    const auto propertyKey = DynamicSymbols::lookup<std::string>(
        platform::kFigSampleBufferAudioRendererProperty_RoutingContextSymbol);
    if (!propertyKey) {
        QLLogUnavailablePrivateAPISymbol(
            platform::kFigSampleBufferAudioRendererProperty_RoutingContextSymbol);
        return finish(false);
    }

    if (!QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot* error) {
            const platform::OSStatus status = QLCMBaseObjectSetProperty(
                underlyingRenderer, *propertyKey,
                platform::CFValue(
                    std::make_shared<const platform::CMBaseObjectValue>(routingContext)));
            if (status != 0) {
                *error =
                    std::make_shared<platform::NSError>(platform::NSOSStatusErrorDomain, status);
            }
        })) {
        return finish(false);
    }

    return finish(QLSafelyUsePrivateAPI([&](QLPrivateAPIErrorSlot*) {
        privateMethod<platform::AVSampleBufferAudioRendererNotificationHandlersMethod>(
            platform::AVSampleBufferAudioRendererInstallNotificationHandlersSymbol)(*this);
    }));
}

std::optional<std::string> QLAirPlayAudioRenderer::audioOutputDeviceUniqueID() const {
    if (!isBeforeMacOS11() || !audioOutputDeviceUniqueIDQueue_) {
        return platform::AVSampleBufferAudioRenderer::audioOutputDeviceUniqueID();
    }
    return audioOutputDeviceUniqueIDQueue_->sync(
        [&] { return platform::AVSampleBufferAudioRenderer::audioOutputDeviceUniqueID(); });
}

void QLAirPlayAudioRenderer::setAudioOutputDeviceUniqueID(
    std::optional<std::string> deviceUniqueID) {
    if (!isBeforeMacOS11() || !audioOutputDeviceUniqueIDQueue_) {
        platform::AVSampleBufferAudioRenderer::setAudioOutputDeviceUniqueID(
            std::move(deviceUniqueID));
        return;
    }
    audioOutputDeviceUniqueIDQueue_->sync([&] {
        platform::AVSampleBufferAudioRenderer::setAudioOutputDeviceUniqueID(
            std::move(deviceUniqueID));
    });
}

void QLAirPlayAudioRenderer::executeSerializingWithAudioOutputDeviceUniqueID(
    const std::function<void()>& block) {
    const auto threadDictionary = platform::NSThread::currentThreadDictionary();
    // Without a queue (the binding failed) there is nothing to serialize with.
    if (threadDictionary->boolValueForKey(insideDispatchSyncKey) ||
        !audioOutputDeviceUniqueIDQueue_) {
        block();
        return;
    }
    audioOutputDeviceUniqueIDQueue_->sync([&] {
        threadDictionary->setObject(insideDispatchSyncKey, platform::CFValue(true));
        try {
            block();
        } catch (...) {
            threadDictionary->removeObjectForKey(insideDispatchSyncKey);
            throw;
        }
        threadDictionary->removeObjectForKey(insideDispatchSyncKey);
    });
}

std::string QLAirPlayAudioRenderer::description() const {
    return fmt::format("<QLAirPlayAudioRenderer: {}>", static_cast<const void*>(this));
}

}  // namespace quillon
