#include "libraries/calyxware/EagerLayoutManager.h"

#include "libraries/calyxware/AutoLayoutTextView.h"
#include "libraries/calyxware/CXWEagerTextStorage.h"
#include "libraries/calyxware/CalyxwareNotifications.h"
#include "libraries/calyxware/TextContainer.h"
#include "platform/foundation/NotificationCenter.h"

namespace calyxware {

EagerLayoutManager::EagerLayoutManager() {
    setBackgroundLayoutEnabled(false);
}

void EagerLayoutManager::setTextStorage(TextStorage* storage) {
    LayoutManager::setTextStorage(storage);
    performFullLayout();
}

void EagerLayoutManager::textContainerChangedGeometry(TextContainer& container) {
    LayoutManager::textContainerChangedGeometry(container);
    performFullLayout();
}

void EagerLayoutManager::performFullLayout() {
    auto* storage = dynamic_cast<CXWEagerTextStorage*>(textStorage());
    if (storage == nullptr || storage->isEditing()) {
        return;
    }
    ensureLayoutForCharacterRange(platform::NSMakeRange(0, storage->length()));
    // A view may change its container's geometry when told; walk a stable list.
    const auto containers = textContainers();
    for (const auto& container : containers) {
        if (auto* view = dynamic_cast<AutoLayoutTextView*>(container->textView())) {
            view->layoutDidComplete();
        }
    }
    platform::NotificationCenter::defaultCenter().post(
        EagerLayoutManagerDidCompleteLayoutNotification, this);
}

std::shared_ptr<EagerLayoutManager> EagerLayoutManager::initWithCoder(
    platform::NSKeyedUnarchiver& coder) {
    auto manager = std::make_shared<EagerLayoutManager>();
    if (!manager->decodeFromCoder(coder)) {
        return nullptr;
    }
    manager->setBackgroundLayoutEnabled(false);
    return manager;
}

}  // namespace calyxware
