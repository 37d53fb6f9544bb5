#include "platform/foundation/ApplicationResources.h"

#include <system_error>

namespace platform {

std::optional<std::filesystem::path> executableDirectory() {
    std::error_code error;
    const auto executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || executable.empty()) {
        return std::nullopt;
    }
    return executable.parent_path();
}

std::vector<std::filesystem::path> applicationResourceDirectories(
    const std::filesystem::path& executableDirectory) {
    std::vector<std::filesystem::path> candidates;
    std::filesystem::path folder = executableDirectory.lexically_normal();
    // Deep enough for the build tree's test programs, short of wandering over the whole disk.
    for (int level = 0; level < 6 && folder.has_relative_path(); ++level) {
        folder = folder.parent_path();
        candidates.push_back(folder / "share" / "quillon-player");
    }
    return candidates;
}

std::vector<std::filesystem::path> applicationResourceDirectories() {
    const auto directory = executableDirectory();
    if (!directory) {
        return {};
    }
    return applicationResourceDirectories(*directory);
}

std::optional<std::filesystem::path> findResourceDirectory(
    const std::vector<std::filesystem::path>& candidates, const std::filesystem::path& name) {
    for (const auto& candidate : candidates) {
        std::error_code error;
        const auto directory = candidate / name;
        if (std::filesystem::is_directory(directory, error)) {
            return directory;
        }
    }
    return std::nullopt;
}

}  // namespace platform
