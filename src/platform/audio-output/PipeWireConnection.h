#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct pw_thread_loop;
struct pw_context;
struct pw_core;
struct pw_registry;

namespace platform {

// The sample format of a PipeWire node, as far as its formats fix it.
struct PipeWireNodeFormat {
    int sampleRate = 0;
    // SPA channel positions (SPA_AUDIO_CHANNEL_*), in the node's order; empty when not fixed.
    std::vector<std::uint32_t> positions;
};

// A connection to the session's PipeWire server, on a thread loop of its own, and what the
// server's registry says of its graph: the audio sinks, the links between nodes, the default
// sink its session manager chose and the graph's rate.
//
// Everything but connect() and the destructor is called with the loop locked (lock()), from
// any thread, or from the loop's own thread (in a handler). Handlers run on the loop's thread
// with the loop locked; they must not wait for it.
class PipeWireConnection {
public:
    struct Node {
        std::uint32_t id = 0;
        std::string name;
        std::string description;
        std::string mediaClass;
    };

    // Connects without starting a server; null when none answers, with the reason in
    // `failure`. The registry's first account is read before it returns.
    static std::unique_ptr<PipeWireConnection> connect(const char* threadName,
                                                       std::string* failure);
    ~PipeWireConnection();
    PipeWireConnection(const PipeWireConnection&) = delete;
    PipeWireConnection& operator=(const PipeWireConnection&) = delete;

    void lock();
    void unlock();

    pw_thread_loop* loop() const { return loop_; }
    pw_core* core() const { return core_; }
    // False once the server went away or refused the connection.
    bool isConnected() const { return connected_; }

    // Waits until the server has answered everything asked of it so far; false when the
    // connection broke or it took longer than the timeout.
    bool roundTrip(std::chrono::milliseconds timeout);
    // Waits, for up to the timeout, until the predicate holds (checked whenever the graph
    // changes).
    bool waitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

    std::vector<Node> audioSinks() const;
    std::optional<Node> node(std::uint32_t id) const;
    std::optional<Node> audioSinkNamed(const std::string& name) const;
    // What the session manager plays to by default (the node's name); none before it chose.
    const std::optional<std::string>& defaultSinkName() const { return defaultSinkName_; }
    // The graph's rate by the server's settings; 0 when it says none.
    int graphRate() const { return graphRate_; }
    // Whether the server handles sound at all (a server can run for pictures only, beside
    // another sound server): it has audio nodes, or its session manager chose an audio sink.
    bool handlesAudio() const;
    // The nodes that `outputNode` is linked to.
    std::vector<std::uint32_t> nodesLinkedFrom(std::uint32_t outputNode) const;
    // The sample format of a node, read from the formats it offers; none when it does not
    // answer within the timeout.
    std::optional<PipeWireNodeFormat> nodeFormat(std::uint32_t id,
                                                 std::chrono::milliseconds timeout);

    // Called when nodes, links or the default sink change.
    void setGraphChangedHandler(std::function<void()> handler);
    // Called once when the server goes away or drops the connection.
    void setDisconnectedHandler(std::function<void(const std::string& reason)> handler);

private:
    struct Callbacks;
    struct Listeners;
    struct Link {
        std::uint32_t outputNode = 0;
        std::uint32_t inputNode = 0;
    };

    PipeWireConnection();
    bool open(const char* threadName, std::string* failure);
    void graphChanged();
    void disconnected(const std::string& reason);

    pw_thread_loop* loop_ = nullptr;
    pw_context* context_ = nullptr;
    pw_core* core_ = nullptr;
    pw_registry* registry_ = nullptr;
    std::unique_ptr<Listeners> listeners_;
    bool connected_ = false;
    int pendingSync_ = -1;
    bool synced_ = false;

    std::map<std::uint32_t, Node> nodes_;
    std::map<std::uint32_t, Link> links_;
    std::optional<std::string> defaultSinkName_;
    int graphRate_ = 0;
    std::function<void()> graphChangedHandler_;
    std::function<void(const std::string&)> disconnectedHandler_;
};

}  // namespace platform
