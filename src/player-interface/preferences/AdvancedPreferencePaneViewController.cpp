#include "player-interface/preferences/AdvancedPreferencePaneViewController.h"

#include <QVBoxLayout>

#include "platform/foundation/Localization.h"
#include "player-interface/castlink/CastlinkViewController.h"
#include "player-interface/preferences/PreferencePaneIdentifiers.h"
#include "player-interface/preferences/PreferencesSymbolImages.h"

namespace quillon {

AdvancedPreferencePaneViewController::AdvancedPreferencePaneViewController()
    : AdvancedPreferencePaneViewController(CastlinkManager::shared()) {}

AdvancedPreferencePaneViewController::AdvancedPreferencePaneViewController(
    CastlinkManager& castlinkManager)
    : toolbarItemImage_(requiredPreferencesSymbolImage("gearshape.2")),
      castlinkViewController_(std::make_shared<CastlinkViewController>(castlinkManager)) {
    addChildViewController(castlinkViewController_);
    setTitle(platform::localizedString("Advanced", "The title of the Advanced preference pane."));
}

AdvancedPreferencePaneViewController::~AdvancedPreferencePaneViewController() = default;

preferences_window::PreferencePaneIdentifier
AdvancedPreferencePaneViewController::preferencePaneIdentifier() const {
    return advancedPreferencePaneIdentifier();
}

void AdvancedPreferencePaneViewController::loadView() {
    auto view = std::make_unique<QWidget>();
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(castlinkViewController_->view());
    setView(std::move(view));
}

}  // namespace quillon
