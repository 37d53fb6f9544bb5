#include <gtest/gtest.h>

#include <unistd.h>

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <filesystem>
#include <string>

#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "media-player/MediaPlayer.h"
#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/appkit/SUUpdater.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/castlink/CastlinkTestSupport.h"
#include "player-interface/castlink/CastlinkViewController.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/preferences/AdvancedPreferencePaneViewController.h"
#include "player-interface/preferences/GeneralPreferencePaneView.h"
#include "player-interface/preferences/GeneralPreferencePaneViewController.h"
#include "player-interface/preferences/PreferencesWindow.h"
#include "support/ScratchFolder.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon {
namespace {

// The standard defaults (the preferences window keeps its last pane there) live in a folder of
// the test program's own.
const test::ScratchFolder configurationFolder("quillon-player-interface-tests");
const bool privateConfigurationDirectory =
    setenv("XDG_CONFIG_HOME", configurationFolder.path().c_str(), 1) == 0;

class PreferencePanesTest : public ::testing::Test {
protected:
    PreferencePanesTest()
        : path_(std::filesystem::temp_directory_path() /
                ("quillon-preference-panes-" + std::to_string(getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".ini")),
          ownedDefaults_(std::make_shared<platform::UserDefaults>(path_.string())),
          defaults_(*ownedDefaults_),
          updater_(defaults_) {
        std::filesystem::remove(path_);
        registerDefaultUserDefaults(defaults_);
    }
    ~PreferencePanesTest() override { std::filesystem::remove(path_); }

    std::shared_ptr<GeneralPreferencePaneViewController> makeGeneralPane() {
        GeneralPreferencePaneViewController::Dependencies dependencies;
        dependencies.userDefaults = &defaults_;
        dependencies.notificationCenter = &center_;
        dependencies.updater = &updater_;
        dependencies.subtitleTextStyleManager = [this] {
            if (!subtitleStyles_) {
                subtitleStyles_ = SubtitleTextStyleManager::make(nullptr, ownedDefaults_);
            }
            return subtitleStyles_;
        };
        auto pane = std::make_shared<GeneralPreferencePaneViewController>(dependencies);
        pane->view();
        return pane;
    }

    // Types into the jump-interval field and ends the editing.
    static void enterJumpInterval(GeneralPreferencePaneViewController& pane, const char* text) {
        QLineEdit* field = pane.generalView().jumpIntervalTextField();
        field->setText(QString::fromUtf8(text));
        emit field->editingFinished();
    }

    std::filesystem::path path_;
    std::shared_ptr<platform::UserDefaults> ownedDefaults_;
    platform::UserDefaults& defaults_;
    platform::NotificationCenter center_;
    platform::SUUpdater updater_;
    std::shared_ptr<SubtitleTextStyleManager> subtitleStyles_;
};

TEST_F(PreferencePanesTest, CheckBoxesShowAndWriteTheirDefaults) {
    defaults_.set(true, QPPlayAutomaticallyOnOpen);
    updater_.setAutomaticallyChecksForUpdates(true);
    auto pane = makeGeneralPane();
    GeneralPreferencePaneView& view = pane->generalView();
    EXPECT_EQ(pane->preferencePaneIdentifier().rawValue, "general");
    EXPECT_EQ(pane->title(), "General");
    EXPECT_TRUE(pane->toolbarItemImage());
    EXPECT_FALSE(view.automaticFullScreenOnOpenCheckBox()->isChecked());
    EXPECT_TRUE(view.automaticPlaybackOnOpenCheckBox()->isChecked());
    EXPECT_TRUE(view.automaticUpdatesCheckBox()->isChecked());

    view.automaticFullScreenOnOpenCheckBox()->click();
    view.automaticPlaybackOnOpenCheckBox()->click();
    view.automaticUpdatesCheckBox()->click();
    view.overrideTextStyleCheckBox()->click();
    EXPECT_TRUE(defaults_.boolForKey(QPEnterFullScreenAutomaticallyOnOpen));
    EXPECT_FALSE(defaults_.boolForKey(QPPlayAutomaticallyOnOpen));
    EXPECT_FALSE(updater_.automaticallyChecksForUpdates());
    EXPECT_TRUE(defaults_.boolForKey(QPUseUserSpecifiedSubtitleTextStyle));

    int notifications = 0;
    const auto token =
        center_.addObserver(MediaPlayer::audioSpatializationAllowedDidChangeNotification, nullptr,
                            [&](const platform::Notification&) { ++notifications; });
    view.audioSpatializationAllowedCheckBox()->click();
    EXPECT_EQ(notifications, 1);
    EXPECT_EQ(defaults_.boolForKey(QPAllowAudioSpatialization),
              view.audioSpatializationAllowedCheckBox()->isChecked());
}

TEST_F(PreferencePanesTest, JumpIntervalsAreClampedAndAnEmptyFieldRestoresTheDefault) {
    auto pane = makeGeneralPane();
    GeneralPreferencePaneView& view = pane->generalView();
    EXPECT_EQ(view.jumpIntervalTextField()->text(), "15");
    EXPECT_EQ(view.jumpIntervalStepper()->value(), 15.0);

    const std::vector<std::pair<const char*, double>> cases{
        {"0", 1.0}, {"1000", 300.0}, {" 42\n", 42.0}, {"abc", 1.0}, {"2.5", 2.5}};
    for (const auto& [typed, stored] : cases) {
        enterJumpInterval(*pane, typed);
        EXPECT_EQ(defaults_.doubleForKey(QPJumpIntervalInSeconds), stored) << typed;
        EXPECT_EQ(view.jumpIntervalTextField()->text(), QString::number(stored)) << typed;
        EXPECT_EQ(view.jumpIntervalStepper()->value(), stored) << typed;
    }

    enterJumpInterval(*pane, "  \t");
    EXPECT_EQ(defaults_.doubleForKey(QPJumpIntervalInSeconds), 15.0);
    EXPECT_EQ(view.jumpIntervalTextField()->text(), "15");

    view.jumpIntervalStepper()->stepBy(1);
    EXPECT_EQ(defaults_.doubleForKey(QPJumpIntervalInSeconds), 16.0);
    EXPECT_EQ(view.jumpIntervalTextField()->text(), "16");

    // A stored value outside the range shows clamped.
    defaults_.set(9000.0, QPJumpIntervalInSeconds);
    auto another = makeGeneralPane();
    EXPECT_EQ(another->generalView().jumpIntervalTextField()->text(), "300");
}

TEST_F(PreferencePanesTest, JumpIntervalsAreReadAndShownInTheUsersNotation) {
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto pane = makeGeneralPane();
    GeneralPreferencePaneView& view = pane->generalView();
    // German writes the decimal comma; the full stop every keyboard has reads the same.
    const std::vector<std::pair<const char*, double>> cases{
        {"1,5", 1.5}, {"1.5", 1.5}, {"2,5 s", 2.5}, {"12x", 12.0}, {"x12", 1.0}};
    for (const auto& [typed, stored] : cases) {
        enterJumpInterval(*pane, typed);
        EXPECT_EQ(defaults_.doubleForKey(QPJumpIntervalInSeconds), stored) << typed;
    }
    enterJumpInterval(*pane, "2,5");
    EXPECT_EQ(view.jumpIntervalTextField()->text(), "2,5");
    QLocale::setDefault(previous);

    EXPECT_EQ(GeneralPreferencePaneViewController::jumpIntervalFromText("1,5"), 1.0);
    EXPECT_EQ(GeneralPreferencePaneViewController::jumpIntervalFromText("1.5"), 1.5);
}

TEST_F(PreferencePanesTest, TheUpdatesRowIsHiddenWithoutAnUpdater) {
    auto pane = makeGeneralPane();
    pane->view()->show();
    GeneralPreferencePaneView& view = pane->generalView();
    ASSERT_FALSE(updater_.canCheckForUpdates());
    EXPECT_TRUE(view.automaticUpdatesCheckBoxGridRow().isHidden());
    EXPECT_FALSE(view.automaticUpdatesCheckBox()->isVisible());
    EXPECT_TRUE(view.automaticFullScreenOnOpenCheckBox()->isVisible());
}

TEST_F(PreferencePanesTest, EmptyingTheJumpIntervalRemovesTheStoredValue) {
    auto pane = makeGeneralPane();
    enterJumpInterval(*pane, "30");
    ASSERT_EQ(defaults_.doubleForKey(QPJumpIntervalInSeconds), 30.0);
    enterJumpInterval(*pane, "");
    // Reading the file afresh shows no stored value: only the registered one answers.
    platform::UserDefaults reread(path_.string());
    EXPECT_FALSE(reread.objectForKey(QPJumpIntervalInSeconds).has_value());
    EXPECT_EQ(defaults_.doubleForKey(QPJumpIntervalInSeconds), 15.0);
}

TEST_F(PreferencePanesTest, TheRateSliderShowsTheNearestStopAndWritesExactStops) {
    defaults_.set(1.1, QPDefaultPlaybackRate);
    auto pane = makeGeneralPane();
    PlaybackRateSlider* slider = pane->defaultPlaybackRateSlider();
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->selectedItem().value, 1.0f);
    EXPECT_EQ(slider->accessibleName(), "Default playback rate");
    EXPECT_EQ(slider->geometry().x(), 18);

