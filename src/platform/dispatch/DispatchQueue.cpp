#include "platform/dispatch/DispatchQueue.h"

#include <array>

#include "platform/dispatch/ConcurrentQueueCore.h"
#include "platform/dispatch/DispatchGroup.h"
#include "platform/dispatch/DispatchTimer.h"
#include "platform/dispatch/MainQueueCore.h"
#include "platform/foundation/NeverDestroyed.h"
#include "platform/dispatch/SerialQueueCore.h"
#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

std::string globalQueueLabel(DispatchQoS qos) {
    // Distinct within the 15 bytes a thread name keeps.
    switch (qos) {
        case DispatchQoS::background:
            return "Global Background";
        case DispatchQoS::utility:
            return "Global Utility";
        case DispatchQoS::defaultQoS:
            return "Global Default";
        case DispatchQoS::userInitiated:
            return "Global Initiated";
        case DispatchQoS::userInteractive:
            return "Global Interactive";
    }
    return "Global";
}

}  // namespace

DispatchQueue::DispatchQueue(Passkey, std::shared_ptr<detail::QueueCore> core)
    : core_(std::move(core)) {}

DispatchQueue::~DispatchQueue() {
    core_->shutdown();
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label, DispatchQoS qos) {
    return std::make_shared<DispatchQueue>(
        Passkey{}, std::make_shared<detail::SerialQueueCore>(std::move(label), qos));
}

DispatchQueue& DispatchQueue::global(DispatchQoS qos) {
    static NeverDestroyed<std::array<std::shared_ptr<DispatchQueue>, 5>> queues([] {
        std::array<std::shared_ptr<DispatchQueue>, 5> made;
        for (std::size_t index = 0; index < made.size(); ++index) {
            const auto qos = static_cast<DispatchQoS>(index);
            made[index] = std::make_shared<DispatchQueue>(
                Passkey{},
                std::make_shared<detail::ConcurrentQueueCore>(globalQueueLabel(qos), qos));
        }
        return made;
    }());
    return *queues.get().at(static_cast<std::size_t>(qos));
}

DispatchQueue& DispatchQueue::main() {
    static NeverDestroyed<std::shared_ptr<DispatchQueue>> queue(std::make_shared<DispatchQueue>(
        Passkey{}, detail::MainQueueCore::shared().shared_from_this()));
    return *queue.get();
}

void DispatchQueue::async(DispatchBlock block) {
    precondition(static_cast<bool>(block), "DispatchQueue::async needs a block");
    core_->enqueue(std::move(block));
}

void DispatchQueue::async(const DispatchGroup& group, DispatchBlock block) {
    precondition(static_cast<bool>(block), "DispatchQueue::async needs a block");
    group.enter();
    core_->enqueue([group, block = std::move(block)]() mutable {
        struct Leave {
            const DispatchGroup& group;
            ~Leave() { group.leave(); }
        } leave{group};
        block();
    });
}

void DispatchQueue::asyncAfter(DispatchTime deadline, DispatchBlock block) {
    precondition(static_cast<bool>(block), "DispatchQueue::asyncAfter needs a block");
    detail::DispatchTimer::shared().schedule(deadline, shared_from_this(), std::move(block));
}

bool DispatchQueue::isCurrent() const {
    return detail::isExecutingOn(core_.get()) || core_->ownsCurrentThread();
}

void DispatchQueue::drain() {
    precondition(core_.get() == &detail::MainQueueCore::shared(),
                 "Only the main queue is drained by hand");
    detail::MainQueueCore::shared().drain();
}

void DispatchQueue::runSync(detail::SyncWork work) {
    core_->runSync(work);
}

bool runMainQueueUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout) {
    return detail::MainQueueCore::shared().runUntil(predicate, timeout);
}

}  // namespace platform
