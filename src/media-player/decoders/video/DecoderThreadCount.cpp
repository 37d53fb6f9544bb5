#include "media-player/decoders/video/DecoderThreadCount.h"

#include <algorithm>
#include <thread>

namespace quillon {

int decoderThreadCount(int processorCount) {
    return std::max(processorCount - 2, 1);
}

int decoderThreadCount() {
    static const int count =
        decoderThreadCount(static_cast<int>(std::thread::hardware_concurrency()));
    return count;
}

}  // namespace quillon
