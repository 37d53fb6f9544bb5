#include "platform/audio-output/PipeWireConnection.h"

#include <pipewire/extensions/metadata.h>
#include <pipewire/pipewire.h>
#include <spa/param/audio/format.h>
#include <spa/param/param.h>
#include <spa/pod/iter.h>
#include <spa/utils/json.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <mutex>

#include "platform/foundation/FatalError.h"

namespace platform {

namespace {

// How long to wait for the server's first account of its graph.
constexpr std::chrono::milliseconds kFirstAccountTimeout{3000};

const char* lookup(const spa_dict* props, const char* key) {
    return props != nullptr ? spa_dict_lookup(props, key) : nullptr;
}

std::optional<std::uint32_t> numberOf(const char* text) {
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 10);
    if (errno != 0 || *end != '\0' || value > UINT32_MAX) {
        return std::nullopt;
    }
    return std::uint32_t(value);
}

// The "name" of a JSON object such as {"name":"alsa_output.pci-0000_00_1f.3.analog-stereo"}.
std::optional<std::string> nameInJson(const char* json) {
    if (json == nullptr) {
        return std::nullopt;
    }
    spa_json iterator;
    spa_json object;
    spa_json_init(&iterator, json, std::strlen(json));
    if (spa_json_enter_object(&iterator, &object) <= 0) {
        return std::nullopt;
    }
    char key[64];
    while (spa_json_get_string(&object, key, sizeof key) > 0) {
        char value[512];
        if (std::strcmp(key, "name") == 0) {
            if (spa_json_get_string(&object, value, sizeof value) > 0) {
                return std::string(value);
            }
            return std::nullopt;
        }
        const char* skipped = nullptr;
        if (spa_json_next(&object, &skipped) <= 0) {
            break;
        }
    }
    return std::nullopt;
}

// Ends a wait on the loop at an absolute deadline.
struct Deadline {
    explicit Deadline(pw_thread_loop* loop, std::chrono::milliseconds timeout) {
        pw_thread_loop_get_time(loop, &time,
                                std::chrono::duration_cast<std::chrono::nanoseconds>(timeout).count());
    }
    timespec time{};
};

}  // namespace

struct PipeWireConnection::Listeners {
    spa_hook core{};
    spa_hook registry{};
    struct Metadata {
        std::uint32_t id = 0;
        pw_proxy* proxy = nullptr;
        spa_hook listener{};
        PipeWireConnection* connection = nullptr;
        bool isDefault = false;
    };
    Metadata defaults;
    Metadata settings;
};

struct PipeWireConnection::Callbacks {
    static void coreInfo(void* data, const pw_core_info* info) {
        auto* self = static_cast<PipeWireConnection*>(data);
        if (info == nullptr || self->graphRate_ != 0) {
            return;
        }
        if (const auto rate = numberOf(lookup(info->props, "default.clock.rate"))) {
            self->graphRate_ = int(*rate);
        }
    }

    static void coreDone(void* data, std::uint32_t id, int seq) {
        auto* self = static_cast<PipeWireConnection*>(data);
        if (id == PW_ID_CORE && seq == self->pendingSync_) {
            self->synced_ = true;
            pw_thread_loop_signal(self->loop_, false);
        }
    }

    static void coreError(void* data, std::uint32_t id, int, int result, const char* message) {
        auto* self = static_cast<PipeWireConnection*>(data);
        // Errors of single objects (a node that went away while asked about) are not the
        // connection's.
        if (id == PW_ID_CORE && result == -EPIPE) {
            self->disconnected(message != nullptr && *message != '\0' ? message
                                                                      : "the server went away");
        }
    }

