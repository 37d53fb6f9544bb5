#pragma once

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "media-player/media-source/MediaSource.h"
#include "platform/corevideo/CVPixelBuffer.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/URL.h"
// Subtitles tracks make ASS decoders, which look up fonts.
#include "support/GuiApplicationEnvironment.h"
#include "support/TestMedia.h"

namespace quillon::test {

inline platform::URL mediaURL(std::string_view name) {
    return platform::URL::fileURL(mediaPath(name));
}

// Whether this process has a descriptor open on the file at `path`.
inline bool processHasFileOpen(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path target = fs::canonical(path, error);
    if (error) {
        return false;
    }
    for (const auto& entry : fs::directory_iterator("/proc/self/fd", error)) {
        std::error_code linkError;
        if (fs::read_symlink(entry.path(), linkError) == target && !linkError) {
            return true;
        }
    }
    return false;
}

// What one MediaSource::load reported, collected from the queues it answers on.
struct LoadOutcome {
    int completionCount = 0;
    int failureCount = 0;
    std::shared_ptr<MediaSource> source;
    std::optional<MediaSourceLoadError> error;
};

// Loads `url` and waits for the first answer, then a little longer for a second one that must
// never come. A hang is reported as a failure rather than blocking the suite.
inline LoadOutcome loadAndWait(
    const platform::URL& url,
    std::shared_ptr<const SiblingSubtitlesScanner> scanner = SiblingSubtitlesScanner::standard()) {
    struct Shared {
        std::mutex mutex;
        LoadOutcome outcome;
    };
    auto shared = std::make_shared<Shared>();
    const platform::DispatchSemaphore answered;
    MediaSource::load(
        url,
        [shared, answered](std::shared_ptr<MediaSource> source) {
            {
                std::lock_guard lock(shared->mutex);
                ++shared->outcome.completionCount;
                shared->outcome.source = std::move(source);
            }
            answered.signal();
        },
        [shared, answered](const MediaSourceLoadError& error) {
            {
                std::lock_guard lock(shared->mutex);
                ++shared->outcome.failureCount;
                shared->outcome.error = error;
            }
            answered.signal();
        },
        std::move(scanner));
    EXPECT_EQ(answered.wait(std::chrono::seconds(60)), platform::DispatchTimeoutResult::success)
        << "load never answered";
    // A second answer would come from the group notification right after the first.
    (void)answered.wait(std::chrono::milliseconds(200));
    std::lock_guard lock(shared->mutex);
    return shared->outcome;
}

// Visible bytes of every plane alike (row padding is not compared).
inline bool samePixels(const platform::CVPixelBufferRef& a, const platform::CVPixelBufferRef& b) {
    using namespace platform;
    if (CVPixelBufferGetPixelFormatType(a) != CVPixelBufferGetPixelFormatType(b) ||
        CVPixelBufferGetWidth(a) != CVPixelBufferGetWidth(b) ||
        CVPixelBufferGetHeight(a) != CVPixelBufferGetHeight(b)) {
        return false;
    }
    const CVPixelFormatLayout& layout = *a->geometry().layout;
    const std::size_t planes = CVPixelBufferIsPlanar(a) ? CVPixelBufferGetPlaneCount(a) : 1;
    for (std::size_t plane = 0; plane < planes; ++plane) {
        const auto& pa = a->geometry().planes[plane];
        const auto& pb = b->geometry().planes[plane];
        const CVPixelFormatPlaneLayout& planeLayout = layout.planes[plane];
        const std::size_t rowBytes = (pa.width + planeLayout.blockWidth - 1) /
                                     planeLayout.blockWidth * planeLayout.bytesPerBlock();
        for (std::size_t row = 0; row < pa.height; ++row) {
            if (std::memcmp(a->baseAddressOfPlane(plane) + row * pa.bytesPerRow,
                            b->baseAddressOfPlane(plane) + row * pb.bytesPerRow, rowBytes) != 0) {
                return false;
            }
        }
    }
    return true;
}

// A fixture whose suite has a folder of its own, made before its first test and removed after
// its last, for the files its tests write with the ffmpeg command-line tool. Each suite that
// derives from it (by its own name) gets its own folder.
template <class Suite>
class FFmpegWrittenMediaTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string pattern = (std::filesystem::temp_directory_path() / "quillon-media-XXXXXX");
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = new std::filesystem::path(pattern);
    }

    static void TearDownTestSuite() {
        std::error_code error;
        std::filesystem::remove_all(*directory_, error);
        delete directory_;
        directory_ = nullptr;
    }

    // Runs ffmpeg with `arguments` (ending in the output format where `throughPipe`, which has
    // it write to its standard output) into `name` in the suite's folder, once; its path.
    static std::string writeWithFFmpeg(const std::string& name, const std::string& arguments,
                                       bool throughPipe) {
        const std::filesystem::path path = *directory_ / name;
        if (!std::filesystem::exists(path)) {
            const std::string target =
                throughPipe ? " pipe:1 > '" + path.string() + "'" : " '" + path.string() + "'";
            const std::string command =
                "ffmpeg -nostdin -hide_banner -loglevel error -y " + arguments + target;
            EXPECT_EQ(std::system(command.c_str()), 0) << command;
        }
        return path.string();
    }

    static inline std::filesystem::path* directory_ = nullptr;
};

}  // namespace quillon::test
