#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The system calls of a save, each of which can fail.
enum class FileWriteStep {
    makeFolder,  // the file's folder did not exist
    open,        // the new file, made beside the old one
    write,
    sync,  // the new file's data to the disk
    close,
    rename,      // the new file over the old one
    syncFolder,  // the rename to the disk
};

// Why a save failed: the step that failed and the system's error number.
struct FileWriteFailure {
    FileWriteStep step = FileWriteStep::write;
    int error = 0;

    // The system's words for the error ("No space left on device").
    std::string reason() const;
    friend bool operator==(const FileWriteFailure&, const FileWriteFailure&) = default;
};

// Gives the file at `path` the content `contents` whole, or leaves it byte for byte as it was.
// The content goes to a new file in the same folder, which is written in full, flushed to the
// disk and closed, every call checked, and only then renamed over the old file; the folder is
// flushed after. A full disk, a quota, a read-only folder or a failing disk leave the old file
// (or none) in place, and the new file is removed. Missing folders are made (private to the
// user); a symbolic link is followed, so that the file it names is replaced and the link stays;
// the new file keeps the old one's permissions; a file that the user may not write is not
// replaced. Nothing, or the failure.
std::optional<FileWriteFailure> replaceFileContents(const std::string& path,
                                                    std::string_view contents);

// One file that the program saves again and again (the stored windows, the preferences), through
// replaceFileContents. A failed save logs an error that names the file and the system's reason;
// the same cause failing again is only traced, and a later save tries afresh. Not thread-safe:
// the owner keeps its saves in order.
class AtomicFileWriter {
public:
    // `contentName` says what the file holds, as the error line names it ("the windows").
    AtomicFileWriter(std::string path, std::string contentName);

    const std::string& path() const { return path_; }

    // Whether the file now holds `contents`.
    bool write(std::string_view contents);

    // The failure of the last write, if it failed.
    const std::optional<FileWriteFailure>& lastFailure() const { return lastFailure_; }

private:
    std::string path_;
    std::string contentName_;
    std::optional<FileWriteFailure> lastFailure_;
    // The cause that was last logged as an error; a folder that could not be flushed counts.
    std::optional<FileWriteFailure> reportedFailure_;
};

// A disk that fails, for tests that cannot make one full or read-only for real (they may not
// mount a filesystem): while set, the named step of every save fails with `error` as if the
// system had answered so. A failing write first writes part of the content, as a disk that
// fills up does. Not for the program's own use.
struct SimulatedFileFault {
    FileWriteStep step = FileWriteStep::write;
    int error = 0;
};
void simulateFileFault(std::optional<SimulatedFileFault> fault);

}  // namespace platform