    static void global(void* data, std::uint32_t id, std::uint32_t, const char* type,
                       std::uint32_t, const spa_dict* props) {
        auto* self = static_cast<PipeWireConnection*>(data);
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0) {
            Node node;
            node.id = id;
            if (const char* name = lookup(props, PW_KEY_NODE_NAME)) {
                node.name = name;
            }
            if (const char* description = lookup(props, PW_KEY_NODE_DESCRIPTION)) {
                node.description = description;
            }
            if (const char* mediaClass = lookup(props, PW_KEY_MEDIA_CLASS)) {
                node.mediaClass = mediaClass;
            }
            self->nodes_[id] = std::move(node);
            self->graphChanged();
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Link) == 0) {
            const auto output = numberOf(lookup(props, PW_KEY_LINK_OUTPUT_NODE));
            const auto input = numberOf(lookup(props, PW_KEY_LINK_INPUT_NODE));
            if (output && input) {
                self->links_[id] = Link{*output, *input};
                self->graphChanged();
            }
        } else if (std::strcmp(type, PW_TYPE_INTERFACE_Metadata) == 0) {
            const char* name = lookup(props, PW_KEY_METADATA_NAME);
            Listeners::Metadata* metadata = nullptr;
            if (name != nullptr && std::strcmp(name, "default") == 0) {
                metadata = &self->listeners_->defaults;
            } else if (name != nullptr && std::strcmp(name, "settings") == 0) {
                metadata = &self->listeners_->settings;
            }
            if (metadata == nullptr || metadata->proxy != nullptr) {
                return;
            }
            metadata->proxy = static_cast<pw_proxy*>(pw_registry_bind(
                self->registry_, id, PW_TYPE_INTERFACE_Metadata, PW_VERSION_METADATA, 0));
            if (metadata->proxy == nullptr) {
                return;
            }
            metadata->id = id;
            metadata->connection = self;
            metadata->isDefault = metadata == &self->listeners_->defaults;
            static const pw_metadata_events events = [] {
                pw_metadata_events value{};
                value.version = PW_VERSION_METADATA_EVENTS;
                value.property = &Callbacks::metadataProperty;
                return value;
            }();
            pw_metadata_add_listener(reinterpret_cast<pw_metadata*>(metadata->proxy),
                                     &metadata->listener, &events, metadata);
        }
    }

    static void globalRemove(void* data, std::uint32_t id) {
        auto* self = static_cast<PipeWireConnection*>(data);
        if (self->nodes_.erase(id) > 0 || self->links_.erase(id) > 0) {
            self->graphChanged();
        }
        for (Listeners::Metadata* metadata :
             {&self->listeners_->defaults, &self->listeners_->settings}) {
            if (metadata->proxy != nullptr && metadata->id == id) {
                spa_hook_remove(&metadata->listener);
                pw_proxy_destroy(metadata->proxy);
                metadata->proxy = nullptr;
                if (metadata->isDefault) {
                    self->defaultSinkName_.reset();
                    self->graphChanged();
                }
            }
        }
    }

    static int metadataProperty(void* data, std::uint32_t subject, const char* key, const char*,
                                const char* value) {
        auto* metadata = static_cast<Listeners::Metadata*>(data);
        PipeWireConnection* self = metadata->connection;
        if (subject != PW_ID_CORE) {
            return 0;
        }
        if (metadata->isDefault) {
            // A null key clears them all.
            if (key == nullptr || std::strcmp(key, "default.audio.sink") == 0) {
                self->defaultSinkName_ = key != nullptr ? nameInJson(value) : std::nullopt;
                self->graphChanged();
            }
        } else if (key != nullptr && std::strcmp(key, "clock.rate") == 0) {
            if (const auto rate = numberOf(value); rate && *rate > 0) {
                self->graphRate_ = int(*rate);
            }
        }
        return 0;
    }

    struct FormatQuery {
        PipeWireConnection* connection = nullptr;
        std::optional<PipeWireNodeFormat> format;
    };

    static void nodeParam(void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
                          const spa_pod* param) {
        auto* query = static_cast<FormatQuery*>(data);
        if (id != SPA_PARAM_EnumFormat || param == nullptr || query->format) {
            return;
        }
        PipeWireNodeFormat format;
        if (const spa_pod_prop* rate = spa_pod_find_prop(param, nullptr, SPA_FORMAT_AUDIO_rate)) {
            std::uint32_t count = 0;
            std::uint32_t choice = 0;
            const spa_pod* value = spa_pod_get_values(&rate->value, &count, &choice);
            std::int32_t number = 0;
            if (count > 0 && spa_pod_get_int(value, &number) >= 0 && number > 0) {
                format.sampleRate = number;
            }
        }
        if (const spa_pod_prop* positions =
                spa_pod_find_prop(param, nullptr, SPA_FORMAT_AUDIO_position)) {
            std::uint32_t values[SPA_AUDIO_MAX_CHANNELS];
            const std::uint32_t count =
                spa_pod_copy_array(&positions->value, SPA_TYPE_Id, values, SPA_AUDIO_MAX_CHANNELS);
            format.positions.assign(values, values + count);
        }
        query->format = std::move(format);
    }
};

