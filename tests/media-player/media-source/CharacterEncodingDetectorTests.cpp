#include <gtest/gtest.h>

#include <fcntl.h>
#include <iconv.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <thread>

#include "EncodingSampleTexts.h"
#include "SubtitleFolderTree.h"
#include "media-player/media-source/CharacterEncodingDetector.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/foundation/Error.h"

using namespace quillon;
namespace samples = quillon::test::samples;
using quillon::test::SubtitleFolderTree;

namespace {

constexpr auto hangTimeout = std::chrono::seconds(30);
constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

std::span<const std::byte> bytesOf(std::string_view text) {
    return std::as_bytes(std::span(text.data(), text.size()));
}

// What a subtitles decoder shows: the text in UTF-8, without a leading byte-order mark.
std::optional<std::string> decode(std::string_view bytes, const std::string& characterSet) {
    auto text = quillon::test::convertWithIconv(bytes, characterSet, "UTF-8");
    if (text && text->starts_with(byteOrderMark)) {
        text->erase(0, byteOrderMark.size());
    }
    return text;
}

// Everything a file detection reported, for waiting on and checking.
struct DetectionReport {
    std::mutex mutex;
    int calls = 0;
    std::optional<std::string> characterSet;
    platform::DispatchSemaphore done;

    CharacterEncodingDetector::Completion completion() {
        return [this](std::optional<std::string> result) {
            {
                std::lock_guard lock(mutex);
                ++calls;
                characterSet = std::move(result);
            }
            done.signal();
        };
    }
    bool wait() { return done.wait(hangTimeout) == platform::DispatchTimeoutResult::success; }
};

class FileDetectionTest : public ::testing::Test {
protected:
    // The completion has run: let anything still queued behind it run too, so that a second
    // report would be seen.
    void settle() {
        deliveryQueue->sync([] {});
        completionQueue->sync([] {});
    }

