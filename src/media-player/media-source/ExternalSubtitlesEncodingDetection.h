#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>

#include "media-player/media-source/ExternalSubtitlesTrack.h"
#include "media-player/media-source/MediaSource.h"
#include "media-player/media-source/SubtitlesTrack.h"

namespace quillon {

// Finding the text encoding of a freshly opened subtitle file, before its tracks are handed out.
// FFmpeg converts subtitle text to UTF-8 only when the decoder is told the source encoding, and
// subtitle files come in every legacy encoding there is.

// Reads every packet of `track` (one of `source`'s embedded subtitles tracks) from the current
// position of the visual context to the end, and names the encoding its text most likely has.
// A read error or bytes the detector refuses end the reading early with a log line; what was
// read so far still counts. Enters the source's visualTracksQueue for each packet, so the
// caller must not be on it.
std::optional<std::string> detectCharacterEncoding(const MediaSource& source,
                                                   const std::shared_ptr<SubtitlesTrack>& track);

// Sets the character encoding of each text track's decoder of a subtitle file that nobody else
// reads yet, one track after another, and leaves the file's visual context at time zero. Bitmap
// tracks are left alone (their packets are not text). Each detection reads the file to its end,
// so the tracks of one file take turns on its one visual context. Throws
// MediaSourceLoadError::failedToSeek when the context can't go back to zero; the tracks after
// the failing one are then not looked at. The caller must not be on the visualTracksQueue.
void detectCharacterEncodings(
    const MediaSource& subtitleSource,
    std::span<const std::shared_ptr<ExternalSubtitlesTrack>> externalSubtitlesTracks);

}  // namespace quillon
