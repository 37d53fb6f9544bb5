#pragma once

#include <filesystem>

namespace quillon::probe {

// The folder the player caches generated files in: $XDG_CACHE_HOME/quillon-player, or
// ~/.cache/quillon-player when XDG_CACHE_HOME is unset or not absolute.
std::filesystem::path cacheDirectory();

// A 3-second demo clip (test pattern, tone, one SubRip subtitle; H.264/AAC in Matroska) in the
// cache folder, made with the ffmpeg command-line tool on first use. Throws an error value when
// ffmpeg cannot be run or fails.
std::filesystem::path ensureDemoClip();

}  // namespace quillon::probe
