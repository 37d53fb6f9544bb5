#include "player-interface/controls/MediaPlayerControlsView.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QPushButton>
#include <cmath>
#include <mutex>

#include "platform/foundation/Localization.h"
#include "player-interface/style/ControlsAppearance.h"
#include "player-interface/style/ControlsSymbolImages.h"
#include "player-interface/style/ImageTinting.h"

namespace quillon {

namespace {

// The symbol tinted in the controls' colour for `palette`; the plain symbol when tinting is not
// available.
std::shared_ptr<platform::NSImage> tintedSymbol(const char* name, const QPalette& palette) {
    const auto symbol = controlsSymbolImage(name);
    auto tinted = ql_imageByApplyingTintColor(symbol, controlsTintColor(palette));
    return tinted ? tinted : symbol;
}

// The controls' font and symbol size on a button.
void styleButton(QAbstractButton& button) {
    button.setFont(controlsQFont());
    const auto side = static_cast<int>(
        std::ceil(controlsSymbolConfiguration().pointSizeForFont(controlsFont().pointSize())));
    button.setIconSize(QSize(side, side));
}

// Marks the play/pause button for the accessibility factory below.
constexpr const char* playPauseButtonName = "playPauseButton";

// The play/pause button is checkable only to show its second image: a screen reader would call
// it a check box. It reads as a plain button whose name tells what a press does.
class PlayPauseAccessibleInterface : public QAccessibleWidget {
public:
    explicit PlayPauseAccessibleInterface(QAbstractButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}

    QStringList actionNames() const override {
        return QStringList{pressAction()} << QAccessibleWidget::actionNames();
    }
    void doAction(const QString& name) override {
        if (name != pressAction()) {
            QAccessibleWidget::doAction(name);
        } else if (widget()->isEnabled()) {
            static_cast<QAbstractButton*>(widget())->click();
        }
    }
};

QAccessibleInterface* controlsAccessibleFactory(const QString&, QObject* object) {
    // The row itself takes the focus: it reads as the named group of controls it is, not as
    // an unnamed stretch of space.
    if (auto* row = dynamic_cast<MediaPlayerControlsView*>(object)) {
        return new QAccessibleWidget(row, QAccessible::Grouping);
    }
    auto* button = qobject_cast<QAbstractButton*>(object);
    if (button == nullptr || button->objectName() != QLatin1String(playPauseButtonName)) {
        return nullptr;
    }
    return new PlayPauseAccessibleInterface(button);
}

QLabel* makeTimeLabel(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

}  // namespace

MediaPlayerControlsView::MediaPlayerControlsView(QWidget* parent)
    : QWidget(parent),
      mainStackView_(new QHBoxLayout(this)),
      playPauseButton_(new QToolButton(this)),
      currentTimeLabel_(makeTimeLabel(this)),
      scrubber_(new Scrubber(this)),
      endTimeLabel_(makeTimeLabel(this)),
      remainingTimeLabel_(makeTimeLabel(this)),
      pictureInPictureButton_(new QToolButton(this)) {
    mainStackView_->setContentsMargins(0, 0, 0, 0);
    for (QWidget* control : std::initializer_list<QWidget*>{
             playPauseButton_, currentTimeLabel_, scrubber_, endTimeLabel_, remainingTimeLabel_,
             pictureInPictureButton_}) {
        mainStackView_->addWidget(control);
    }
    playPauseButton_->setCheckable(true);
    playPauseButton_->setObjectName(QLatin1String(playPauseButtonName));
    static std::once_flag installFactory;
    std::call_once(installFactory, [] { QAccessible::installFactory(controlsAccessibleFactory); });
    playPauseButton_->setAutoRaise(true);
    pictureInPictureButton_->setAutoRaise(true);
    // Takes part in the keyboard loop of the player window, so a screen reader names it when
    // it takes the focus.
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(QString::fromStdString(platform::localizedString(
        "Playback controls", "The accessibility label of the row of media playback controls.")));
    awakeFromNib();
}

MediaPlayerControlsView::~MediaPlayerControlsView() = default;

void MediaPlayerControlsView::awakeFromNib() {
    setAttribute(Qt::WA_StyledBackground);
    configurePlayPauseButton();
    // The scrubber keeps its own label: without a timeline role on this desktop's accessibility
    // bus, a screen reader would otherwise meet an unnamed slider.
    for (QLabel* label : {currentTimeLabel_, endTimeLabel_, remainingTimeLabel_}) {
        label->setFont(controlsQFont());
    }
    styleButton(*pictureInPictureButton_);
    updatePictureInPictureButton();
}

void MediaPlayerControlsView::configurePlayPauseButton() {
    styleButton(*playPauseButton_);
    // The on state (playing) shows the alternate image.
    QObject::connect(playPauseButton_, &QToolButton::toggled, this,
                     [this] { showPlayPauseState(); });
    tintPlayPauseImages();
}

void MediaPlayerControlsView::tintPlayPauseImages() {
    playImage_ = tintedSymbol("play.fill", palette());
    pauseImage_ = tintedSymbol("pause.fill", palette());
    showPlayPauseState();
}

void MediaPlayerControlsView::showPlayPauseState() {
    const bool playing = playPauseButton_->isChecked();
    playPauseButton_->setIcon(platform::makeIcon(playing ? pauseImage_ : playImage_));
    // The symbol says nothing to a screen reader: the name tells what a press will do.
    const std::string title =
        playing ? platform::localizedString(
                      "Pause", "The accessibility label of the button that pauses media playback.")
                : platform::localizedString(
                      "Play", "The accessibility label of the button that starts media playback.");
    playPauseButton_->setAccessibleName(QString::fromStdString(title));
}

void MediaPlayerControlsView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Moved onto the dark panel, or the desktop's palette changed: the symbols take the colour
    // that reads on the new ground.
    if (event->type() == QEvent::PaletteChange) {
        tintPlayPauseImages();
        updatePictureInPictureButton();
    }
}

std::unique_ptr<QAbstractButton> MediaPlayerControlsView::setRoutePickerButtonView(
    std::unique_ptr<QAbstractButton> button) {
    std::unique_ptr<QAbstractButton> previous = std::move(routePickerButton_);
    if (previous) {
        mainStackView_->removeWidget(previous.get());
        previous->hide();
        previous->setParent(nullptr);
    }
    routePickerButton_ = std::move(button);
    if (routePickerButton_) {
        if (auto* toolButton = qobject_cast<QToolButton*>(routePickerButton_.get())) {
            toolButton->setAutoRaise(true);
        } else if (auto* pushButton = qobject_cast<QPushButton*>(routePickerButton_.get())) {
            pushButton->setFlat(true);
        }
        styleButton(*routePickerButton_);
        routePickerButton_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        mainStackView_->addWidget(routePickerButton_.get());
        routePickerButton_->show();
    }
    return previous;
}

void MediaPlayerControlsView::setPictureInPictureActive(bool active) {
    if (active == isPictureInPictureActive_) {
        return;
    }
    isPictureInPictureActive_ = active;
    updatePictureInPictureButton();
}

void MediaPlayerControlsView::updatePictureInPictureButton() {
    const bool active = isPictureInPictureActive_;
    pictureInPictureButton_->setIcon(
        platform::makeIcon(tintedSymbol(active ? "pip.exit" : "pip.enter", palette())));
    const std::string title = active ? platform::localizedString("Exit Picture in Picture", "")
                                     : platform::localizedString("Enter Picture in Picture", "");
    pictureInPictureButton_->setAccessibleName(QString::fromStdString(title));
    pictureInPictureButton_->setToolTip(QString::fromStdString(title));
}

}  // namespace quillon
