#pragma once

#include <optional>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/mastering_display_metadata.h>
}

#include "media-player/decoders/common/HDRMetadata.h"
#include "platform/graphics/CGAffineTransform.h"

namespace quillon {

// Readers of a stream's side data; each looks at the first entry of its type only. An entry too
// short for what it should hold counts as absent.

// The display matrix as an affine transform (entries 0, 1, 3, 4, 6, 7 of the 16.16 fixed-point
// 3×3 matrix), used as it is, not inverted. A matrix that cannot be inverted (all zeros, as some
// writers leave it) counts as absent.
std::optional<platform::CGAffineTransform> readDisplayMatrix(const AVStream& stream);

std::optional<AVMasteringDisplayMetadata> readMasteringDisplayMetadata(const AVStream& stream);

std::optional<ContentLightLevel> readContentLightLevel(const AVStream& stream);

}  // namespace quillon
