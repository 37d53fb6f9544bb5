#include "platform/foundation/URLBookmark.h"

#include <sys/stat.h>

#include <cerrno>
#include <optional>
#include <string>

#include <QByteArray>
#include <QCborMap>
#include <QCborParserError>
#include <QCborValue>
#include <QLatin1String>

#include <fmt/format.h>

#include "platform/foundation/DirectoryEnumerator.h"
#include "platform/foundation/Error.h"
#include "platform/foundation/FileIdentity.h"

namespace platform {

namespace {

// A bookmark is the CBOR map {"$bookmark": 1, "path": <bytes>, "identity": <16 bytes>}. The path
// is kept as bytes because a file name need not be UTF-8.
const QLatin1String kVersionKey{"$bookmark"};
const QLatin1String kPathKey{"path"};
const QLatin1String kIdentityKey{"identity"};
constexpr qint64 kVersion = 1;

struct Bookmark {
    std::string path;
    FileIdentity identity;
};

QByteArray toByteArray(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

NSError corruptBookmarkError(const std::string& reason) {
    return NSError(NSCocoaErrorDomain, NSFileReadCorruptFileError,
                   {{NSLocalizedDescriptionKey,
                     std::string("The file couldn’t be opened because it isn’t in the correct "
                                 "format.")},
                    {NSDebugDescriptionErrorKey, "Not a bookmark: " + reason}});
}

NSError noSuchFileError(const std::string& path, std::optional<NSError> underlying) {
    const std::string name = URL::fileURL(path).lastPathComponent();
    NSError::UserInfo info{
        {NSLocalizedDescriptionKey,
         fmt::format("The file “{}” couldn’t be opened because there is no such file.", name)},
        {NSFilePathErrorKey, path}};
    if (underlying) {
        info.emplace(NSUnderlyingErrorKey, underlying->clone());
    }
    return NSError(NSCocoaErrorDomain, NSFileReadNoSuchFileError, std::move(info));
}

Bookmark parse(const std::vector<std::uint8_t>& data) {
    const QByteArray bytes(reinterpret_cast<const char*>(data.data()),
                           static_cast<qsizetype>(data.size()));
    QCborParserError parseError;
    const QCborValue root = QCborValue::fromCbor(bytes, &parseError);
    if (parseError.error != QCborError::NoError || parseError.offset != bytes.size()) {
        throw corruptBookmarkError("the data is not one CBOR value");
    }
    if (!root.isMap()) {
        throw corruptBookmarkError("the data is not a map");
    }
    const QCborMap map = root.toMap();
    if (map.value(kVersionKey).toInteger(-1) != kVersion) {
        throw corruptBookmarkError("unknown version");
    }
    const QCborValue path = map.value(kPathKey);
    const QCborValue identity = map.value(kIdentityKey);
    if (!path.isByteArray() || !identity.isByteArray()) {
        throw corruptBookmarkError("path or identity missing");
    }
    const QByteArray pathBytes = path.toByteArray();
    const QByteArray identityBytes = identity.toByteArray();
    if (!pathBytes.startsWith('/') || pathBytes.contains('\0') ||
        identityBytes.size() != static_cast<qsizetype>(FileIdentity::Bytes{}.size())) {
        throw corruptBookmarkError("malformed path or identity");
    }
    FileIdentity::Bytes identityArray{};
    std::copy(identityBytes.begin(), identityBytes.end(), identityArray.begin());
    return Bookmark{pathBytes.toStdString(), FileIdentity::fromBytes(identityArray)};
}

// The entry of `folder` that is the file `identity`; a real entry is preferred to a symbolic
// link that leads to the file, which would stop working if the file moved again.
std::optional<URL> findInFolder(const URL& folder, const FileIdentity& identity) {
    auto enumerator = DirectoryEnumerator::make(folder);
    if (!enumerator) {
        return std::nullopt;
    }
    std::optional<URL> link;
    while (auto entry = enumerator->nextObject()) {
        if (entry->identity != identity) {
            continue;
        }
        if (!entry->isSymbolicLink) {
            return entry->url;
        }
        if (!link) {
            link = entry->url;
        }
    }
    return link;
}

}  // namespace

std::vector<std::uint8_t> bookmarkData(const URL& url, NSURLBookmarkCreationOptions) {
    if (!url.isFileURL()) {
        throw NSError(NSCocoaErrorDomain, NSFileReadUnsupportedSchemeError,
                      {{NSLocalizedDescriptionKey,
                        std::string("The file couldn’t be opened because the specified URL type "
                                    "isn’t supported.")},
                       {NSDebugDescriptionErrorKey, "Not a file URL: " + url.absoluteString()}});
    }
    // Relative paths are taken from the current directory, as everywhere else for file URLs.
    const std::string path = URL::fileURL(url.path()).standardizedFileURL().path();
    const FileIdentity identity = FileIdentity::ofFile(path);
    const FileIdentity::Bytes identityBytes = identity.bytes();

    QCborMap map;
    map.insert(kVersionKey, kVersion);
    map.insert(kPathKey, toByteArray(path));
    map.insert(kIdentityKey, QByteArray(reinterpret_cast<const char*>(identityBytes.data()),
                                        static_cast<qsizetype>(identityBytes.size())));
    const QByteArray encoded = map.toCborValue().toCbor();
    return std::vector<std::uint8_t>(encoded.begin(), encoded.end());
}

URL URLByResolvingBookmarkData(const std::vector<std::uint8_t>& data,
                               NSURLBookmarkResolutionOptions, bool& bookmarkDataIsStale) {
    bookmarkDataIsStale = false;
    const Bookmark bookmark = parse(data);

    std::optional<NSError> statError;
    struct stat info {};
    if (::stat(bookmark.path.c_str(), &info) == 0) {
        const FileIdentity current(static_cast<std::uint64_t>(info.st_dev),
                                   static_cast<std::uint64_t>(info.st_ino));
        if (current == bookmark.identity) {
            return URL::fileURL(bookmark.path);
        }
    } else {
        statError = NSError::posix(errno, bookmark.path);
    }

    // The path is gone or names another file now: the file may have been renamed in place.
    if (auto found = findInFolder(URL::fileURL(bookmark.path).deletingLastPathComponent(),
                                  bookmark.identity)) {
        bookmarkDataIsStale = true;
        return *found;
    }
    throw noSuchFileError(bookmark.path, std::move(statError));
}

}  // namespace platform