    std::shared_ptr<platform::DispatchQueue> deliveryQueue =
        platform::DispatchQueue::makeSerial("Encoding Detection Delivery Queue");
    std::shared_ptr<platform::DispatchQueue> completionQueue =
        platform::DispatchQueue::makeSerial("Encoding Detection Completion Queue");
    SubtitleFolderTree tree;
};

struct EncodingCase {
    const char* name;
    const char* encoding;  // as iconv names it
    std::string_view text;
    std::string_view prefix = {};
};

void PrintTo(const EncodingCase& encodingCase, std::ostream* stream) {
    *stream << encodingCase.name;
}

class EncodingRoundTripTest : public FileDetectionTest,
                              public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(EncodingRoundTripTest, DetectsAnEncodingThatGivesBackTheText) {
    const auto& parameters = GetParam();
    const auto encoded =
        quillon::test::convertWithIconv(parameters.text, "UTF-8", parameters.encoding);
    ASSERT_TRUE(encoded) << "iconv can't write the sample in " << parameters.encoding;
    const std::string bytes = std::string(parameters.prefix) + *encoded;

    const auto detected = CharacterEncodingDetector::detect(bytesOf(bytes));
    ASSERT_TRUE(detected) << "nothing detected for " << parameters.encoding;
    RecordProperty("detected", *detected);
    EXPECT_EQ(decode(bytes, *detected), parameters.text)
        << parameters.encoding << " was detected as " << *detected;

    // The same bytes in many small regions, as packets would bring them.
    platform::DispatchData regions;
    for (std::size_t offset = 0; offset < bytes.size(); offset += 97) {
        regions = regions.concatenated(
            platform::DispatchData::copying(bytesOf(std::string_view(bytes).substr(offset, 97))));
    }
    EXPECT_EQ(CharacterEncodingDetector::detect(regions), detected);

    // And read from a file.
    tree.file("subtitles.srt", bytes);
    DetectionReport report;
    (void)CharacterEncodingDetector::detect(tree.url("subtitles.srt"), *deliveryQueue,
                                            *completionQueue, report.completion());
    ASSERT_TRUE(report.wait());
    EXPECT_EQ(report.characterSet, detected);
}

INSTANTIATE_TEST_SUITE_P(
    SubtitleTexts, EncodingRoundTripTest,
    ::testing::Values(EncodingCase{"UTF8", "UTF-8", samples::czech},
                      EncodingCase{"UTF8WithByteOrderMark", "UTF-8", samples::russian,
                                   byteOrderMark},
                      EncodingCase{"UTF16LittleEndian", "UTF-16LE", samples::japanese, "\xFF\xFE"},
                      EncodingCase{"UTF16BigEndian", "UTF-16BE", samples::french, "\xFE\xFF"},
                      EncodingCase{"Windows1250", "WINDOWS-1250", samples::czech},
                      EncodingCase{"Windows1251", "WINDOWS-1251", samples::russian},
                      EncodingCase{"Windows1252", "WINDOWS-1252", samples::french},
                      EncodingCase{"ISO8859_2", "ISO-8859-2", samples::czech},
                      EncodingCase{"KOI8R", "KOI8-R", samples::russian},
                      EncodingCase{"ShiftJIS", "SHIFT_JIS", samples::japanese},
                      EncodingCase{"GB18030", "GB18030", samples::simplifiedChinese},
                      EncodingCase{"Big5", "BIG5", samples::traditionalChinese},
                      EncodingCase{"EUCKR", "EUC-KR", samples::korean}),
    [](const ::testing::TestParamInfo<EncodingCase>& info) { return info.param.name; });

TEST(CharacterEncodingDetectorTest, NothingFedGivesNothing) {
    CharacterEncodingDetector detector;
    EXPECT_EQ(detector.finish(), std::nullopt);

    detector.reset();
    const std::array<std::byte, 1> storage{};
    EXPECT_TRUE(detector.analyze(std::span<const std::byte>()));
    EXPECT_TRUE(detector.analyze(std::span(storage.data(), 0)));
    EXPECT_TRUE(detector.analyze(platform::DispatchData()));
    EXPECT_EQ(detector.finish(), std::nullopt);

    EXPECT_EQ(CharacterEncodingDetector::detect(platform::DispatchData()), std::nullopt);
}

TEST(CharacterEncodingDetectorTest, ResetForgetsWhatWasFed) {
    const auto russian = quillon::test::convertWithIconv(samples::russian, "UTF-8", "WINDOWS-1251");
    const auto french = quillon::test::convertWithIconv(samples::french, "UTF-8", "WINDOWS-1252");
    ASSERT_TRUE(russian && french);

    CharacterEncodingDetector detector;
    EXPECT_TRUE(detector.analyze(bytesOf(*russian)));
    EXPECT_EQ(detector.finish(), "WINDOWS-1251");

    detector.reset();
    EXPECT_TRUE(detector.analyze(bytesOf(*french)));
    EXPECT_EQ(detector.finish(), "WINDOWS-1252");
}

TEST(CharacterEncodingDetectorDeathTest, TakingTheResultTwiceOrFeedingAfterwardsStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            CharacterEncodingDetector detector;
            (void)detector.finish();
            (void)detector.finish();
        },
        "taken twice");
    EXPECT_DEATH(
        {
            CharacterEncodingDetector detector;
            (void)detector.finish();
            (void)detector.analyze(bytesOf("more"));
        },
        "fed after its result was taken");
}

TEST_F(FileDetectionTest, AnEmptyFileReportsNothingOnce) {
    tree.file("empty.srt");
    DetectionReport report;
    (void)CharacterEncodingDetector::detect(tree.url("empty.srt"), *deliveryQueue, *completionQueue,
                                            report.completion());
    ASSERT_TRUE(report.wait());
    settle();
    std::lock_guard lock(report.mutex);
    EXPECT_EQ(report.calls, 1);
    EXPECT_EQ(report.characterSet, std::nullopt);
}

TEST_F(FileDetectionTest, ReadsAFileOfManyChunksToItsEnd) {
    const auto russian = quillon::test::convertWithIconv(samples::russian, "UTF-8", "KOI8-R");
    ASSERT_TRUE(russian);
    std::string contents;
    while (contents.size() < 3 * CharacterEncodingDetector::fileReadHighWaterMark + 1000) {
        contents += *russian;
    }
    tree.file("long.srt", contents);

    DetectionReport report;
    (void)CharacterEncodingDetector::detect(tree.url("long.srt"), *deliveryQueue, *completionQueue,
                                            report.completion());
    ASSERT_TRUE(report.wait());
    settle();
    std::lock_guard lock(report.mutex);
    EXPECT_EQ(report.calls, 1);
    EXPECT_EQ(report.characterSet, "KOI8-R");
}

