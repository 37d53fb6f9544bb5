#include "player-interface/preferences/DebugPreferencePaneViewController.h"

#include "platform/foundation/Localization.h"
#include "player-interface/preferences/PreferencePaneIdentifiers.h"
#include "player-interface/preferences/PreferencesSymbolImages.h"

namespace quillon {

namespace {
constexpr int kEmptyPaneWidth = 480;
constexpr int kEmptyPaneHeight = 120;
}  // namespace

DebugPreferencePaneViewController::DebugPreferencePaneViewController()
    : toolbarItemImage_(requiredPreferencesSymbolImage("wrench.and.screwdriver")) {
    setTitle(platform::localizedString("Debug", "The title of the Debug preference pane."));
}

DebugPreferencePaneViewController::~DebugPreferencePaneViewController() = default;

preferences_window::PreferencePaneIdentifier
DebugPreferencePaneViewController::preferencePaneIdentifier() const {
    return debugPreferencePaneIdentifier();
}

void DebugPreferencePaneViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setMinimumSize(kEmptyPaneWidth, kEmptyPaneHeight);
    setView(std::move(view));
}

}  // namespace quillon
