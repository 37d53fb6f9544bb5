#pragma once

namespace platform {

// Whether the video views of this process draw bi-planar 8-bit 4:2:0 buffers ('420v', '420f':
// what hardware decoders give back) as they are. Where they do, decoders hand such pictures on
// unchanged instead of copying them into 'BGRA' first, a copy that only the raster path wants.
// The choice of video output sets it; false until then. Safe from any thread.
bool videoDisplayDrawsBiPlanarFormats();
void setVideoDisplayDrawsBiPlanarFormats(bool draws);

}  // namespace platform
