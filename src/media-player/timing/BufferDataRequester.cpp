#include "media-player/timing/BufferDataRequester.h"

#include <utility>

#include "platform/foundation/FatalError.h"

namespace quillon {

struct BufferDataRequester::Internals : std::enable_shared_from_this<Internals> {
    Internals(std::int64_t low, std::int64_t high, std::int64_t count)
        : serialQueue(platform::DispatchQueue::makeSerial("Buffer Data Requester Queue")),
          lowWaterMark(low),
          highWaterMark(high),
          bufferCount(count) {}

    // Every field below is touched only on this queue.
    std::shared_ptr<platform::DispatchQueue> serialQueue;
    std::int64_t lowWaterMark;
    std::int64_t highWaterMark;
    std::int64_t bufferCount;
    std::optional<DataProducer> dataProducer;
    bool isRequestingData = false;

    // A report at or below the low-water mark that came while a run was under way. The run may
    // already have looked at the count for the last time (a flush empties the consumer at once),
    // and no further report may ever come: the run's end has to look again. Only then, so that
    // a producer that has nothing to give is not started over and over.
    bool missedRequest = false;

    void requestDataIfNeeded() {
        if (!dataProducer || bufferCount > lowWaterMark) {
            return;
        }
        if (isRequestingData) {
            missedRequest = true;
            return;
        }
        isRequestingData = true;
        missedRequest = false;
        std::weak_ptr<Internals> weakInternals = weak_from_this();
        dataProducer->queue->async([block = dataProducer->block, weakInternals] {
            // A requester that went away before its run began has no consumer left to fill.
            if (weakInternals.expired()) {
                return;
            }
            block();
            if (const auto internals = weakInternals.lock()) {
                internals->serialQueue->async([weakInternals] {
                    if (const auto internals = weakInternals.lock()) {
                        internals->isRequestingData = false;
                        if (internals->missedRequest) {
                            internals->requestDataIfNeeded();
                        }
                    }
                });
            }
        });
    }
};

BufferDataRequester::BufferDataRequester(std::int64_t lowWaterMark, std::int64_t highWaterMark,
                                         std::int64_t bufferCount)
    : internals_(std::make_shared<Internals>(lowWaterMark, highWaterMark, bufferCount)) {
    platform::precondition(lowWaterMark < highWaterMark,
                           "The low-water mark must lie below the high-water mark.");
}

BufferDataRequester::~BufferDataRequester() = default;

void BufferDataRequester::setBufferCount(std::int64_t bufferCount) {
    internals_->serialQueue->sync([&] {
        internals_->bufferCount = bufferCount;
        internals_->requestDataIfNeeded();
    });
}

void BufferDataRequester::setDataProducer(std::optional<DataProducer> dataProducer) {
    if (dataProducer) {
        platform::precondition(dataProducer->queue != nullptr && dataProducer->block != nullptr,
                               "A data producer needs a queue and a block.");
    }
    std::optional<DataProducer> old;
    internals_->serialQueue->sync([&] {
        old = std::exchange(internals_->dataProducer, std::move(dataProducer));
        internals_->requestDataIfNeeded();
    });
    // Released outside the queue: the old work may hold the last reference to its owner's
    // state, whose destructor may in turn talk to this requester.
}

bool BufferDataRequester::needsMoreData() const {
    return internals_->serialQueue->sync(
        [&] { return internals_->bufferCount < internals_->highWaterMark; });
}

}  // namespace quillon
