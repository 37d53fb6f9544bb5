#pragma once

#include <QPointer>

#include "media-player/session/AutomaticTerminationManager.h"
#include "platform/appkit/NSAlert.h"
#include "platform/appkit/NSViewController.h"
#include "player-interface/castlink/CastlinkManager.h"

class QPushButton;

namespace quillon {

class CastlinkView;

// The Castlink part of the Advanced preferences: asks the helper tool whether it is installed
// each time the view is about to show, and offers to uninstall it. The application cannot
// install the tool, so the install title only ever shows on a disabled button. The process is
// not ended automatically while the view is shown. Main thread only.
class CastlinkViewController : public platform::NSViewController {
public:
    explicit CastlinkViewController(CastlinkManager& manager = CastlinkManager::shared());
    ~CastlinkViewController() override;

    void loadView() override;
    void viewDidLoad() override;
    void viewWillAppear() override;
    void viewWillDisappear() override;

    // The button's action.
    void performAction();

    CastlinkView* castlinkView();
    QPushButton* actionButton();
    // The last failure alert shown, while it is on screen.
    platform::NSAlert* failureAlert() const { return failureAlert_.data(); }
    const CastlinkManager::InstallationStatus& installationStatus() const {
        return installationStatus_;
    }

private:
    void updateActionButton();
    void handleAction();
    void uninstallPrivilegedHelper();

    CastlinkManager& manager_;
    QPointer<platform::NSAlert> failureAlert_;
    AutomaticTerminationManager automaticTerminationManager_;
    CastlinkManager::InstallationStatus installationStatus_ =
        CastlinkManager::InstallationStatus::notInstalled();
};

}  // namespace quillon
