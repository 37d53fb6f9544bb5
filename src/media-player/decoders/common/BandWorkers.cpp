#include "media-player/decoders/common/BandWorkers.h"

namespace quillon {

BandWorkers::BandWorkers(std::size_t threadCount) {
    threads_.reserve(threadCount);
    for (std::size_t index = 0; index < threadCount; ++index) {
        threads_.emplace_back([this] { work(); });
    }
}

BandWorkers::~BandWorkers() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    started_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void BandWorkers::run(std::size_t count, const std::function<void(std::size_t)>& job) {
    std::unique_lock lock(mutex_);
    job_ = &job;
    count_ = count;
    next_ = 0;
    unfinished_ = count;
    lock.unlock();
    started_.notify_all();
    lock.lock();
    runBands(lock);
    finished_.wait(lock, [this] { return unfinished_ == 0; });
    job_ = nullptr;
}

void BandWorkers::work() {
    std::unique_lock lock(mutex_);
    while (true) {
        started_.wait(lock, [this] { return stopping_ || (job_ != nullptr && next_ < count_); });
        if (stopping_) {
            return;
        }
        runBands(lock);
    }
}

void BandWorkers::runBands(std::unique_lock<std::mutex>& lock) {
    while (job_ != nullptr && next_ < count_) {
        const std::size_t band = next_++;
        const auto* job = job_;
        lock.unlock();
        (*job)(band);
        lock.lock();
        if (--unfinished_ == 0) {
            finished_.notify_all();
        }
    }
}

}  // namespace quillon
