#include "platform/avfoundation/AVAudioRoutingArbiter.h"

#include "platform/dispatch/DispatchQueue.h"

namespace platform {

std::shared_ptr<AVAudioRoutingArbiter> AVAudioRoutingArbiter::sharedRoutingArbiter() {
    static const auto arbiter = std::make_shared<AVAudioRoutingArbiter>();
    return arbiter;
}

void AVAudioRoutingArbiter::beginArbitrationWithCategory(AVAudioRoutingArbitrationCategory,
                                                         CompletionHandler handler) {
    if (!handler) {
        return;
    }
    DispatchQueue::global().async([handler = std::move(handler)] { handler(false, nullptr); });
}

void AVAudioRoutingArbiter::leaveArbitration() {}

}  // namespace platform
