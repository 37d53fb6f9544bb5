#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace quillon {

// The streams of a format context that a read or a seek wants, by stream index. Every packet
// read builds one, so the common case -- indexes below 64, which nearly every file has -- is one
// bit mask and touches no heap; larger indexes (transport streams with many programs) spill into
// a sorted list.
class StreamIndexSet {
public:
    StreamIndexSet() = default;
    StreamIndexSet(std::initializer_list<std::uint32_t> indexes) {
        for (std::uint32_t index : indexes) {
            insert(index);
        }
    }

    void insert(std::uint32_t index) {
        if (index < maskBits) {
            mask_ |= std::uint64_t{1} << index;
            return;
        }
        const auto at = std::lower_bound(others_.begin(), others_.end(), index);
        if (at == others_.end() || *at != index) {
            others_.insert(at, index);
        }
    }

    bool contains(std::uint32_t index) const {
        if (index < maskBits) {
            return (mask_ & (std::uint64_t{1} << index)) != 0;
        }
        return std::binary_search(others_.begin(), others_.end(), index);
    }
    // A stream index as FFmpeg hands it out (a packet's stream_index); negative ones are in no
    // set.
    bool contains(int index) const {
        return index >= 0 && contains(static_cast<std::uint32_t>(index));
    }

    bool empty() const { return mask_ == 0 && others_.empty(); }
    std::size_t size() const {
        return static_cast<std::size_t>(__builtin_popcountll(mask_)) + others_.size();
    }

    friend bool operator==(const StreamIndexSet&, const StreamIndexSet&) = default;

private:
    static constexpr std::uint32_t maskBits = 64;

    std::uint64_t mask_ = 0;
    std::vector<std::uint32_t> others_;
};

}  // namespace quillon
