#include "libraries/preferences-window/PreferencesWindowTitleController.h"

#include "libraries/preferences-window/ResourceBundle.h"
#include "platform/foundation/MainBundle.h"
#include "platform/foundation/StringFormat.h"

namespace preferences_window {

PreferencesWindowTitleController::PreferencesWindowTitleController(
    std::shared_ptr<platform::NSWindow> window, PreferencePaneViewControllers viewControllers,
    bool shouldUsePreferencePaneTitleForWindowTitle)
    : window_(std::move(window)),
      viewControllers_(std::move(viewControllers)),
      shouldUsePreferencePaneTitleForWindowTitle_(shouldUsePreferencePaneTitleForWindowTitle),
      selected_(viewControllers_.firstIdentifier()) {
    observeSelectedPaneTitle();
}

void PreferencesWindowTitleController::setSelectedPreferencePaneIdentifier(
    const PreferencePaneIdentifier& identifier) {
    selected_ = identifier;
    observeSelectedPaneTitle();
}

void PreferencesWindowTitleController::observeSelectedPaneTitle() {
    const auto& pane = viewControllers_.paneWithIdentifier(selected_);
    titleKeyValueObservation_.remove();
    // The token lives in this object, so the handler never outlives it.
    titleKeyValueObservation_ = pane->observeTitle([this] { updateWindowTitle(); }, true);
}

void PreferencesWindowTitleController::updateWindowTitle() {
    if (shouldUsePreferencePaneTitleForWindowTitle_) {
        const auto& title = viewControllers_.paneWithIdentifier(selected_)->title();
        if (title) {
            window_->setTitle(*title);
            return;
        }
    }
    std::string applicationName = platform::mainBundleDisplayName();
    if (applicationName.empty()) {
        applicationName = localizedString("App",
                                          "A generic placeholder for the app name to be shown in "
                                          "the preferences window title if the app name could "
                                          "not be found.");
    }
    window_->setTitle(platform::localizedFormat(
        localizedString("%1$@ Preferences",
                        "The format string for building a generic title for the preferences "
                        "window. Argument 1 is the app name."),
        applicationName));
}

}  // namespace preferences_window
