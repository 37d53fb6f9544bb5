#include <gtest/gtest.h>

#include <QLocale>
#include <QTranslator>
#include <filesystem>

#include "libraries/preferences-window/LastViewedPreferencePaneController.h"
#include "libraries/preferences-window/PreferencePaneViewControllers.h"
#include "libraries/preferences-window/PreferencesTestSupport.h"
#include "libraries/preferences-window/ResourceBundle.h"
#include "libraries/preferences-window/SingleItemPreferencePaneSelectionController.h"
#include "platform/foundation/StringFormat.h"
#include "platform/foundation/UserDefaults.h"

namespace preferences_window {
namespace {

using test::makePane;
using test::TestPane;

constexpr const char* kPreferencesComment =
    "The title of the toolbar item in the preferences window if no custom title is given.";
constexpr const char* kTitleFormatComment =
    "The format string for building a generic title for the preferences window. Argument 1 is "
    "the app name.";

class PreferencePaneDeathTest : public ::testing::Test {
protected:
    PreferencePaneDeathTest() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST(PreferencePaneViewControllersTests, keepsThePanesInOrderAndByIdentifier) {
    const auto general = makePane("general", {100, 100}, "General");
    const auto advanced = makePane("advanced", {100, 100}, "Advanced");
    const auto debug = makePane("debug", {100, 100}, "Debug");
    const PreferencePaneViewControllers panes({general, advanced, debug});
    ASSERT_EQ(panes.size(), 3u);
    EXPECT_EQ(panes[0], general);
    EXPECT_EQ(panes[2], debug);
    EXPECT_EQ(panes.identifierToViewControllerMap().size(), 3u);
    EXPECT_EQ(panes.paneWithIdentifier(PreferencePaneIdentifier("advanced")), advanced);
    EXPECT_EQ(panes.firstIdentifier(), PreferencePaneIdentifier("general"));

    const PreferencePaneViewControllersWithToolbarItemImages withImages(panes);
    EXPECT_NE(withImages[1].toolbarItemImageProvider.toolbarItemImage(), nullptr);
}

TEST_F(PreferencePaneDeathTest, programmingErrorsStopTheProcess) {
    EXPECT_DEATH(PreferencePaneViewControllers({makePane("general", {1, 1}, std::nullopt),
                                                makePane("general", {1, 1}, std::nullopt)}),
                 "two preference panes have the identifier \"general\"");
    EXPECT_DEATH(PreferencePaneViewControllers({}), "needs a pane");

    const PreferencePaneViewControllers panes({makePane("general", {1, 1}, std::nullopt)});
    EXPECT_DEATH(panes.paneWithIdentifier(PreferencePaneIdentifier("debug")), "\"debug\"");

    const PreferencePaneViewControllers withoutImage(
        {std::make_shared<TestPane>("general", QSize(1, 1), std::nullopt)});
    const PreferencePaneViewControllersWithToolbarItemImages toolbarPanes{withoutImage};
    EXPECT_DEATH(toolbarPanes[0], "no toolbar image");

    SingleItemPreferencePaneSelectionController single(PreferencePaneIdentifier("general"));
    single.setSelectedPreferencePaneIdentifier(PreferencePaneIdentifier("general"));
    EXPECT_DEATH(single.setSelectedPreferencePaneIdentifier(PreferencePaneIdentifier("debug")),
                 "cannot show \"debug\"");
}

TEST(LastViewedPreferencePaneControllerTests, keepsTheIdentifierInTheUserDefaults) {
    auto& defaults = platform::UserDefaults::standard();
    defaults.removeObject(LastViewedPreferencePaneController::kUserDefaultsKey);
    EXPECT_EQ(LastViewedPreferencePaneController().lastViewedPreferencePaneIdentifier(),
              std::nullopt);

    LastViewedPreferencePaneController controller;
    controller.setLastViewedPreferencePaneIdentifier(PreferencePaneIdentifier("advanced"));
    controller.persist();
    EXPECT_EQ(defaults.stringForKey("PWLastViewedPreferencePaneIdentifier"), "advanced");
    EXPECT_EQ(LastViewedPreferencePaneController().lastViewedPreferencePaneIdentifier(),
              PreferencePaneIdentifier("advanced"));

    controller.setLastViewedPreferencePaneIdentifier(std::nullopt);
    controller.persist();
    EXPECT_EQ(defaults.objectForKey("PWLastViewedPreferencePaneIdentifier"), std::nullopt);
}

TEST(ResourceBundleTests, isFoundInTheFirstCandidateThatHoldsIt) {
    const auto root = std::filesystem::temp_directory_path() /
                      ("quillon-resource-bundle-" + std::to_string(getpid()));
    const auto resources = root / "share";
    const auto besideLibrary = root / "lib";
    const auto executable = root / "bin";
    std::filesystem::create_directories(besideLibrary / ResourceBundle::kBundleName);
    std::filesystem::create_directories(executable / ResourceBundle::kBundleName);
    EXPECT_EQ(ResourceBundle::find({resources, besideLibrary, executable}),
              besideLibrary / ResourceBundle::kBundleName);
    EXPECT_EQ(ResourceBundle::find({resources}), std::nullopt);
    std::filesystem::remove_all(root);
}

TEST(ResourceBundleTests, theBuiltBundleTranslatesTheLibrarysTexts) {
    const auto directory = ResourceBundle::find(ResourceBundle::candidateDirectories());
    ASSERT_TRUE(directory.has_value());
    const ResourceBundle bundle(directory);

    const auto german = bundle.makeTranslator(QLocale(QLocale::German, QLocale::Germany));
    ASSERT_NE(german, nullptr);
    EXPECT_EQ(german->translate(kLocalizationContext, "Preferences", kPreferencesComment),
              "Einstellungen");
    const QString format =
        german->translate(kLocalizationContext, "%1$@ Preferences", kTitleFormatComment);
    EXPECT_EQ(platform::localizedFormat(format.toStdString(), "Quillon Player"),
              "Quillon Player – Einstellungen");

    // A language without a catalogue gets none: the texts stay in English.
    EXPECT_EQ(bundle.makeTranslator(QLocale(QLocale::Swahili, QLocale::Kenya)), nullptr);
    EXPECT_EQ(ResourceBundle(std::nullopt).makeTranslator(QLocale(QLocale::German)), nullptr);
}

TEST(ResourceBundleTests, textsWithoutTranslationShowTheirKey) {
    // This program runs in a locale without a catalogue.
    EXPECT_EQ(localizedString("Preferences", kPreferencesComment), "Preferences");
    EXPECT_EQ(localizedString("%1$@ Preferences", kTitleFormatComment), "%1$@ Preferences");
}

}  // namespace
}  // namespace preferences_window
