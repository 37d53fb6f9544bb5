#include "platform/avfoundation/AVAudioRoutingArbiter.h"

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/NeverDestroyed.h"

namespace platform {

std::shared_ptr<AVAudioRoutingArbiter> AVAudioRoutingArbiter::sharedRoutingArbiter() {
    // Arbitration answers arrive on other threads, also while the process exits.
    static NeverDestroyed<std::shared_ptr<AVAudioRoutingArbiter>> arbiter(
        std::make_shared<AVAudioRoutingArbiter>());
    return arbiter.get();
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
