// The main program of a fuzz target outside libFuzzer: runs each file named on the command line
// (a folder: each regular file in it, in name order) once through LLVMFuzzerTestOneInput, after
// LLVMFuzzerInitialize when the target has one. Used by the tests that replay the committed
// corpora; a crash names the file it was running on standard error.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::filesystem::path> inputFiles(int argc, char** argv) {
    std::vector<std::filesystem::path> files;
    for (int index = 1; index < argc; ++index) {
        const std::filesystem::path argument = argv[index];
        if (!std::filesystem::is_directory(argument)) {
            files.push_back(argument);
            continue;
        }
        std::vector<std::filesystem::path> entries;
        for (const auto& entry : std::filesystem::directory_iterator(argument)) {
            if (entry.is_regular_file()) {
                entries.push_back(entry.path());
            }
        }
        std::sort(entries.begin(), entries.end());
        files.insert(files.end(), entries.begin(), entries.end());
    }
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::filesystem::path> files = inputFiles(argc, argv);
    if (files.empty()) {
        std::fprintf(stderr, "usage: %s FILE-OR-FOLDER... (no input files found)\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize != nullptr) {
        LLVMFuzzerInitialize(&argc, &argv);
    }
    for (const std::filesystem::path& file : files) {
        // libFuzzer hands over a buffer of exactly the input's size; so does this one, so that
        // a read past the end is a read past the buffer.
        std::error_code error;
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        std::vector<std::uint8_t> input(error ? 0 : size);
        std::ifstream stream(file, std::ios::binary);
        if (error || !stream.read(reinterpret_cast<char*>(input.data()),
                                  static_cast<std::streamsize>(input.size()))) {
            std::fprintf(stderr, "cannot read %s\n", file.c_str());
            return 1;
        }
        std::fprintf(stderr, "replaying %s (%zu bytes)\n", file.c_str(), input.size());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::fprintf(stderr, "replayed %zu inputs\n", files.size());
    return 0;
}
