#include "media-player/media-source/PacketsByTrack.h"

#include <utility>

namespace quillon {

namespace {

const std::vector<PacketRef> noPackets;

}  // namespace

const std::vector<PacketRef>& PacketsByTrack::packets(const MediaTrack& track) const {
    const Entry* entry = find(track);
    return entry != nullptr ? entry->packets : noPackets;
}

std::vector<PacketRef> PacketsByTrack::takePackets(const MediaTrack& track) {
    Entry* entry = find(track);
    return entry != nullptr ? std::exchange(entry->packets, {}) : std::vector<PacketRef>{};
}

void PacketsByTrack::append(const std::shared_ptr<MediaTrack>& track, PacketRef packet) {
    Entry* entry = find(*track);
    if (entry == nullptr) {
        entry = &entries_.emplace_back(Entry{track, {}});
    }
    entry->packets.push_back(std::move(packet));
}

void PacketsByTrack::removePackets(const MediaTrack& track) {
    if (Entry* entry = find(track)) {
        entry->packets.clear();
    }
}

std::size_t PacketsByTrack::packetCount() const {
    std::size_t count = 0;
    for (const Entry& entry : entries_) {
        count += entry.packets.size();
    }
    return count;
}

PacketsByTrack::Entry* PacketsByTrack::find(const MediaTrack& track) {
    for (Entry& entry : entries_) {
        if (entry.track.get() == &track) {
            return &entry;
        }
    }
    return nullptr;
}

const PacketsByTrack::Entry* PacketsByTrack::find(const MediaTrack& track) const {
    return const_cast<PacketsByTrack*>(this)->find(track);
}

}  // namespace quillon
