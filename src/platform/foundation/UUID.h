#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// A universally unique identifier. A default-constructed UUID is a fresh random (version 4) one.
class UUID {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    UUID();
    explicit UUID(const Bytes& bytes) : bytes_(bytes) {}

    // Parses the canonical 8-4-4-4-12 hexadecimal form, in either case.
    static std::optional<UUID> fromString(std::string_view text);

    // Upper-case canonical form: "E621E1F8-C36C-495A-93FC-0C247A3E6E5F".
    std::string uuidString() const;
    const Bytes& bytes() const { return bytes_; }

    friend auto operator<=>(const UUID&, const UUID&) = default;

private:
    Bytes bytes_;
};

}  // namespace platform

template <>
struct std::hash<platform::UUID> {
    std::size_t operator()(const platform::UUID& uuid) const noexcept;
};
