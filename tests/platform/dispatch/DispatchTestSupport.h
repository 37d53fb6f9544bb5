#pragma once

#include <pthread.h>

#include <chrono>
#include <string>

namespace dispatch_test {

// Only catches hangs; never a measure of speed.
inline constexpr std::chrono::seconds hangTimeout{20};

inline std::string currentThreadName() {
    char name[16] = {};
    pthread_getname_np(pthread_self(), name, sizeof name);
    return name;
}

}  // namespace dispatch_test