PipeWireConnection::PipeWireConnection() : listeners_(std::make_unique<Listeners>()) {}

std::unique_ptr<PipeWireConnection> PipeWireConnection::connect(const char* threadName,
                                                                std::string* failure) {
    static std::once_flag initialized;
    std::call_once(initialized, [] { pw_init(nullptr, nullptr); });
    std::unique_ptr<PipeWireConnection> connection(new PipeWireConnection());
    std::string reason;
    if (!connection->open(threadName, &reason)) {
        if (failure != nullptr) {
            *failure = reason;
        }
        return nullptr;
    }
    return connection;
}

bool PipeWireConnection::open(const char* threadName, std::string* failure) {
    loop_ = pw_thread_loop_new(threadName, nullptr);
    precondition(loop_ != nullptr, "Unable to create the PipeWire loop.");
    // The real-time configuration: the stream's thread asks for real-time scheduling (through
    // RealtimeKit, or directly where the user may), so that a busy machine does not make the
    // sound late.
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                              pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    precondition(context_ != nullptr, "Unable to create a PipeWire context.");
    if (pw_thread_loop_start(loop_) < 0) {
        *failure = "the PipeWire loop did not start";
        return false;
    }
    lock();
    core_ = pw_context_connect(context_, nullptr, 0);
    if (core_ == nullptr) {
        // PipeWire says a socket nobody listens on is a host that is down.
        *failure = errno == EHOSTDOWN || errno == ENOENT || errno == ECONNREFUSED
                       ? "no PipeWire server runs in this session"
                       : std::strerror(errno);
        unlock();
        return false;
    }
    connected_ = true;
    static const pw_core_events coreEvents = [] {
        pw_core_events value{};
        value.version = PW_VERSION_CORE_EVENTS;
        value.info = &Callbacks::coreInfo;
        value.done = &Callbacks::coreDone;
        value.error = &Callbacks::coreError;
        return value;
    }();
    pw_core_add_listener(core_, &listeners_->core, &coreEvents, this);
    registry_ = pw_core_get_registry(core_, PW_VERSION_REGISTRY, 0);
    static const pw_registry_events registryEvents = [] {
        pw_registry_events value{};
        value.version = PW_VERSION_REGISTRY_EVENTS;
        value.global = &Callbacks::global;
        value.global_remove = &Callbacks::globalRemove;
        return value;
    }();
    pw_registry_add_listener(registry_, &listeners_->registry, &registryEvents, this);
    // Twice: the metadata bound while the first answer came tell their values in the second.
    const bool answered = roundTrip(kFirstAccountTimeout) && roundTrip(kFirstAccountTimeout);
    if (!answered) {
        *failure = connected_ ? "the server did not answer in time" : "the server went away";
    }
    unlock();
    return answered;
}

PipeWireConnection::~PipeWireConnection() {
    if (loop_ == nullptr) {
        return;
    }
    lock();
    for (Listeners::Metadata* metadata : {&listeners_->defaults, &listeners_->settings}) {
        if (metadata->proxy != nullptr) {
            spa_hook_remove(&metadata->listener);
            pw_proxy_destroy(metadata->proxy);
        }
    }
    if (registry_ != nullptr) {
        spa_hook_remove(&listeners_->registry);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(registry_));
    }
    if (core_ != nullptr) {
        spa_hook_remove(&listeners_->core);
        pw_core_disconnect(core_);
    }
    unlock();
    pw_thread_loop_stop(loop_);
    if (context_ != nullptr) {
        pw_context_destroy(context_);
    }
    pw_thread_loop_destroy(loop_);
}

void PipeWireConnection::lock() {
    pw_thread_loop_lock(loop_);
}

void PipeWireConnection::unlock() {
    pw_thread_loop_unlock(loop_);
}

