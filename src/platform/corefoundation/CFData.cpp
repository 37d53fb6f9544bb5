#include "platform/corefoundation/CFData.h"

#include <algorithm>

namespace platform {

CFData::CFData(std::vector<std::uint8_t> bytes)
    : owned_(std::move(bytes)), bytes_(owned_.data()), length_(owned_.size()) {}

CFData::CFData(const std::uint8_t* bytes, std::size_t length, std::shared_ptr<const void> keeper)
    : keeper_(std::move(keeper)), bytes_(bytes), length_(length) {}

bool operator==(const CFData& a, const CFData& b) {
    return std::equal(a.bytes().begin(), a.bytes().end(), b.bytes().begin(), b.bytes().end());
}

CFDataRef CFDataCreate(std::span<const std::uint8_t> bytes) {
    return std::make_shared<const CFData>(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
}

CFDataRef CFDataCreateWithBytesNoCopy(const std::uint8_t* bytes, std::size_t length,
                                      std::shared_ptr<const void> keeper) {
    return std::make_shared<const CFData>(bytes, length, std::move(keeper));
}

}  // namespace platform
