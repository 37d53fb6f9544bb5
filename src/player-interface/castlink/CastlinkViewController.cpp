#include "player-interface/castlink/CastlinkViewController.h"

#include <QPushButton>

#include "platform/foundation/FatalError.h"
#include "platform/foundation/Localization.h"
#include "player-interface/castlink/CastlinkView.h"
#include "player-interface/common/ErrorAlerts.h"

namespace quillon {

CastlinkViewController::CastlinkViewController(CastlinkManager& manager) : manager_(manager) {}

CastlinkViewController::~CastlinkViewController() = default;

void CastlinkViewController::loadView() {
    auto view = std::make_unique<CastlinkView>();
    view->awakeFromNib();
    QObject::connect(view->actionButton(), &QPushButton::clicked, view.get(),
                     [this] { performAction(); });
    setView(std::move(view));
}

CastlinkView* CastlinkViewController::castlinkView() {
    auto* castlinkView = dynamic_cast<CastlinkView*>(view());
    platform::precondition(castlinkView != nullptr, "The Castlink view is not a CastlinkView.");
    return castlinkView;
}

QPushButton* CastlinkViewController::actionButton() {
    return castlinkView()->actionButton();
}

void CastlinkViewController::viewDidLoad() {
    NSViewController::viewDidLoad();
    updateActionButton();
}

void CastlinkViewController::viewWillAppear() {
    automaticTerminationManager_.disable("Castlink preference pane was shown.");
    installationStatus_ = manager_.installedPrivilegedHelperVersion();
    updateActionButton();
    NSViewController::viewWillAppear();
}

void CastlinkViewController::viewWillDisappear() {
    automaticTerminationManager_.enable("Castlink preference pane was hidden.");
    NSViewController::viewWillDisappear();
}

void CastlinkViewController::updateActionButton() {
    const bool installed = installationStatus_.isInstalled();
    QPushButton* button = actionButton();
    button->setText(QString::fromStdString(
        installed ? platform::localizedString("Uninstall Castlink",
                                              "The title of the Uninstall Castlink button.")
                  : platform::localizedString("Install Castlink",
                                              "The title of the Install Castlink button.")));
    button->setEnabled(installed);
}

void CastlinkViewController::performAction() {
    handleAction();
}

void CastlinkViewController::handleAction() {
    if (!installationStatus_.isInstalled()) {
        return;
    }
    uninstallPrivilegedHelper();
    installationStatus_ = manager_.installedPrivilegedHelperVersion();
    updateActionButton();
}

void CastlinkViewController::uninstallPrivilegedHelper() {
    try {
        manager_.uninstallPrivilegedHelper();
    } catch (const platform::Error& error) {
        QWidget* ownView = view();
        // A view outside any window has nowhere to show a sheet; the fresh status query that
        // follows still shows the outcome.
        if (ownView->parentWidget() == nullptr) {
            return;
        }
        auto alert = makeUnknownErrorAlert(
            platform::localizedString("Failed to uninstall Castlink.",
                                      "The message text of the alert that is shown after a "
                                      "failure to uninstall the Castlink helper tool."),
            error);
        failureAlert_ = alert.get();
        platform::NSAlert::beginSheetModalForWindow(std::move(alert), ownView->window(), nullptr);
    }
}

}  // namespace quillon