TEST_F(FileDetectionTest, ThrowsWhenTheFileCannotBeRead) {
    tree.folder("Folder");
    for (auto [path, code] : {std::pair{"missing.srt", ENOENT}, std::pair{"Folder", EISDIR}}) {
        try {
            (void)CharacterEncodingDetector::detect(
                tree.url(path), *deliveryQueue, *completionQueue,
                [](auto) { ADD_FAILURE() << "no detection ran"; });
            ADD_FAILURE() << path << " can't be read";
        } catch (const platform::NSError& error) {
            EXPECT_EQ(error.domain(), platform::NSPOSIXErrorDomain);
            EXPECT_EQ(error.code(), code) << path;
        }
    }
}

TEST_F(FileDetectionTest, ANonFileURLStops) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH((void)CharacterEncodingDetector::detect(
                     *platform::URL::fromString("https://example.com/a.srt"), *deliveryQueue,
                     *completionQueue, [](auto) {}),
                 "file URLs");
}

// The caller's descriptor is read from its position and stays open.
TEST_F(FileDetectionTest, ReadsAnOpenDescriptorFromItsPosition) {
    const auto french = quillon::test::convertWithIconv(samples::french, "UTF-8", "WINDOWS-1252");
    ASSERT_TRUE(french);
    // Nothing but Cyrillic before the position: read from the start, it would be detected.
    const auto russian = quillon::test::convertWithIconv(samples::russian, "UTF-8", "WINDOWS-1251");
    ASSERT_TRUE(russian);
    tree.file("mixed.srt", *russian + *french);
    const int descriptor = ::open(tree.path("mixed.srt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(::lseek(descriptor, static_cast<off_t>(russian->size()), SEEK_SET),
              static_cast<off_t>(russian->size()));

    DetectionReport report;
    (void)CharacterEncodingDetector::detect(descriptor, *deliveryQueue, *completionQueue,
                                            report.completion());
    ASSERT_TRUE(report.wait());
    EXPECT_EQ(report.characterSet, "WINDOWS-1252");
    EXPECT_NE(::fcntl(descriptor, F_GETFD), -1) << "the caller's descriptor was closed";
    ::close(descriptor);
}

class PipeDetectionTest : public FileDetectionTest {
protected:
    void SetUp() override { ASSERT_EQ(::pipe2(ends.data(), O_CLOEXEC), 0); }
    void TearDown() override {
        ::close(ends[0]);
        ::close(ends[1]);
    }
    void write(std::string_view bytes) {
        ASSERT_EQ(::write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    int unreadBytes() const {
        int count = 0;
        ::ioctl(ends[0], FIONREAD, &count);
        return count;
    }

    std::array<int, 2> ends{-1, -1};
};

// A pipe whose writer never closes it would be read forever: only the cancel ends the read.
TEST_F(PipeDetectionTest, CancellingBeforeAnyDataReportsNothingOnceAndStopsReading) {
    DetectionReport report;
    auto cancel = CharacterEncodingDetector::detect(ends[0], *deliveryQueue, *completionQueue,
                                                    report.completion());
    cancel();
    ASSERT_TRUE(report.wait());
    settle();
    cancel();
    settle();
    {
        std::lock_guard lock(report.mutex);
        EXPECT_EQ(report.calls, 1);
        EXPECT_EQ(report.characterSet, std::nullopt);
    }
    // The channel is closed: what is written now stays in the pipe.
    write("later");
    EXPECT_EQ(unreadBytes(), 5);
}

TEST_F(PipeDetectionTest, CancellingReportsWhatWasReadBefore) {
    const auto russian = quillon::test::convertWithIconv(samples::russian, "UTF-8", "WINDOWS-1251");
    ASSERT_TRUE(russian);
    DetectionReport report;
    auto cancel = CharacterEncodingDetector::detect(ends[0], *deliveryQueue, *completionQueue,
                                                    report.completion());
    write(*russian);
    // Wait until the channel has taken the bytes and handed them over; its reader then waits
    // for more data that never comes.
    const auto deadline = std::chrono::steady_clock::now() + hangTimeout;
    while (unreadBytes() > 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(unreadBytes(), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    deliveryQueue->sync([] {});
    {
        std::lock_guard lock(report.mutex);
        EXPECT_EQ(report.calls, 0) << "the read of a pipe that stays open can't end by itself";
    }

    cancel();
    ASSERT_TRUE(report.wait());
    settle();
    std::lock_guard lock(report.mutex);
    EXPECT_EQ(report.calls, 1);
    EXPECT_EQ(report.characterSet, "WINDOWS-1251");
}

}  // namespace
