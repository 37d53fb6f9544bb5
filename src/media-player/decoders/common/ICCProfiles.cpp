#include "media-player/decoders/common/ICCProfiles.h"

#include <array>
#include <string_view>

#include "media-player/decoders/common/Base64.h"
#include "media-player/decoders/common/EmbeddedICCProfiles.h"
#include "platform/foundation/FatalError.h"

namespace quillon {

namespace {

platform::CFDataRef decodeProfile(std::string_view base64) {
    auto bytes = decodeBase64IgnoringUnknownCharacters(base64);
    // The text is a constant of the program: failing to decode it is a build fault.
    platform::precondition(bytes.has_value() && !bytes->empty(),
                           "An embedded ICC profile is not valid base64 text.");
    return platform::CFDataCreate(*bytes);
}

}  // namespace

const platform::CFDataRef& iccProfileData(HDRICCProfile profile) {
    static const std::array<platform::CFDataRef, 4> profiles = {
        decodeProfile(embedded::bt2020PQICCProfileBase64),
        decodeProfile(embedded::bt2020HLGICCProfileBase64),
        decodeProfile(embedded::p3D65PQICCProfileBase64),
        decodeProfile(embedded::p3D65HLGICCProfileBase64),
    };
    const auto index = static_cast<std::size_t>(profile);
    platform::precondition(index < profiles.size(), "Unknown HDR ICC profile.");
    return profiles[index];
}

}  // namespace quillon
