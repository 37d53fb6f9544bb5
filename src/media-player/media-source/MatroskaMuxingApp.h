#pragma once

#include <optional>
#include <string>

namespace quillon {

// The muxing application that a Matroska file's segment information names: the library that
// wrote its elements ("Lavf59.27.100" for FFmpeg's muxer, "libebml v1.4.4 + libmatroska v1.7.1"
// under mkvmerge). FFmpeg's demuxer hands it on as the "encoder" metadata only until a tag of
// that name, which remuxing tools copy from their input, replaces it; so it is read from the
// file itself, at `location` as FFmpeg opens it. None where the file cannot be read or names
// none before its first cluster.
std::optional<std::string> matroskaMuxingApp(const std::string& location);

}  // namespace quillon
