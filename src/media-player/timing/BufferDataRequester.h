#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/dispatch/DispatchQueue.h"

namespace quillon {

// Decides when a consumer that holds a buffer of items should be refilled, and runs a producer's
// refill work on the producer's own queue, one run at a time. A run starts when the consumer
// holds lowWaterMark items or fewer; the producer is expected to keep going while
// needsMoreData() holds (fewer than highWaterMark items) or until its source ends. A run starts
// only on a report of the count or a change of producer, and once more at the end of a run
// during which the count fell to the low-water mark.
//
// It plays for a pull-driven producer (external subtitles) the part that the renderers'
// request-media-data callbacks play for video and audio. All state lives on one serial queue;
// the producer's work is only ever submitted asynchronously, never waited for, so the work may
// call needsMoreData() and the consumer may report its count from the main thread.
class BufferDataRequester {
public:
    struct DataProducer {
        std::shared_ptr<platform::DispatchQueue> queue;
        std::function<void()> block;
    };

    BufferDataRequester(std::int64_t lowWaterMark, std::int64_t highWaterMark,
                        std::int64_t bufferCount);
    ~BufferDataRequester();
    BufferDataRequester(const BufferDataRequester&) = delete;
    BufferDataRequester& operator=(const BufferDataRequester&) = delete;

    // How many items the consumer holds now; may start a run.
    void setBufferCount(std::int64_t bufferCount);

    // Installs, replaces or (with nullopt) removes the producer; may start a run. A run already
    // under way is not stopped: it finishes with the work it started with.
    void setDataProducer(std::optional<DataProducer> dataProducer);

    // True while the consumer holds fewer than highWaterMark items.
    bool needsMoreData() const;

private:
    struct Internals;
    std::shared_ptr<Internals> internals_;
};

}  // namespace quillon
