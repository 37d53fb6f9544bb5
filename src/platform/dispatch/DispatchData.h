#pragma once

#include <cstddef>
#include <iterator>
#include <memory>
#include <span>
#include <vector>

namespace platform {

// An immutable collection of bytes made of one or more contiguous regions; an empty one has no
// regions. Copies, concatenations and sub-ranges share the underlying storage.
class DispatchData {
    struct Region {
        std::shared_ptr<const std::byte[]> storage;
        std::size_t offset = 0;
        std::size_t length = 0;
    };

public:
    // Iterates the regions as spans over the shared storage, without copying bytes.
    class RegionIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::span<const std::byte>;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = value_type;

        RegionIterator() = default;
        value_type operator*() const {
            return {position_->storage.get() + position_->offset, position_->length};
        }
        RegionIterator& operator++() {
            ++position_;
            return *this;
        }
        RegionIterator operator++(int) {
            RegionIterator previous = *this;
            ++position_;
            return previous;
        }
        bool operator==(const RegionIterator&) const = default;

    private:
        friend class DispatchData;
        explicit RegionIterator(std::vector<Region>::const_iterator position)
            : position_(position) {}
        std::vector<Region>::const_iterator position_;
    };

    DispatchData() = default;

    static DispatchData copying(std::span<const std::byte> bytes);
    // Takes the first `size` bytes of the buffer as one region.
    static DispatchData adopting(std::unique_ptr<std::byte[]> bytes, std::size_t size);

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    std::size_t regionCount() const { return regions_.size(); }

    RegionIterator begin() const { return RegionIterator(regions_.cbegin()); }
    RegionIterator end() const { return RegionIterator(regions_.cend()); }

    // This data followed by `other`, sharing both.
    DispatchData concatenated(const DispatchData& other) const;
    // The bytes [offset, offset + length), clamped to the data.
    DispatchData subdata(std::size_t offset, std::size_t length) const;
    // One contiguous copy of every byte.
    std::vector<std::byte> bytes() const;

private:
    std::vector<Region> regions_;
    std::size_t size_ = 0;
};

}  // namespace platform
