#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/foundation/URL.h"

namespace quillon::test {

// A folder tree in a fresh temporary directory, removed with everything in it at the end.
// Paths are relative to the tree's root, which is given with its symbolic links resolved so that
// results that resolve links compare equal.
class SubtitleFolderTree {
public:
    SubtitleFolderTree() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "quillon-subtitle-files-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        root_ = std::filesystem::canonical(pattern);
    }
    ~SubtitleFolderTree() {
        std::error_code error;
        // Folders a test made unreadable must be readable again to be removed.
        for (const auto& folder : lockedFolders_) {
            std::filesystem::permissions(folder, std::filesystem::perms::owner_all, error);
        }
        std::filesystem::remove_all(root_, error);
    }
    SubtitleFolderTree(const SubtitleFolderTree&) = delete;
    SubtitleFolderTree& operator=(const SubtitleFolderTree&) = delete;

    std::string path(std::string_view relative) const { return (root_ / relative).string(); }
    platform::URL url(std::string_view relative) const {
        return platform::URL::fileURL(path(relative));
    }

    // Makes the file, and its folders, with these contents.
    void file(std::string_view relative, std::string_view contents = "") const {
        std::filesystem::path target = root_ / relative;
        std::filesystem::create_directories(target.parent_path());
        std::ofstream(target, std::ios::binary)
            .write(contents.data(), static_cast<std::streamsize>(contents.size()));
    }
    void folder(std::string_view relative) const {
        std::filesystem::create_directories(root_ / relative);
    }
    // A symbolic link at `relative` whose text is `target` (relative to the link's folder or
    // absolute).
    void symbolicLink(std::string_view target, std::string_view relative) const {
        std::filesystem::create_directories((root_ / relative).parent_path());
        std::filesystem::create_symlink(target, root_ / relative);
    }
    void hardLink(std::string_view existing, std::string_view relative) const {
        std::filesystem::create_hard_link(root_ / existing, root_ / relative);
    }
    // Takes every permission away from a folder; restored before the tree is removed.
    void lock(std::string_view relative) {
        std::filesystem::permissions(root_ / relative, std::filesystem::perms::none);
        lockedFolders_.push_back(root_ / relative);
    }

    // The paths of the URLs relative to the root ("../x" for paths outside it).
    std::vector<std::string> relativePaths(const std::vector<platform::URL>& urls) const {
        std::vector<std::string> paths;
        for (const auto& url : urls) {
            paths.push_back(std::filesystem::path(url.path()).lexically_relative(root_).string());
        }
        return paths;
    }

private:
    std::filesystem::path root_;
    std::vector<std::filesystem::path> lockedFolders_;
};

inline bool runsAsRoot() {
    return ::geteuid() == 0;
}

}  // namespace quillon::test
