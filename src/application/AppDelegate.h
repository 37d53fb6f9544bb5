#pragma once

#include <QMenu>
#include <QPointer>
#include <QWidgetAction>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "platform/appkit/NSApplication.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/foundation/URL.h"
#include "player-interface/widgets/PlaybackRateSlider.h"

namespace platform {
class NSWorkspace;
class UserDefaults;
}  // namespace platform

namespace preferences_window {
class PreferencesWindowController;
}

namespace quillon {

class CastlinkManager;
class CastlinkUninstallAlertController;

// The application's delegate: registers the defaults at launch, shows the Open panel in place
// of an untitled document, offers to uninstall a Castlink helper tool, owns the preferences
// window and fills the application's menus, asking the key player window first through the
// responder chain and falling back to its own answers when no player window is key.
// Main thread only; lives for the whole run.
class AppDelegate : public platform::NSApplicationDelegate {
public:
    struct Dependencies {
        platform::NSApplication* application = nullptr;  // none: NSApplication::shared()
        platform::UserDefaults* userDefaults = nullptr;  // none: the standard defaults
        CastlinkManager* castlinkManager = nullptr;      // none: CastlinkManager::shared()
        platform::NSWorkspace* workspace = nullptr;      // none: NSWorkspace::shared()
        // none: QLPictureInPictureController::isPictureInPictureSupported
        std::function<bool()> isPictureInPictureSupported;
    };

    // The address of the frequently asked questions.
    static constexpr const char* faqAddress = "https://quillon.org/faq/";

    AppDelegate();
    explicit AppDelegate(Dependencies dependencies);
    ~AppDelegate() override;

    // The menus of the menu bar (File, View, Tracks, Controls, Window, Help), made once; the
    // delegate keeps pointers to the ones it updates, the caller owns them (the application's
    // main menu).
    std::vector<std::unique_ptr<QMenu>> makeMainMenu();

    // NSApplicationDelegate
    void applicationWillFinishLaunching(platform::NSApplication& application) override;
    void applicationDidFinishLaunching(platform::NSApplication& application) override;
    bool applicationShouldOpenUntitledFile(platform::NSApplication& application) override;
    bool applicationOpenUntitledFile(platform::NSApplication& application) override;

    // Runs as a menu is about to open.
    void menuNeedsUpdate(QMenu& menu);

    // Responder-chain actions: "updateTracksMenu:", "updatePlaybackRateSlider:",
    // "showPreferencesWindow:", "openFAQ:".
    bool tryToPerform(std::string_view action, QObject* sender) override;
    void updateTracksMenu(QObject* sender);
    void updatePlaybackRateSlider(QObject* sender);
    void showPreferencesWindow(QObject* sender);
    void openFAQ(QObject* sender);

    QMenu* fileMenu() const { return fileMenu_; }
    QAction* addSubtitleFileMenuItem() const { return addSubtitleFileMenuItem_; }
    QMenu* viewMenu() const { return viewMenu_; }
    QMenu* tracksMenu() const { return tracksMenu_; }
    QMenu* controlsMenu() const { return controlsMenu_; }
    platform::NSMenuItem* pictureInPictureMenuItem() const { return pictureInPictureMenuItem_; }
    QWidgetAction* playbackRateMenuItem() const { return playbackRateMenuItem_; }
    // Made on first use.
    PlaybackRateSlider& playbackRateSlider();
    QWidget& playbackRateMenuItemView();
    preferences_window::PreferencesWindowController* preferencesWindowController() const {
        return preferencesWindowController_.get();
    }

    // Space around views shown as menu items, as (top, left, bottom, right).
    static QMargins menuItemViewInsets();

private:
    platform::NSApplication& application() const;
    void updateViewMenu();
    void updateControlsMenu();
    void updateTracksMenuThroughResponderChain();
    void makePreferencesWindowController();
    // Sends the selector of a menu command along the responder chain.
    QAction* addActionItem(QMenu& menu, const std::string& title, const char* action,
                           const QKeySequence& shortcut = {});

    std::unique_ptr<preferences_window::PreferencesWindowController> preferencesWindowController_;
    std::unique_ptr<CastlinkUninstallAlertController> castlinkUninstallAlertController_;
    QPointer<QMenu> fileMenu_;
    QPointer<QAction> addSubtitleFileMenuItem_;
    QPointer<QMenu> viewMenu_;
    QPointer<platform::NSMenuItem> pictureInPictureMenuItem_;
    QPointer<QMenu> tracksMenu_;
    QPointer<QMenu> controlsMenu_;
    QPointer<QWidgetAction> playbackRateMenuItem_;
    QPointer<QAction> fullScreenMenuItem_;
    // Owned by playbackRateMenuItem_ once it shows it; until then by the delegate.
    QPointer<QWidget> playbackRateMenuItemView_;
    std::unique_ptr<QWidget> playbackRateMenuItemViewOwner_;
    PlaybackRateSlider* playbackRateSlider_ = nullptr;

    platform::NSApplication* application_;
    platform::UserDefaults& userDefaults_;
    CastlinkManager& castlinkManager_;
    platform::NSWorkspace& workspace_;
    std::function<bool()> isPictureInPictureSupported_;
    // Answers that arrive after the delegate has gone find this expired.
    std::shared_ptr<void> lifetime_ = std::make_shared<int>();
};

}  // namespace quillon
