#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dispatch/DispatchQueue.h"

namespace platform {

// Runs operations one after another on a serial dispatch queue named after it. The owner can
// wait until every operation added so far has finished. Thread-safe.
class NSOperationQueue {
public:
    explicit NSOperationQueue(std::string name);
    // Finishes the operations added so far.
    ~NSOperationQueue();
    NSOperationQueue(const NSOperationQueue&) = delete;
    NSOperationQueue& operator=(const NSOperationQueue&) = delete;

    const std::string& name() const { return name_; }
    void addOperation(std::function<void()> operation);
    void waitUntilAllOperationsAreFinished();

private:
    std::string name_;
    std::shared_ptr<DispatchQueue> queue_;
};

}  // namespace platform
