#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "platform/dispatch/DispatchData.h"
#include "platform/dispatch/DispatchIO.h"
#include "platform/dispatch/DispatchQueue.h"
#include "platform/dispatch/DispatchSemaphore.h"
#include "platform/dispatch/DispatchTestSupport.h"

using namespace platform;
using dispatch_test::hangTimeout;

namespace {

constexpr std::size_t mebibyte = 1'048'576;

class TemporaryFile {
public:
    explicit TemporaryFile(const std::vector<std::byte>& contents) {
        std::string pattern = (std::filesystem::temp_directory_path() / "dispatch-io-XXXXXX");
        const int descriptor = mkstemp(pattern.data());
        EXPECT_GE(descriptor, 0);
        ::close(descriptor);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(contents.data()),
                   static_cast<std::streamsize>(contents.size()));
    }
    ~TemporaryFile() { std::filesystem::remove(path_); }
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::vector<std::byte> patternBytes(std::size_t size) {
    std::vector<std::byte> bytes(size);
    std::uint32_t state = 12345;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<std::byte>(state >> 24);
    }
    return bytes;
}

// Everything the handler was given, in order, checked on the handler's queue.
struct Recording {
    std::mutex mutex;
    std::vector<std::size_t> chunkSizes;
    std::vector<std::byte> bytes;
    int doneCalls = 0;
    int deliveriesAfterDone = 0;
    int error = -1;
    DispatchSemaphore finished;
    DispatchSemaphore cleanedUp;

    DispatchIO::IOHandler handler(std::function<void()> onFirstChunk = nullptr) {
        return [this, onFirstChunk](bool done, DispatchData data, int errorCode) {
            std::lock_guard lock(mutex);
            if (doneCalls > 0) {
                ++deliveriesAfterDone;
            }
            for (std::span<const std::byte> region : data) {
                bytes.insert(bytes.end(), region.begin(), region.end());
            }
            if (!data.empty()) {
                chunkSizes.push_back(data.size());
                if (chunkSizes.size() == 1 && onFirstChunk) {
                    onFirstChunk();
                }
            }
            if (done) {
                ++doneCalls;
                error = errorCode;
                finished.signal();
            }
        };
    }
};

}  // namespace

TEST(DispatchIO, ReadsAWholeFileInChunksOfAtMostTheHighWaterMark) {
    const auto contents = patternBytes(5 * mebibyte + 12345);
    TemporaryFile file(contents);
    const int descriptor = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    auto queue = DispatchQueue::makeSerial("Encoding Detection");
    Recording recording;
    auto channel = DispatchIO::make(DispatchIO::StreamType::stream, descriptor, *queue,
                                    [&recording, descriptor](int error) {
                                        EXPECT_EQ(error, 0);
                                        ::close(descriptor);
                                        recording.cleanedUp.signal();
                                    });
    channel->setHighWater(mebibyte);
    channel->read(0, SIZE_MAX, *queue, recording.handler([&] {
        // The handler runs on the queue it was given, never on the reading thread.
        EXPECT_TRUE(queue->isCurrent());
    }));
    ASSERT_EQ(recording.finished.wait(hangTimeout), DispatchTimeoutResult::success);
    channel->close();
    ASSERT_EQ(recording.cleanedUp.wait(hangTimeout), DispatchTimeoutResult::success);

    queue->sync([&] {
        EXPECT_EQ(recording.error, 0);
        EXPECT_EQ(recording.doneCalls, 1);
        EXPECT_EQ(recording.deliveriesAfterDone, 0);
        EXPECT_GE(recording.chunkSizes.size(), 6u);
        for (const std::size_t size : recording.chunkSizes) {
            EXPECT_LE(size, mebibyte);
        }
        EXPECT_TRUE(recording.bytes == contents);
    });
}

TEST(DispatchIO, EmptyFileGivesOneFinalDelivery) {
    TemporaryFile file({});
    const int descriptor = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    auto queue = DispatchQueue::makeSerial("Empty");
    Recording recording;
    {
        auto channel = DispatchIO::make(DispatchIO::StreamType::stream, descriptor, *queue,
                                        [&recording, descriptor](int) {
                                            ::close(descriptor);
                                            recording.cleanedUp.signal();
                                        });
        channel->read(0, SIZE_MAX, *queue, recording.handler());
        ASSERT_EQ(recording.finished.wait(hangTimeout), DispatchTimeoutResult::success);
    }  // let go without close: the cleanup handler still runs
    ASSERT_EQ(recording.cleanedUp.wait(hangTimeout), DispatchTimeoutResult::success);
    queue->sync([&] {
        EXPECT_EQ(recording.doneCalls, 1);
        EXPECT_EQ(recording.error, 0);
        EXPECT_TRUE(recording.chunkSizes.empty());
    });
}

