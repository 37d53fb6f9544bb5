#include "platform/appkit/NSOperationQueue.h"

namespace platform {

NSOperationQueue::NSOperationQueue(std::string name)
    : name_(std::move(name)), queue_(DispatchQueue::makeSerial(name_)) {}

NSOperationQueue::~NSOperationQueue() {
    waitUntilAllOperationsAreFinished();
}

void NSOperationQueue::addOperation(std::function<void()> operation) {
    queue_->async(std::move(operation));
}

void NSOperationQueue::waitUntilAllOperationsAreFinished() {
    // A serial queue runs blocks in order: an empty one behind them returns once they are done.
    queue_->sync([] {});
}

}  // namespace platform
