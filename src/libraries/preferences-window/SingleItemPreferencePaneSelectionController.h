#pragma once

#include "libraries/preferences-window/PreferencePaneSelectionController.h"

namespace preferences_window {

// The selection of a window with one pane, which never changes: setting any other identifier
// stops the process.
class SingleItemPreferencePaneSelectionController final : public PreferencePaneSelectionController {
public:
    explicit SingleItemPreferencePaneSelectionController(
        PreferencePaneIdentifier selectedPreferencePaneIdentifier)
        : selected_(std::move(selectedPreferencePaneIdentifier)) {}

    PreferencePaneIdentifier selectedPreferencePaneIdentifier() const override { return selected_; }
    void setSelectedPreferencePaneIdentifier(const PreferencePaneIdentifier& identifier) override;

    PreferencePaneSelectionControllerDelegate* delegate() const override { return delegate_; }
    void setDelegate(PreferencePaneSelectionControllerDelegate* delegate) override {
        delegate_ = delegate;
    }

private:
    const PreferencePaneIdentifier selected_;
    PreferencePaneSelectionControllerDelegate* delegate_ = nullptr;
};

}  // namespace preferences_window
