#pragma once

#include <compare>
#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A URL as the system handles them: mostly file URLs, kept as text. The text is stored as
// given, except that characters a URL can't hold (spaces, non-ASCII bytes, stray '%') are
// percent-encoded; the scheme keeps its spelling. Path accessors return decoded text (raw
// bytes: a file name need not be UTF-8).
class URL {
public:
    // Parses "scheme://authority/path?query#fragment" and relative references (no scheme: an
    // empty scheme). Only the empty string is refused. A colon preceded by something that can't
    // be a scheme (such as "My Film: Part 2.mkv") is part of a relative path.
    static std::optional<URL> fromString(std::string_view text);

    // "file://" plus the encoded path; a relative path is taken from the current directory.
    static URL fileURL(std::string_view path);

    const std::string& scheme() const { return scheme_; }
    bool isFileURL() const;
    // The decoded host, or empty.
    std::string host() const;
    // The decoded path, without a trailing slash (the root stays "/").
    std::string path() const;
    std::string absoluteString() const;

    std::string lastPathComponent() const;
    // The text after the last dot of the last component; none when that component starts or
    // ends with the dot (".hidden", "name.").
    std::string pathExtension() const;
    std::vector<std::string> pathComponents() const;

    URL deletingLastPathComponent() const;
    URL deletingPathExtension() const;
    // The component is encoded; slashes in it add several components.
    URL appendingPathComponent(std::string_view component) const;

    // File URLs only (others come back unchanged): the path with its symbolic links resolved
    // and "." and ".." removed; the parts that don't exist are only standardized.
    URL resolvingSymlinksInPath() const;
    // File URLs only: "." and ".." removed without looking at the file system.
    URL standardizedFileURL() const;

    friend bool operator==(const URL&, const URL&) = default;
    friend auto operator<=>(const URL&, const URL&) = default;
    friend std::ostream& operator<<(std::ostream& stream, const URL& url);

private:
    URL() = default;
    URL withDecodedPath(const std::string& path, bool trailingSlash) const;

    std::string scheme_;
    std::optional<std::string> authority_;
    std::string path_;  // encoded
    std::optional<std::string> query_;
    std::optional<std::string> fragment_;
};

}  // namespace platform

template <>
struct std::hash<platform::URL> {
    std::size_t operator()(const platform::URL& url) const noexcept;
};
