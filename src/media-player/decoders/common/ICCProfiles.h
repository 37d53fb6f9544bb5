#pragma once

#include "platform/corefoundation/CFData.h"

namespace quillon {

// The HDR colour profiles that the program carries: ICC version 4 display profiles for the named
// primaries and transfer function.
enum class HDRICCProfile {
    bt2020PQ,
    bt2020HLG,
    p3D65PQ,
    p3D65HLG,
};

// The profile's bytes, decoded from the embedded text on first use and shared afterwards. Safe
// to call from any thread.
const platform::CFDataRef& iccProfileData(HDRICCProfile profile);

}  // namespace quillon
