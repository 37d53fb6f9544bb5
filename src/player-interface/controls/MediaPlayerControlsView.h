#pragma once

#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>
#include <QWidget>
#include <memory>

#include "platform/appkit/NSImage.h"
#include "player-interface/controls/Scrubber.h"

namespace quillon {

// The row of player controls: play/pause, current time, the scrubber, end or remaining time,
// Picture in Picture and, when there is one, the audio route picker's button at the end. It
// gives them their look; the controls view controller fills in the values and hides what does
// not apply. Main thread only.
class MediaPlayerControlsView : public QWidget {
public:
    explicit MediaPlayerControlsView(QWidget* parent = nullptr);
    ~MediaPlayerControlsView() override;

    QHBoxLayout* mainStackView() const { return mainStackView_; }
    // Checked while playing: it then shows the pause image.
    QToolButton* playPauseButton() const { return playPauseButton_; }
    QLabel* currentTimeLabel() const { return currentTimeLabel_; }
    QLabel* endTimeLabel() const { return endTimeLabel_; }
    QLabel* remainingTimeLabel() const { return remainingTimeLabel_; }
    Scrubber* scrubber() const { return scrubber_; }
    QToolButton* pictureInPictureButton() const { return pictureInPictureButton_; }

    const std::shared_ptr<platform::NSImage>& playPauseImage() const { return playImage_; }
    const std::shared_ptr<platform::NSImage>& playPauseAlternateImage() const {
        return pauseImage_;
    }

    QAbstractButton* routePickerButtonView() const { return routePickerButton_.get(); }
    // Puts `button` (null: none) at the end of the row, styled as the other controls and never
    // squeezed; returns the previous button, taken out of the row.
    std::unique_ptr<QAbstractButton> setRoutePickerButtonView(
        std::unique_ptr<QAbstractButton> button);

    bool isPictureInPictureActive() const { return isPictureInPictureActive_; }
    // Switches the Picture in Picture button between its enter and exit image and label.
    void setPictureInPictureActive(bool active);

protected:
    void changeEvent(QEvent* event) override;

private:
    void awakeFromNib();
    void configurePlayPauseButton();
    void tintPlayPauseImages();
    void showPlayPauseState();
    void updatePictureInPictureButton();

    QHBoxLayout* mainStackView_;
    QToolButton* playPauseButton_;
    QLabel* currentTimeLabel_;
    Scrubber* scrubber_;
    QLabel* endTimeLabel_;
    QLabel* remainingTimeLabel_;
    QToolButton* pictureInPictureButton_;
    std::unique_ptr<QAbstractButton> routePickerButton_;
    std::shared_ptr<platform::NSImage> playImage_;
    std::shared_ptr<platform::NSImage> pauseImage_;
    bool isPictureInPictureActive_ = false;
};

}  // namespace quillon
