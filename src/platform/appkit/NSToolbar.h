#pragma once

#include <QPointer>
#include <QToolBar>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appkit/NSToolbarItem.h"

namespace platform {

class NSToolbar;

// Makes a toolbar's items and says which identifiers it offers and which can be selected.
class NSToolbarDelegate {
public:
    virtual ~NSToolbarDelegate() = default;

    // The item for `itemIdentifier`, or null to leave the identifier out.
    virtual std::shared_ptr<NSToolbarItem> toolbarItemForItemIdentifier(
        NSToolbar& toolbar, const std::string& itemIdentifier, bool willBeInsertedIntoToolbar) = 0;
    virtual std::vector<std::string> toolbarAllowedItemIdentifiers(NSToolbar& toolbar) = 0;
    // The items of a toolbar that nobody filled with items of its own.
    virtual std::vector<std::string> toolbarDefaultItemIdentifiers(NSToolbar& toolbar) = 0;
    // Items whose identifier is listed here show as selected while they are the selection.
    virtual std::vector<std::string> toolbarSelectableItemIdentifiers(NSToolbar&) { return {}; }
};

// A row of items above a window's content, shown as a QToolBar (text under the icon; it neither
// moves nor floats). The delegate makes the items: identifiers inserted before there is a
// delegate get their items when it arrives, and a toolbar given a delegate without any inserted
// identifiers takes the delegate's defaults. A click on an item runs the item's action; the
// selected item is drawn checked. Main thread only.
class NSToolbar {
public:
    NSToolbar();
    ~NSToolbar();
    NSToolbar(const NSToolbar&) = delete;
    NSToolbar& operator=(const NSToolbar&) = delete;

    // Not owned: whoever sets a delegate clears it before the delegate goes.
    NSToolbarDelegate* delegate() const { return delegate_; }
    void setDelegate(NSToolbarDelegate* delegate);

    void insertItemWithItemIdentifier(const std::string& itemIdentifier, std::size_t index);
    const std::vector<std::shared_ptr<NSToolbarItem>>& items() const { return items_; }

    const std::optional<std::string>& selectedItemIdentifier() const { return selected_; }
    void setSelectedItemIdentifier(std::optional<std::string> itemIdentifier);

    // The widget that a window shows; it belongs to the toolbar.
    QToolBar* toolBar() const { return toolBar_.data(); }

private:
    void makeItem(const std::string& itemIdentifier, std::size_t index);
    void updateCheckedItems();

    NSToolbarDelegate* delegate_ = nullptr;
    std::vector<std::string> pendingIdentifiers_;
    std::vector<std::size_t> pendingIndexes_;
    std::vector<std::shared_ptr<NSToolbarItem>> items_;
    std::vector<std::string> selectableIdentifiers_;
    std::optional<std::string> selected_;
    QPointer<QToolBar> toolBar_;
    // Lets the click handlers, which items may outlive, tell whether the toolbar still exists.
    std::shared_ptr<char> lifetime_ = std::make_shared<char>();
};

}  // namespace platform
