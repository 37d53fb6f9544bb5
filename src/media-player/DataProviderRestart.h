#pragma once

#include <functional>
#include <memory>
#include <utility>

#include "media-player/media-source/Atomic.h"
#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// Submits `work` to a data provider's queue. With cancellingCurrentWork the provider's loop
// running there sees `shouldCancel` at once and stops; the flag is cleared again on the queue,
// just before `work`, so the work it starts runs uncancelled. `work` runs even when the provider
// is gone by then: it holds the provider weakly itself.
template <typename Provider>
void restartDataProvider(Provider& provider, Atomic<bool> Provider::*shouldCancel,
                         platform::DispatchQueue& queue, bool cancellingCurrentWork,
                         std::function<void()> work) {
    if (cancellingCurrentWork) {
        (provider.*shouldCancel).setWrappedValue(true);
    }
    queue.async([weakProvider = provider.weak_from_this(), shouldCancel, work = std::move(work)] {
        if (const auto self = weakProvider.lock()) {
            ((*self).*shouldCancel).setWrappedValue(false);
        }
        work();
    });
}

}  // namespace quillon
