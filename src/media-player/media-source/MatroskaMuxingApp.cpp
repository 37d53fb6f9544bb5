#include "media-player/media-source/MatroskaMuxingApp.h"

#include <bit>
#include <cstdint>

#include "media-player/decoders/common/FFmpegPointers.h"

namespace quillon {

namespace {

constexpr std::uint32_t kEBMLHeaderID = 0x1A45DFA3;
constexpr std::uint32_t kSegmentID = 0x18538067;
constexpr std::uint32_t kInfoID = 0x1549A966;
constexpr std::uint32_t kClusterID = 0x1F43B675;
constexpr std::uint32_t kMuxingAppID = 0x4D80;

// The segment information comes before the media, behind at most a few index and padding
// elements; a file that strays further is not searched.
constexpr int kMostElementsBeforeInfo = 64;
constexpr std::int64_t kLongestMuxingApp = 4096;

// An element's identifier, its length marker kept, as the format's tables list them.
std::optional<std::uint32_t> readID(AVIOContext& io) {
    const auto first = static_cast<std::uint8_t>(avio_r8(&io));
    const int length = std::countl_zero(first) + 1;
    if (avio_feof(&io) || length > 4) {
        return std::nullopt;
    }
    std::uint32_t id = first;
    for (int i = 1; i < length; ++i) {
        id = (id << 8) | static_cast<std::uint8_t>(avio_r8(&io));
    }
    return avio_feof(&io) ? std::nullopt : std::optional(id);
}

// An element's size, its length marker taken off; -1 for the "unknown" size of an element still
// being written (all value bits set).
std::optional<std::int64_t> readSize(AVIOContext& io) {
    const auto first = static_cast<std::uint8_t>(avio_r8(&io));
    const int length = std::countl_zero(first) + 1;
    if (avio_feof(&io) || length > 8) {
        return std::nullopt;
    }
    std::uint64_t size = first & (0xFFu >> length);
    bool unknown = size == (0xFFu >> length);
    for (int i = 1; i < length; ++i) {
        const auto byte = static_cast<std::uint8_t>(avio_r8(&io));
        size = (size << 8) | byte;
        unknown = unknown && byte == 0xFF;
    }
    if (avio_feof(&io) || (!unknown && size > static_cast<std::uint64_t>(INT64_MAX))) {
        return std::nullopt;
    }
    return unknown ? -1 : static_cast<std::int64_t>(size);
}

bool skip(AVIOContext& io, std::int64_t size) {
    return size >= 0 && avio_skip(&io, size) >= 0;
}

std::optional<std::string> readMuxingApp(AVIOContext& io, std::int64_t infoSize) {
    const std::int64_t end = avio_tell(&io) + infoSize;
    while (avio_tell(&io) < end) {
        const auto id = readID(io);
        const auto size = id ? readSize(io) : std::nullopt;
        if (!size || *size < 0) {
            return std::nullopt;
        }
        if (*id != kMuxingAppID) {
            if (!skip(io, *size)) {
                return std::nullopt;
            }
            continue;
        }
        if (*size > kLongestMuxingApp) {
            return std::nullopt;
        }
        std::string text(static_cast<std::size_t>(*size), '\0');
        if (avio_read(&io, reinterpret_cast<unsigned char*>(text.data()),
                      static_cast<int>(text.size())) != static_cast<int>(text.size())) {
            return std::nullopt;
        }
        // A string element may be padded with zero bytes.
        if (const auto zero = text.find('\0'); zero != std::string::npos) {
            text.resize(zero);
        }
        return text;
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> matroskaMuxingApp(const std::string& location) {
    AVIOContextPointer io;
    if (avio_open2(inOutPointer(io), location.c_str(), AVIO_FLAG_READ, nullptr, nullptr) < 0) {
        return std::nullopt;
    }
    if (readID(*io) != kEBMLHeaderID) {
        return std::nullopt;
    }
    if (const auto size = readSize(*io); !size || !skip(*io, *size)) {
        return std::nullopt;
    }
    // The segment's size may still be unknown; its children are walked either way.
    if (readID(*io) != kSegmentID || !readSize(*io)) {
        return std::nullopt;
    }
    for (int element = 0; element < kMostElementsBeforeInfo; ++element) {
        const auto id = readID(*io);
        const auto size = id ? readSize(*io) : std::nullopt;
        if (!size || *id == kClusterID) {
            return std::nullopt;
        }
        if (*id == kInfoID) {
            return *size < 0 ? std::nullopt : readMuxingApp(*io, *size);
        }
        if (!skip(*io, *size)) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

}  // namespace quillon
