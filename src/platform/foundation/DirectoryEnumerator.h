#pragma once

#include <dirent.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/foundation/FileIdentity.h"
#include "platform/foundation/URL.h"

namespace platform {

// One entry of a folder, with the attributes read while enumerating (the prefetched resource
// values).
struct DirectoryEntry {
    URL url;
    // The last path component, as stored on disk.
    std::string name;
    // Whether the entry is a folder; a symbolic link counts as what it points to.
    bool isDirectory = false;
    // Hidden by the Unix convention: the name begins with a full stop.
    bool isHidden = false;
    bool isSymbolicLink = false;
    // The identity of the file the entry reaches (following symbolic links); none when it can't
    // be read, as for a dangling link.
    std::optional<FileIdentity> identity;
    // Whether the entry reaches a regular file (not a pipe, socket or device, which may block
    // whoever opens or reads them).
    bool isRegularFile = false;
};

// Lists the entries of one folder, lazily and in the order the file system returns them ("." and
// ".." left out). It never descends into subfolders. Used by one thread at a time.
class DirectoryEnumerator {
public:
    enum class Options { none, skipsHiddenFiles };

    // None when the folder can't be opened for listing: missing, not a folder, or unreadable.
    static std::unique_ptr<DirectoryEnumerator> make(const URL& directory,
                                                     Options options = Options::none);

    ~DirectoryEnumerator();
    DirectoryEnumerator(const DirectoryEnumerator&) = delete;
    DirectoryEnumerator& operator=(const DirectoryEnumerator&) = delete;

    // The next entry, or none at the end. A read error of the folder ends the listing.
    std::optional<DirectoryEntry> nextObject();

private:
    DirectoryEnumerator(URL directory, DIR* stream, Options options);

    URL directory_;
    DIR* stream_;
    Options options_;
};

}  // namespace platform
