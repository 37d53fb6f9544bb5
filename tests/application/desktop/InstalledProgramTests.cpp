#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>
#include <cstdlib>
#include <filesystem>

#include "application/ApplicationTranslations.h"
#include "libraries/preferences-window/ResourceBundle.h"
#include "platform/foundation/ApplicationResources.h"
#include "platform/foundation/Localization.h"
#include "support/WidgetApplicationEnvironment.h"

namespace quillon::test {
namespace {

// Run by the install test with the prefix it installed into: what the installed program finds
// from where it lies.
class InstalledProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* prefix = std::getenv("QUILLON_INSTALLED_PREFIX");
        if (prefix == nullptr) {
            GTEST_SKIP() << "run by the install test";
        }
        resources = platform::applicationResourceDirectories(std::filesystem::path(prefix) / "bin");
    }

    std::vector<std::filesystem::path> resources;
};

TEST_F(InstalledProgramTest, AGermanLocaleShowsTheMenusInGerman) {
    const ApplicationTranslations translations(QLocale(QLocale::German, QLocale::Germany),
                                               resources);
    ASSERT_TRUE(translations.hasApplicationCatalogue());
    EXPECT_EQ(translations.directory()->parent_path(), resources.front());
    EXPECT_EQ(platform::localizedString("&File", "The title of the File menu."), "&Datei");
    EXPECT_EQ(platform::localizedString("&Open…", "A File menu item."), "Ö&ffnen…");
}

TEST_F(InstalledProgramTest, TheLibrariesCataloguesLieBesideTheApplicationsOwn) {
    const auto bundle = preferences_window::ResourceBundle::find(resources);
    ASSERT_TRUE(bundle.has_value());
    EXPECT_NE(preferences_window::ResourceBundle(bundle).makeTranslator(QLocale(QLocale::German)),
              nullptr);
}

TEST(ApplicationTranslationsTest, ALanguageWithoutCatalogueLeavesTheTextsInEnglish) {
    const ApplicationTranslations translations(QLocale(QLocale::Swahili),
                                               platform::applicationResourceDirectories());
    EXPECT_FALSE(translations.hasApplicationCatalogue());
    EXPECT_EQ(platform::localizedString("&File", "The title of the File menu."), "&File");
}

TEST(ApplicationTranslationsTest, TheBuildTreeKeepsItsCataloguesWhereTheProgramFindsThem) {
    const ApplicationTranslations translations(QLocale(QLocale::French, QLocale::France));
    ASSERT_TRUE(translations.hasApplicationCatalogue());
    EXPECT_EQ(platform::localizedString("&File", "The title of the File menu."), "&Fichier");
}

TEST(ApplicationResourcesTest, AreLookedForBesideTheProgramsFolderAndFurtherUp) {
    const auto candidates = platform::applicationResourceDirectories("/opt/player/bin");
    ASSERT_GE(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], "/opt/player/share/quillon-player");
    EXPECT_EQ(candidates[1], "/opt/share/quillon-player");
    EXPECT_EQ(candidates.back(), "/share/quillon-player");
}

}  // namespace
}  // namespace quillon::test
