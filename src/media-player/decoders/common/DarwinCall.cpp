#include "media-player/decoders/common/DarwinCall.h"

#include <algorithm>

#include "platform/foundation/Error.h"
#include "platform/foundation/Log.h"

namespace quillon {

void reportDarwinFailure(platform::OSStatus status,
                         std::span<const platform::OSStatus> expectedStatuses,
                         const CallSite& site) {
    platform::NSError error(platform::NSOSStatusErrorDomain, status);
    if (std::find(expectedStatuses.begin(), expectedStatuses.end(), status) ==
        expectedStatuses.end()) {
        platform::logFailure(platform::FailingLibrary::Darwin, site.file, site.function, site.line,
                             error.debugDescription());
    }
    throw error;
}

}  // namespace quillon
