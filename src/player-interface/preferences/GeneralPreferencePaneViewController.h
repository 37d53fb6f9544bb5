#pragma once

#include <QString>
#include <memory>

#include "libraries/preferences-window/PreferencePane.h"
#include "platform/appkit/NSViewController.h"
#include "player-interface/widgets/PlaybackRateSlider.h"

namespace platform {
class NotificationCenter;
class SUUpdater;
class UserDefaults;
}  // namespace platform

namespace quillon {

class GeneralPreferencePaneView;
class SubtitleTextStyleManager;

// The General preference pane: what happens when media opens, the default playback rate, the
// jump interval, spatial audio, the subtitle style and automatic updates, each read from and
// written to the user defaults at once. Make it with std::make_shared: the rate slider holds
// the pane weakly as its target. Main thread only.
class GeneralPreferencePaneViewController
    : public platform::NSViewController,
      public preferences_window::PreferencePane,
      public preferences_window::ToolbarItemImageProvider,
      public std::enable_shared_from_this<GeneralPreferencePaneViewController> {
public:
    struct Dependencies {
        platform::UserDefaults* userDefaults = nullptr;              // none: the standard defaults
        platform::NotificationCenter* notificationCenter = nullptr;  // none: the default centre
        platform::SUUpdater* updater = nullptr;                      // none: the shared updater
        // Asked for when needed; none: SubtitleTextStyleManager::shared().
        std::function<std::shared_ptr<SubtitleTextStyleManager>()> subtitleTextStyleManager;
    };

    GeneralPreferencePaneViewController();
    explicit GeneralPreferencePaneViewController(Dependencies dependencies);
    ~GeneralPreferencePaneViewController() override;

    preferences_window::PreferencePaneIdentifier preferencePaneIdentifier() const override;
    std::shared_ptr<platform::NSImage> toolbarItemImage() const override {
        return toolbarItemImage_;
    }

    void loadView() override;
    void viewDidLoad() override;

    void toggleAutomaticFullScreenOnOpenSetting();
    void toggleAutomaticPlaybackOnOpenSetting();
    void performDefaultPlaybackRateSliderAction(PlaybackRateSlider& sender);
    void performJumpIntervalTextFieldAction();
    // The number the jump-interval field holds, read in the user's locale.
    static double jumpIntervalFromText(const QString& text);
    void performJumpIntervalStepperAction();
    void toggleAudioSpatializationAllowedSetting();
    void performOverrideTextStyleAction();
    void toggleAutomaticUpdatesSetting();

    GeneralPreferencePaneView& generalView();
    PlaybackRateSlider* defaultPlaybackRateSlider() const { return defaultPlaybackRateSlider_; }

private:
    void showJumpInterval();
    std::shared_ptr<SubtitleTextStyleManager> subtitleTextStyleManager() const;

    platform::UserDefaults& userDefaults_;
    platform::NotificationCenter& notificationCenter_;
    platform::SUUpdater& updater_;
    std::function<std::shared_ptr<SubtitleTextStyleManager>()> makeSubtitleTextStyleManager_;
    std::shared_ptr<platform::NSImage> toolbarItemImage_;
    PlaybackRateSlider* defaultPlaybackRateSlider_ = nullptr;
};

}  // namespace quillon
