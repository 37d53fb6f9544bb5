#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The media-kind option set of the Now Playing interface: what kind of item a source is, beyond
// audio or video. The raw values are those the Now Playing information carries.
struct MPMediaType {
    std::uint64_t rawValue = 0;

    static constexpr std::uint64_t musicRawValue = 1 << 0;
    static constexpr std::uint64_t podcastRawValue = 1 << 1;
    static constexpr std::uint64_t audioBookRawValue = 1 << 2;
    static constexpr std::uint64_t audioITunesURawValue = 1 << 3;
    static constexpr std::uint64_t movieRawValue = 1 << 8;
    static constexpr std::uint64_t tvShowRawValue = 1 << 9;
    static constexpr std::uint64_t videoPodcastRawValue = 1 << 10;
    static constexpr std::uint64_t musicVideoRawValue = 1 << 11;
    static constexpr std::uint64_t videoITunesURawValue = 1 << 12;
    static constexpr std::uint64_t homeVideoRawValue = 1 << 13;

    static constexpr MPMediaType music() { return {musicRawValue}; }
    static constexpr MPMediaType podcast() { return {podcastRawValue}; }
    static constexpr MPMediaType audioBook() { return {audioBookRawValue}; }
    static constexpr MPMediaType audioITunesU() { return {audioITunesURawValue}; }
    static constexpr MPMediaType movie() { return {movieRawValue}; }
    static constexpr MPMediaType tvShow() { return {tvShowRawValue}; }
    static constexpr MPMediaType videoPodcast() { return {videoPodcastRawValue}; }
    static constexpr MPMediaType musicVideo() { return {musicVideoRawValue}; }
    static constexpr MPMediaType videoITunesU() { return {videoITunesURawValue}; }
    static constexpr MPMediaType homeVideo() { return {homeVideoRawValue}; }

    constexpr bool contains(MPMediaType other) const {
        return (rawValue & other.rawValue) == other.rawValue;
    }

    friend constexpr bool operator==(MPMediaType, MPMediaType) = default;
};

// The type name with its raw value, as log lines write an option set: "MPMediaType(rawValue: 256)".
inline std::string describe(MPMediaType type) {
    return "MPMediaType(rawValue: " + std::to_string(type.rawValue) + ")";
}

}  // namespace platform
