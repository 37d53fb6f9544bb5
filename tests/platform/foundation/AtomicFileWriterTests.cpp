#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/foundation/AtomicFileWriter.h"
#include "platform/foundation/Log.h"
#include "support/ConstrainedFolder.h"
#include "support/ScratchFolder.h"

using namespace platform;
using quillon::test::ConstrainedFolder;
using quillon::test::fileBytes;
using quillon::test::ScratchFolder;

namespace {

std::vector<std::string> linesAt(const ScopedLogCapture& log, LogLevel level) {
    std::vector<std::string> lines;
    for (const auto& entry : log.entries()) {
        if (entry.level == level) {
            lines.push_back(entry.text);
        }
    }
    return lines;
}

void noteHowTheFolderIsConstrained(const ConstrainedFolder& folder) {
    if (!folder.isReal()) {
        std::cout << "[   NOTE   ] simulated at the file layer: " << folder.whyNotReal() << "\n";
    }
}

// Stored windows of a first launch, and the larger state of a later one.
const std::string oldState = std::string(1016, '\x01');
const std::string newState = std::string(3000, '\x02');

}  // namespace

TEST(AtomicFileWriter, AFullDiskKeepsTheOldFileByteForByteAndSaysWhyOncePerCause) {
    ConstrainedFolder folder("quillon-full-disk");
    noteHowTheFolderIsConstrained(folder);
    const std::string path = folder / "windows.cbor";
    AtomicFileWriter writer(path, "the windows");
    ASSERT_TRUE(writer.write(oldState));

    folder.fill();
    ScopedLogCapture log;
    EXPECT_FALSE(writer.write(newState));
    EXPECT_FALSE(writer.write(newState));
    EXPECT_EQ(fileBytes(path), oldState);
    // Nothing half written is left beside it.
    EXPECT_EQ(folder.names(), std::vector<std::string>{"windows.cbor"});
    ASSERT_TRUE(writer.lastFailure());
    EXPECT_EQ(writer.lastFailure()->error, ENOSPC);
    const auto errors = linesAt(log, LogLevel::error);
    ASSERT_EQ(errors.size(), 1u) << "the same cause is told once";
    EXPECT_NE(errors[0].find("Failed to store the windows in " + path + ": " +
                             ConstrainedFolder::reasonWhenFull()),
              std::string::npos)
        << errors[0];

    // With room again, the next save stores the new state, and says so in the full log.
    folder.freeSpace();
    EXPECT_TRUE(writer.write(newState));
    EXPECT_EQ(fileBytes(path), newState);
    EXPECT_TRUE(log.contains("Stored the windows in " + path + " again."));

    // A disk that fills up again is told again.
    folder.fill();
    EXPECT_FALSE(writer.write(oldState));
    EXPECT_EQ(linesAt(log, LogLevel::error).size(), 2u);
    EXPECT_EQ(fileBytes(path), newState);
}

TEST(AtomicFileWriter, AReadOnlyFolderKeepsTheOldFileAndALaterSaveGoesThrough) {
    ConstrainedFolder folder("quillon-read-only");
    noteHowTheFolderIsConstrained(folder);
    const std::string path = folder / "quillon-player.conf";
    AtomicFileWriter writer(path, "the user defaults");
    ASSERT_TRUE(writer.write("[General]\nQPPlayAutomaticallyOnOpen=true\n"));

    folder.makeReadOnly();
    ScopedLogCapture log;
    EXPECT_FALSE(writer.write("[General]\nQPPlayAutomaticallyOnOpen=false\n"));
    EXPECT_EQ(fileBytes(path), "[General]\nQPPlayAutomaticallyOnOpen=true\n");
    const auto errors = linesAt(log, LogLevel::error);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find(path + ": " + folder.reasonWhenReadOnly()), std::string::npos)
        << errors[0];

    folder.makeWritable();
    EXPECT_TRUE(writer.write("[General]\nQPPlayAutomaticallyOnOpen=false\n"));
    EXPECT_EQ(fileBytes(path), "[General]\nQPPlayAutomaticallyOnOpen=false\n");
    EXPECT_EQ(folder.names(), std::vector<std::string>{"quillon-player.conf"});
}

// A failing disk answers at any step; these are simulated at the file layer, which is what the
// kernel's answers reach.
TEST(AtomicFileWriter, AFailureAtAnyStepBeforeTheRenameLeavesTheOldFileAndNoOther) {
    ScratchFolder folder("quillon-failing-disk");
    const std::string path = folder / "windows.cbor";
    AtomicFileWriter writer(path, "the windows");
    ASSERT_TRUE(writer.write(oldState));
    const std::pair<FileWriteStep, int> faults[] = {
        {FileWriteStep::open, EDQUOT}, {FileWriteStep::write, EDQUOT}, {FileWriteStep::write, EIO},
        {FileWriteStep::sync, EIO},    {FileWriteStep::close, EIO},    {FileWriteStep::rename, EIO},
    };
    for (const auto& [step, error] : faults) {
        SCOPED_TRACE(std::strerror(error));
        SCOPED_TRACE(static_cast<int>(step));
        simulateFileFault(SimulatedFileFault{step, error});
        ScopedLogCapture log;
        EXPECT_FALSE(writer.write(newState));
        simulateFileFault(std::nullopt);
        EXPECT_EQ(fileBytes(path), oldState);
        EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.path()), {}), 1);
        EXPECT_TRUE(log.contains(std::strerror(error)));
    }

    // Once the rename is done, the new state is there; a folder that cannot be flushed only
    // makes it less sure to outlive a power cut.
    simulateFileFault(SimulatedFileFault{FileWriteStep::syncFolder, EIO});
    ScopedLogCapture log;
    EXPECT_TRUE(writer.write(newState));
    simulateFileFault(std::nullopt);
    EXPECT_EQ(fileBytes(path), newState);
    EXPECT_EQ(log.levelOf("could not flush its folder"), LogLevel::warning);
}

TEST(AtomicFileWriter, ALinkStaysALinkAndTheFileKeepsItsPermissionsAndFoldersAreMade) {
    ScratchFolder folder("quillon-linked-file");
    // Preferences kept with the user's other settings, linked into place.
    std::filesystem::create_directories(folder.path() / "dotfiles");
    std::filesystem::create_directories(folder.path() / "config");
    const auto target = folder.path() / "dotfiles" / "quillon-player.conf";
    { std::ofstream(target) << "old"; }
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    const auto link = folder.path() / "config" / "quillon-player.conf";
    std::filesystem::create_symlink("../dotfiles/quillon-player.conf", link);

    EXPECT_EQ(replaceFileContents(link.string(), "new"), std::nullopt);
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(fileBytes(target), "new");
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0640u);

    // Missing folders are made, for the user alone.
    const auto nested = folder.path() / "state" / "quillon-player" / "windows.cbor";
    EXPECT_EQ(replaceFileContents(nested.string(), oldState), std::nullopt);
    EXPECT_EQ(fileBytes(nested), oldState);
    ASSERT_EQ(::stat(nested.parent_path().c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0700u);
}

TEST(AtomicFileWriter, AFileItsOwnerMadeReadOnlyIsNotReplaced) {
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root may write any file, so no file is read-only to it";
    }
    ScratchFolder folder("quillon-read-only-file");
    const std::string path = folder / "quillon-player.conf";
    { std::ofstream(path) << "kept as the user wants it"; }
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    const auto failure = replaceFileContents(path, "changed");
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->error, EACCES);
    EXPECT_EQ(fileBytes(path), "kept as the user wants it");
}
