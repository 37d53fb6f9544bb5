#pragma once

#include <string>
#include <string_view>

#include "platform/dispatch/DispatchQoS.h"

namespace platform::detail {

// Linux keeps at most 15 bytes of a thread's name: the label cut there, never inside a UTF-8
// sequence.
std::string threadNameForLabel(std::string_view label);

// Names the calling thread after a queue label and lowers its priority for the low QoS classes.
void prepareCurrentThread(std::string_view label, DispatchQoS qos);

}  // namespace platform::detail
