#include "platform/dispatch/DispatchPredicate.h"

#include <fmt/format.h>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"

namespace platform {

void dispatchPrecondition(DispatchPredicate predicate, std::source_location location) {
    const bool onQueue = predicate.queue->isCurrent();
    if (predicate.kind == DispatchPredicate::Kind::onQueue && !onQueue) {
        fatalError(fmt::format("Dispatch precondition failed: expected to run on the queue \"{}\"",
                               predicate.queue->label()),
                   location);
    }
    if (predicate.kind == DispatchPredicate::Kind::notOnQueue && onQueue) {
        fatalError(
            fmt::format("Dispatch precondition failed: expected not to run on the queue \"{}\"",
                        predicate.queue->label()),
            location);
    }
}

}  // namespace platform
