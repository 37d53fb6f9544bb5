#pragma once

#include <memory>
#include <vector>

#include "libraries/preferences-window/LastViewedPreferencePaneController.h"
#include "libraries/preferences-window/PreferencePaneSelectionController.h"
#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "libraries/preferences-window/PreferencesWindowTitleController.h"
#include "libraries/preferences-window/PreferencesWindowViewController.h"
#include "platform/appkit/NSWindowController.h"

namespace preferences_window {

// The preferences window: made once from the application's panes and shown on request. With
// several panes the window has a toolbar of one item per pane; with one it has none. It opens
// on the pane viewed last (kept in the user defaults under "PWLastViewedPreferencePaneIdentifier"),
// or on the first pane when that one is no longer offered, switches panes when the user clicks an
// item, and keeps its title in step with the shown pane. Programming errors (no panes, repeated
// identifiers, an identifier that names no pane) stop the process. Main thread only.
class PreferencesWindowController final : public platform::NSWindowController,
                                          public PreferencePaneSelectionControllerDelegate {
public:
    // The panes in order; each is also a ToolbarItemImageProvider when there are several. Exactly
    // one pane makes the one-pane window.
    explicit PreferencesWindowController(std::vector<PreferencePaneViewController> viewControllers);
    // The one-pane window: no toolbar, and always the generic title.
    explicit PreferencesWindowController(PreferencePaneViewController viewController);
    PreferencesWindowController(
        std::shared_ptr<platform::NSWindow> window,
        std::unique_ptr<PreferencePaneSelectionController> selectionController,
        PreferencePaneViewControllers viewControllers,
        bool shouldUsePreferencePaneTitleForWindowTitle);
    ~PreferencesWindowController() override;

    // Shows the window; the first time also fills it with the panes, lays it out and centres it.
    void showWindow(QObject* sender = nullptr) override;
    // Selects and shows a pane, then the window.
    void showPreferencePane(const PreferencePaneIdentifier& identifier);

    void selectionDidChange(PreferencePaneSelectionController& selectionController) override;

    PreferencePaneSelectionController& selectionController() const { return *selectionController_; }
    PreferencesWindowViewController& windowViewController() const { return *windowViewController_; }
    bool hasBeenShown() const { return hasBeenShown_; }

private:
    struct Configuration;
    explicit PreferencesWindowController(Configuration configuration);
    static Configuration makeConfiguration(std::vector<PreferencePaneViewController> panes);
    static Configuration makeConfiguration(PreferencePaneViewController pane);

    PreferencePaneIdentifier initialPreferencePaneIdentifier(
        const PreferencePaneViewControllers& viewControllers) const;

    LastViewedPreferencePaneController lastViewedPreferencePaneController_;
    std::unique_ptr<PreferencePaneSelectionController> selectionController_;
    std::shared_ptr<PreferencesWindowViewController> windowViewController_;
    PreferencesWindowTitleController windowTitleController_;
    bool hasBeenShown_ = false;
};

}  // namespace preferences_window
