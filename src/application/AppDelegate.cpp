#include "application/AppDelegate.h"

#include <QHBoxLayout>
#include <QKeySequence>

#include "application/TimeSyncWorkaround.h"
#include "libraries/preferences-window/PreferencesWindowController.h"
#include "media-player/NowPlayingManager.h"
#include "platform/appkit/NSDocumentController.h"
#include "platform/appkit/NSMenuItem.h"
#include "platform/appkit/NSWorkspace.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/castlink/CastlinkManager.h"
#include "player-interface/castlink/CastlinkUninstallAlertController.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/common/WindowRestorationObserver.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"
#include "player-interface/preferences/PreferencesWindow.h"
#include "player-interface/widgets/AccessibleSlider.h"
#include "player-interface/widgets/MenuAccessibility.h"

namespace quillon {

namespace {

QString qs(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

AppDelegate::AppDelegate() : AppDelegate(Dependencies{}) {}

AppDelegate::AppDelegate(Dependencies dependencies)
    : application_(dependencies.application),
      userDefaults_(dependencies.userDefaults != nullptr ? *dependencies.userDefaults
                                                         : platform::UserDefaults::standard()),
      castlinkManager_(dependencies.castlinkManager != nullptr ? *dependencies.castlinkManager
                                                               : CastlinkManager::shared()),
      workspace_(dependencies.workspace != nullptr ? *dependencies.workspace
                                                   : platform::NSWorkspace::shared()),
      isPictureInPictureSupported_(
          dependencies.isPictureInPictureSupported
              ? std::move(dependencies.isPictureInPictureSupported)
              : std::function<bool()>(&QLPictureInPictureController::isPictureInPictureSupported)) {
}

AppDelegate::~AppDelegate() = default;

platform::NSApplication& AppDelegate::application() const {
    platform::NSApplication* application =
        application_ != nullptr ? application_ : platform::NSApplication::shared();
    platform::precondition(application != nullptr,
                           "The application delegate needs an application.");
    return *application;
}

QMargins AppDelegate::menuItemViewInsets() {
    static const QMargins insets = platform::ProcessInfo::processInfo()->isMacOSBefore(11, 0, 0)
                                       ? QMargins(22, 8, 12, 8)
                                       : QMargins(14, 7, 14, 7);
    return insets;
}

// MARK: - Launch

void AppDelegate::applicationWillFinishLaunching(platform::NSApplication& /*application*/) {
    if (platform::ProcessInfo::processInfo()->isMacOSAtLeast(11, 0, 0)) {
        installTimeSyncWorkaround();
    }
    registerDefaultUserDefaults(userDefaults_);
    WindowRestorationObserver& restorationObserver = WindowRestorationObserver::shared();
    // Before any restored player registers: Now Playing speaks for the players in the order
    // of their use, not in the order restoration happens to make them.
    NowPlayingManager::shared()->setPerformAfterRestoration(
        [&restorationObserver](std::function<void()> work) {
            restorationObserver.performAfterRestoration(std::move(work));
        });
}

void AppDelegate::applicationDidFinishLaunching(platform::NSApplication& /*application*/) {
    if (!castlinkUninstallAlertController_) {
        castlinkUninstallAlertController_ =
            std::make_unique<CastlinkUninstallAlertController>(castlinkManager_);
    }
    // Asked without waiting: a system bus that does not answer must not hold up the launch.
    castlinkManager_.requestInstalledPrivilegedHelperVersion(
        [this, alive = std::weak_ptr<void>(lifetime_)](
            const CastlinkManager::InstallationStatus& status) {
            if (!alive.expired() && status.isInstalled()) {
                castlinkUninstallAlertController_->showAlert();
            }
        });
}

bool AppDelegate::applicationShouldOpenUntitledFile(platform::NSApplication& /*application*/) {
    return true;
}

bool AppDelegate::applicationOpenUntitledFile(platform::NSApplication& application) {
    if (platform::NSDocumentController* controller = application.documentController()) {
        controller->openDocument(nullptr);
    }
    return true;
}

// MARK: - Menus

QAction* AppDelegate::addActionItem(QMenu& menu, const std::string& title, const char* action,
                                    const QKeySequence& shortcut) {
    QAction* item = menu.addAction(qs(title));
    item->setShortcut(shortcut);
    QObject::connect(item, &QAction::triggered, item,
                     [this, item, action] { application().sendAction(action, nullptr, item); });
    return item;
}

std::vector<std::unique_ptr<QMenu>> AppDelegate::makeMainMenu() {
    platform::precondition(!viewMenu_, "The main menu is made once.");
    // Every player window's bar shows these same menus, and the Controls menu holds a slider:
    // both need help for a screen reader to reach them.
    installMenuAccessibility();
    std::vector<std::unique_ptr<QMenu>> menus;

    auto fileMenu = std::make_unique<QMenu>(
        qs(platform::localizedString("&File", "The title of the File menu.")));
    addActionItem(*fileMenu, platform::localizedString("&Open…", "A File menu item."),
                  "openDocument:", QKeySequence::Open);
    addActionItem(*fileMenu, platform::localizedString("&Close", "A File menu item."),
                  "performClose:", QKeySequence::Close);
    fileMenu->addSeparator();
    addSubtitleFileMenuItem_ = addActionItem(
        *fileMenu, platform::localizedString("Add Subtitle File…", "A File menu item."),
        "openExternalSubtitles:");
    fileMenu->addSeparator();
    QAction* preferences =
        addActionItem(*fileMenu, platform::localizedString("&Preferences…", "A File menu item."),
                      "showPreferencesWindow:", QKeySequence(Qt::ControlModifier | Qt::Key_Comma));
    preferences->setMenuRole(QAction::PreferencesRole);
    fileMenu->addSeparator();
    QAction* quit = addActionItem(
        *fileMenu, platform::localizedString("&Quit Quillon Player", "A File menu item."),
        "terminate:", QKeySequence(Qt::ControlModifier | Qt::Key_Q));
    quit->setMenuRole(QAction::QuitRole);
    fileMenu_ = fileMenu.get();
    menus.push_back(std::move(fileMenu));

    auto viewMenu = std::make_unique<QMenu>(
        qs(platform::localizedString("&View", "The title of the View menu.")));
    fullScreenMenuItem_ = addActionItem(
        *viewMenu, platform::localizedString("Enter Full Screen", "A View menu item."),
        "toggleFullScreen:", QKeySequence(Qt::ControlModifier | Qt::Key_F));
    // The player window takes Ctrl+F itself; the menu only shows the key.
    fullScreenMenuItem_->setShortcutContext(Qt::WidgetShortcut);
    auto* pictureInPicture = new platform::NSMenuItem(
        QLPictureInPictureController::pictureInPictureControlTitleStart(), viewMenu.get());
    QObject::connect(
        pictureInPicture, &QAction::triggered, pictureInPicture, [this, pictureInPicture] {
            // Without an action set by a player window, the title tells which way to go.
            std::string action = pictureInPicture->action();
            if (action.empty()) {
                action = pictureInPicture->title() ==
                                 QLPictureInPictureController::pictureInPictureControlTitleStop()
                             ? "stopPictureInPicture:"
                             : "startPictureInPicture:";
            }
            application().sendAction(action, nullptr, pictureInPicture);
        });
    viewMenu->addAction(pictureInPicture);
    pictureInPictureMenuItem_ = pictureInPicture;
    viewMenu_ = viewMenu.get();
    menus.push_back(std::move(viewMenu));

    auto tracksMenu = std::make_unique<QMenu>(
        qs(platform::localizedString("&Tracks", "The title of the Tracks menu.")));
    tracksMenu_ = tracksMenu.get();
    // An empty menu would not open at all.
    updateTracksMenu(tracksMenu_);
    menus.push_back(std::move(tracksMenu));

    auto controlsMenu = std::make_unique<QMenu>(
        qs(platform::localizedString("&Controls", "The title of the Controls menu.")));
    QAction* playPause = addActionItem(
        *controlsMenu, platform::localizedString("Play/Pause", "A Controls menu item."),
        "togglePlayPauseState:", QKeySequence(Qt::Key_Space));
    // Space belongs to the focused control, and outside the player windows to the window: the
    // player window takes the key itself when nothing else did; the menu only shows it.
    playPause->setShortcutContext(Qt::WidgetShortcut);
    controlsMenu->addSeparator();
    addActionItem(*controlsMenu,
                  platform::localizedString("Step Backward", "A Controls menu item."),
                  "stepBackward:", QKeySequence(Qt::Key_Comma));
    addActionItem(*controlsMenu, platform::localizedString("Step Forward", "A Controls menu item."),
                  "stepForward:", QKeySequence(Qt::Key_Period));
    controlsMenu->addSeparator();
    addActionItem(*controlsMenu,
                  platform::localizedString("Jump Backward", "A Controls menu item."),
                  "jumpBackward:", QKeySequence(Qt::ControlModifier | Qt::Key_Left));
    addActionItem(*controlsMenu, platform::localizedString("Jump Forward", "A Controls menu item."),
                  "jumpForward:", QKeySequence(Qt::ControlModifier | Qt::Key_Right));
    addActionItem(*controlsMenu,
                  platform::localizedString("Jump to Beginning", "A Controls menu item."),
                  "jumpToBeginning:", QKeySequence(Qt::ControlModifier | Qt::Key_Home));
    addActionItem(*controlsMenu, platform::localizedString("Jump to End", "A Controls menu item."),
                  "jumpToEnd:", QKeySequence(Qt::ControlModifier | Qt::Key_End));
    controlsMenu->addSeparator();
    controlsMenu->addAction(platform::NSMenuItem::sectionHeader(
        platform::localizedString("Playback Speed",
                                  "The section of the Controls menu that holds "
                                  "the playback-rate slider."),
        controlsMenu.get()));
    auto* rateItem = new QWidgetAction(controlsMenu.get());
    rateItem->setDefaultWidget(&playbackRateMenuItemView());
    playbackRateMenuItemViewOwner_.release();
    controlsMenu->addAction(rateItem);
    playbackRateMenuItem_ = rateItem;
    controlsMenu_ = controlsMenu.get();
    menus.push_back(std::move(controlsMenu));

    auto windowMenu = std::make_unique<QMenu>(
        qs(platform::localizedString("&Window", "The title of the Window menu.")));
    addActionItem(*windowMenu, platform::localizedString("Minimize", "A Window menu item."),
                  "performMiniaturize:", QKeySequence(Qt::ControlModifier | Qt::Key_M));
    menus.push_back(std::move(windowMenu));

    auto helpMenu = std::make_unique<QMenu>(
        qs(platform::localizedString("&Help", "The title of the Help menu.")));
    addActionItem(*helpMenu,
                  platform::localizedString("Quillon Player FAQ",
                                            "The Help menu item that opens the frequently asked "
                                            "questions web page."),
                  "openFAQ:");
    menus.push_back(std::move(helpMenu));

    for (const auto& menu : menus) {
        QMenu* raw = menu.get();
        QObject::connect(raw, &QMenu::aboutToShow, raw, [this, raw] { menuNeedsUpdate(*raw); });
        // An open menu is read by its window title: the menu's own, without its mnemonic.
        raw->setWindowTitle(raw->title().remove(QLatin1Char('&')));
    }
    return menus;
}

void AppDelegate::menuNeedsUpdate(QMenu& menu) {
    if (&menu == fileMenu_) {
        // The key player window decides (it needs to be in a window and not already loading).
        addSubtitleFileMenuItem_->setEnabled(
            application().validateAction("openExternalSubtitles:"));
    } else if (&menu == viewMenu_) {
        updateViewMenu();
    } else if (&menu == controlsMenu_) {
        updateControlsMenu();
    } else if (&menu == tracksMenu_) {
        updateTracksMenuThroughResponderChain();
    }
}

void AppDelegate::updateViewMenu() {
    platform::precondition(!pictureInPictureMenuItem_.isNull() && !fullScreenMenuItem_.isNull(),
                           "The View menu's items are missing.");
    platform::NSWindow* keyWindow = application().keyWindow();
    fullScreenMenuItem_->setEnabled(keyWindow != nullptr);
    fullScreenMenuItem_->setText(
        qs(keyWindow != nullptr && keyWindow->isInFullScreen()
               ? platform::localizedString("Exit Full Screen", "A View menu item.")
               : platform::localizedString("Enter Full Screen", "A View menu item.")));

    platform::NSMenuItem& item = *pictureInPictureMenuItem_;
    // A player window that answers sets the item up from scratch, as it would a fresh item.
    item.setVisible(true);
    item.setEnabled(true);
    if (application().sendAction("updatePictureInPictureMenuItem:", nullptr, &item)) {
        return;
    }
    if (isPictureInPictureSupported_()) {
        item.setVisible(true);
        item.setText(qs(QLPictureInPictureController::pictureInPictureControlTitleStart()));
        item.setAction({});
        item.setEnabled(false);
    } else {
        item.setVisible(false);
    }
}

void AppDelegate::updateTracksMenuThroughResponderChain() {
    platform::precondition(!tracksMenu_.isNull(), "The Tracks menu is missing.");
    if (!application().sendAction("updateTracksMenu:", nullptr, tracksMenu_)) {
        updateTracksMenu(tracksMenu_);
    }
}

void AppDelegate::updateControlsMenu() {
    platform::precondition(!controlsMenu_.isNull() && !playbackRateMenuItem_.isNull(),
                           "The Controls menu's items are missing.");
    PlaybackRateSlider& slider = playbackRateSlider();
    if (!application().sendAction("updatePlaybackRateSlider:", nullptr, &slider)) {
        updatePlaybackRateSlider(&slider);
    }
    QWidget& view = playbackRateMenuItemView();
    view.setGeometry(QRect(QPoint(0, 0), view.sizeHint()));
    view.setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    if (playbackRateMenuItem_->defaultWidget() != &view) {
        playbackRateMenuItem_->setDefaultWidget(&view);
        playbackRateMenuItemViewOwner_.release();
    }
}

PlaybackRateSlider& AppDelegate::playbackRateSlider() {
    if (playbackRateSlider_ == nullptr) {
        playbackRateMenuItemView();
    }
    return *playbackRateSlider_;
}

QWidget& AppDelegate::playbackRateMenuItemView() {
    if (playbackRateMenuItemView_.isNull()) {
        playbackRateMenuItemViewOwner_ = std::make_unique<QWidget>();
        playbackRateMenuItemView_ = playbackRateMenuItemViewOwner_.get();
        auto* layout = new QHBoxLayout(playbackRateMenuItemView_);
        layout->setContentsMargins(menuItemViewInsets());
        layout->setSpacing(0);
        std::unique_ptr<PlaybackRateSlider> slider = makePlaybackRateSlider();
        playbackRateSlider_ = slider.get();
        layout->addWidget(slider.release());
    }
    return *playbackRateMenuItemView_;
}

// MARK: - Fallbacks of the responder chain

bool AppDelegate::tryToPerform(std::string_view action, QObject* sender) {
    if (action == "updateTracksMenu:") {
        updateTracksMenu(sender);
    } else if (action == "updatePlaybackRateSlider:") {
        updatePlaybackRateSlider(sender);
    } else if (action == "showPreferencesWindow:") {
        showPreferencesWindow(sender);
    } else if (action == "openFAQ:") {
        openFAQ(sender);
    } else {
        return false;
    }
    return true;
}

void AppDelegate::updateTracksMenu(QObject* /*sender*/) {
    platform::precondition(!tracksMenu_.isNull(), "The Tracks menu is missing.");
    tracksMenu_->clear();
    QAction* item = tracksMenu_->addAction(qs(platform::localizedString(
        "No Media Selected",
        "The title of a disabled menu item shown under the Tracks menu that indicates that the "
        "media tracks cannot be shown unless the user opens a media file and selects its "
        "window.")));
    item->setShortcut(QKeySequence());
    item->setEnabled(false);
}

void AppDelegate::updatePlaybackRateSlider(QObject* /*sender*/) {
    PlaybackRateSlider& slider = playbackRateSlider();
    slider.slider()->setEnabled(false);
    slider.updateLabelColors();

    const float defaultRate = defaultPlaybackRate(userDefaults_);
    slider.setSelectedIndex(static_cast<int>(slider.nearestItemIndex(defaultRate)));

    slider.updateAccessibilityValueIndicator();
    postAccessibilityValueChanged(&slider, slider.accessibilityValue());

    slider.action().clear();
}

// MARK: - Preferences and help

void AppDelegate::makePreferencesWindowController() {
    preferencesWindowController_ =
        quillon::makePreferencesWindowController(castlinkManager_, userDefaults_);
}

void AppDelegate::showPreferencesWindow(QObject* /*sender*/) {
    if (!preferencesWindowController_) {
        makePreferencesWindowController();
    }
    preferencesWindowController_->showWindow(nullptr);
}

void AppDelegate::openFAQ(QObject* /*sender*/) {
    const auto url = platform::URL::fromString(faqAddress);
    if (!url || !workspace_.openURL(*url)) {
        platform::logError("Failed to open {}.", faqAddress);
    }
}

}  // namespace quillon
