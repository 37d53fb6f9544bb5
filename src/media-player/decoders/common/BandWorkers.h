#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon {

// A few threads that share out the bands of one picture with the thread that asks, so that work
// done on a decoder's serial queue for every picture takes a fraction of the time. One run at a
// time; the caller waits for the whole run.
class BandWorkers {
public:
    explicit BandWorkers(std::size_t threadCount);
    ~BandWorkers();
    BandWorkers(const BandWorkers&) = delete;
    BandWorkers& operator=(const BandWorkers&) = delete;

    // Calls job(0) … job(count − 1), each once, on the workers and the calling thread, and
    // returns when all have returned. The job must not throw.
    void run(std::size_t count, const std::function<void(std::size_t)>& job);

private:
    void work();
    // Takes and runs bands of the current run until none is left; called with the lock held.
    void runBands(std::unique_lock<std::mutex>& lock);

    std::mutex mutex_;
    std::condition_variable started_;
    std::condition_variable finished_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t count_ = 0;
    std::size_t next_ = 0;
    std::size_t unfinished_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace quillon