bool PipeWireConnection::roundTrip(std::chrono::milliseconds timeout) {
    if (!connected_) {
        return false;
    }
    synced_ = false;
    pendingSync_ = pw_core_sync(core_, PW_ID_CORE, pendingSync_);
    Deadline deadline(loop_, timeout);
    while (!synced_ && connected_) {
        if (pw_thread_loop_timed_wait_full(loop_, &deadline.time) != 0) {
            break;
        }
    }
    return synced_ && connected_;
}

bool PipeWireConnection::waitUntil(const std::function<bool()>& predicate,
                                   std::chrono::milliseconds timeout) {
    Deadline deadline(loop_, timeout);
    while (!predicate()) {
        if (!connected_ || pw_thread_loop_timed_wait_full(loop_, &deadline.time) != 0) {
            return predicate();
        }
    }
    return true;
}

std::vector<PipeWireConnection::Node> PipeWireConnection::audioSinks() const {
    std::vector<Node> sinks;
    for (const auto& [id, node] : nodes_) {
        if (node.mediaClass == "Audio/Sink" && !node.name.empty()) {
            sinks.push_back(node);
        }
    }
    return sinks;
}

std::optional<PipeWireConnection::Node> PipeWireConnection::node(std::uint32_t id) const {
    const auto found = nodes_.find(id);
    if (found == nodes_.end()) {
        return std::nullopt;
    }
    return found->second;
}

std::optional<PipeWireConnection::Node> PipeWireConnection::audioSinkNamed(
    const std::string& name) const {
    for (const auto& [id, node] : nodes_) {
        if (node.mediaClass == "Audio/Sink" && node.name == name) {
            return node;
        }
    }
    return std::nullopt;
}

bool PipeWireConnection::handlesAudio() const {
    if (defaultSinkName_) {
        return true;
    }
    for (const auto& [id, node] : nodes_) {
        if (node.mediaClass.starts_with("Audio/")) {
            return true;
        }
    }
    return false;
}

std::vector<std::uint32_t> PipeWireConnection::nodesLinkedFrom(std::uint32_t outputNode) const {
    std::vector<std::uint32_t> inputs;
    for (const auto& [id, link] : links_) {
        if (link.outputNode == outputNode &&
            std::find(inputs.begin(), inputs.end(), link.inputNode) == inputs.end()) {
            inputs.push_back(link.inputNode);
        }
    }
    return inputs;
}

std::optional<PipeWireNodeFormat> PipeWireConnection::nodeFormat(
    std::uint32_t id, std::chrono::milliseconds timeout) {
    if (!connected_) {
        return std::nullopt;
    }
    auto* proxy = static_cast<pw_proxy*>(
        pw_registry_bind(registry_, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
    if (proxy == nullptr) {
        return std::nullopt;
    }
    Callbacks::FormatQuery query;
    query.connection = this;
    spa_hook listener{};
    static const pw_node_events events = [] {
        pw_node_events value{};
        value.version = PW_VERSION_NODE_EVENTS;
        value.param = &Callbacks::nodeParam;
        return value;
    }();
    pw_node_add_listener(reinterpret_cast<pw_node*>(proxy), &listener, &events, &query);
    pw_node_enum_params(reinterpret_cast<pw_node*>(proxy), 0, SPA_PARAM_EnumFormat, 0,
                        UINT32_MAX, nullptr);
    roundTrip(timeout);
    spa_hook_remove(&listener);
    pw_proxy_destroy(proxy);
    return query.format;
}

void PipeWireConnection::setGraphChangedHandler(std::function<void()> handler) {
    graphChangedHandler_ = std::move(handler);
}

void PipeWireConnection::setDisconnectedHandler(std::function<void(const std::string&)> handler) {
    disconnectedHandler_ = std::move(handler);
}

void PipeWireConnection::graphChanged() {
    pw_thread_loop_signal(loop_, false);
    if (graphChangedHandler_) {
        graphChangedHandler_();
    }
}

void PipeWireConnection::disconnected(const std::string& reason) {
    if (!connected_) {
        return;
    }
    connected_ = false;
    pw_thread_loop_signal(loop_, false);
    if (disconnectedHandler_) {
        disconnectedHandler_(reason);
    }
}

}  // namespace platform
