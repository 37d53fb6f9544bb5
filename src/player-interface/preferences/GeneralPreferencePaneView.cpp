#include "player-interface/preferences/GeneralPreferencePaneView.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>

#include "platform/foundation/Localization.h"

namespace quillon {

namespace {

constexpr int kMargin = 20;
constexpr int kJumpIntervalFieldWidth = 56;

QLabel* makeGroupLabel(const std::string& text, QWidget* parent) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QLabel* makeDescription(const std::string& text, QWidget* parent) {
    auto* label = new QLabel(QString::fromStdString(text), parent);
    label->setWordWrap(true);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 11.0 / 13.0);
    label->setFont(font);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

std::string text(const char* key, const char* comment) {
    return platform::localizedString(key, comment);
}

}  // namespace

bool GridRow::isHidden() const {
    return !cells_.empty() && cells_.front()->isHidden();
}

void GridRow::setHidden(bool hidden) {
    for (QWidget* cell : cells_) {
        cell->setHidden(hidden);
    }
}

platform::NSEdgeInsets checkBoxTitleInsets(const QCheckBox& checkBox) {
    QStyleOptionButton option;
    option.initFrom(&checkBox);
    option.text = checkBox.text();
    option.icon = checkBox.icon();
    option.iconSize = checkBox.iconSize();
    const QRect bounds = checkBox.rect();
    const QRect title =
        checkBox.style()->subElementRect(QStyle::SE_CheckBoxContents, &option, &checkBox);
    if (!title.isValid()) {
        return platform::NSEdgeInsetsZero;
    }
    // QRect's right and bottom are the last pixel inside; the edges are one further.
    return platform::NSEdgeInsetsMake(title.top() - bounds.top(), title.left() - bounds.left(),
                                      (bounds.bottom() + 1) - (title.bottom() + 1),
                                      (bounds.right() + 1) - (title.right() + 1));
}

GeneralPreferencePaneView::GeneralPreferencePaneView(QWidget* parent)
    : QWidget(parent), grid_(new QGridLayout(this)) {
    grid_->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    grid_->setHorizontalSpacing(8);
    grid_->setVerticalSpacing(6);
    grid_->setColumnStretch(1, 1);
    int row = 0;

    auto* openLabel = makeGroupLabel(
        text("When media opens:", "The label of the settings applied when media is opened."), this);
    automaticFullScreenOnOpen_ = new QCheckBox(
        QString::fromStdString(text("Enter full screen", "The title of a check box.")), this);
    automaticPlaybackOnOpen_ = new QCheckBox(
        QString::fromStdString(text("Start playing", "The title of a check box.")), this);
    grid_->addWidget(openLabel, row, 0);
    grid_->addWidget(automaticFullScreenOnOpen_, row++, 1);
    grid_->addWidget(automaticPlaybackOnOpen_, row++, 1);

    auto* rateLabel = makeGroupLabel(
        text("Default playback rate:", "The label of the default playback rate slider."), this);
    sliderContainer_ = new QWidget(this);
    grid_->addWidget(rateLabel, row, 0);
    grid_->addWidget(sliderContainer_, row++, 1);

    auto* jumpLabel =
        makeGroupLabel(text("Jump interval:", "The label of the jump interval text field."), this);
    auto* jumpRow = new QWidget(this);
    auto* jumpLayout = new QHBoxLayout(jumpRow);
    jumpLayout->setContentsMargins(0, 0, 0, 0);
    jumpIntervalTextField_ = new QLineEdit(jumpRow);
    jumpIntervalTextField_->setFixedWidth(kJumpIntervalFieldWidth);
    jumpIntervalTextField_->setAlignment(Qt::AlignRight);
    jumpIntervalStepper_ = new QDoubleSpinBox(jumpRow);
    jumpIntervalStepper_->setDecimals(3);
    jumpIntervalStepper_->setSingleStep(1.0);
    jumpIntervalStepper_->setAccessibleName(
        QString::fromStdString(text("Jump interval", "The accessibility label of a stepper.")));
    jumpLayout->addWidget(jumpIntervalTextField_);
    jumpLayout->addWidget(jumpIntervalStepper_);
    jumpLayout->addWidget(new QLabel(
        QString::fromStdString(text("seconds", "The unit after the jump interval text field.")),
        jumpRow));
    jumpLayout->addStretch(1);
    grid_->addWidget(jumpLabel, row, 0);
    grid_->addWidget(jumpRow, row++, 1);

    auto* audioLabel = makeGroupLabel(text("Audio:", "The label of the audio settings."), this);
    audioSpatializationAllowed_ = new QCheckBox(
        QString::fromStdString(text("Allow spatial audio", "The title of a check box.")), this);
    audioSpatializationDescription_ =
        makeDescription(text("Multichannel audio is spatialized on headphones that support it.",
                             "The description of the Allow spatial audio check box."),
                        this);
    grid_->addWidget(audioLabel, row, 0);
    grid_->addWidget(audioSpatializationAllowed_, row++, 1);
    grid_->addWidget(audioSpatializationDescription_, row++, 1);
    spatializationRow_ = GridRow{audioLabel, audioSpatializationAllowed_};
    spatializationDescriptionRow_ = GridRow{audioSpatializationDescription_};

    auto* subtitlesLabel =
        makeGroupLabel(text("Subtitles:", "The label of the subtitles settings."), this);
    overrideTextStyle_ = new QCheckBox(
        QString::fromStdString(text("Use system caption style", "The title of a check box.")),
        this);
    overrideTextStyleDescription_ = makeDescription(
        text("Styled subtitles take the look chosen in the system's caption settings.",
             "The description of the Use system caption style check box."),
        this);
    grid_->addWidget(subtitlesLabel, row, 0);
    grid_->addWidget(overrideTextStyle_, row++, 1);
    grid_->addWidget(overrideTextStyleDescription_, row++, 1);

    auto* updatesLabel =
        makeGroupLabel(text("Updates:", "The label of the software update settings."), this);
    automaticUpdates_ = new QCheckBox(QString::fromStdString(text("Check for updates automatically",
                                                                  "The title of a check box.")),
                                      this);
    grid_->addWidget(updatesLabel, row, 0);
    grid_->addWidget(automaticUpdates_, row++, 1);
    automaticUpdatesRow_ = GridRow{updatesLabel, automaticUpdates_};
    grid_->setRowStretch(row, 1);

    updateConstraints();
}

GeneralPreferencePaneView::~GeneralPreferencePaneView() = default;

void GeneralPreferencePaneView::updateConstraints() {
    const auto inset = [](const QCheckBox& checkBox) {
        return static_cast<int>(checkBoxTitleInsets(checkBox).left);
    };
    audioSpatializationDescription_->setContentsMargins(inset(*audioSpatializationAllowed_), 0, 0,
                                                        0);
    overrideTextStyleDescription_->setContentsMargins(inset(*overrideTextStyle_), 0, 0, 0);
}

void GeneralPreferencePaneView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange || event->type() == QEvent::FontChange) {
        updateConstraints();
    }
}

}  // namespace quillon
