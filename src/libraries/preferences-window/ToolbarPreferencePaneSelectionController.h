#pragma once

#include <QObject>
#include <cstddef>
#include <memory>
#include <vector>

#include "libraries/preferences-window/PreferencePaneSelectionController.h"
#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "platform/appkit/NSToolbar.h"
#include "platform/appkit/NSWindow.h"
#include "platform/foundation/ObserverToken.h"

namespace preferences_window {

// The selection of a window with several panes: it gives the window a toolbar with one item per
// pane, in pane order, labelled with the pane's title (kept up to date) and showing its image.
// The shown pane's item is drawn selected; a click on an item selects it and tells the delegate,
// also when the item was already selected. Main thread only.
class ToolbarPreferencePaneSelectionController final : public PreferencePaneSelectionController,
                                                       public platform::NSToolbarDelegate {
public:
    ToolbarPreferencePaneSelectionController(
        std::shared_ptr<platform::NSWindow> window,
        PreferencePaneViewControllersWithToolbarItemImages viewControllers);
    ~ToolbarPreferencePaneSelectionController() override;

    PreferencePaneIdentifier selectedPreferencePaneIdentifier() const override { return selected_; }
    // Also selects the item; the delegate hears nothing.
    void setSelectedPreferencePaneIdentifier(const PreferencePaneIdentifier& identifier) override;

    PreferencePaneSelectionControllerDelegate* delegate() const override { return delegate_; }
    void setDelegate(PreferencePaneSelectionControllerDelegate* delegate) override {
        delegate_ = delegate;
    }

    platform::NSToolbar& toolbar() const { return *toolbar_; }

    std::shared_ptr<platform::NSToolbarItem> toolbarItemForItemIdentifier(
        platform::NSToolbar& toolbar, const std::string& itemIdentifier,
        bool willBeInsertedIntoToolbar) override;
    std::vector<std::string> toolbarAllowedItemIdentifiers(platform::NSToolbar& toolbar) override;
    std::vector<std::string> toolbarDefaultItemIdentifiers(platform::NSToolbar& toolbar) override;
    std::vector<std::string> toolbarSelectableItemIdentifiers(
        platform::NSToolbar& toolbar) override;

    // The action of every item. Only a toolbar item as sender counts.
    void performToolbarItemAction(QObject* sender);

private:
    void selectToolbarItem(QObject* sender);
    void updateToolbarItemLabel(std::size_t paneIndex);
    std::vector<std::string> paneIdentifierStrings() const;

    std::shared_ptr<platform::NSWindow> window_;
    std::shared_ptr<platform::NSToolbar> toolbar_;
    PreferencePaneViewControllersWithToolbarItemImages viewControllers_;
    std::vector<platform::ObserverToken> titleKeyValueObservations_;
    PreferencePaneSelectionControllerDelegate* delegate_ = nullptr;
    PreferencePaneIdentifier selected_;
};

}  // namespace preferences_window
