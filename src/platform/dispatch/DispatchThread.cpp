#include "platform/dispatch/DispatchThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

namespace platform::detail {

std::string threadNameForLabel(std::string_view label) {
    constexpr std::size_t maximumLength = 15;
    if (label.size() <= maximumLength) {
        return std::string(label);
    }
    std::size_t length = maximumLength;
    // Back off over continuation bytes so that a multi-byte character is dropped whole.
    while (length > 0 && (static_cast<unsigned char>(label[length]) & 0xC0) == 0x80) {
        --length;
    }
    return std::string(label.substr(0, length));
}

void prepareCurrentThread(std::string_view label, DispatchQoS qos) {
    pthread_setname_np(pthread_self(), threadNameForLabel(label).c_str());
    int niceness = 0;
    if (qos == DispatchQoS::background) {
        niceness = 10;
    } else if (qos == DispatchQoS::utility) {
        niceness = 5;
    }
    if (niceness != 0) {
        // On Linux the nice value belongs to the thread, so this leaves the others alone.
        // Failure only means the work runs at normal priority.
        (void)setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), niceness);
    }
}

}  // namespace platform::detail
