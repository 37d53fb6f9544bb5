#include "player-interface/preferences/GeneralPreferencePaneViewController.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QLocale>
#include <QSignalBlocker>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>
#include <string>

#include "media-player/MediaPlayer.h"
#include "media-player/decoders/audio/AudioProperties.h"
#include "media-player/decoders/subtitles/SubtitleTextStyleManager.h"
#include "platform/appkit/SUUpdater.h"
#include "platform/foundation/FatalError.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/ProcessInfo.h"
#include "platform/foundation/UserDefaults.h"
#include "player-interface/common/DefaultUserDefaults.h"
#include "player-interface/preferences/GeneralPreferencePaneView.h"
#include "player-interface/preferences/PreferencePaneIdentifiers.h"
#include "player-interface/preferences/PreferencesSymbolImages.h"

namespace quillon {

namespace {

// The slider's tick titles need room before the first stop.
constexpr int kSliderLeadingInset = 18;

double clampedJumpInterval(double seconds) {
    return std::clamp(seconds, kMinimumJumpIntervalInSeconds, kMaximumJumpIntervalInSeconds);
}

std::shared_ptr<platform::NSImage> generalToolbarImage() {
    return requiredPreferencesSymbolImage("gearshape");
}

// Trims spaces, tabs and line ends at both ends.
std::string trimmed(const std::string& text) {
    const char* whitespace = " \t\n\r\v\f";
    const auto first = text.find_first_not_of(whitespace);
    if (first == std::string::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(whitespace);
    return text.substr(first, last - first + 1);
}

// `text` as a number in the user's own notation ("1,5" in German), else in the one every
// keyboard has ("1.5").
std::optional<double> numberInEitherNotation(const QString& text) {
    for (const QLocale& notation : {QLocale(), QLocale::c()}) {
        bool ok = false;
        const double value = notation.toDouble(text, &ok);
        if (ok && std::isfinite(value)) {
            return value;
        }
    }
    return std::nullopt;
}

}  // namespace

double GeneralPreferencePaneViewController::jumpIntervalFromText(const QString& text) {
    // Like a text field's number: of text that is not a number as a whole, its longest leading
    // number; 0 when there is none.
    for (qsizetype length = text.size(); length > 0; --length) {
        if (const auto value = numberInEitherNotation(text.left(length))) {
            return *value;
        }
    }
    return 0;
}

GeneralPreferencePaneViewController::GeneralPreferencePaneViewController()
    : GeneralPreferencePaneViewController(Dependencies{}) {}

GeneralPreferencePaneViewController::GeneralPreferencePaneViewController(Dependencies dependencies)
    : userDefaults_(dependencies.userDefaults ? *dependencies.userDefaults
                                              : platform::UserDefaults::standard()),
      notificationCenter_(dependencies.notificationCenter
                              ? *dependencies.notificationCenter
                              : platform::NotificationCenter::defaultCenter()),
      updater_(dependencies.updater ? *dependencies.updater : platform::SUUpdater::sharedUpdater()),
      makeSubtitleTextStyleManager_(std::move(dependencies.subtitleTextStyleManager)),
      toolbarItemImage_(generalToolbarImage()) {
    setTitle(platform::localizedString("General", "The title of the General preference pane."));
}

GeneralPreferencePaneViewController::~GeneralPreferencePaneViewController() = default;

preferences_window::PreferencePaneIdentifier
GeneralPreferencePaneViewController::preferencePaneIdentifier() const {
    return generalPreferencePaneIdentifier();
}

void GeneralPreferencePaneViewController::loadView() {
    auto view = std::make_unique<GeneralPreferencePaneView>();
    // The controls reach the pane through the view, which the pane owns.
    QObject::connect(view->automaticFullScreenOnOpenCheckBox(), &QCheckBox::clicked, view.get(),
                     [this] { toggleAutomaticFullScreenOnOpenSetting(); });
    QObject::connect(view->automaticPlaybackOnOpenCheckBox(), &QCheckBox::clicked, view.get(),
                     [this] { toggleAutomaticPlaybackOnOpenSetting(); });
    QObject::connect(view->jumpIntervalTextField(), &QLineEdit::editingFinished, view.get(),
                     [this] { performJumpIntervalTextFieldAction(); });
    QObject::connect(view->jumpIntervalStepper(), &QDoubleSpinBox::valueChanged, view.get(),
                     [this] { performJumpIntervalStepperAction(); });
    QObject::connect(view->audioSpatializationAllowedCheckBox(), &QCheckBox::clicked, view.get(),
                     [this] { toggleAudioSpatializationAllowedSetting(); });
    QObject::connect(view->overrideTextStyleCheckBox(), &QCheckBox::clicked, view.get(),
                     [this] { performOverrideTextStyleAction(); });
    QObject::connect(view->automaticUpdatesCheckBox(), &QCheckBox::clicked, view.get(),
                     [this] { toggleAutomaticUpdatesSetting(); });
    setView(std::move(view));
}

GeneralPreferencePaneView& GeneralPreferencePaneViewController::generalView() {
    auto* general = dynamic_cast<GeneralPreferencePaneView*>(view());
    platform::precondition(general != nullptr,
                           "The General preference pane's view is not its own view.");
    return *general;
}

std::shared_ptr<SubtitleTextStyleManager>
GeneralPreferencePaneViewController::subtitleTextStyleManager() const {
    return makeSubtitleTextStyleManager_ ? makeSubtitleTextStyleManager_()
                                         : SubtitleTextStyleManager::shared();
}

void GeneralPreferencePaneViewController::viewDidLoad() {
    NSViewController::viewDidLoad();
    GeneralPreferencePaneView& view = generalView();

    auto slider = makePlaybackRateSlider();
    slider->setAccessibleName(QString::fromStdString(platform::localizedString(
        "Default playback rate",
        "The accessibility label of a slider that controls the default rate of media playback.")));
    if (const auto self = weak_from_this().lock()) {
        slider->action().set(
            self, &GeneralPreferencePaneViewController::performDefaultPlaybackRateSliderAction);
    }
    // Leading inset 18, top and bottom flush, trailing at most the container's; the slider
    // keeps its own width.
    QWidget* container = view.defaultPlaybackRateSliderContainerView();
    defaultPlaybackRateSlider_ = slider.release();
    defaultPlaybackRateSlider_->setParent(container);
    defaultPlaybackRateSlider_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    const QSize sliderSize = defaultPlaybackRateSlider_->sizeHint();
    defaultPlaybackRateSlider_->setGeometry(kSliderLeadingInset, 0, sliderSize.width(),
                                            sliderSize.height());
    container->setMinimumSize(kSliderLeadingInset + sliderSize.width(), sliderSize.height());
    container->setMaximumHeight(sliderSize.height());

    view.automaticFullScreenOnOpenCheckBox()->setChecked(
        userDefaults_.boolForKey(QPEnterFullScreenAutomaticallyOnOpen));
    view.automaticPlaybackOnOpenCheckBox()->setChecked(
        userDefaults_.boolForKey(QPPlayAutomaticallyOnOpen));

    const float defaultRate = defaultPlaybackRate(userDefaults_);
    defaultPlaybackRateSlider_->setSelectedIndex(
        static_cast<int>(defaultPlaybackRateSlider_->nearestItemIndex(defaultRate)));
    defaultPlaybackRateSlider_->updateAccessibilityValueIndicator();

    {
        const QSignalBlocker blocker(view.jumpIntervalStepper());
        view.jumpIntervalStepper()->setRange(kMinimumJumpIntervalInSeconds,
                                             kMaximumJumpIntervalInSeconds);
    }
    showJumpInterval();

    const auto processInfo = platform::ProcessInfo::processInfo();
    const bool showsSpatialization = processInfo->isMacOSInRange({11, 4, 0}, {12, 0, 0});
    view.audioSpatializationAllowedCheckBoxGridRow().setHidden(!showsSpatialization);
    view.audioSpatializationAllowedCheckBoxDescriptionGridRow().setHidden(!showsSpatialization);
    // From macOS 12 the system decides by itself, and everywhere else nothing stands in the way.
    view.audioSpatializationAllowedCheckBox()->setChecked(
        processInfo->isMacOSBefore(12, 0, 0) ? userDefaults_.boolForKey(QPAllowAudioSpatialization)
                                             : true);

    subtitleTextStyleManager();
    view.overrideTextStyleCheckBox()->setChecked(
        userDefaults_.boolForKey(QPUseUserSpecifiedSubtitleTextStyle));

    view.automaticUpdatesCheckBox()->setChecked(updater_.automaticallyChecksForUpdates());
    // The package manager updates the player here: a setting for checks that never run would
    // only mislead, so its row goes, as the rows of other settings that do not apply do.
    view.automaticUpdatesCheckBoxGridRow().setHidden(!updater_.canCheckForUpdates());
}

void GeneralPreferencePaneViewController::showJumpInterval() {
    GeneralPreferencePaneView& view = generalView();
    const double seconds = clampedJumpInterval(jumpIntervalInSeconds(userDefaults_));
    view.jumpIntervalTextField()->setText(QLocale().toString(seconds, 'g', 15));
    const QSignalBlocker blocker(view.jumpIntervalStepper());
    view.jumpIntervalStepper()->setValue(seconds);
}

void GeneralPreferencePaneViewController::toggleAutomaticFullScreenOnOpenSetting() {
    userDefaults_.set(generalView().automaticFullScreenOnOpenCheckBox()->isChecked(),
                      QPEnterFullScreenAutomaticallyOnOpen);
}

void GeneralPreferencePaneViewController::toggleAutomaticPlaybackOnOpenSetting() {
    userDefaults_.set(generalView().automaticPlaybackOnOpenCheckBox()->isChecked(),
                      QPPlayAutomaticallyOnOpen);
}

void GeneralPreferencePaneViewController::performDefaultPlaybackRateSliderAction(
    PlaybackRateSlider& sender) {
    const int index = sender.slider()->value();
    platform::precondition(index >= 0 && static_cast<std::size_t>(index) < sender.items().size(),
                           "The playback rate slider is at no stop.");
    const float rate = sender.items()[static_cast<std::size_t>(index)].value;
    userDefaults_.set(static_cast<double>(rate), QPDefaultPlaybackRate);
}

void GeneralPreferencePaneViewController::performJumpIntervalTextFieldAction() {
    const std::string text = trimmed(generalView().jumpIntervalTextField()->text().toStdString());
    if (text.empty()) {
        userDefaults_.removeObject(QPJumpIntervalInSeconds);
    } else {
        userDefaults_.set(clampedJumpInterval(jumpIntervalFromText(QString::fromStdString(text))),
                          QPJumpIntervalInSeconds);
    }
    showJumpInterval();
}

void GeneralPreferencePaneViewController::performJumpIntervalStepperAction() {
    userDefaults_.set(clampedJumpInterval(generalView().jumpIntervalStepper()->value()),
                      QPJumpIntervalInSeconds);
    showJumpInterval();
}

void GeneralPreferencePaneViewController::toggleAudioSpatializationAllowedSetting() {
    userDefaults_.set(generalView().audioSpatializationAllowedCheckBox()->isChecked(),
                      QPAllowAudioSpatialization);
    notificationCenter_.post(MediaPlayer::audioSpatializationAllowedDidChangeNotification);
}

void GeneralPreferencePaneViewController::performOverrideTextStyleAction() {
    const auto manager = subtitleTextStyleManager();
    userDefaults_.set(generalView().overrideTextStyleCheckBox()->isChecked(),
                      QPUseUserSpecifiedSubtitleTextStyle);
    manager->updateUserSpecifiedStyle();
}

void GeneralPreferencePaneViewController::toggleAutomaticUpdatesSetting() {
    updater_.setAutomaticallyChecksForUpdates(
        generalView().automaticUpdatesCheckBox()->isChecked());
}

}  // namespace quillon
