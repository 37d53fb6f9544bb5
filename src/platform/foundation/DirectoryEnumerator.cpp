#include "platform/foundation/DirectoryEnumerator.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace platform {

std::unique_ptr<DirectoryEnumerator> DirectoryEnumerator::make(const URL& directory,
                                                               Options options) {
    if (!directory.isFileURL()) {
        return nullptr;
    }
    DIR* stream = ::opendir(directory.path().c_str());
    if (stream == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<DirectoryEnumerator>(
        new DirectoryEnumerator(directory, stream, options));
}

DirectoryEnumerator::DirectoryEnumerator(URL directory, DIR* stream, Options options)
    : directory_(std::move(directory)), stream_(stream), options_(options) {}

DirectoryEnumerator::~DirectoryEnumerator() {
    ::closedir(stream_);
}

std::optional<DirectoryEntry> DirectoryEnumerator::nextObject() {
    const int folder = ::dirfd(stream_);
    for (;;) {
        const dirent* entry = ::readdir(stream_);
        if (entry == nullptr) {
            return std::nullopt;
        }
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
            continue;
        }
        const bool isHidden = name[0] == '.';
        if (isHidden && options_ == Options::skipsHiddenFiles) {
            continue;
        }

        DirectoryEntry result{
            directory_.appendingPathComponent(name), name, false, false, false, std::nullopt};
        result.isHidden = isHidden;
        if (entry->d_type == DT_UNKNOWN) {
            // Some file systems don't fill in the type: ask for it.
            struct stat linkInfo {};
            result.isSymbolicLink = ::fstatat(folder, name, &linkInfo, AT_SYMLINK_NOFOLLOW) == 0 &&
                                    S_ISLNK(linkInfo.st_mode);
        } else {
            result.isSymbolicLink = entry->d_type == DT_LNK;
        }
        struct stat info {};
        if (::fstatat(folder, name, &info, 0) == 0) {
            result.isDirectory = S_ISDIR(info.st_mode);
            result.isRegularFile = S_ISREG(info.st_mode);
            result.identity = FileIdentity(static_cast<std::uint64_t>(info.st_dev),
                                           static_cast<std::uint64_t>(info.st_ino));
        } else {
            result.isDirectory = entry->d_type == DT_DIR;
        }
        return result;
    }
}

}  // namespace platform
