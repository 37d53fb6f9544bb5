#include "platform/appkit/NSMenuItem.h"

namespace platform {

NSMenuItem::NSMenuItem(const std::string& title, QObject* parent)
    : QAction(QString::fromStdString(title), parent) {}

NSMenuItem* NSMenuItem::sectionHeader(const std::string& title, QObject* parent) {
    auto* item = new NSMenuItem(title, parent);
    item->setEnabled(false);
    return item;
}

void NSMenuItem::setState(bool on) {
    setCheckable(on || isCheckable());
    setChecked(on);
}

}  // namespace platform
