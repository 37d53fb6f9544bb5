#pragma once

#include <filesystem>
#include <optional>
#include <vector>

// Where the application's resources (translation catalogues) lie, found from the running
// executable so that no path is compiled in: an installed program finds them in
// <prefix>/share/quillon-player beside its <prefix>/bin, and a program of the build tree in the
// build tree's own share/quillon-player, a few folders up.
namespace platform {

// The folder of the running executable; none when /proc does not tell.
std::optional<std::filesystem::path> executableDirectory();

// "share/quillon-player" under the parent of `executableDirectory`, then under each folder
// further up, nearest first.
std::vector<std::filesystem::path> applicationResourceDirectories(
    const std::filesystem::path& executableDirectory);
// The same for the running executable (empty when its folder is unknown).
std::vector<std::filesystem::path> applicationResourceDirectories();

// The first of `candidates` that holds the folder `name`, joined with it.
std::optional<std::filesystem::path> findResourceDirectory(
    const std::vector<std::filesystem::path>& candidates, const std::filesystem::path& name);

}  // namespace platform
