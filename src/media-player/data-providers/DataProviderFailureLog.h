#pragma once

#include <string_view>

#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon {

// Inside a catch block: logs the failure in flight as one line, the fixed text (ending in ": "),
// the error's textual description and a full stop. The data providers go on playing afterwards.
inline void logDataProviderFailure(std::string_view text) {
    platform::logWarning("{}{}.", text, platform::currentError()->debugDescription());
}

}  // namespace quillon
