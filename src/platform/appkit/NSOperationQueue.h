#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace platform {

// Runs operations one after another on a thread of its own, named after the queue. The owner
// can wait until every operation added so far has finished. Thread-safe.
class NSOperationQueue {
public:
    explicit NSOperationQueue(std::string name);
    // Finishes the operations added so far, then ends the thread.
    ~NSOperationQueue();
    NSOperationQueue(const NSOperationQueue&) = delete;
    NSOperationQueue& operator=(const NSOperationQueue&) = delete;

    const std::string& name() const { return name_; }
    void addOperation(std::function<void()> operation);
    void waitUntilAllOperationsAreFinished();

private:
    void run();

    std::string name_;
    std::mutex mutex_;
    std::condition_variable condition_;
    std::deque<std::function<void()>> operations_;
    bool isRunningOperation_ = false;
    bool isStopping_ = false;
    std::thread thread_;
};

}  // namespace platform
