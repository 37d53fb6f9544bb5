#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace platform {

// Immutable bytes (the platform's CFData). Either owns a copy, or shares someone else's
// storage without copying and releases it through a keeper when the last reference goes
// (used to expose FFmpeg side data in place).
class CFData {
public:
    explicit CFData(std::vector<std::uint8_t> bytes);
    // Wraps storage kept alive by keeper; nothing is copied.
    CFData(const std::uint8_t* bytes, std::size_t length, std::shared_ptr<const void> keeper);

    std::span<const std::uint8_t> bytes() const { return {bytes_, length_}; }
    const std::uint8_t* data() const { return bytes_; }
    std::size_t size() const { return length_; }

    friend bool operator==(const CFData& a, const CFData& b);

private:
    std::vector<std::uint8_t> owned_;
    std::shared_ptr<const void> keeper_;
    const std::uint8_t* bytes_ = nullptr;
    std::size_t length_ = 0;
};

using CFDataRef = std::shared_ptr<const CFData>;

CFDataRef CFDataCreate(std::span<const std::uint8_t> bytes);
CFDataRef CFDataCreateWithBytesNoCopy(const std::uint8_t* bytes, std::size_t length,
                                      std::shared_ptr<const void> keeper);

}  // namespace platform
