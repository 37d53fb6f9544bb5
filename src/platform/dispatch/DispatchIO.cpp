#include "platform/dispatch/DispatchIO.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>

#include "platform/dispatch/DispatchQueue.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Log.h"

namespace platform {

struct DispatchIO::ReadOperation {
    std::shared_ptr<DispatchQueue> queue;
    IOHandler handler;
    // The rest is guarded by the channel's mutex.
    std::deque<Delivery> pending;
    // A block that hands pending deliveries to the handler is queued or running. One at a time,
    // so the handler sees the chunks in order even on a concurrent queue.
    bool delivering = false;
    // The final delivery is posted; nothing more will be.
    bool finished = false;
};

std::shared_ptr<DispatchIO> DispatchIO::make(StreamType type, int fileDescriptor,
                                             DispatchQueue& queue, CleanupHandler cleanupHandler) {
    return std::make_shared<DispatchIO>(Passkey{}, type, fileDescriptor, queue,
                                        std::move(cleanupHandler));
}

DispatchIO::DispatchIO(Passkey, StreamType type, int fileDescriptor, DispatchQueue& queue,
                       CleanupHandler cleanupHandler)
    : type_(type),
      fileDescriptor_(fileDescriptor),
      queue_(queue.shared_from_this()),
      cleanupHandler_(std::move(cleanupHandler)),
      wakeDescriptor_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)),
      ioQueue_(DispatchQueue::makeSerial("Dispatch I/O", DispatchQoS::utility)) {
    if (wakeDescriptor_ < 0) {
        logWarning("DispatchIO: eventfd failed ({}); a stop cannot interrupt a wait for data",
                   std::strerror(errno));
    }
}

DispatchIO::~DispatchIO() {
    if (!closed_) {
        scheduleCleanup();
    }
    // Every read holds the channel, so none is running: the I/O thread is idle and ends here.
    ioQueue_.reset();
    if (wakeDescriptor_ >= 0) {
        ::close(wakeDescriptor_);
    }
}

void DispatchIO::setHighWater(std::size_t bytes) {
    precondition(bytes > 0, "DispatchIO's high-water mark must be at least one byte");
    std::lock_guard lock(mutex_);
    highWater_ = bytes;
}

void DispatchIO::read(off_t offset, std::size_t length, DispatchQueue& queue, IOHandler handler) {
    auto operation = std::make_shared<ReadOperation>();
    operation->queue = queue.shared_from_this();
    operation->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    if (closed_) {
        post(operation, Delivery{true, {}, ECANCELED});
        return;
    }
    activeReads_.push_back(operation);
    const std::size_t chunkSize = highWater_ > 0 ? highWater_ : defaultChunkSize;
    ioQueue_->async([self = shared_from_this(), operation, offset, length, chunkSize] {
        self->performRead(operation, offset, length, chunkSize);
    });
}

void DispatchIO::close(CloseFlags flags) {
    std::lock_guard lock(mutex_);
    if (flags == CloseFlags::stop && !stopped_) {
        stopped_ = true;
        auto reads = std::move(activeReads_);
        activeReads_.clear();
        for (const auto& operation : reads) {
            operation->pending.clear();
            post(operation, Delivery{true, {}, ECANCELED});
        }
        condition_.notify_all();
        if (wakeDescriptor_ >= 0) {
            const std::uint64_t one = 1;
            (void)::write(wakeDescriptor_, &one, sizeof one);
        }
    }
    if (!closed_) {
        closed_ = true;
        // Behind every read on the I/O queue: by the time it runs, none touches the descriptor.
        ioQueue_->async([self = shared_from_this()] { self->scheduleCleanup(); });
    }
}

void DispatchIO::scheduleCleanup() {
    if (cleanupHandler_) {
        queue_->async([handler = std::move(cleanupHandler_)] { handler(0); });
    }
}

bool DispatchIO::waitUntilReadable() const {
    pollfd descriptors[2] = {{fileDescriptor_, POLLIN, 0}, {wakeDescriptor_, POLLIN, 0}};
    const nfds_t count = wakeDescriptor_ >= 0 ? 2 : 1;
    for (;;) {
        // The writer at the other end, or close(stop), ends this wait.
        const int ready = ::poll(descriptors, count, -1);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (count == 2 && (descriptors[1].revents & POLLIN) != 0) {
            return false;
        }
        // Errors and hang-ups included: the read that follows reports them.
        return true;
    }
}

void DispatchIO::performRead(const std::shared_ptr<ReadOperation>& operation, off_t offset,
                             std::size_t length, std::size_t chunkSize) {
    std::size_t remaining = length;
    off_t position = offset;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (remaining == 0) {
                post(operation, Delivery{true, {}, 0});
                return;
            }
            // The handler owns this wait (it takes chunks), and so does close(stop).
            condition_.wait(lock, [&] {
                return operation->finished || operation->pending.size() < maximumPendingChunks;
            });
            if (operation->finished) {
                return;
            }
        }
        const std::size_t wanted = std::min(chunkSize, remaining);
        auto buffer = std::make_unique_for_overwrite<std::byte[]>(wanted);
        ssize_t count = -1;
        int error = 0;
        for (;;) {
            if (type_ == StreamType::stream && !waitUntilReadable()) {
                return;  // stopped; close() posted the final delivery
            }
            count = type_ == StreamType::random
                        ? ::pread(fileDescriptor_, buffer.get(), wanted, position)
                        : ::read(fileDescriptor_, buffer.get(), wanted);
            if (count >= 0) {
                break;
            }
            if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                error = errno;
                break;
            }
        }
        std::lock_guard lock(mutex_);
        if (error != 0) {
            post(operation, Delivery{true, {}, error});
            return;
        }
        if (count == 0) {
            post(operation, Delivery{true, {}, 0});
            return;
        }
        const auto read = static_cast<std::size_t>(count);
        post(operation, Delivery{false, DispatchData::adopting(std::move(buffer), read), 0});
        remaining -= read;
        position += static_cast<off_t>(read);
    }
}

void DispatchIO::post(const std::shared_ptr<ReadOperation>& operation, Delivery delivery) {
    if (operation->finished) {
        return;
    }
    if (delivery.done) {
        operation->finished = true;
        std::erase(activeReads_, operation);
    }
    operation->pending.push_back(std::move(delivery));
    if (!operation->delivering) {
        operation->delivering = true;
        operation->queue->async(
            [self = shared_from_this(), operation] { self->deliverPending(operation); });
    }
}

void DispatchIO::deliverPending(const std::shared_ptr<ReadOperation>& operation) {
    for (;;) {
        Delivery delivery;
        {
            std::lock_guard lock(mutex_);
            if (operation->pending.empty()) {
                operation->delivering = false;
                return;
            }
            delivery = std::move(operation->pending.front());
            operation->pending.pop_front();
            condition_.notify_all();
        }
        operation->handler(delivery.done, std::move(delivery.data), delivery.error);
    }
}

}  // namespace platform