TEST(DispatchIO, StopMidReadEndsWithOneCancelledDelivery) {
    // Far more chunks than the reader may run ahead of the handler, so the read cannot have
    // finished when the first chunk arrives.
    const auto contents = patternBytes(16 * mebibyte);
    TemporaryFile file(contents);
    const int descriptor = ::open(file.path().c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(descriptor, 0);
    auto queue = DispatchQueue::makeSerial("Stopping");
    Recording recording;
    std::shared_ptr<DispatchIO> channel = DispatchIO::make(
        DispatchIO::StreamType::stream, descriptor, *queue, [&recording, descriptor](int) {
            ::close(descriptor);
            recording.cleanedUp.signal();
        });
    channel->setHighWater(mebibyte);
    channel->read(0, SIZE_MAX, *queue,
                  recording.handler([&] { channel->close(DispatchIO::CloseFlags::stop); }));
    ASSERT_EQ(recording.finished.wait(hangTimeout), DispatchTimeoutResult::success);
    ASSERT_EQ(recording.cleanedUp.wait(hangTimeout), DispatchTimeoutResult::success);

    // A read on the closed channel only gets its final call.
    Recording late;
    channel->read(0, SIZE_MAX, *queue, late.handler());
    ASSERT_EQ(late.finished.wait(hangTimeout), DispatchTimeoutResult::success);
    channel.reset();

    queue->sync([&] {
        EXPECT_EQ(recording.error, ECANCELED);
        EXPECT_EQ(recording.doneCalls, 1);
        EXPECT_EQ(recording.deliveriesAfterDone, 0);
        EXPECT_EQ(recording.chunkSizes.size(), 1u);
        EXPECT_TRUE(std::equal(recording.bytes.begin(), recording.bytes.end(), contents.begin()));
        EXPECT_EQ(late.error, ECANCELED);
        EXPECT_TRUE(late.chunkSizes.empty());
    });
}

TEST(DispatchIO, StopEndsAWaitForDataThatNeverComes) {
    int pipeEnds[2];
    ASSERT_EQ(::pipe2(pipeEnds, O_CLOEXEC), 0);
    auto queue = DispatchQueue::makeSerial("Pipe");
    Recording recording;
    auto channel = DispatchIO::make(DispatchIO::StreamType::stream, pipeEnds[0], *queue,
                                    [&recording, pipeEnds](int) {
                                        ::close(pipeEnds[0]);
                                        recording.cleanedUp.signal();
                                    });
    const std::byte greeting[] = {std::byte{'h'}, std::byte{'i'}};
    ASSERT_EQ(::write(pipeEnds[1], greeting, sizeof greeting), 2);
    // The first chunk proves the reader is in its loop; the writer then stays silent.
    channel->read(0, SIZE_MAX, *queue, recording.handler([&] {
        DispatchQueue::global().async([channel] { channel->close(DispatchIO::CloseFlags::stop); });
    }));
    ASSERT_EQ(recording.finished.wait(hangTimeout), DispatchTimeoutResult::success);
    ASSERT_EQ(recording.cleanedUp.wait(hangTimeout), DispatchTimeoutResult::success);
    ::close(pipeEnds[1]);
    queue->sync([&] {
        EXPECT_EQ(recording.error, ECANCELED);
        EXPECT_EQ(recording.doneCalls, 1);
        EXPECT_EQ(recording.bytes.size(), 2u);
    });
}

TEST(DispatchData, RegionsAreSharedAcrossConcatenationAndSubranges) {
    const DispatchData empty;
    EXPECT_EQ(empty.regionCount(), 0u);
    EXPECT_EQ(empty.begin(), empty.end());
    EXPECT_EQ(DispatchData::copying({}).regionCount(), 0u);

    const auto first = patternBytes(10);
    const auto second = patternBytes(7);
    const auto a = DispatchData::copying(first);
    const auto b = DispatchData::copying(second);
    const auto joined = a.concatenated(empty).concatenated(b);
    EXPECT_EQ(joined.size(), 17u);
    ASSERT_EQ(joined.regionCount(), 2u);
    // No copy: the joined data's regions are the originals' bytes.
    EXPECT_EQ((*joined.begin()).data(), (*a.begin()).data());

    const auto middle = joined.subdata(8, 5);
    ASSERT_EQ(middle.regionCount(), 2u);
    std::vector<std::byte> expected(first.begin() + 8, first.end());
    expected.insert(expected.end(), second.begin(), second.begin() + 3);
    EXPECT_EQ(middle.bytes(), expected);
    EXPECT_EQ(joined.subdata(15, 100).size(), 2u);
    EXPECT_TRUE(joined.subdata(17, 1).empty());
}
