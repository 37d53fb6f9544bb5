#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <algorithm>
#include <atomic>

#include "platform/accessibility/CaptionAppearanceSettings.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/graphics/NSFont.h"
#include "support/FakeCaptionAppearance.h"
#include "support/GuiApplicationEnvironment.h"

using namespace platform;

namespace {

class CaptionAppearanceSettingsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(directory_.isValid()); }

    QTemporaryDir directory_;
    UserDefaults defaults_{directory_.filePath(QStringLiteral("defaults.conf")).toStdString()};
    CaptionAppearanceSettings settings_{defaults_};
};

constexpr auto user = kMACaptionAppearanceDomainUser;

}  // namespace

TEST_F(CaptionAppearanceSettingsTest, UnsetKeysGiveTheBuiltInAppearance) {
    auto behavior = kMACaptionAppearanceBehaviorUseContentIfAvailable;
    EXPECT_EQ(settings_.copyForegroundColor(user, &behavior), NSColor::whiteColor());
    EXPECT_EQ(behavior, kMACaptionAppearanceBehaviorUseValue);
    EXPECT_EQ(settings_.getForegroundOpacity(user, nullptr), 1);
    EXPECT_EQ(settings_.copyBackgroundColor(user, nullptr), std::nullopt);
    EXPECT_EQ(settings_.copyWindowColor(user, nullptr), NSColor::blackColor());
    EXPECT_EQ(settings_.getWindowOpacity(user, nullptr), 0);
    EXPECT_EQ(settings_.getTextEdgeStyle(user, nullptr), kMACaptionAppearanceTextEdgeStyleNone);
    EXPECT_EQ(settings_.getRelativeCharacterSize(user, nullptr), 1);
    EXPECT_TRUE(settings_.copyPreferredCaptioningMediaCharacteristics(user).empty());
    EXPECT_EQ(settings_.copySelectedLanguages(user), CaptionAppearanceSettings::systemLanguages());

    const auto descriptor =
        settings_.copyFontDescriptorForStyle(nullptr, user, kMACaptionAppearanceFontStyleDefault);
    ASSERT_TRUE(descriptor.has_value());
    EXPECT_EQ(NSFont::fontWithDescriptor(*descriptor, 12), NSFont::systemFontOfSize(12));
}

TEST_F(CaptionAppearanceSettingsTest, UserValuesAnswerOnlyInTheUserDomain) {
    defaults_.set("#FFFF00", CaptionAppearanceSettings::foregroundColorKey);
    defaults_.set(0.5, CaptionAppearanceSettings::windowOpacityKey);
    defaults_.set(4, CaptionAppearanceSettings::textEdgeStyleKey);
    defaults_.set("fr, en ,", CaptionAppearanceSettings::selectedLanguagesKey);
    defaults_.set(true, CaptionAppearanceSettings::fontBoldKey);

    EXPECT_EQ(settings_.copyForegroundColor(user, nullptr), NSColor::colorWithSRGBRed(1, 1, 0, 1));
    EXPECT_EQ(settings_.getWindowOpacity(user, nullptr), 0.5);
    EXPECT_EQ(settings_.getTextEdgeStyle(user, nullptr), kMACaptionAppearanceTextEdgeStyleUniform);
    EXPECT_EQ(settings_.copySelectedLanguages(user), (std::vector<std::string>{"fr", "en"}));
    EXPECT_TRUE(NSFont::fontWithDescriptor(*settings_.copyFontDescriptorForStyle(
                                               nullptr, user, kMACaptionAppearanceFontStyleDefault),
                                           12)
                    ->isBold());

    constexpr auto builtIn = kMACaptionAppearanceDomainDefault;
    EXPECT_EQ(settings_.copyForegroundColor(builtIn, nullptr), NSColor::whiteColor());
    EXPECT_EQ(settings_.getWindowOpacity(builtIn, nullptr), 0);

    // An empty colour turns the optional background off; an unreadable one is ignored.
    defaults_.set("", CaptionAppearanceSettings::backgroundColorKey);
    EXPECT_EQ(settings_.copyBackgroundColor(user, nullptr), std::nullopt);
    defaults_.set("not a colour", CaptionAppearanceSettings::foregroundColorKey);
    EXPECT_EQ(settings_.copyForegroundColor(user, nullptr), NSColor::whiteColor());
}

