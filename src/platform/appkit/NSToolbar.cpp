#include "platform/appkit/NSToolbar.h"

#include <algorithm>

#include "platform/foundation/FatalError.h"

namespace platform {

NSToolbar::NSToolbar() : toolBar_(new QToolBar) {
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    toolBar_->setIconSize(QSize(32, 32));
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
}

NSToolbar::~NSToolbar() {
    // The toolbar widget may sit in a window that outlives the toolbar.
    delete toolBar_.data();
}

void NSToolbar::setDelegate(NSToolbarDelegate* delegate) {
    delegate_ = delegate;
    if (delegate_ == nullptr) {
        return;
    }
    selectableIdentifiers_ = delegate_->toolbarSelectableItemIdentifiers(*this);
    if (items_.empty() && pendingIdentifiers_.empty()) {
        const auto defaults = delegate_->toolbarDefaultItemIdentifiers(*this);
        for (std::size_t i = 0; i < defaults.size(); ++i) {
            pendingIdentifiers_.push_back(defaults[i]);
            pendingIndexes_.push_back(i);
        }
    }
    auto identifiers = std::move(pendingIdentifiers_);
    auto indexes = std::move(pendingIndexes_);
    pendingIdentifiers_.clear();
    pendingIndexes_.clear();
    for (std::size_t i = 0; i < identifiers.size(); ++i) {
        makeItem(identifiers[i], indexes[i]);
    }
    updateCheckedItems();
}

void NSToolbar::insertItemWithItemIdentifier(const std::string& itemIdentifier, std::size_t index) {
    if (delegate_ == nullptr) {
        pendingIdentifiers_.push_back(itemIdentifier);
        pendingIndexes_.push_back(index);
        return;
    }
    makeItem(itemIdentifier, index);
    updateCheckedItems();
}

void NSToolbar::makeItem(const std::string& itemIdentifier, std::size_t index) {
    auto item = delegate_->toolbarItemForItemIdentifier(*this, itemIdentifier, true);
    if (item == nullptr) {
        return;
    }
    index = std::min(index, items_.size());
    QAction* before = index < items_.size() ? &items_[index]->qAction() : nullptr;
    toolBar_->insertAction(before, &item->qAction());
    // A click runs the item's action; the checked marks then follow the selection, whatever the
    // click did to the action's own checked state.
    QObject::connect(&item->qAction(), &QAction::triggered, &item->qAction(),
                     [this, lifetime = std::weak_ptr<char>(lifetime_),
                      weakItem = std::weak_ptr<NSToolbarItem>(item)] {
                         if (const auto clicked = weakItem.lock()) {
                             clicked->performAction();
                         }
                         // The action may have taken the toolbar away.
                         if (!lifetime.expired()) {
                             updateCheckedItems();
                         }
                     });
    items_.insert(items_.begin() + static_cast<std::ptrdiff_t>(index), std::move(item));
}

void NSToolbar::setSelectedItemIdentifier(std::optional<std::string> itemIdentifier) {
    selected_ = std::move(itemIdentifier);
    updateCheckedItems();
}

void NSToolbar::updateCheckedItems() {
    for (const auto& item : items_) {
        const bool selectable =
            std::find(selectableIdentifiers_.begin(), selectableIdentifiers_.end(),
                      item->itemIdentifier()) != selectableIdentifiers_.end();
        item->qAction().setCheckable(selectable);
        item->qAction().setChecked(selectable && selected_ == item->itemIdentifier());
    }
}

}  // namespace platform
