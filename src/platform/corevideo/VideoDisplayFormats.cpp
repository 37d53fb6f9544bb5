#include "platform/corevideo/VideoDisplayFormats.h"

#include <atomic>

namespace platform {

namespace {

std::atomic<bool> drawsBiPlanarFormats{false};

}  // namespace

bool videoDisplayDrawsBiPlanarFormats() {
    return drawsBiPlanarFormats.load(std::memory_order_relaxed);
}

void setVideoDisplayDrawsBiPlanarFormats(bool draws) {
    drawsBiPlanarFormats.store(draws, std::memory_order_relaxed);
}

}  // namespace platform
