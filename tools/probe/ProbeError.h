#pragma once

#include <string>

#include "platform/foundation/Error.h"

namespace quillon::probe {

inline constexpr const char* kProbeErrorDomain = "QuillonProbeErrorDomain";

// A failure of the probe itself (not of the media), as an error value with its text.
inline platform::NSError probeFailure(const std::string& description) {
    return platform::NSError(kProbeErrorDomain, 1,
                             {{platform::NSLocalizedDescriptionKey, description}});
}

}  // namespace quillon::probe
