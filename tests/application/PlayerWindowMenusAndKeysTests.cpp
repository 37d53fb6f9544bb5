#include <QAccessible>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPointer>
#include <QtTest/QTest>

#include "application/AppDelegateTestSupport.h"
#include "application/PlayerWindowTestSupport.h"
#include "media-player/media-source/MediaSource.h"
#include "platform/appkit/NSWindow.h"
#include "player-interface/controls/MediaPlayerControlsView.h"
#include "player-interface/controls/MediaPlayerControlsViewController.h"
#include "player-interface/widgets/PlaybackRateSlider.h"
#include "player-interface/window/MediaPlayerViewController.h"
#include "player-interface/window/MediaPlayerWindowController.h"

namespace quillon::test {
namespace {

platform::NSWindow* preferencesWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = dynamic_cast<platform::NSWindow*>(widget);
            window != nullptr && window->identifier() == "PreferencesWindowKit.window") {
            return window;
        }
    }
    return nullptr;
}

using PreferencesWindowKeysTest = AppDelegateTest;

TEST_F(PreferencesWindowKeysTest, OpensWithNoFocusedControlAndLeavesSpaceToItsControls) {
    auto delegate = makeDelegate();
    application_.setDelegate(delegate.get());
    application_.setMainMenu(delegate->makeMainMenu());
    delegate->tryToPerform("showPreferencesWindow:", nullptr);
    platform::NSWindow* window = preferencesWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(activate(*window));
    // Activation hands Qt's focus to the window itself, not to the first control.
    QWidget* focused = QApplication::focusWidget();
    EXPECT_TRUE(focused == nullptr || focused == window) << focused->metaObject()->className();

    const QList<QCheckBox*> checkBoxes = window->findChildren<QCheckBox*>();
    ASSERT_FALSE(checkBoxes.empty());
    QCheckBox* checkBox = checkBoxes.front();
    const bool before = checkBox->isChecked();
    checkBox->setFocus();
    QTest::keyClick(checkBox, Qt::Key_Space);
    EXPECT_NE(checkBox->isChecked(), before);
}

class PlayerWindowMenusTest : public PlayerWindowTest {
protected:
    bool isAddSubtitleFileEnabled() {
        emit delegate_->fileMenu()->aboutToShow();
        return delegate_->addSubtitleFileMenuItem()->isEnabled();
    }
};

