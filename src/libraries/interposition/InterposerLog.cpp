#include "libraries/interposition/InterposerLog.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace interposition {

namespace {

std::atomic<bool> loggingEnabled{false};

std::mutex& outputMutex() {
    static auto* mutex = new std::mutex();
    return *mutex;
}

}  // namespace

void interposerLog(std::string_view message) {
    if (!interposerLoggingEnabled()) {
        return;
    }
    std::string line = "[Interposer] ";
    line.append(message);
    line.push_back('\n');
    std::lock_guard lock(outputMutex());
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
}

bool interposerLoggingEnabled() noexcept {
    return loggingEnabled.load(std::memory_order_relaxed);
}

void setInterposerLoggingEnabled(bool enabled) noexcept {
    loggingEnabled.store(enabled, std::memory_order_relaxed);
}

}  // namespace interposition
