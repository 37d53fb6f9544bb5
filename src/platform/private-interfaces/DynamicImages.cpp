#include "platform/private-interfaces/DynamicImages.h"

#include <algorithm>

namespace platform {

namespace {

struct ImageRegistry {
    std::mutex mutex;
    std::vector<const DynamicImage*> images;
};

ImageRegistry& registry() {
    static auto* instance = new ImageRegistry();
    return *instance;
}

}  // namespace

DynamicImage::DynamicImage(std::string path, std::vector<const void*> exportedAddresses)
    : path_(std::move(path)), exportedAddresses_(std::move(exportedAddresses)) {}

bool DynamicImage::containsAddress(const void* address) const {
    return std::find(exportedAddresses_.begin(), exportedAddresses_.end(), address) !=
           exportedAddresses_.end();
}

void DynamicImage::interpose(const void* replacee, const void* replacement) {
    std::lock_guard lock(mutex_);
    interposed_[replacee] = replacement;
}

const void* DynamicImage::resolveAddress(const void* function) const {
    std::lock_guard lock(mutex_);
    const auto it = interposed_.find(function);
    return it != interposed_.end() ? it->second : function;
}

std::shared_ptr<void> registerDynamicImage(const DynamicImage* image) {
    {
        std::lock_guard lock(registry().mutex);
        registry().images.push_back(image);
    }
    return std::shared_ptr<void>(nullptr, [image](void*) {
        std::lock_guard lock(registry().mutex);
        std::erase(registry().images, image);
    });
}

int dladdr(const void* address, Dl_info* info) {
    std::lock_guard lock(registry().mutex);
    for (const auto* image : registry().images) {
        if (image->containsAddress(address)) {
            if (info != nullptr) {
                info->dli_fname = image->path();
                info->dli_fbase = image;
            }
            return 1;
        }
    }
    return 0;
}

void dyld_dynamic_interpose_implementation(const mach_header* image,
                                           const dyld_interpose_tuple array[], std::size_t count) {
    auto* target = const_cast<DynamicImage*>(image);
    for (std::size_t index = 0; index < count; ++index) {
        target->interpose(array[index].replacee, array[index].replacement);
    }
}

void CFDictionarySetValue(CFMutableObjectDictionary* dictionary, const void* key,
                          const std::any& value) {
    dictionary->values[key] = value;
}

}  // namespace platform
