#pragma once

#include <initializer_list>
#include <span>

#include "media-player/decoders/common/CallSite.h"
#include "platform/corefoundation/CFBase.h"

namespace quillon {

// Makes NSError(NSOSStatusErrorDomain, status), logs "In <file> <function>, the Darwin function
// at line <line> returned an error: <the error's description>." unless the status is expected,
// and throws the error.
[[noreturn]] void reportDarwinFailure(platform::OSStatus status,
                                      std::span<const platform::OSStatus> expectedStatuses,
                                      const CallSite& site);

// The checked call of a platform function that answers a status: noErr, or the thrown NSError.
template <typename Call>
platform::OSStatus performDarwinCall(std::span<const platform::OSStatus> expectedStatuses,
                                     const CallSite& site, Call&& call) {
    platform::OSStatus status = call();
    if (status != platform::noErr) {
        reportDarwinFailure(status, expectedStatuses, site);
    }
    return status;
}

template <typename Call>
platform::OSStatus performDarwinCall(std::initializer_list<platform::OSStatus> expectedStatuses,
                                     const CallSite& site, Call&& call) {
    return performDarwinCall(std::span(expectedStatuses.begin(), expectedStatuses.size()), site,
                             call);
}

}  // namespace quillon
