#include "platform/foundation/AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <random>
#include <utility>

#include "platform/foundation/Log.h"

namespace platform {

namespace {

std::mutex simulatedFaultMutex;
std::optional<SimulatedFileFault> simulatedFault;

std::optional<SimulatedFileFault> currentSimulatedFault() {
    std::lock_guard lock(simulatedFaultMutex);
    return simulatedFault;
}

// The words an error line uses for the step.
const char* stepDescription(FileWriteStep step) {
    switch (step) {
        case FileWriteStep::makeFolder:
            return "making its folder";
        case FileWriteStep::open:
            return "making the new file";
        case FileWriteStep::write:
            return "writing";
        case FileWriteStep::sync:
            return "flushing to the disk";
        case FileWriteStep::close:
            return "closing";
        case FileWriteStep::rename:
            return "putting the new file in place";
        case FileWriteStep::syncFolder:
            return "flushing the folder to the disk";
    }
    return "saving";
}

// One save's system calls, each failing on request of a simulated fault.
class Save {
public:
    explicit Save(std::optional<SimulatedFileFault> fault) : fault_(fault) {}
    ~Save() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        if (!temporaryPath_.empty()) {
            ::unlink(temporaryPath_.c_str());
        }
    }
    Save(const Save&) = delete;
    Save& operator=(const Save&) = delete;

    std::optional<FileWriteFailure> run(const std::string& requestedPath,
                                        std::string_view contents) {
        const std::filesystem::path path = followingLinks(requestedPath);
        const std::filesystem::path folder = path.parent_path();
        if (auto failure = makeFolder(folder)) {
            return failure;
        }
        struct stat existing {};
        const bool exists = ::stat(path.c_str(), &existing) == 0;
        // A file that its owner made read-only is left alone, as an editor would leave it.
        if (exists && ::access(path.c_str(), W_OK) != 0) {
            return failed(FileWriteStep::open, errno);
        }
        if (auto failure = openTemporaryFile(path)) {
            return failure;
        }
        if (exists) {
            // Best effort: the content matters, not who else may read it.
            (void)::fchmod(descriptor_, existing.st_mode & 07777);
        }
        if (auto failure = writeAll(contents)) {
            return failure;
        }
        if (exists) {
            makeNewerThan(existing);
        }
        if (auto failure = syncAndClose()) {
            return failure;
        }
        if (auto failure = simulated(FileWriteStep::rename)) {
            return failure;
        }
        if (::rename(temporaryPath_.c_str(), path.c_str()) != 0) {
            return failed(FileWriteStep::rename, errno);
        }
        temporaryPath_.clear();
        return syncFolder(folder);
    }

private:
    static std::optional<FileWriteFailure> failed(FileWriteStep step, int error) {
        return FileWriteFailure{step, error};
    }

    std::optional<FileWriteFailure> simulated(FileWriteStep step) const {
        if (fault_ && fault_->step == step) {
            return failed(step, fault_->error);
        }
        return std::nullopt;
    }

    // The file that `path` names once its symbolic links are followed.
    static std::filesystem::path followingLinks(const std::filesystem::path& path) {
        std::filesystem::path current = std::filesystem::absolute(path);
        for (int depth = 0; depth < 40; ++depth) {
            std::error_code error;
            if (!std::filesystem::is_symlink(current, error)) {
                break;
            }
            const std::filesystem::path target = std::filesystem::read_symlink(current, error);
            if (error) {
                break;
            }
            current = target.is_absolute() ? target : current.parent_path() / target;
        }
        return current.lexically_normal();
    }

    std::optional<FileWriteFailure> makeFolder(const std::filesystem::path& folder) const {
        struct stat status {};
        if (folder.empty() || ::stat(folder.c_str(), &status) == 0) {
            return std::nullopt;
        }
        if (auto failure = makeFolder(folder.parent_path())) {
            return failure;
        }
        if (auto failure = simulated(FileWriteStep::makeFolder)) {
            return failure;
        }
        if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
            return failed(FileWriteStep::makeFolder, errno);
        }
        return std::nullopt;
    }

