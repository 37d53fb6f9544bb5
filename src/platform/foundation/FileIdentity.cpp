#include "platform/foundation/FileIdentity.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>

#include <fmt/format.h>

#include "platform/foundation/Error.h"

namespace platform {

namespace {

std::optional<std::uint64_t> parseDecimal(std::string_view text) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

FileIdentity FileIdentity::ofFile(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        throw NSError::posix(errno, path);
    }
    return FileIdentity(static_cast<std::uint64_t>(info.st_dev),
                        static_cast<std::uint64_t>(info.st_ino));
}

std::string FileIdentity::stringValue() const {
    return fmt::format("{}:{}", device_, inode_);
}

std::optional<FileIdentity> FileIdentity::fromString(std::string_view text) {
    auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    auto device = parseDecimal(text.substr(0, colon));
    auto inode = parseDecimal(text.substr(colon + 1));
    if (!device || !inode) {
        return std::nullopt;
    }
    return FileIdentity(*device, *inode);
}

FileIdentity::Bytes FileIdentity::bytes() const {
    Bytes bytes{};
    for (int i = 0; i < 8; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(device_ >> (56 - 8 * i));
        bytes[static_cast<std::size_t>(8 + i)] = static_cast<std::uint8_t>(inode_ >> (56 - 8 * i));
    }
    return bytes;
}

FileIdentity FileIdentity::fromBytes(const Bytes& bytes) {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    for (std::size_t i = 0; i < 8; ++i) {
        device = (device << 8) | bytes[i];
        inode = (inode << 8) | bytes[8 + i];
    }
    return FileIdentity(device, inode);
}

}  // namespace platform

std::size_t std::hash<platform::FileIdentity>::operator()(
    const platform::FileIdentity& identity) const noexcept {
    return std::hash<std::uint64_t>{}(identity.inode() ^
                                      (identity.device() * 0x9E3779B97F4A7C15ULL));
}
