#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "media-player/media-source/MediaTrack.h"
#include "media-player/media-types/Packet.h"

namespace quillon {

// What a seek read while positioning: each track's packets in reading order. Tracks are told
// apart by identity (the same object). A track gets an entry with its first packet, so a track
// of which nothing was read has none and answers with an empty list. Entries keep the order in
// which their tracks first appeared, which makes decoding them track by track repeatable.
class PacketsByTrack {
public:
    struct Entry {
        std::shared_ptr<MediaTrack> track;
        std::vector<PacketRef> packets;
    };

    // The track's packets; an empty list when none was read.
    const std::vector<PacketRef>& packets(const MediaTrack& track) const;

    // Moves the track's packets out (leaving its entry empty); an empty list when none was read.
    std::vector<PacketRef> takePackets(const MediaTrack& track);

    // Appends to the track's list, making its entry first when needed.
    void append(const std::shared_ptr<MediaTrack>& track, PacketRef packet);

    // Empties the track's list; the entry stays.
    void removePackets(const MediaTrack& track);

    const std::vector<Entry>& entries() const { return entries_; }
    bool empty() const { return entries_.empty(); }
    // The number of packets over all tracks.
    std::size_t packetCount() const;

private:
    Entry* find(const MediaTrack& track);
    const Entry* find(const MediaTrack& track) const;

    // A seek reads at most a handful of tracks: a list searched in order beats a hash map.
    std::vector<Entry> entries_;
};

}  // namespace quillon
