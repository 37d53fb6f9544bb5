#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/dispatch/DispatchData.h"

namespace platform {

class DispatchQueue;

// A channel that reads a file descriptor in chunks on a thread of its own and hands each chunk to
// a handler on the caller's queue.
//
// read() delivers handler(false, chunk, 0) for every chunk of at most the high-water mark, in
// order, then exactly one handler(true, {}, error) -- error 0 at the end of the file or once
// `length` bytes were read, else the errno of the failed read. Nothing is delivered after that
// final call. The channel does not own the descriptor: the cleanup handler runs on the channel's
// queue once the channel is closed (or let go) and no read touches the descriptor any more, and
// that is where the caller closes it.
class DispatchIO : public std::enable_shared_from_this<DispatchIO> {
    struct Passkey {};

public:
    enum class StreamType {
        // Reads from the descriptor's current position; the read offset is ignored. Waits for
        // readability, so pipes work, and close(stop) ends a wait for data that never comes.
        stream,
        // Reads at the given offset with pread.
        random,
    };
    enum class CloseFlags { none, stop };

    using CleanupHandler = std::function<void(int error)>;
    using IOHandler = std::function<void(bool done, DispatchData data, int error)>;

    // The chunk size while no high-water mark is set.
    static constexpr std::size_t defaultChunkSize = 1 << 20;
    // Chunks read ahead of a slow handler before the reader waits for it.
    static constexpr std::size_t maximumPendingChunks = 4;

    static std::shared_ptr<DispatchIO> make(StreamType type, int fileDescriptor,
                                            DispatchQueue& queue, CleanupHandler cleanupHandler);

    DispatchIO(Passkey, StreamType type, int fileDescriptor, DispatchQueue& queue,
               CleanupHandler cleanupHandler);
    ~DispatchIO();
    DispatchIO(const DispatchIO&) = delete;
    DispatchIO& operator=(const DispatchIO&) = delete;

    int fileDescriptor() const { return fileDescriptor_; }

    // The largest chunk a read delivers; applies to reads started afterwards.
    void setHighWater(std::size_t bytes);

    // Reads up to `length` bytes (SIZE_MAX: to the end). A read on a closed channel delivers
    // only the final call, with ECANCELED.
    void read(off_t offset, std::size_t length, DispatchQueue& queue, IOHandler handler);

    // Without flags, reads in progress run to their end. With stop they end at once: each gets
    // its final call with ECANCELED, and chunks not yet handed over are dropped.
    void close(CloseFlags flags = CloseFlags::none);

private:
    struct Delivery {
        bool done = false;
        DispatchData data;
        int error = 0;
    };
    struct ReadOperation;

    void performRead(const std::shared_ptr<ReadOperation>& operation, off_t offset,
                     std::size_t length, std::size_t chunkSize);
    // False once close(stop) interrupted the wait.
    bool waitUntilReadable() const;
    // Both with mutex_ held.
    void post(const std::shared_ptr<ReadOperation>& operation, Delivery delivery);
    void scheduleCleanup();
    void deliverPending(const std::shared_ptr<ReadOperation>& operation);

    const StreamType type_;
    const int fileDescriptor_;
    const std::shared_ptr<DispatchQueue> queue_;
    CleanupHandler cleanupHandler_;
    // Wakes a reader waiting for readability when the channel is stopped.
    int wakeDescriptor_ = -1;
    std::shared_ptr<DispatchQueue> ioQueue_;

    std::mutex mutex_;
    // Signalled when a handler took a chunk or the channel stopped: the reader's wait for room.
    std::condition_variable condition_;
    std::vector<std::shared_ptr<ReadOperation>> activeReads_;
    std::size_t highWater_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
};

}  // namespace platform
