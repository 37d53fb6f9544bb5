#include "platform/avfoundation/AVAudioOutputContext.h"

#include <algorithm>
#include <atomic>
#include <map>

#include <fmt/format.h>

#include "platform/foundation/NeverDestroyed.h"
#include "platform/foundation/NotificationCenter.h"

namespace platform {

namespace {

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::weak_ptr<AVAudioOutputContext>> contexts;
};

// Never destroyed: contexts may end during the process's exit.
Registry& registry() {
    static NeverDestroyed<Registry> instance;
    return instance.get();
}

}  // namespace

AVAudioOutputContext::AVAudioOutputContext(Passkey, std::string contextID)
    : contextID_(std::move(contextID)) {}

std::shared_ptr<AVAudioOutputContext> AVAudioOutputContext::make() {
    static std::atomic<std::uint64_t> nextNumber{1};
    auto context = std::make_shared<AVAudioOutputContext>(
        Passkey{}, fmt::format("AVAudioOutputContext-{}", nextNumber.fetch_add(1)));
    Registry& contexts = registry();
    std::lock_guard lock(contexts.mutex);
    contexts.contexts[context->contextID_] = context;
    return context;
}

std::shared_ptr<AVAudioOutputContext> AVAudioOutputContext::contextWithID(
    const std::string& contextID) {
    Registry& contexts = registry();
    std::lock_guard lock(contexts.mutex);
    const auto found = contexts.contexts.find(contextID);
    return found != contexts.contexts.end() ? found->second.lock() : nullptr;
}

AVAudioOutputContext::~AVAudioOutputContext() {
    Registry& contexts = registry();
    std::lock_guard lock(contexts.mutex);
    contexts.contexts.erase(contextID_);
}

void AVAudioOutputContext::addRenderer(const AVSampleBufferAudioRendererRef& renderer) {
    std::optional<std::string> device;
    {
        std::lock_guard lock(mutex_);
        std::erase_if(renderers_, [](const auto& entry) { return entry.expired(); });
        renderers_.push_back(renderer);
        device = outputDeviceUniqueID_;
    }
    if (renderer->audioOutputDeviceUniqueID() != device) {
        renderer->setAudioOutputDeviceUniqueID(device);
    }
}

std::optional<std::string> AVAudioOutputContext::outputDeviceUniqueID() const {
    std::lock_guard lock(mutex_);
    return outputDeviceUniqueID_;
}

void AVAudioOutputContext::setOutputDeviceUniqueID(std::optional<std::string> deviceUniqueID) {
    // One choice at a time, so that the renderers end where the context says.
    std::lock_guard applyLock(applyMutex_);
    std::vector<AVSampleBufferAudioRendererRef> renderers;
    {
        std::lock_guard lock(mutex_);
        if (deviceUniqueID == outputDeviceUniqueID_) {
            return;
        }
        outputDeviceUniqueID_ = deviceUniqueID;
        for (const auto& entry : renderers_) {
            if (auto renderer = entry.lock()) {
                renderers.push_back(std::move(renderer));
            }
        }
    }
    // Renderers take their own locks (and, below macOS 11, their device queue): not under ours.
    for (const auto& renderer : renderers) {
        renderer->setAudioOutputDeviceUniqueID(deviceUniqueID);
    }
    NotificationCenter::defaultCenter().post(AVOutputContextOutputDeviceDidChangeNotification,
                                             static_cast<const AVOutputContext*>(this));
}

}  // namespace platform
