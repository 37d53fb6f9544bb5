#include <QLayout>
#include <QSlider>
#include <QTimer>

#include "AppDelegateTestSupport.h"
#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "libraries/preferences-window/PreferencesWindowController.h"
#include "libraries/preferences-window/PreferencesWindowViewController.h"
#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/foundation/ProcessInfo.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/picture-in-picture/QLPictureInPictureController.h"

namespace quillon::test {
namespace {

using Value = platform::UserDefaults::Value;

TEST_F(AppDelegateTest, LaunchingRegistersTheDefaultsAndAsksForAFileInPlaceOfAnUntitledOne) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    application_.finishLaunching();

    // Each value with the type it is registered with: the rate is an integer, read as a float.
    const std::vector<std::pair<const char*, Value>> expected{
        {QPEnterFullScreenAutomaticallyOnOpen, false},
        {QPPlayAutomaticallyOnOpen, false},
        {QPDefaultPlaybackRate, std::int64_t{1}},
        {QPJumpIntervalInSeconds, 15.0},
        {QPUseUserSpecifiedSubtitleTextStyle, false},
        {QPShowEndTimeInsteadOfRemainingTime, false},
        {QPAllowAudioSpatialization, true},
        {QPShowDebugPreferencePane, false},
    };
    for (const auto& [key, value] : expected) {
        EXPECT_EQ(defaults_.objectForKey(key), std::optional<Value>(value)) << key;
    }

    // Nothing was restored and nothing named: the Open panel, once; no uninstall alert.
    EXPECT_EQ(documentController_.openPanels, 1);
    EXPECT_EQ(castlink_.versionQueries, 1);
}

TEST_F(AppDelegateTest, FilesGivenAtLaunchOpenAsDocumentsAndNoOpenPanelShows) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    const auto url = platform::URL::fileURL("/media/holiday.mkv");
    application_.setURLsToOpenAtLaunch({url});
    application_.finishLaunching();

    EXPECT_EQ(documentController_.openedURLs, std::vector<platform::URL>{url});
    EXPECT_EQ(documentController_.openPanels, 0);
}

TEST_F(AppDelegateTest, WithoutAPlayerWindowTheTracksMenuOnlySaysNoMediaSelected) {
    auto delegate = makeDelegate();
    const auto menus = delegate->makeMainMenu();
    QMenu& tracks = *delegate->tracksMenu();
    tracks.addAction(QStringLiteral("Left over from a player window"));

    emit tracks.aboutToShow();

    ASSERT_EQ(tracks.actions().size(), 1);
    EXPECT_EQ(tracks.actions()[0]->text(), QStringLiteral("No Media Selected"));
    EXPECT_FALSE(tracks.actions()[0]->isEnabled());
    EXPECT_TRUE(tracks.actions()[0]->shortcut().isEmpty());
}

TEST_F(AppDelegateTest, WithoutAPlayerWindowTheRateSliderIsDisabledAtTheStopNearestTheDefault) {
    struct Target {
        void selectPlaybackRate(PlaybackRateSlider& /*sender*/) {}
    };
    auto delegate = makeDelegate();
    const auto menus = delegate->makeMainMenu();
    registerDefaultUserDefaults(defaults_);
    PlaybackRateSlider& slider = delegate->playbackRateSlider();
    const auto target = std::make_shared<Target>();
    const auto selectedValueAfterOpening = [&] {
        slider.slider()->setEnabled(true);
        slider.action().set(target, &Target::selectPlaybackRate);
        emit delegate->controlsMenu()->aboutToShow();
        EXPECT_FALSE(slider.slider()->isEnabled());
        EXPECT_FALSE(slider.action().isSet());
        return slider.selectedItem().value;
    };

    // The registered integer 1 reads as the float 1.
    EXPECT_EQ(selectedValueAfterOpening(), 1.0f);
    defaults_.set(1.3, QPDefaultPlaybackRate);
    EXPECT_EQ(selectedValueAfterOpening(), 1.25f);
    // Halfway between two stops: the slower one.
    defaults_.set(1.125, QPDefaultPlaybackRate);
    EXPECT_EQ(selectedValueAfterOpening(), 1.0f);
    defaults_.set(1.9, QPDefaultPlaybackRate);
    EXPECT_EQ(selectedValueAfterOpening(), 2.0f);
    // Beyond the fastest stop is no rate the player takes: the registered one stands in.
    defaults_.set(9.0, QPDefaultPlaybackRate);
    EXPECT_EQ(selectedValueAfterOpening(), 1.0f);

    // The menu item shows the slider inside the item insets, at its fitting size.
    QWidget& view = delegate->playbackRateMenuItemView();
    EXPECT_EQ(delegate->playbackRateMenuItem()->defaultWidget(), &view);
    EXPECT_EQ(view.layout()->contentsMargins(), QMargins(14, 7, 14, 7));
    EXPECT_EQ(view.geometry(), QRect(QPoint(0, 0), view.sizeHint()));
    EXPECT_EQ(slider.parentWidget(), &view);
}

