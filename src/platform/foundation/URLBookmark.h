#pragma once

#include <cstdint>
#include <vector>

#include "platform/foundation/URL.h"

namespace platform {

// Bookmarks: data that finds a file again after it was renamed within its folder. A bookmark
// holds the file's absolute path and its identity (device and inode); resolving it tries the
// path first and then looks in the path's folder for the entry with that identity. Bookmarks are
// always absolute (no base URL) and carry no resource values. Security scopes have no meaning
// on Linux: the options are accepted for the callers' sake and change nothing.

using NSURLBookmarkCreationOptions = std::uint64_t;
inline constexpr NSURLBookmarkCreationOptions NSURLBookmarkCreationMinimalBookmark = 1ULL << 9;
inline constexpr NSURLBookmarkCreationOptions NSURLBookmarkCreationWithSecurityScope = 1ULL << 11;
inline constexpr NSURLBookmarkCreationOptions
    NSURLBookmarkCreationSecurityScopeAllowOnlyReadAccess = 1ULL << 12;

using NSURLBookmarkResolutionOptions = std::uint64_t;
inline constexpr NSURLBookmarkResolutionOptions NSURLBookmarkResolutionWithoutUI = 1ULL << 8;
inline constexpr NSURLBookmarkResolutionOptions NSURLBookmarkResolutionWithoutMounting = 1ULL << 9;
inline constexpr NSURLBookmarkResolutionOptions NSURLBookmarkResolutionWithSecurityScope = 1ULL
                                                                                           << 10;

// Error codes of NSCocoaErrorDomain that bookmarks report.
inline constexpr std::int64_t NSFileReadCorruptFileError = 259;
inline constexpr std::int64_t NSFileReadNoSuchFileError = 260;
inline constexpr std::int64_t NSFileReadUnsupportedSchemeError = 262;

// The bookmark of the file (or folder) that `url` names, following symbolic links for its
// identity. Throws NSError: NSFileReadUnsupportedSchemeError for a URL that is not a file URL,
// the POSIX error of stat(2) when the file can't be examined.
std::vector<std::uint8_t> bookmarkData(const URL& url, NSURLBookmarkCreationOptions options = 0);

// The file URL that the bookmark leads to. `bookmarkDataIsStale` is set when the file was found
// under another name, so that the caller may store a fresh bookmark. Throws NSError:
// NSFileReadCorruptFileError when `data` is no bookmark, NSFileReadNoSuchFileError when the
// file is gone (or its path now names another file and the folder holds it under no name).
URL URLByResolvingBookmarkData(const std::vector<std::uint8_t>& data,
                               NSURLBookmarkResolutionOptions options, bool& bookmarkDataIsStale);

}  // namespace platform
