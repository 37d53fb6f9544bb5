#pragma once

#include <QWidget>
#include <initializer_list>
#include <vector>

#include "platform/graphics/NSEdgeInsets.h"

class QCheckBox;
class QDoubleSpinBox;
class QGridLayout;
class QLabel;
class QLineEdit;

namespace quillon {

// The cells of one row of a form grid, hidden and shown together.
class GridRow {
public:
    GridRow() = default;
    GridRow(std::initializer_list<QWidget*> cells) : cells_(cells) {}

    bool isHidden() const;
    void setHidden(bool hidden);

private:
    std::vector<QWidget*> cells_;
};

// Where a check box's title lies within its bounds, as insets from its edges (Qt's widgets
// are flipped: top is the distance from the top edge).
platform::NSEdgeInsets checkBoxTitleInsets(const QCheckBox& checkBox);

// The General preference pane's controls in a two-column form: the labels of the groups on the
// left, the controls on the right, and under two check boxes an explanation that lines up with
// the check box's title rather than with its box. Main thread only.
class GeneralPreferencePaneView : public QWidget {
public:
    explicit GeneralPreferencePaneView(QWidget* parent = nullptr);
    ~GeneralPreferencePaneView() override;

    QCheckBox* automaticFullScreenOnOpenCheckBox() const { return automaticFullScreenOnOpen_; }
    QCheckBox* automaticPlaybackOnOpenCheckBox() const { return automaticPlaybackOnOpen_; }
    QWidget* defaultPlaybackRateSliderContainerView() const { return sliderContainer_; }
    QLineEdit* jumpIntervalTextField() const { return jumpIntervalTextField_; }
    QDoubleSpinBox* jumpIntervalStepper() const { return jumpIntervalStepper_; }
    GridRow& audioSpatializationAllowedCheckBoxGridRow() { return spatializationRow_; }
    GridRow& audioSpatializationAllowedCheckBoxDescriptionGridRow() {
        return spatializationDescriptionRow_;
    }
    QCheckBox* audioSpatializationAllowedCheckBox() const { return audioSpatializationAllowed_; }
    QLabel* audioSpatializationAllowedCheckBoxDescription() const {
        return audioSpatializationDescription_;
    }
    QCheckBox* overrideTextStyleCheckBox() const { return overrideTextStyle_; }
    QLabel* overrideTextStyleCheckBoxDescription() const { return overrideTextStyleDescription_; }
    QCheckBox* automaticUpdatesCheckBox() const { return automaticUpdates_; }
    GridRow& automaticUpdatesCheckBoxGridRow() { return automaticUpdatesRow_; }

    // Lines the two explanations up with their check boxes' titles.
    void updateConstraints();

protected:
    void changeEvent(QEvent* event) override;

private:
    QGridLayout* grid_;
    QCheckBox* automaticFullScreenOnOpen_;
    QCheckBox* automaticPlaybackOnOpen_;
    QWidget* sliderContainer_;
    QLineEdit* jumpIntervalTextField_;
    QDoubleSpinBox* jumpIntervalStepper_;
    QCheckBox* audioSpatializationAllowed_;
    QLabel* audioSpatializationDescription_;
    QCheckBox* overrideTextStyle_;
    QLabel* overrideTextStyleDescription_;
    QCheckBox* automaticUpdates_;
    GridRow spatializationRow_;
    GridRow spatializationDescriptionRow_;
    GridRow automaticUpdatesRow_;
};

}  // namespace quillon
