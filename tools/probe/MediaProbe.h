#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "media-player/media-source/MediaSource.h"

namespace quillon::probe {

// Opens one media file the way the player does, as a MediaSource, and describes what the
// player finds in it: its times, its tracks, its metadata, and the first pictures and sound
// that the tracks' own decoders make.
class MediaProbe {
public:
    // Loads the file (and the subtitle files beside it). Throws the MediaSource::LoadError that
    // the load reports.
    explicit MediaProbe(const std::filesystem::path& path);

    // The source's identity, times and metadata, and one block per track.
    std::string describeSource() const;

    // Reads the first video track and the first audio track from their start through the source
    // and decodes until each has given its first sample buffer. Call once.
    std::string describeFirstFrames();

private:
    std::shared_ptr<MediaSource> source_;
};

}  // namespace quillon::probe