    slider->accessibilityPerformIncrement();
    EXPECT_EQ(defaults_.doubleForKey(QPDefaultPlaybackRate), 1.25);
    // The registered integer shows as the 1× stop.
    defaults_.removeObject(QPDefaultPlaybackRate);
    EXPECT_EQ(makeGeneralPane()->defaultPlaybackRateSlider()->selectedItem().value, 1.0f);
}

TEST_F(PreferencePanesTest, SpatialAudioIsOfferedOnlyFromMacOS11Point4To12) {
    using platform::OperatingSystem;
    const auto rowsShown = [this] {
        auto pane = makeGeneralPane();
        GeneralPreferencePaneView& view = pane->generalView();
        EXPECT_EQ(view.audioSpatializationAllowedCheckBoxGridRow().isHidden(),
                  view.audioSpatializationAllowedCheckBoxDescriptionGridRow().isHidden());
        return std::pair(!view.audioSpatializationAllowedCheckBoxGridRow().isHidden(),
                         view.audioSpatializationAllowedCheckBox()->isChecked());
    };
    defaults_.set(false, QPAllowAudioSpatialization);
    EXPECT_EQ(rowsShown(), std::pair(false, true));
    {
        platform::ProcessInfo::ScopedOverride macOS(
            {OperatingSystem::macOS, {11, 4, 0}, "", false});
        EXPECT_EQ(rowsShown(), std::pair(true, false));
    }
    {
        platform::ProcessInfo::ScopedOverride macOS(
            {OperatingSystem::macOS, {11, 3, 9}, "", false});
        EXPECT_EQ(rowsShown(), std::pair(false, false));
    }
    {
        platform::ProcessInfo::ScopedOverride macOS(
            {OperatingSystem::macOS, {12, 0, 0}, "", false});
        EXPECT_EQ(rowsShown(), std::pair(false, true));
    }
}

TEST_F(PreferencePanesTest, DescriptionsLineUpWithTheirCheckBoxTitles) {
    auto pane = makeGeneralPane();
    GeneralPreferencePaneView& view = pane->generalView();
    const auto inset = checkBoxTitleInsets(*view.overrideTextStyleCheckBox());
    EXPECT_GT(inset.left, 0.0);
    EXPECT_EQ(view.overrideTextStyleCheckBoxDescription()->contentsMargins().left(),
              static_cast<int>(inset.left));
}

TEST_F(PreferencePanesTest, TheAdvancedPaneIsOfferedOnlyWhenTheToolReportsAVersion) {
    const auto paneIdentifiers = [](preferences_window::PreferencesWindowController& window) {
        std::vector<std::string> identifiers;
        for (const auto& pane : window.windowViewController().childViewControllers()) {
            identifiers.push_back(
                preferences_window::preferencePane(*pane).preferencePaneIdentifier().rawValue);
        }
        return identifiers;
    };
    test::FakeCastlinkManager manager;
    EXPECT_EQ(
        paneIdentifiers(*makePreferencesWindowController(manager, defaults_, makeGeneralPane())),
        std::vector<std::string>{"general"});

    manager.installedVersion = PrivilegedHelperVersion(45, 1, 2, 3);
    defaults_.set(true, QPShowDebugPreferencePane);
    const auto window = makePreferencesWindowController(manager, defaults_, makeGeneralPane());
    EXPECT_EQ(paneIdentifiers(*window), (std::vector<std::string>{"general", "advanced", "debug"}));
    // Before macOS 11 there is no Debug pane.
    {
        platform::ProcessInfo::ScopedOverride macOS(
            {platform::OperatingSystem::macOS, {10, 15, 7}, "", false});
        EXPECT_EQ(paneIdentifiers(
                      *makePreferencesWindowController(manager, defaults_, makeGeneralPane())),
                  (std::vector<std::string>{"general", "advanced"}));
    }

    // The Advanced pane holds the Castlink view, which asks the tool again when shown.
    const auto& advanced = std::dynamic_pointer_cast<AdvancedPreferencePaneViewController>(
        window->windowViewController().childViewControllers()[1]);
    ASSERT_TRUE(advanced);
    advanced->view()->show();
    EXPECT_EQ(advanced->castlinkViewController()->actionButton()->text(), "Uninstall Castlink");
    advanced->view()->hide();
}

}  // namespace
}  // namespace quillon
