#pragma once

#include <memory>
#include <string>

#include "platform/dispatch/DispatchBlock.h"
#include "platform/dispatch/DispatchQoS.h"

namespace platform::detail {

class QueueCore;

// What a thread is running on behalf of: one frame per queue whose block (or sync section) it is
// executing, innermost first. `waiter` links to the frames of another thread that is blocked in
// a sync until this block returns, because that thread's queues are held too.
struct ExecutionFrame {
    const QueueCore* queue = nullptr;
    const ExecutionFrame* outer = nullptr;
    const ExecutionFrame* waiter = nullptr;
};

const ExecutionFrame* currentExecutionFrame();

// True when the calling thread runs on the queue, directly or through nested syncs.
bool isExecutingOn(const QueueCore* queue);

class ScopedExecution {
public:
    explicit ScopedExecution(const QueueCore* queue, const ExecutionFrame* waiter = nullptr);
    ~ScopedExecution();
    ScopedExecution(const ScopedExecution&) = delete;
    ScopedExecution& operator=(const ScopedExecution&) = delete;

private:
    ExecutionFrame frame_;
};

// A non-owning reference to the work of a sync: the caller's callable stays on its stack.
struct SyncWork {
    void (*invoke)(void* context) = nullptr;
    void* context = nullptr;
    void operator()() const { invoke(context); }
};

// The machinery behind one DispatchQueue: serial, concurrent (global) or main.
class QueueCore : public std::enable_shared_from_this<QueueCore> {
public:
    QueueCore(std::string label, DispatchQoS qos) : label_(std::move(label)), qos_(qos) {}
    virtual ~QueueCore() = default;
    QueueCore(const QueueCore&) = delete;
    QueueCore& operator=(const QueueCore&) = delete;

    const std::string& label() const { return label_; }
    DispatchQoS qos() const { return qos_; }

    virtual void enqueue(DispatchBlock block) = 0;
    // Runs the work with the queue's guarantees and returns once it has run.
    virtual void runSync(SyncWork work) = 0;
    // The queue's owner let go of it: finish what is queued, then release the thread.
    virtual void shutdown() {}
    // True when the calling thread belongs to the queue even outside any block (the GUI thread
    // for the main queue).
    virtual bool ownsCurrentThread() const { return false; }

protected:
    // Runs a block whose failure has nobody to report to: an escaping exception stops the process
    // with the queue's label, rather than terminating without a word.
    void invokeBlock(DispatchBlock& block) const;

    // Stops the process when a sync from this thread could never be served.
    void checkSyncWouldNotDeadlock() const;

private:
    const std::string label_;
    const DispatchQoS qos_;
};

}  // namespace platform::detail