TEST_F(CaptionAppearanceSettingsTest, ChangingASettingPostsTheChangeNotification) {
    std::atomic<int> changes = 0;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kMACaptionAppearanceSettingsChangedNotification, nullptr,
        [&](const Notification&) { ++changes; });
    defaults_.set(2.0, CaptionAppearanceSettings::relativeCharacterSizeKey);
    EXPECT_EQ(changes, 1);
    defaults_.set(2.0, CaptionAppearanceSettings::relativeCharacterSizeKey);
    EXPECT_EQ(changes, 1) << "writing the same value changes nothing";
    defaults_.set("unrelated", "SomeOtherKey");
    EXPECT_EQ(changes, 1);
    defaults_.removeObject(CaptionAppearanceSettings::relativeCharacterSizeKey);
    EXPECT_EQ(changes, 2);
}

TEST(CaptionAppearanceColorTest, ParsesAndFormatsHexColours) {
    EXPECT_EQ(CaptionAppearanceSettings::parseColor("#ff0000"),
              NSColor::colorWithSRGBRed(1, 0, 0, 1));
    EXPECT_EQ(CaptionAppearanceSettings::parseColor(" 00000000 "), NSColor::clearColor());
    EXPECT_EQ(CaptionAppearanceSettings::parseColor("#12345"), std::nullopt);
    EXPECT_EQ(CaptionAppearanceSettings::parseColor("#GGGGGG"), std::nullopt);
    const NSColor color = NSColor::colorWithSRGBRed(0.2, 0.4, 0.6, 0.8);
    EXPECT_EQ(CaptionAppearanceSettings::formatColor(color), "#336699CC");
    EXPECT_EQ(CaptionAppearanceSettings::parseColor(CaptionAppearanceSettings::formatColor(color)),
              color);
}

TEST(CaptionAppearanceLanguagesTest, SystemLanguagesAreCanonicalAndUnique) {
    const auto languages = CaptionAppearanceSettings::systemLanguages();
    for (const std::string& language : languages) {
        EXPECT_EQ(std::count(languages.begin(), languages.end(), language), 1) << language;
        EXPECT_EQ(language.find('_'), std::string::npos) << language;
    }
}

TEST(CaptionAppearanceProviderTest, TheFunctionsAskTheCurrentProvider) {
    auto fake = std::make_shared<FakeCaptionAppearance>();
    std::atomic<int> changes = 0;
    ObserverToken token = NotificationCenter::defaultCenter().addObserver(
        kMACaptionAppearanceSettingsChangedNotification, nullptr,
        [&](const Notification&) { ++changes; });

    setCurrentCaptionAppearanceProvider(fake);
    EXPECT_EQ(changes, 1);
    auto values = fake->values();
    values.selectedLanguages = {"de"};
    values.preferredCaptioningMediaCharacteristics = {
        MAMediaCharacteristicTranscribesSpokenDialogForAccessibility};
    values.preferredAudibleMediaCharacteristics = {
        MAMediaCharacteristicDescribesVideoForAccessibility};
    values.textEdgeStyle = kMACaptionAppearanceTextEdgeStyleRaised;
    fake->setValues(values);
    EXPECT_EQ(changes, 2);

    EXPECT_EQ(MACaptionAppearanceCopySelectedLanguages(kMACaptionAppearanceDomainUser),
              std::vector<std::string>{"de"});
    EXPECT_EQ(
        MACaptionAppearanceCopyPreferredCaptioningMediaCharacteristics(
            kMACaptionAppearanceDomainUser),
        std::vector<std::string>{MAMediaCharacteristicTranscribesSpokenDialogForAccessibility});
    EXPECT_EQ(MAAudibleMediaCopyPreferredCharacteristics(),
              std::vector<std::string>{MAMediaCharacteristicDescribesVideoForAccessibility});
    EXPECT_EQ(MACaptionAppearanceGetTextEdgeStyle(kMACaptionAppearanceDomainUser, nullptr),
              kMACaptionAppearanceTextEdgeStyleRaised);

    setCurrentCaptionAppearanceProvider(nullptr);
    EXPECT_EQ(changes, 3);
    EXPECT_NE(currentCaptionAppearanceProvider(), fake);
}
