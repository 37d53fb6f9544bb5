#include "platform/dispatch/DispatchData.h"

#include <algorithm>
#include <cstring>

namespace platform {

DispatchData DispatchData::copying(std::span<const std::byte> bytes) {
    if (bytes.empty()) {
        return {};
    }
    auto storage = std::make_unique_for_overwrite<std::byte[]>(bytes.size());
    std::memcpy(storage.get(), bytes.data(), bytes.size());
    return adopting(std::move(storage), bytes.size());
}

DispatchData DispatchData::adopting(std::unique_ptr<std::byte[]> bytes, std::size_t size) {
    DispatchData data;
    if (size > 0) {
        data.regions_.push_back(
            Region{std::shared_ptr<const std::byte[]>(std::move(bytes)), 0, size});
        data.size_ = size;
    }
    return data;
}

DispatchData DispatchData::concatenated(const DispatchData& other) const {
    DispatchData result = *this;
    result.regions_.insert(result.regions_.end(), other.regions_.begin(), other.regions_.end());
    result.size_ += other.size_;
    return result;
}

DispatchData DispatchData::subdata(std::size_t offset, std::size_t length) const {
    DispatchData result;
    if (offset >= size_) {
        return result;
    }
    length = std::min(length, size_ - offset);
    for (const Region& region : regions_) {
        if (length == 0) {
            break;
        }
        if (offset >= region.length) {
            offset -= region.length;
            continue;
        }
        const std::size_t taken = std::min(length, region.length - offset);
        result.regions_.push_back(Region{region.storage, region.offset + offset, taken});
        result.size_ += taken;
        length -= taken;
        offset = 0;
    }
    return result;
}

std::vector<std::byte> DispatchData::bytes() const {
    std::vector<std::byte> result;
    result.reserve(size_);
    for (std::span<const std::byte> region : *this) {
        result.insert(result.end(), region.begin(), region.end());
    }
    return result;
}

}  // namespace platform
