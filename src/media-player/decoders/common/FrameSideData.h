#pragma once

#include <optional>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/mastering_display_metadata.h>
}

#include "media-player/decoders/common/HDRMetadata.h"

namespace quillon {

// Readers of a decoded frame's HDR side data (the first entry of each type); an entry too short
// for what it should hold counts as absent.
std::optional<AVMasteringDisplayMetadata> readMasteringDisplayMetadata(const AVFrame& frame);
std::optional<ContentLightLevel> readContentLightLevel(const AVFrame& frame);

}  // namespace quillon
