#pragma once

#include <cstring>
#include <optional>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
}

#include "media-player/decoders/common/HDRMetadata.h"

namespace quillon {

// The payload of a stream's or a frame's side-data entry (already checked to be large enough),
// copied out: side data carries no alignment promise.
template <typename Payload, typename Entry>
std::optional<Payload> sideDataPayload(const Entry* entry) {
    if (entry == nullptr) {
        return std::nullopt;
    }
    Payload payload;
    std::memcpy(&payload, entry->data, sizeof(payload));
    return payload;
}

template <typename Entry>
std::optional<ContentLightLevel> contentLightLevelPayload(const Entry* entry) {
    auto level = sideDataPayload<AVContentLightMetadata>(entry);
    if (!level) {
        return std::nullopt;
    }
    return ContentLightLevel{level->MaxCLL, level->MaxFALL};
}

}  // namespace quillon
