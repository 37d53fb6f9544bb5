#pragma once

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/foundation/AtomicFileWriter.h"
#include "support/ScratchFolder.h"

namespace quillon::test {

// A folder whose filesystem a test can fill up or make read-only, to see what a save does there.
//
// Where the test may mount a filesystem (as root with the right to mount), the folder is a small
// tmpfs of its own, and it is full or read-only for real: saves meet ENOSPC and EROFS from the
// kernel. Where it may not (an unprivileged CI container), the conditions are simulated at the
// file layer, through platform::simulateFileFault, the seam every save of the program passes:
//   fill()          each save's write fails with ENOSPC after part of the content;
//   makeReadOnly()  for a user other than root the folder loses its write permission, so that
//                   making a file in it fails for real (EACCES); root ignores that, so for root
//                   making the new file fails with EROFS at the seam.
// isReal() says which; the reason a failed save names comes from reasonWhenFull() and
// reasonWhenReadOnly().
class ConstrainedFolder {
public:
    explicit ConstrainedFolder(const std::string& prefix) : scratch_(prefix) {
        path_ = scratch_.path() / "volume";
        std::filesystem::create_directories(path_);
        if (::mount("tmpfs", path_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=256k,mode=0755") ==
            0) {
            mounted_ = true;
        } else {
            whyNotReal_ = std::string("no tmpfs could be mounted: ") + std::strerror(errno);
        }
    }
    ~ConstrainedFolder() {
        platform::simulateFileFault(std::nullopt);
        if (mounted_) {
            ::umount2(path_.c_str(), MNT_DETACH);
        } else {
            ::chmod(path_.c_str(), 0755);
        }
    }
    ConstrainedFolder(const ConstrainedFolder&) = delete;
    ConstrainedFolder& operator=(const ConstrainedFolder&) = delete;

    // Whether the filesystem itself is full or read-only, rather than the seam.
    bool isReal() const { return mounted_; }
    const std::string& whyNotReal() const { return whyNotReal_; }

    const std::filesystem::path& path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

    // Leaves no byte free, or `pagesLeft` pages of 4 KiB: room for a small file (a lock file)
    // but not for a larger one.
    void fill(int pagesLeft = 0) {
        if (!mounted_) {
            platform::simulateFileFault(
                platform::SimulatedFileFault{platform::FileWriteStep::write, ENOSPC});
            return;
        }
        const int file = ::open(filler().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(file, 0) << std::strerror(errno);
        const std::vector<char> block(4096, 'x');
        int error = 0;
        for (;;) {
            const ssize_t written = ::write(file, block.data(), block.size());
            if (written < 0) {
                error = errno;
                break;
            }
        }
        const bool freed = ::ftruncate(file, ::lseek(file, 0, SEEK_END) - pagesLeft * 4096) == 0;
        ::close(file);
        ASSERT_EQ(error, ENOSPC) << std::strerror(error);
        ASSERT_TRUE(freed) << std::strerror(errno);
    }
    void freeSpace() {
        platform::simulateFileFault(std::nullopt);
        std::filesystem::remove(filler());
    }

    void makeReadOnly() {
        if (mounted_) {
            ASSERT_EQ(::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr), 0)
                << std::strerror(errno);
        } else if (::geteuid() != 0) {
            ASSERT_EQ(::chmod(path_.c_str(), 0555), 0) << std::strerror(errno);
        } else {
            platform::simulateFileFault(
                platform::SimulatedFileFault{platform::FileWriteStep::open, EROFS});
        }
    }
    void makeWritable() {
        platform::simulateFileFault(std::nullopt);
        if (mounted_) {
            ASSERT_EQ(::mount(nullptr, path_.c_str(), nullptr, MS_REMOUNT, nullptr), 0)
                << std::strerror(errno);
        } else {
            ::chmod(path_.c_str(), 0755);
        }
    }

    static std::string reasonWhenFull() { return std::strerror(ENOSPC); }
    std::string reasonWhenReadOnly() const {
        return std::strerror(!mounted_ && ::geteuid() != 0 ? EACCES : EROFS);
    }

    // The names in the folder, but for the filler.
    std::vector<std::string> names() const {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(path_)) {
            if (entry.path() != filler()) {
                found.push_back(entry.path().filename().string());
            }
        }
        std::sort(found.begin(), found.end());
        return found;
    }

private:
    std::filesystem::path filler() const { return path_ / ".filler"; }

    ScratchFolder scratch_;
    std::filesystem::path path_;
    bool mounted_ = false;
    std::string whyNotReal_;
};

// A file's bytes; empty when it can't be read.
inline std::string fileBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace quillon::test