TEST_F(AppDelegateTest, WithoutAPlayerWindowThePictureInPictureItemShowsDisabledOrNotAtAll) {
    {
        auto delegate = makeDelegate(/*pictureInPictureSupported=*/true);
        const auto menus = delegate->makeMainMenu();
        platform::NSMenuItem& item = *delegate->pictureInPictureMenuItem();
        item.setText(QStringLiteral("Exit Picture in Picture"));
        emit delegate->viewMenu()->aboutToShow();
        EXPECT_TRUE(item.isVisible());
        EXPECT_FALSE(item.isEnabled());
        EXPECT_EQ(item.title(), QLPictureInPictureController::pictureInPictureControlTitleStart());
    }
    {
        auto delegate = makeDelegate(/*pictureInPictureSupported=*/false);
        const auto menus = delegate->makeMainMenu();
        emit delegate->viewMenu()->aboutToShow();
        EXPECT_FALSE(delegate->pictureInPictureMenuItem()->isVisible());
    }
}

TEST_F(AppDelegateTest, TheDebugPaneIsDecidedWhenThePreferencesFirstShow) {
    const auto paneIdentifiers = [](AppDelegate& delegate) {
        std::vector<std::string> identifiers;
        for (const auto& pane : delegate.preferencesWindowController()
                                    ->windowViewController()
                                    .childViewControllers()) {
            identifiers.push_back(
                preferences_window::preferencePane(*pane).preferencePaneIdentifier().rawValue);
        }
        return identifiers;
    };
    registerDefaultUserDefaults(defaults_);
    defaults_.set(true, QPShowDebugPreferencePane);

    // This system counts as the later systems, which have the pane.
    auto delegate = makeDelegate();
    delegate->tryToPerform("showPreferencesWindow:", nullptr);
    auto* window = delegate->preferencesWindowController();
    EXPECT_EQ(paneIdentifiers(*delegate), (std::vector<std::string>{"general", "debug"}));
    // Asked again, the same window with the same panes, whatever the default says now.
    defaults_.set(false, QPShowDebugPreferencePane);
    delegate->showPreferencesWindow(nullptr);
    EXPECT_EQ(delegate->preferencesWindowController(), window);
    EXPECT_EQ(paneIdentifiers(*delegate), (std::vector<std::string>{"general", "debug"}));
    window->close();

    // Before macOS 11 the setting is ignored.
    platform::ProcessInfo::ScopedOverride macOS(
        {platform::OperatingSystem::macOS, {10, 15, 7}, "", false});
    defaults_.set(true, QPShowDebugPreferencePane);
    auto olderDelegate = makeDelegate();
    olderDelegate->showPreferencesWindow(nullptr);
    EXPECT_EQ(paneIdentifiers(*olderDelegate), std::vector<std::string>{"general"});
    olderDelegate->preferencesWindowController()->close();
}

TEST_F(AppDelegateTest, TheHelpItemOpensTheFrequentlyAskedQuestions) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    EXPECT_TRUE(application_.sendAction("openFAQ:", nullptr, nullptr));
    ASSERT_EQ(openedAddresses_.size(), 1u);
    EXPECT_EQ(openedAddresses_[0].scheme(), "https");
    EXPECT_TRUE(openedAddresses_[0].absoluteString().ends_with("/faq/"));
}

TEST_F(AppDelegateTest, ClosingTheLastWindowQuitsOnceNoDocumentIsLeft) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    platform::NSWindow window(platform::CGRect{{0, 0}, {200, 100}},
                              platform::NSWindowStyleMaskTitled);
    window.show();
    documentController_.openDocumentWithContentsOfURL(platform::URL::fileURL("/media/a.mkv"), true,
                                                      nullptr);
    const auto document = documentController_.documents().front();

    // The document still loading keeps the application alive; its closing lets it go.
    QTimer::singleShot(0, &window, [&] { window.close(); });
    bool documentClosed = false;
    QTimer::singleShot(200, &window, [&] {
        documentClosed = true;
        documentController_.removeDocument(document.get());
        QWidget other;
        other.show();
        other.close();
    });
    QTimer safety;
    safety.callOnTimeout([] { QCoreApplication::exit(1); });
    safety.start(20000);
    EXPECT_EQ(application_.run(), 0);
    EXPECT_TRUE(documentClosed) << "quit while a document was still open";
}

}  // namespace
}  // namespace quillon::test
