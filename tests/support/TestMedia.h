#pragma once

#include <filesystem>
#include <source_location>
#include <stdexcept>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#ifndef QUILLON_TEST_MEDIA_DIR
#error "QUILLON_TEST_MEDIA_DIR is defined by quillon_add_test for test targets"
#endif

namespace quillon::test {

// Thrown after the failure is recorded, so that the test stops where the missing file is asked
// for, whatever the calling function returns.
class MissingTestMedia : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The folder tests/media/make-test-media writes into (the make_test_media fixture).
inline std::filesystem::path mediaDirectory() {
    return std::filesystem::path(QUILLON_TEST_MEDIA_DIR);
}

// The full path of a generated media file. A missing file is a failure, never a skip: the
// fixture must make every file a test names, and a silent skip would hide that it did not.
inline std::string mediaPath(std::string_view name,
                             std::source_location where = std::source_location::current()) {
    std::filesystem::path path = mediaDirectory() / name;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) == 0) {
        std::string message = "Test media file missing: " + path.string() +
                              " (run the make_test_media test, or declare this test with MEDIA, "
                              "or add the file to tests/media/make-test-media)";
        ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line())) << message;
        throw MissingTestMedia(message);
    }
    return path.string();
}

}  // namespace quillon::test
