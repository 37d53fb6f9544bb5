#pragma once

#include <string_view>

namespace platform {

// How urgent a queue's work is. Lower classes run their threads at a lower scheduling priority
// (a higher nice value); the higher classes cannot raise priority without privileges, so they
// run at the normal priority.
enum class DispatchQoS { background, utility, defaultQoS, userInitiated, userInteractive };

std::string_view toString(DispatchQoS qos);

}  // namespace platform
