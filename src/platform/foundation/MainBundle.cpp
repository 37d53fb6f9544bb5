#include "platform/foundation/MainBundle.h"

#include "platform/foundation/NeverDestroyed.h"

namespace platform {

namespace {

std::string& displayName() {
    static NeverDestroyed<std::string> name;
    return name.get();
}

}  // namespace

const std::string& mainBundleDisplayName() {
    return displayName();
}

void setMainBundleDisplayName(std::string name) {
    displayName() = std::move(name);
}

}  // namespace platform
