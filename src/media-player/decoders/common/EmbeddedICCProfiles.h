#pragma once

#include <string_view>

namespace quillon::embedded {

// The HDR ICC profiles that the program carries, as base64 text broken into lines. Written by
// tools/icc-profiles/make-icc-profiles; read them through ICCProfiles.h, which decodes them.
extern const std::string_view bt2020PQICCProfileBase64;
extern const std::string_view bt2020HLGICCProfileBase64;
extern const std::string_view p3D65PQICCProfileBase64;
extern const std::string_view p3D65HLGICCProfileBase64;

}  // namespace quillon::embedded
