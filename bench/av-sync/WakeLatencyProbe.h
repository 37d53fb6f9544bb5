#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

namespace quillon::bench {

// How late a sleeping thread wakes on this machine, for the picture's figures to be read
// against: the display layer shows a frame when its alarm thread wakes, so a frame can be no
// more on time than the machine wakes threads. A thread of its own sleeps 1 to 4 ms at a time,
// as long as the probe lives, and notes by how much each wake-up came late.
class WakeLatencyProbe {
public:
    struct Figures {
        std::size_t wakeUps = 0;
        double p999Milliseconds = 0;
        double maxMilliseconds = 0;
        // Wake-ups later than the 2 ms that a run's p99 |offset| may reach.
        std::size_t laterThan2Milliseconds = 0;
    };

    WakeLatencyProbe();
    ~WakeLatencyProbe();
    WakeLatencyProbe(const WakeLatencyProbe&) = delete;
    WakeLatencyProbe& operator=(const WakeLatencyProbe&) = delete;

    Figures figures() const;

private:
    void run();

    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    std::vector<double> latenessMilliseconds_;
    std::thread thread_;
};

}  // namespace quillon::bench
