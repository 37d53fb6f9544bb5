#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Which file a path names on its volume: the device and inode that stat(2) reports, so that a
// symbolic link and its target, or two hard links, have one identity while a copy has another.
class FileIdentity {
public:
    using Bytes = std::array<std::uint8_t, 16>;

    FileIdentity(std::uint64_t device, std::uint64_t inode) : device_(device), inode_(inode) {}

    // Follows symbolic links. Throws NSError::posix(errno, path) when the file can't be stat'ed.
    static FileIdentity ofFile(const std::string& path);

    std::uint64_t device() const { return device_; }
    std::uint64_t inode() const { return inode_; }

    // Stable forms for archives: "<device>:<inode>" in decimal, and 16 big-endian bytes (device
    // then inode).
    std::string stringValue() const;
    static std::optional<FileIdentity> fromString(std::string_view text);
    Bytes bytes() const;
    static FileIdentity fromBytes(const Bytes& bytes);

    friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;

private:
    std::uint64_t device_;
    std::uint64_t inode_;
};

}  // namespace platform

template <>
struct std::hash<platform::FileIdentity> {
    std::size_t operator()(const platform::FileIdentity& identity) const noexcept;
};