    std::optional<FileWriteFailure> openTemporaryFile(const std::filesystem::path& path) {
        if (auto failure = simulated(FileWriteStep::open)) {
            return failure;
        }
        static constexpr char letters[] =
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
        std::random_device random;
        std::uniform_int_distribution<std::size_t> pick(0, sizeof letters - 2);
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string name = "." + path.filename().string() + ".";
            for (int i = 0; i < 8; ++i) {
                name += letters[pick(random)];
            }
            const std::string candidate = (path.parent_path() / name).string();
            // 0666 less the user's umask, as for any new file of theirs.
            const int descriptor =
                ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (descriptor >= 0) {
                descriptor_ = descriptor;
                temporaryPath_ = candidate;
                return std::nullopt;
            }
            if (errno != EEXIST) {
                return failed(FileWriteStep::open, errno);
            }
        }
        return failed(FileWriteStep::open, EEXIST);
    }

    std::optional<FileWriteFailure> writeAll(std::string_view contents) {
        const char* next = contents.data();
        std::size_t left = contents.size();
        const bool faulty = fault_ && fault_->step == FileWriteStep::write;
        if (faulty) {
            // A disk that fills up takes part of the content before it says no.
            left /= 2;
        }
        while (left > 0) {
            const ssize_t written = ::write(descriptor_, next, left);
            if (written < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return failed(FileWriteStep::write, errno);
            }
            if (written == 0) {
                return failed(FileWriteStep::write, EIO);
            }
            next += written;
            left -= static_cast<std::size_t>(written);
        }
        if (faulty) {
            return failed(FileWriteStep::write, fault_->error);
        }
        return std::nullopt;
    }

    // Readers that go by a file's size and modification time in milliseconds (QSettings caches
    // a file by them) must see a new content even when it has the old one's size and comes
    // within the same tick of the file system's clock: the new file is made at least a
    // millisecond newer than the old one.
    void makeNewerThan(const struct stat& old) const {
        struct stat written {};
        if (::fstat(descriptor_, &written) != 0) {
            return;
        }
        const auto milliseconds = [](const timespec& time) {
            return static_cast<std::int64_t>(time.tv_sec) * 1000 + time.tv_nsec / 1'000'000;
        };
        const std::int64_t oldTime = milliseconds(old.st_mtim);
        if (milliseconds(written.st_mtim) > oldTime) {
            return;
        }
        const std::int64_t newTime = oldTime + 1;
        const timespec times[2] = {
            {0, UTIME_OMIT},
            {static_cast<time_t>(newTime / 1000), static_cast<long>(newTime % 1000) * 1'000'000}};
        // Best effort, as the content itself is right either way.
        (void)::futimens(descriptor_, times);
    }

    std::optional<FileWriteFailure> syncAndClose() {
        if (auto failure = simulated(FileWriteStep::sync)) {
            return failure;
        }
        // A file system that cannot flush a file (EINVAL) has nothing to flush it to.
        while (::fsync(descriptor_) != 0) {
            if (errno == EINTR) {
                continue;
            }
            if (errno != EINVAL) {
                return failed(FileWriteStep::sync, errno);
            }
            break;
        }
        if (auto failure = simulated(FileWriteStep::close)) {
            return failure;
        }
        const int descriptor = std::exchange(descriptor_, -1);
        // Network file systems report a failed write as late as here. EINTR still closed it.
        if (::close(descriptor) != 0 && errno != EINTR) {
            return failed(FileWriteStep::close, errno);
        }
        return std::nullopt;
    }

    std::optional<FileWriteFailure> syncFolder(const std::filesystem::path& folder) const {
        if (auto failure = simulated(FileWriteStep::syncFolder)) {
            return failure;
        }
        const int descriptor = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (descriptor < 0) {
            return failed(FileWriteStep::syncFolder, errno);
        }
        std::optional<FileWriteFailure> failure;
        if (::fsync(descriptor) != 0 && errno != EINVAL) {
            failure = failed(FileWriteStep::syncFolder, errno);
        }
        ::close(descriptor);
        return failure;
    }

    std::optional<SimulatedFileFault> fault_;
    int descriptor_ = -1;
    // The new file until it is renamed; removed when the save fails.
    std::string temporaryPath_;
};

}  // namespace

std::string FileWriteFailure::reason() const {
    return std::strerror(error);
}

std::optional<FileWriteFailure> replaceFileContents(const std::string& path,
                                                    std::string_view contents) {
    Save save(currentSimulatedFault());
    return save.run(path, contents);
}

void simulateFileFault(std::optional<SimulatedFileFault> fault) {
    std::lock_guard lock(simulatedFaultMutex);
    simulatedFault = fault;
}

AtomicFileWriter::AtomicFileWriter(std::string path, std::string contentName)
    : path_(std::move(path)), contentName_(std::move(contentName)) {}

bool AtomicFileWriter::write(std::string_view contents) {
    lastFailure_ = replaceFileContents(path_, contents);
    if (!lastFailure_) {
        if (reportedFailure_) {
            reportedFailure_.reset();
            logInfo("Stored {} in {} again.", contentName_, path_);
        }
        return true;
    }
    const FileWriteFailure failure = *lastFailure_;
    const bool isNewCause = reportedFailure_ != failure;
    reportedFailure_ = failure;
    if (failure.step == FileWriteStep::syncFolder) {
        // The new content is in place; only a power cut right now could lose it.
        lastFailure_.reset();
        if (isNewCause) {
            logWarning("Stored {} in {}, but could not flush its folder to the disk: {}.",
                       contentName_, path_, failure.reason());
        }
        return true;
    }
    if (isNewCause) {
        logError("Failed to store {} in {}: {} ({}); the file keeps what it held.", contentName_,
                 path_, failure.reason(), stepDescription(failure.step));
    } else {
        logDebug("Still unable to store {} in {}: {} ({}).", contentName_, path_, failure.reason(),
                 stepDescription(failure.step));
    }
    return false;
}

}  // namespace platform
