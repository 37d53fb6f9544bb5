#include "platform/appkit/NSToolbarItem.h"

namespace platform {

NSToolbarItem::NSToolbarItem(std::string itemIdentifier)
    : itemIdentifier_(std::move(itemIdentifier)) {
    qAction_.setObjectName(QString::fromStdString(itemIdentifier_));
}

NSToolbarItem::~NSToolbarItem() = default;

std::string NSToolbarItem::label() const {
    return qAction_.text().toStdString();
}

void NSToolbarItem::setLabel(const std::string& label) {
    qAction_.setText(QString::fromStdString(label));
}

void NSToolbarItem::setImage(std::shared_ptr<NSImage> image) {
    image_ = std::move(image);
    qAction_.setIcon(image_ ? makeIcon(image_) : QIcon());
}

void NSToolbarItem::performAction() {
    if (action_) {
        action_(this);
    }
}

}  // namespace platform
