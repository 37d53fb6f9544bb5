#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "media-player/decoders/common/FFmpegPointers.h"
#include "media-player/media-source/ExternalSubtitlesTrack.h"
#include "media-player/media-types/Packet.h"
#include "platform/coremedia/CMTime.h"

namespace quillon {

// One reader's own pass over the subtitle file of an external track. The two tracks of one file
// (the two languages of a VobSub pair or a Matroska subtitle file) are often shown at once, one
// in each position; through the file's one shared context each reader would skip the other's
// packets and move the other's position with every seek. So each reading opens the file once
// more for itself. Where that fails, it reads through the file's source as before.
//
// Not thread-safe: used by one serial queue (a data provider's) at a time. Read and seek
// failures are thrown as the logged FFmpegError; the end of the file is no failure.
class ExternalSubtitlesReading {
public:
    explicit ExternalSubtitlesReading(std::shared_ptr<ExternalSubtitlesTrack> track);
    ~ExternalSubtitlesReading();
    ExternalSubtitlesReading(const ExternalSubtitlesReading&) = delete;
    ExternalSubtitlesReading& operator=(const ExternalSubtitlesReading&) = delete;

    const std::shared_ptr<ExternalSubtitlesTrack>& track() const { return track_; }
    // Whether the file is read through a context of this reading's own.
    bool hasOwnContext() const { return context_ != nullptr; }

    // The track's next packet; null at the end of the file.
    PacketRef readPacket();
    // Moves the position to the track's last event at or before `to`. Returns no packets: the
    // caller reads on with readPacket.
    std::vector<PacketRef> seek(platform::CMTime to);

private:
    std::shared_ptr<ExternalSubtitlesTrack> track_;
    AVFormatContextPointer context_;
};

}  // namespace quillon