TEST_F(PlayerWindowMenusTest, AddSubtitleFileAsksThroughTheOpenPanelAndAddsTheChosenFile) {
    // No player window: nothing to add to.
    EXPECT_FALSE(isAddSubtitleFileEnabled());

    MediaPlayerWindowController* windowController = openPlayerWindow("h264-bt709.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    EXPECT_TRUE(isAddSubtitleFileEnabled());

    delegate_->addSubtitleFileMenuItem()->trigger();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(pumpUntil([&] {
        const QList<QFileDialog*> dialogs = window.findChildren<QFileDialog*>();
        dialog = dialogs.empty() || !dialogs.front()->isVisible() ? nullptr : dialogs.front();
        return dialog != nullptr;
    }));
    EXPECT_TRUE(dialog->nameFilters().join(' ').contains("*.srt"));
    const QString file = QString::fromStdString(mediaPath("subtitles.srt"));
    dialog->setDirectory(QFileInfo(file).absolutePath());
    // The user types the name into the focused name field and presses Open.
    auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(name, nullptr);
    name->setText(QFileInfo(file).fileName());
    static_cast<QDialog*>(dialog)->accept();
    EXPECT_FALSE(dialog->isVisible());

    const auto& source = windowController->mediaPlayer()->mediaSource();
    ASSERT_TRUE(pumpUntil([&] { return !source->externalSubtitlesTracks().empty(); }));
    // Once the file is in and the progress sheet gone, another one can be added.
    EXPECT_TRUE(pumpUntil([&] {
        QApplication::setActiveWindow(&window);
        return isAddSubtitleFileEnabled();
    }));
    EXPECT_EQ(source->externalSubtitlesTracks().size(), 1u);
}

TEST_F(PlayerWindowMenusTest, SpacePlaysInThePlayerWindowUnlessAFocusedControlTakesIt) {
    MediaPlayerWindowController* windowController = openPlayerWindow("h264-aac.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    MediaPlayerControlsView& controls =
        *windowController->mediaPlayerViewController()->controlsViewController()->controlsView();
    QToolButton& playPause = *controls.playPauseButton();
    ASSERT_FALSE(playPause.isChecked());

    window.setFocus();
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(pumpUntil([&] { return playPause.isChecked(); }));
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(pumpUntil([&] { return !playPause.isChecked(); }));

    // A focused button presses itself with Space; the player is left alone.
    QToolButton& pictureInPicture = *controls.pictureInPictureButton();
    int clicks = 0;
    QObject::connect(&pictureInPicture, &QToolButton::pressed, &pictureInPicture,
                     [&] { ++clicks; });
    QObject::disconnect(&pictureInPicture, &QToolButton::clicked, nullptr, nullptr);
    pictureInPicture.setFocusPolicy(Qt::StrongFocus);
    pictureInPicture.setFocus();
    QTest::keyClick(&pictureInPicture, Qt::Key_Space);
    EXPECT_EQ(clicks, 1);
    pumpFor(std::chrono::milliseconds(50));
    EXPECT_FALSE(playPause.isChecked());
}

QAccessibleInterface& accessible(QWidget& widget) {
    QAccessibleInterface* interface = QAccessible::queryAccessibleInterface(&widget);
    EXPECT_NE(interface, nullptr) << widget.metaObject()->className();
    return *interface;
}

QString accessibleName(QWidget& widget) {
    return accessible(widget).text(QAccessible::Name);
}

TEST_F(PlayerWindowMenusTest, AScreenReaderHearsANameForEveryControlAndThePlayButtonsState) {
    MediaPlayerWindowController* windowController = openPlayerWindow("h264-aac.mkv");
    ASSERT_NE(windowController, nullptr);
    platform::NSWindow& window = *windowController->window();
    MediaPlayerControlsView& controls =
        *windowController->mediaPlayerViewController()->controlsViewController()->controlsView();

    QList<QWidget*> focusable = controls.findChildren<QWidget*>();
    focusable.prepend(&controls);
    int checked = 0;
    for (QWidget* control : focusable) {
        if ((control->focusPolicy() & Qt::TabFocus) == 0 || !control->isVisibleTo(&window)) {
            continue;
        }
        ++checked;
        EXPECT_FALSE(accessibleName(*control).isEmpty()) << control->metaObject()->className();
        EXPECT_NE(accessible(*control).role(), QAccessible::NoRole);
    }
    EXPECT_GE(checked, 3);
    EXPECT_EQ(accessible(controls).role(), QAccessible::Grouping);
    EXPECT_EQ(accessible(*controls.scrubber()).role(), QAccessible::Slider);

    // The name says what a press does, and changes with playback.
    QToolButton& playPause = *controls.playPauseButton();
    EXPECT_EQ(accessible(playPause).role(), QAccessible::Button);
    EXPECT_EQ(accessibleName(playPause), "Play");
    // Pressed by assistive technology, it plays as a click would.
    accessible(playPause).actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_TRUE(pumpUntil([&] { return accessibleName(playPause) == "Pause"; }));
    window.setFocus();
    QTest::keyClick(&window, Qt::Key_Space);
    EXPECT_TRUE(pumpUntil([&] { return accessibleName(playPause) == "Play"; }));
}

TEST_F(PlayerWindowMenusTest, TheRateSliderReadsAsDisabledOnceNoPlayerWindowIsLeft) {
    MediaPlayerWindowController* windowController = openPlayerWindow("h264-aac.mkv");
    ASSERT_NE(windowController, nullptr);
    PlaybackRateSlider& slider = delegate_->playbackRateSlider();
    const auto isDisabledForScreenReaders = [&] { return accessible(slider).state().disabled; };

    emit delegate_->controlsMenu()->aboutToShow();
    EXPECT_TRUE(slider.isEnabled());
    EXPECT_FALSE(isDisabledForScreenReaders());

    QPointer<platform::NSWindow> window = windowController->window();
    window->close();
    ASSERT_TRUE(pumpUntil([&] { return window.isNull() || !window->isVisible(); }));
    emit delegate_->controlsMenu()->aboutToShow();
    EXPECT_FALSE(slider.isEnabled());
    EXPECT_TRUE(isDisabledForScreenReaders());
    // Nor does the keyboard or a screen reader land on it.
    EXPECT_EQ(slider.focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(accessible(slider).state().focusable);
    // A step asked for all the same changes nothing.
    const int index = slider.selectedIndex();
    accessible(slider).actionInterface()->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(slider.selectedIndex(), index);
}

}  // namespace
}  // namespace quillon::test
